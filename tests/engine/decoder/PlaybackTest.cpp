// Playing clips end to end on the four threads: the frames presented as the audio clock moves,
// seeks, the audio that reaches the sink, and the end of an offset transport stream.

#include "EngineHarness.h"

#include "platform/audio/AudioOutputHub.h"
#include "platform/clock/ManualClock.h"
#include "tests/support/MediaFiles.h"

#include <epoxy/gl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

namespace {

void expectIncreasing(const std::vector<uint32_t>& shown)
{
    for (size_t i = 1; i < shown.size(); ++i)
        ASSERT_LT(shown[i - 1], shown[i]) << "at position " << i;
}

} // namespace

TEST(EnginePlayback, PresentsTheClipsFramesInOrder)
{
    for (const char* name : {"h264_2997_aac", "no_audio", "prores_422_10bit_pcm", "mjpeg"}) {
        SCOPED_TRACE(name);
        EngineHarness harness;
        ASSERT_EQ(harness.open(name), 0);
        ASSERT_TRUE(harness.waitForBuffers());
        harness.engine().Play();
        const auto& clip = testsupport::mediaClip(name);
        std::vector<uint32_t> shown = harness.playFor(clip.durationSeconds() + 0.5);
        expectIncreasing(shown);
        ASSERT_FALSE(shown.empty());
        // Most frames are shown, the first ones and the last ones among them.
        EXPECT_GE(shown.size(), size_t(clip.frames) * 3 / 4);
        EXPECT_LE(shown.front(), 2u);
        EXPECT_GE(shown.back(), uint32_t(clip.frames - 3));
    }
}

TEST(EnginePlayback, RatesOutsideTheSupportedRangePlayAt2997)
{
    for (const char* name : {"h264_120fps", "h264_15fps"}) {
        SCOPED_TRACE(name);
        EngineHarness harness;
        ASSERT_EQ(harness.open(name), 0);
        EXPECT_NEAR(harness.engine().GetFrameRate(), 29.97, 0.001);
        ASSERT_TRUE(harness.waitForBuffers());
        harness.engine().Play();
        std::vector<uint32_t> shown = harness.playFor(0.5);
        expectIncreasing(shown);
        ASSERT_GE(shown.size(), 5u);
    }
}

TEST(EnginePlayback, SeekWhilePausedShowsTheTargetPosition)
{
    EngineHarness harness;
    ASSERT_EQ(harness.open("h264_2997_aac"), 0);
    ASSERT_TRUE(harness.waitForBuffers());
    for (int target : {45, 12, 30, 0}) {
        SCOPED_TRACE(target);
        // A display link keeps asking while the seek runs; the paused engine shows the new place.
        auto seen = harness.showWhile([&] { harness.engine().Seek(target * 1001.0 / 30000.0, 0); });
        ASSERT_TRUE(seen.has_value());
        // The frame the seek went to is the one shown.
        EXPECT_EQ(*seen, uint32_t(target));
    }
}

TEST(EnginePlayback, PlayAfterSeekGoesOnFromTheTarget)
{
    EngineHarness harness;
    ASSERT_EQ(harness.open("no_audio"), 0);
    ASSERT_TRUE(harness.waitForBuffers());
    harness.engine().Seek(1.0, 0); // frame 25
    harness.engine().Play();
    std::vector<uint32_t> shown = harness.playFor(0.5);
    expectIncreasing(shown);
    ASSERT_FALSE(shown.empty());
    EXPECT_GE(shown.front(), 25u);
    EXPECT_LE(shown.front(), 28u);
}

TEST(EnginePlayback, ToneArrivesAtTheSinkAt48000SamplesPerSecond)
{
    EngineHarness harness;
    struct Heard {
        std::mutex mutex;
        std::vector<float> left;
    } heard;
    platform::AudioOutputHub::shared().setOutputObserver([&heard](const float* samples, int frames, int channels) {
        std::lock_guard lock(heard.mutex);
        for (int i = 0; i < frames; ++i)
            heard.left.push_back(samples[i * channels]);
    });
    ASSERT_EQ(harness.open("h264_2997_aac"), 0);
    ASSERT_TRUE(harness.waitForBuffers());
    {
        std::lock_guard lock(heard.mutex);
        heard.left.clear();
    }
    harness.engine().Play();
    harness.playFor(1.5);
    platform::AudioOutputHub::shared().setOutputObserver(nullptr);

    std::lock_guard lock(heard.mutex);
    // Skip to the first sound, then look at one second of what the sink was given.
    size_t first = 0;
    while (first < heard.left.size() && std::fabs(heard.left[first]) < 1e-4f)
        ++first;
    ASSERT_LT(first + 48000, heard.left.size());
    int sounding = 0;
    int rising = 0;
    for (size_t i = first; i < first + 48000; ++i) {
        if (std::fabs(heard.left[i]) > 1e-4f || std::fabs(heard.left[i + 1]) > 1e-4f)
            ++sounding;
        if (heard.left[i] <= 0.0f && heard.left[i + 1] > 0.0f)
            ++rising;
    }
    EXPECT_GE(sounding, 47500); // one second of tone, no gaps
    EXPECT_NEAR(rising, 1000, 5); // 1 kHz at 48 kHz: the rate is right
}

TEST(EnginePlayback, OffsetTransportStreamPlaysToItsLastFrame)
{
    EngineHarness harness;
    ASSERT_EQ(harness.open("mpegts_offset"), 0);
    ASSERT_TRUE(harness.waitForBuffers());
    harness.engine().Play();
    const auto& clip = testsupport::mediaClip("mpegts_offset");
    std::vector<uint32_t> shown = harness.playFor(clip.durationSeconds() + 0.5);
    expectIncreasing(shown);
    ASSERT_FALSE(shown.empty());
    EXPECT_LE(shown.front(), 2u);
    EXPECT_GE(shown.back(), uint32_t(clip.frames - 3));
    // Stopping at the out point pauses the engine there.
    EXPECT_NEAR(harness.engine().GetCurrentTime(), harness.engine().GetOutPoint(), 0.1);
}

TEST(EnginePlayback, CardFramesAreReadBackPillarBoxedIntoTheOutputRaster)
{
    // A 4:3 clip on a 16:9 card raster: the picture keeps its aspect between black margins.
    constexpr int32_t kW = 640, kH = 360, kPicture = 480, kMargin = (kW - kPicture) / 2;
    EngineHarness harness(2, kW, kH);
    harness.engine().SetAnamorphic(1);
    ASSERT_EQ(harness.open("h264_2997_aac"), 0);
    ASSERT_TRUE(harness.waitForBuffers());
    harness.engine().Play();
    int32_t index = -1;
    for (int i = 0; i < 200 && index < 0; ++i) {
        harness.step();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        int32_t w, h, dw, dh, state;
        index = harness.engine().GetFrameForOutput(&w, &h, &dw, &dh, &state);
    }
    ASSERT_GE(index, 0);
    int32_t width = 0, height = 0;
    std::vector<uint8_t> pixels = harness.pixelsOf(index, &width, &height);
    ASSERT_EQ(width, kW);
    ASSERT_EQ(height, kH);
    ASSERT_EQ(pixels.size(), size_t(kW) * kH * 2);
    for (int32_t row = 0; row < kH; row += 7) {
        for (int32_t x : {0, kMargin - 2, kW - kMargin, kW - 2}) {
            const uint8_t* pair = &pixels[size_t(row) * kW * 2 + size_t(x) * 2];
            ASSERT_NEAR(pair[0], 128, 1) << "row " << row << " x " << x;
            ASSERT_NEAR(pair[1], 16, 1) << "row " << row << " x " << x;
            ASSERT_NEAR(pair[2], 128, 1);
            ASSERT_NEAR(pair[3], 16, 1);
        }
    }
    auto shown = testsupport::FrameBarcode::read(&pixels[size_t(kMargin) * 2], kPicture, kH, kW * 2,
                                                 testsupport::BarcodePixels::Uyvy422);
    ASSERT_TRUE(shown.has_value());
    EXPECT_LE(*shown, 3u);
}

TEST(EnginePlayback, AHiddenPreviewDoesNotHoldPlayoutBack)
{
    // Nothing draws the preview: the presenting side must still get every part of the clip.
    EngineHarness harness;
    ASSERT_EQ(harness.open("no_audio", true), 0);
    ASSERT_TRUE(harness.waitForBuffers());
    harness.engine().Play();
    const auto& clip = testsupport::mediaClip("no_audio");
    std::vector<uint32_t> shown = harness.playFor(clip.durationSeconds() + 0.5);
    expectIncreasing(shown);
    ASSERT_FALSE(shown.empty());
    EXPECT_GE(shown.size(), size_t(clip.frames) * 3 / 4);
    EXPECT_GE(shown.back(), uint32_t(clip.frames - 3));
}
