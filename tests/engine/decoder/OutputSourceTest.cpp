// The engine as its outputs read it: a screen output given the engine's frames, and the SDI
// playout's view of frames and audio packets.

#include "EngineHarness.h"

#include "engine/base/ssEBuffer.h"
#include "engine/decoder/ssEngineOutputSource.h"
#include "engine/output/ssDVIOutput.h"
#include "engine/render/ssMediaRender.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

outputMode screenMode()
{
    outputMode mode;
    ssCopyName(mode.name, sizeof mode.name, "1920x1080");
    mode.width = 1920;
    mode.height = 1080;
    mode.frameRate = 60.0f;
    return mode;
}

} // namespace

TEST(EngineOutputSource, AScreenOutputDrawsTheEnginesFrames)
{
    EngineHarness harness;
    ssDVIOutput screen;
    screen.Kind_ = ssBaseOutput::kKindScreen;
    screen.AddMode(screenMode());
    ssMediaDecoder3& engine = harness.engine();
    ASSERT_EQ(engine.SetOutputDevice(&screen, 0), 0);
    ASSERT_EQ(harness.open("no_audio"), 0);
    ASSERT_TRUE(harness.waitForBuffers());

    ssEngineOutputSource source(engine);
    int32_t width = 0, height = 0, state = 0;
    int32_t slot = -1;
    for (int i = 0; i < 200 && slot < 0; ++i) {
        slot = source.GetFrameForOutput(&width, &height, &state);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_GE(slot, 0);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    EXPECT_EQ(state, ssStatePaused);
    ASSERT_NE(harness.readerContext(), nullptr);
    {
        // The screen's context gets the slot's texture once the render thread's drawing is done.
        ssGLCurrent current(*harness.readerContext());
        ASSERT_TRUE(current.ok());
        EXPECT_NE(source.GetFrameTexture(slot), 0u);
        EXPECT_EQ(source.GetFrameTexture(slot), engine.GetFrameTarget(slot)->texture);
    }
    EXPECT_NE(source.GetDisplay(), nullptr);
    EXPECT_EQ(source.GetDisplay(), engine.GetDisplay());
    // No card: the playout gets no pixels of a raster it did not ask for.
    uint8_t pixel[2] = {};
    EXPECT_FALSE(source.CopyFramePixels(slot, pixel, sizeof pixel));

    // Letting the screen go leaves the engine without an output.
    ASSERT_EQ(engine.SetOutputDevice(nullptr, 0), 0);
    EXPECT_EQ(engine.SetTimeCodeOutput(0), -1);
}

TEST(EngineOutputSource, PlayoutPullsEachStreamsBlocksInOrder)
{
    EngineHarness harness;
    ssMediaDecoder3& engine = harness.engine();
    ASSERT_EQ(harness.open("h264_2997_aac"), 0);
    ASSERT_EQ(engine.SetAudioOutput(1), 0);
    ASSERT_TRUE(harness.waitForBuffers());
    ssEngineOutputSource source(engine);
    EXPECT_FALSE(source.AudioPlaying());
    engine.Play();
    EXPECT_TRUE(source.AudioPlaying());
    ASSERT_EQ(source.GetAudioStreamCount(), 1);
    EXPECT_EQ(source.GetStreamChannels(0), 2);
    EXPECT_EQ(source.GetStreamChannels(1), 0);

    double last = -1.0;
    int packets = 0;
    for (int i = 0; i < 2000 && packets < 20; ++i) {
        ssAudioPacket packet;
        if (source.PullAudioPacket(0, &packet) != 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        EXPECT_EQ(packet.channels, 2);
        EXPECT_GT(packet.frames, 0);
        EXPECT_GT(packet.time, last);
        last = packet.time;
        source.ReleaseAudioPacket(0);
        ++packets;
    }
    EXPECT_EQ(packets, 20);
    ssAudioPacket none;
    EXPECT_NE(source.PullAudioPacket(3, &none), 0);
    // The start time code of the file goes to the card's time-code packets.
    const ssTimecodeParts start = source.GetStartTimeCode();
    EXPECT_EQ(start.hours, 1);
    EXPECT_EQ(start.minutes, 0);
}

TEST(EngineOutputSource, PlayoutMetersEachStreamsChannelsAndDecaysThem)
{
    EngineHarness harness;
    ssMediaDecoder3& engine = harness.engine();
    ssEngineOutputSource source(engine);
    ssMeterAccumulators& meters = engine.GetRender().Meters();
    // An 8-channel block whose channels 2 and 3 carry one stream: full scale and silence.
    constexpr int32_t kFrames = 960;
    std::vector<int32_t> block(size_t(kFrames) * 8, 0);
    for (int32_t f = 0; f < kFrames; ++f) {
        block[size_t(f) * 8 + 2] = 1073741824;
        block[size_t(f) * 8 + 0] = 1073741824; // another stream's channel: not this call's
    }
    source.AccumulateMeterLevels(block.data(), kFrames, 8, 2, 2);
    EXPECT_GT(meters.Get(2), 0.9);
    EXPECT_EQ(meters.Get(3), 0.0);
    EXPECT_EQ(meters.Get(0), 0.0);
    // A block the frame cannot hold is not measured.
    source.AccumulateMeterLevels(block.data(), kFrames, 8, 7, 2);
    EXPECT_EQ(meters.Get(7), 0.0);

    const double before = meters.Get(2);
    source.DecayMeters();
    EXPECT_LT(meters.Get(2), before);
    EXPECT_GT(meters.Get(2), 0.0);
}
