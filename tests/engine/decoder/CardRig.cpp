#include "CardRig.h"

#include "engine/output/ssOutputFinder.h"
#include "platform/testpattern/FrameBarcode.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

using namespace platform::decklink;

struct CardRig::Tap : OutputTap {
    int width = 0, height = 0;
    std::mutex mutex;
    std::map<int64_t, int64_t> barcodes; // reference period → barcode

    void frameShown(const ShownFrame& shown) override
    {
        int64_t code = -1;
        void* bytes = nullptr;
        if (shown.frame && shown.frame->GetBytes(&bytes) == kOk && bytes) {
            if (auto read = platform::FrameBarcode::read(static_cast<const uint8_t*>(bytes), width, height, width * 2,
                                                         platform::BarcodePixels::Uyvy422))
                code = int64_t(*read);
        }
        std::lock_guard lock(mutex);
        barcodes[shown.referencePeriod] = code;
    }
};

namespace {
std::string cardsJson(int channels, int64_t frameDuration, int64_t timeScale, int width, int height)
{
    std::string json = R"({"cards": [)";
    for (int c = 0; c < channels; ++c) {
        if (c)
            json += ", ";
        json += R"({"name": "Out )" + std::to_string(c + 1) + R"(", "input": false, "modes": [{"name": "Test", "width": )" +
                std::to_string(width) + R"(, "height": )" + std::to_string(height) + R"(, "frameDuration": )" +
                std::to_string(frameDuration) + R"(, "timeScale": )" + std::to_string(timeScale) + "}]}";
    }
    return json + "]}";
}
} // namespace

CardRig::CardRig(int channels, int64_t frameDuration, int64_t timeScale, int width, int height)
    : frameDuration_(frameDuration)
    , timeScale_(timeScale)
    , cards_(cardsJson(channels, frameDuration, timeScale, width, height))
    , finder_(std::make_unique<ssOutputFinder>())
{
    finder_->FindOutputs();
    for (int c = 0; c < channels; ++c) {
        auto tap = std::make_unique<Tap>();
        tap->width = width;
        tap->height = height;
        cards_.control().SetOutputTap(c, tap.get());
        auto harness = std::make_unique<EngineHarness>(2, width, height);
        ssBaseOutput* card = finder_->GetOutput(c);
        EXPECT_NE(card, nullptr);
        harness->engine().SetAudioOutput(1);
        EXPECT_EQ(harness->engine().SetOutputDevice(card, 0), 0);
        harnesses_.push_back(std::move(harness));
        taps_.push_back(std::move(tap));
    }
    // Every card waits for its first period.
    EXPECT_TRUE(cards_.clock().settle(1)); // one reference thread serves every card of the rate
}

CardRig::~CardRig()
{
    for (size_t c = 0; c < harnesses_.size(); ++c) {
        harnesses_[c]->engine().SetOutputDevice(nullptr, 0);
        cards_.control().SetOutputTap(int(c), nullptr);
    }
    harnesses_.clear();
}

bool CardRig::open(int channel, const std::string& clip)
{
    return harness(channel).open(clip) == 0 && harness(channel).waitForBuffers();
}

void CardRig::waitForFrames()
{
    // A playing engine's next frame, or the paused engine's seek frame, is rendered before the
    // card asks for it; an engine at the end of its file has nothing more to render.
    for (auto& harness : harnesses_) {
        ssMediaDecoder3& engine = harness->engine();
        // Three frames ahead, or every frame the file still has; a loop goes on past the file's
        // end with its in point.
        auto enough = [&] {
            const double left = (engine.GetDuration() - engine.GetCurrentTime()) / engine.GetFrameStep();
            const bool loops = engine.GetPlaybackBehavior() == 1 || engine.PassesSeamsWithMaster();
            return engine.GetFramesReady() >= (loops ? 3 : std::min(3, int(std::lround(left)) - 1));
        };
        // A stopped engine renders nothing more until it is sought or played.
        if (engine.IsFileOpen() && engine.GetThreadState() != ssStateStopped)
            testsupport::waitUntil(enough, 5000);
    }
}

void CardRig::run(int count)
{
    for (int i = 0; i < count; ++i) {
        waitForFrames();
        runAhead(1);
    }
}

void CardRig::runAhead(int count)
{
    for (int i = 0; i < count; ++i) {
        cards_.clock().advanceTo(testsupport::periodStartNs(period_, frameDuration_, timeScale_));
        ++period_;
        EXPECT_TRUE(cards_.clock().settle(1)) << "period " << period_;
    }
}

std::vector<int64_t> CardRig::onAir(int channel, int64_t fromPeriod)
{
    std::vector<int64_t> codes;
    Tap& tap = *taps_[size_t(channel)];
    std::lock_guard lock(tap.mutex);
    for (const auto& [period, code] : tap.barcodes)
        if (period >= fromPeriod)
            codes.push_back(code);
    return codes;
}
