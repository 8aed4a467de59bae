// A clip played by the engine to a card: the virtual card's output tap sees every frame the card
// puts on air, read back from the engine's renderer into the card's raster.

#include "EngineHarness.h"

#include "engine/output/ssOutputFinder.h"
#include "platform/testpattern/FrameBarcode.h"
#include "tests/engine/output/CardsForOutputs.h"
#include "tests/support/MediaFiles.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

using namespace platform::decklink;

namespace {

constexpr int kW = 320;
constexpr int kH = 240;
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

TEST(EngineCardPlayout, A25FpsClipGoesOnAirFrameByFrame)
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
            // Decoding runs in real time beside the stepped card clock: the next frames are
            // rendered before the card asks for them.
            const int64_t left = clip.frames - 1 - int64_t(std::lround(engine.GetCurrentTime() * 25));
            testsupport::waitUntil([&] { return engine.GetFramesReady() >= std::min<int64_t>(3, left); }, 5000);
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
    // Every frame once, in order, from the cued one to the last.
    ASSERT_EQ(shown.size(), size_t(testsupport::mediaClip("mjpeg").frames));
    for (size_t i = 0; i < shown.size(); ++i)
        ASSERT_EQ(shown[i], int64_t(i));
}

TEST(EngineCardPlayout, TheReferenceLightIsReadWhileTheCardIsChanged)
{
    // The preview's display link asks whether the card is locked to its reference on a thread of
    // its own, while the engine's lane lets the card go and takes it again.
    testsupport::VirtualCards cards(kCard);
    EngineHarness harness;
    ssMediaDecoder3& engine = harness.engine();
    ssOutputFinder finder;
    finder.FindOutputs();
    ssBaseOutput* card = finder.GetOutput(0);
    ASSERT_NE(card, nullptr);
    ASSERT_EQ(engine.SetAudioOutput(1), 0);
    std::atomic<bool> done{false};
    std::atomic<int> locked{0};
    std::thread preview([&] {
        while (!done.load())
            locked += engine.HasReference();
    });
    for (int i = 0; i < 6; ++i) {
        ASSERT_EQ(engine.SetOutputDevice(card, 0), 0);
        ASSERT_TRUE(testsupport::waitUntil([&] { return locked.load() > i; }));
        ASSERT_EQ(engine.SetOutputDevice(nullptr, 0), 0);
    }
    done = true;
    preview.join();
    EXPECT_EQ(engine.HasReference(), 0);
}

TEST(EngineCardPlayout, FilesChangeUnderACardRunningOnItsOwnClock)
{
    // The card's callbacks copy frames whenever its own clock says, while the lane closes one file
    // (its frames read back for the card are freed) and opens the next.
    testsupport::VirtualCards cards(kCard, false);
    BarcodeTap tap;
    EngineHarness harness;
    ssMediaDecoder3& engine = harness.engine();
    ssOutputFinder finder;
    finder.FindOutputs();
    ssBaseOutput* card = finder.GetOutput(0);
    ASSERT_NE(card, nullptr);
    cards.control().SetOutputTap(0, &tap);
    ASSERT_EQ(engine.SetAudioOutput(1), 0);
    ASSERT_EQ(engine.SetOutputDevice(card, 0), 0);
    const auto aired = [&] {
        std::lock_guard lock(tap.mutex);
        return std::count_if(tap.indices.begin(), tap.indices.end(), [](int64_t i) { return i >= 0; });
    };
    for (int i = 0; i < 6; ++i) {
        ASSERT_EQ(harness.open(i % 2 ? "mjpeg" : "no_audio"), 0);
        const auto before = aired();
        engine.Play();
        EXPECT_TRUE(testsupport::waitUntil([&] { return aired() > before; })) << i;
        // A few more periods with nothing else between the card and the next file.
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
    ASSERT_EQ(engine.SetOutputDevice(nullptr, 0), 0);
    cards.control().SetOutputTap(0, nullptr);
}
