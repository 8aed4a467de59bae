// The virtual card backend plugin: cards from a JSON configuration (the file named by
// KLV_DECKLINK_VIRTUAL_CONFIG, else one card with every standard mode) and the controls tests use.

#include "platform/decklink/DeckLinkBackend.h"
#include "platform/decklink/virtual/FrameLog.h"
#include "platform/decklink/virtual/VirtualCard.h"
#include "platform/decklink/virtual/VirtualCardControl.h"
#include "platform/decklink/virtual/VirtualConfig.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <vector>

namespace platform::decklink {
namespace {

class VirtualIterator final : public RefCounted<IDeckLinkIterator> {
public:
    explicit VirtualIterator(std::vector<Ref<VirtualCard>> cards) : cards_(std::move(cards)) {}
    Result Next(IDeckLink** deckLink) override
    {
        if (!deckLink)
            return kInvalidArgument;
        if (next_ >= cards_.size()) {
            *deckLink = nullptr;
            return kFalse;
        }
        *deckLink = cards_[next_++].share();
        return kOk;
    }

private:
    std::vector<Ref<VirtualCard>> cards_;
    size_t next_ = 0;
};

class VirtualBackend final : public IDeckLinkBackend, public VirtualCardControl {
public:
    VirtualBackend() { install(initialConfig()); }

    IDeckLinkIterator* CreateIterator() override
    {
        std::lock_guard lock(mutex_);
        if (cards_.empty())
            return nullptr;
        return new VirtualIterator(cards_);
    }

    void* QueryExtension(const char* name) override
    {
        if (name && std::strcmp(name, kVirtualCardControlName) == 0)
            return static_cast<VirtualCardControl*>(this);
        return nullptr;
    }

    bool Configure(const std::string& json, std::string* error) override
    {
        BackendConfig config;
        if (!parseConfig(json, &config, error))
            return false;
        install(config);
        return true;
    }

    void SetClock(MonotonicClock* clock) override { setCurrentClock(clock); }

    int CardCount() override
    {
        std::lock_guard lock(mutex_);
        return int(cards_.size());
    }

    void SetOutputTap(int card, OutputTap* tap) override
    {
        if (CardState* s = state(card))
            s->tap.store(tap);
    }
    OutputStats GetOutputStats(int card) override
    {
        CardState* s = state(card);
        return s ? s->outputStats() : OutputStats{};
    }
    InputStats GetInputStats(int card) override
    {
        CardState* s = state(card);
        return s ? s->inputStats() : InputStats{};
    }
    void SetReferenceLocked(int card, bool locked) override
    {
        if (CardState* s = state(card))
            s->referenceLocked.store(locked);
    }
    void FailEnable(int card, EnableCall call, Result result, int times) override
    {
        if (CardState* s = state(card))
            s->failEnable(call, result, times);
    }
    void InjectInputFault(int card, InputFault fault, int64_t firstFrame, int64_t frameCount) override
    {
        if (CardState* s = state(card))
            s->injectFault(fault, firstFrame, frameCount);
    }

private:
    static BackendConfig initialConfig()
    {
        const char* path = std::getenv(kVirtualConfigEnvironmentVariable);
        if (!path || !*path)
            return defaultConfig();
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        BackendConfig config;
        std::string error;
        if (!in || !parseConfig(text.str(), &config, &error)) {
            // Asked for cards that cannot be made: say why once, and offer none.
            std::fprintf(stderr, "virtual SDI cards: %s: %s\n", path, in ? error.c_str() : "cannot read");
            return BackendConfig{};
        }
        return config;
    }

    void install(const BackendConfig& config)
    {
        std::vector<Ref<VirtualCard>> cards;
        for (const auto& c : config.cards)
            cards.emplace_back(new VirtualCard(c));
        std::lock_guard lock(mutex_);
        cards_.swap(cards);
        openFrameLogs();
    }

    // Each card's periods to "<prefix>.<card>" when the environment asks for it.
    void openFrameLogs()
    {
        const char* prefix = std::getenv(kFrameLogEnvironmentVariable);
        if (!prefix || !*prefix)
            return;
        for (size_t i = 0; i < cards_.size(); ++i) {
            if (i >= frameLogs_.size())
                frameLogs_.push_back(std::make_unique<FrameLog>(std::string(prefix) + "." + std::to_string(i)));
            if (frameLogs_[i]->isOpen())
                cards_[i]->state().tap.store(frameLogs_[i].get());
        }
    }

    CardState* state(int card)
    {
        std::lock_guard lock(mutex_);
        if (card < 0 || size_t(card) >= cards_.size())
            return nullptr;
        return &cards_[size_t(card)]->state();
    }

    std::mutex mutex_;
    // Before the cards: their output threads write to these until the cards are gone.
    std::vector<std::unique_ptr<FrameLog>> frameLogs_;
    std::vector<Ref<VirtualCard>> cards_;
};

} // namespace
} // namespace platform::decklink

extern "C" __attribute__((visibility("default"))) platform::decklink::IDeckLinkBackend* klvDeckLinkBackend_v1()
{
    // Lives until the process ends: cards handed out may be used until then.
    static auto* backend = new platform::decklink::VirtualBackend();
    return backend;
}
