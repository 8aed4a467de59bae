// A clip played by the engine to a card: the virtual card's output tap sees every frame the card
// puts on air, read back from the engine's renderer into the card's raster.

#include "EngineHarness.h"

#include "engine/output/ssOutputFinder.h"
#include "platform/testpattern/FrameBarcode.h"
#include "tests/engine/output/CardsForOutputs.h"
#include "tests/support/MediaFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

using namespace platform::decklink;

namespace {

constexpr int kW = 320;
constexpr int kH = 240;
// Frames the playout schedules ahead of air.
constexpr int64_t kScheduledLead = 3;

const char* kCard = R"({"cards": [{"name": "Out A", "modes": [
    {"name": "Test 320x240p25", "width": 320, "height": 240, "frameDuration": 1, "timeScale": 25}]}]})";

// The barcode of every frame the card shows (-1 for none, repeats left out).
struct BarcodeTap : OutputTap {
    void frameShown(const ShownFrame& shown) override
    {
        void* bytes = nullptr;
        if (shown.repeated || !shown.frame || shown.frame->GetBytes(&bytes) != kOk)
            return;
        auto read = platform::FrameBarcode::read(static_cast<const uint8_t*>(bytes), kW, kH, kW * 2,
                                                 platform::BarcodePixels::Uyvy422);
        std::lock_guard lock(mutex);
        indices.push_back(read ? int64_t(*read) : -1);
    }
    void audioConsumed(const ConsumedAudio&) override {}
    std::mutex mutex;
    std::vector<int64_t> indices;
};

} // namespace

TEST(EngineCardPlayout, A25FpsClipGoesOnAirFrameByFrameWithAtMostOneDrop)
{
    testsupport::VirtualCards cards(kCard);
    BarcodeTap tap;
    {
        EngineHarness harness;
        ssMediaDecoder3& engine = harness.engine();
        ssOutputFinder finder;
        finder.FindOutputs();
        ssBaseOutput* card = finder.GetOutput(0);
        ASSERT_NE(card, nullptr);
        cards.control().SetOutputTap(0, &tap);
        // The card's audio clock times the frames.
        ASSERT_EQ(engine.SetAudioOutput(1), 0);
        EXPECT_EQ(engine.HasReference(), 0) << "no card yet";
        ASSERT_EQ(engine.SetOutputDevice(card, 0), 0);
        EXPECT_EQ(engine.HasReference(), 1);
        cards.control().SetReferenceLocked(0, false);
        EXPECT_EQ(engine.HasReference(), 0);
        cards.control().SetReferenceLocked(0, true);
        int32_t width = 0, height = 0;
        ASSERT_EQ(harness.open("mjpeg"), 0);
        ASSERT_TRUE(harness.waitForBuffers());
        // The renderer has taken the card's raster once a file plays to it.
        engine.GetOutputSize(&width, &height);
        EXPECT_EQ(width, kW);
        EXPECT_EQ(height, kH);
        engine.Play();
        const auto& clip = testsupport::mediaClip("mjpeg");
        ASSERT_TRUE(cards.clock().settle(1));
        for (int64_t k = 1; k < clip.frames + 20; ++k) {
            // Decoding runs in real time beside the stepped card clock: one period of real time each.
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
            cards.clock().advanceTo(testsupport::periodStartNs(k, 1, 25));
            ASSERT_TRUE(cards.clock().settle(1)) << "period " << k;
        }
        engine.SetOutputDevice(nullptr, 0);
        cards.control().SetOutputTap(0, nullptr);
    }
    std::vector<int64_t> shown;
    for (int64_t index : tap.indices) {
        if (index >= 0 && (shown.empty() || index != shown.back()))
            shown.push_back(index);
    }
    ASSERT_GE(shown.size(), 30u);
    EXPECT_LE(shown.front(), 1);
    // The periods the card had scheduled before play hold the cued picture while the clip's
    // audio starts at once: the picture joins the audio clock within that lead. A first picture
    // rendered too late for its period is a drop like any other.
    int drops = int(std::max<int64_t>(0, shown[1] - shown[0] - kScheduledLead));
    for (size_t i = 2; i < shown.size(); ++i) {
        ASSERT_GT(shown[i], shown[i - 1]) << "at position " << i;
        drops += int(shown[i] - shown[i - 1] - 1);
    }
    EXPECT_LE(drops, 1);
}
