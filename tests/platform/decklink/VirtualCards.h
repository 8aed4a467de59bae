#pragma once

// Test access to the virtual card plugin: loads it through the ordinary loader, configures its
// cards and puts them on a manual clock that the test steps.

#include "platform/clock/ManualClock.h"
#include "platform/decklink/DeckLinkLoader.h"
#include "platform/decklink/virtual/RefCounted.h"
#include "platform/decklink/virtual/VirtualCardControl.h"

#include <gtest/gtest.h>

#include <string>

namespace testsupport {

class VirtualCards {
public:
    explicit VirtualCards(const std::string& json, bool manualClock = true)
    {
        using namespace platform::decklink;
        EXPECT_TRUE(loader_.isLoaded()) << loader_.error();
        if (!loader_.isLoaded())
            return;
        control_ = static_cast<VirtualCardControl*>(loader_.backend()->QueryExtension(kVirtualCardControlName));
        EXPECT_NE(control_, nullptr);
        std::string error;
        EXPECT_TRUE(control_->Configure(json, &error)) << error;
        control_->SetClock(manualClock ? &clock_ : nullptr);
    }

    ~VirtualCards()
    {
        if (!control_)
            return;
        // Cards the test no longer holds die here, and with them their threads, before the clock.
        control_->Configure(R"({"cards": []})", nullptr);
        control_->SetClock(nullptr);
    }

    platform::decklink::VirtualCardControl& control() { return *control_; }
    platform::ManualClock& clock() { return clock_; }
    platform::decklink::IDeckLinkBackend* backend() { return loader_.backend(); }

    // The card at that position of a fresh iterator.
    platform::decklink::Ref<platform::decklink::IDeckLink> card(int index)
    {
        using namespace platform::decklink;
        Ref<IDeckLinkIterator> it(loader_.CreateIterator());
        IDeckLink* found = nullptr;
        for (int i = 0; it && it->Next(&found) == kOk && found; ++i) {
            if (i == index)
                return Ref<IDeckLink>(found);
            found->Release();
        }
        return {};
    }

private:
    platform::ManualClock clock_;
    platform::decklink::DeckLinkLoader loader_{KLV_DECKLINK_VIRTUAL_PLUGIN_PATH};
    platform::decklink::VirtualCardControl* control_ = nullptr;
};

// Nanoseconds of frame period k for a rate of scale / duration, as the card counts them.
inline int64_t periodStartNs(int64_t k, int64_t duration, int64_t scale)
{
    return int64_t((__int128(k) * duration * 1'000'000'000) / scale);
}

} // namespace testsupport
