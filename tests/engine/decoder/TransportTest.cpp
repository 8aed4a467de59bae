// Transport on real clips: in and out points, steps, the end of the play range per behaviour,
// loops, stills, linked channels and the time-code text.

#include "EngineHarness.h"

#include "engine/decoder/ssTimeCodeText.h"
#include "tests/support/MediaFiles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

// Counts end notifications as the application's main-thread hand-off would receive them.
struct CountingNotifier {
    std::atomic<int> count{0};
    KLVChannelNotifier notifier{[this] { count.fetch_add(1); }};
};

void expectConsecutiveWithAtMostOneDrop(const std::vector<uint32_t>& shown)
{
    int drops = 0;
    for (size_t i = 1; i < shown.size(); ++i) {
        ASSERT_GT(shown[i], shown[i - 1]) << "at position " << i;
        drops += int(shown[i] - shown[i - 1] - 1);
    }
    EXPECT_LE(drops, 1);
}

} // namespace

TEST(EngineTransport, InAndOutPointArithmetic)
{
    EngineHarness harness;
    ASSERT_EQ(harness.open("h264_2997_aac"), 0);
    ssMediaDecoder3& engine = harness.engine();
    const double step = 1001.0 / 30000.0; // the clip's exact rate
    EXPECT_NEAR(engine.GetFrameStep(), step, 1e-9);

    // The out point names the last frame that plays: one step before the point given, whether
    // set alone or with the in point.
    EXPECT_EQ(engine.SetOutPoint(1.5), 0);
    EXPECT_NEAR(engine.GetOutPoint(), 1.5 - step, 1e-9);
    EXPECT_EQ(engine.SetInOutPoints(0.0, 1.5), 0);
    EXPECT_NEAR(engine.GetOutPoint(), 1.5 - step, 1e-9);
    // Out points beyond the file end at its duration.
    EXPECT_EQ(engine.SetInOutPoints(0.5, 100.0), 0);
    EXPECT_NEAR(engine.GetOutPoint(), engine.GetDuration() - step, 1e-9);
    EXPECT_DOUBLE_EQ(engine.GetInPoint(), 0.5);

    // Empty ranges change nothing.
    EXPECT_EQ(engine.SetInOutPoints(1.0, 1.0), -1);
    EXPECT_DOUBLE_EQ(engine.GetInPoint(), 0.5);
    EXPECT_EQ(engine.SetOutPoint(0.4), -1);
    EXPECT_NEAR(engine.GetOutPoint(), engine.GetDuration() - step, 1e-9);
    // A negative in point is the start; the in point alone is not checked against the out point.
    EXPECT_EQ(engine.SetInPoint(-3.0), 0);
    EXPECT_DOUBLE_EQ(engine.GetInPoint(), 0.0);
    EXPECT_EQ(engine.SetInPoint(50.0), 0);
    EXPECT_DOUBLE_EQ(engine.GetInPoint(), 50.0);
    EXPECT_EQ(engine.SetInOutPoints(-2.0, 1.0), 0);
    EXPECT_DOUBLE_EQ(engine.GetInPoint(), 0.0);
}

TEST(EngineTransport, TimeCodeText)
{
    char text[ssTimeCodeTextSize];
    ssFormatTimeCode(3725.5, 1.0 / 25.0, 25.0, text, sizeof text);
    EXPECT_STREQ(text, "01:02:05;12");
    ssFormatTimeCode(10.5, 1001.0 / 30000.0, 30000.0 / 1001.0, text, sizeof text);
    EXPECT_STREQ(text, "00:00:10;14");
    ssFormatTimeCode(-1.0, 1.0 / 25.0, 25.0, text, sizeof text);
    EXPECT_STREQ(text, "00:00:00;00");
    ssFormatTimeCode(360000.0 * 3, 1.0 / 25.0, 25.0, text, 6);
    EXPECT_STREQ(text, "300:0");

    EngineHarness harness;
    ASSERT_EQ(harness.open("no_audio"), 0);
    ASSERT_EQ(harness.engine().GetCurrentTimeCodeString(text), 0);
    EXPECT_STREQ(text, "00:00:00;00");
    ASSERT_EQ(harness.engine().GetRemainingTimeCodeString(text), 0);
    EXPECT_STREQ(text, "00:00:02;00");
}

TEST(EngineTransport, SettingsOfAudioAndTimeCodeOutput)
{
    EngineHarness harness;
    ssMediaDecoder3& engine = harness.engine();
    EXPECT_EQ(engine.SetAudioOutput(1), 0);
    EXPECT_EQ(engine.GetAudioOutput(), 1);
    EXPECT_EQ(engine.SetAudioOutput(0), 0);
    EXPECT_EQ(engine.SetAudioOutput(5), -1);
    EXPECT_EQ(engine.GetAudioOutput(), 0);
    // A screen output carries no time code.
    EXPECT_EQ(engine.SetTimeCodeOutput(2), -1);
    ssOutputFormat card{2, 1920, 1080, 0, 25.0f};
    engine.SetOutputFormat(&card);
    EXPECT_EQ(engine.SetTimeCodeOutput(1), 0);
    EXPECT_EQ(engine.GetTimeCodeOutput(), 1);
    // Slate: a zero flag also stops the slate being shown.
    engine.SetShowSlate(1);
    ASSERT_EQ(harness.open("no_audio"), 0);
    EXPECT_EQ(engine.IsSlateShowing(), 1);
    engine.SetShowSlate(0);
    EXPECT_EQ(engine.IsSlateShowing(), 0);
}

TEST(EngineTransport, EndPointReachedPerBehaviour)
{
    struct Case {
        int32_t behaviour;
        bool notifier;
        int notified;
        int32_t stateAfter;
    };
    for (Case c : {Case{0, true, 1, ssStatePaused}, Case{0, false, 0, ssStatePaused}, Case{2, true, 1, ssStatePaused},
                   Case{2, false, 0, ssStatePlaying}, Case{9, true, 1, ssStatePaused}}) {
        SCOPED_TRACE(testing::Message() << "behaviour " << c.behaviour << " notifier " << c.notifier);
        EngineHarness harness;
        ASSERT_EQ(harness.open("no_audio"), 0);
        CountingNotifier counting;
        harness.engine().SetDelegate(c.notifier ? &counting.notifier : nullptr);
        harness.engine().SetPlaybackBehavior(c.behaviour);
        harness.engine().Play();
        harness.engine().EndPointReached();
        EXPECT_EQ(counting.count.load(), c.notified);
        EXPECT_EQ(harness.engine().GetThreadState(), c.stateAfter);
    }
}

TEST(EngineTransport, LoopOverTheWholeFileLeavesTheWrapToTheReader)
{
    EngineHarness harness;
    ASSERT_EQ(harness.open("no_audio"), 0);
    ssMediaDecoder3& engine = harness.engine();
    CountingNotifier counting;
    engine.SetDelegate(&counting.notifier);
    engine.SetPlaybackBehavior(1);
    ASSERT_EQ(engine.SetInOutPoints(0.0, engine.GetDuration()), 0);
    engine.Play();
    engine.EndPointReached();
    EXPECT_EQ(counting.count.load(), 1);
    EXPECT_EQ(engine.GetThreadState(), ssStatePlaying);
}

TEST(EngineTransport, ATwentyFiveFrameClipPlaysEveryFrameInOrder)
{
    EngineHarness harness;
    ASSERT_EQ(harness.open("mjpeg"), 0);
    ASSERT_TRUE(harness.waitForBuffers());
    harness.engine().Play();
    const auto& clip = testsupport::mediaClip("mjpeg");
    std::vector<uint32_t> shown = harness.playFor(clip.durationSeconds() + 0.5);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front(), 0u);
    // The out point Open leaves is the last frame's: the whole file plays.
    EXPECT_EQ(shown.back(), uint32_t(clip.frames - 1));
    expectConsecutiveWithAtMostOneDrop(shown);
}

TEST(EngineTransport, StepsLandOnTheNeighbouringFrames)
{
    EngineHarness harness;
    ASSERT_EQ(harness.open("no_audio"), 0);
    ASSERT_TRUE(harness.waitForBuffers());
    ssMediaDecoder3& engine = harness.engine();
    auto seen = harness.showWhile([&] { engine.Seek(10 / 25.0, 0); });
    ASSERT_EQ(seen, std::optional<uint32_t>(10));
    seen = harness.showWhile([&] { engine.StepForward(); });
    EXPECT_EQ(seen, std::optional<uint32_t>(11));
    seen = harness.showWhile([&] { engine.StepBackward(); });
    EXPECT_EQ(seen, std::optional<uint32_t>(10));
    seen = harness.showWhile([&] { engine.StepBackward(); });
    EXPECT_EQ(seen, std::optional<uint32_t>(9));
}

TEST(EngineTransport, EveryStepShowsTheFrameNextToTheOneOnAir)
{
    // 59.94 frame times divided by the frame duration fall a hair below a whole number at many
    // frames (the 21st the first): each must still count as its own frame, both where a step
    // starts and where it lands.
    EngineHarness harness;
    ASSERT_EQ(harness.open("prores_5994"), 0);
    ASSERT_TRUE(harness.waitForBuffers());
    ssMediaDecoder3& engine = harness.engine();
    ASSERT_EQ(harness.showWhile([&] { engine.Seek(18 * 1001.0 / 60000.0, 0); }), std::optional<uint32_t>(18));
    for (uint32_t expected = 19; expected <= 44; ++expected)
        ASSERT_EQ(harness.showWhile([&] { engine.StepForward(); }), std::optional<uint32_t>(expected));
    for (uint32_t expected = 43; expected >= 28; --expected)
        ASSERT_EQ(harness.showWhile([&] { engine.StepBackward(); }), std::optional<uint32_t>(expected));
    EXPECT_EQ(engine.GetThreadState(), ssStatePaused);
}

TEST(EngineTransport, StillsShowTheirOnlyFrame)
{
    for (const char* name : {"still_png", "still_jpeg"}) {
        SCOPED_TRACE(name);
        EngineHarness harness;
        ASSERT_EQ(harness.open(name), 0);
        ASSERT_TRUE(harness.waitForBuffers());
        std::optional<uint32_t> shown;
        for (int i = 0; i < 100 && !shown; ++i) {
            harness.step();
            shown = harness.present();
        }
        EXPECT_EQ(shown, std::optional<uint32_t>(0));
    }
}

TEST(EngineTransport, StopAndNextBehavioursNotifyOnce)
{
    for (int32_t behaviour : {0, 2}) {
        SCOPED_TRACE(behaviour);
        EngineHarness harness;
        ASSERT_EQ(harness.open("no_audio"), 0);
        ASSERT_TRUE(harness.waitForBuffers());
        CountingNotifier counting;
        harness.engine().SetDelegate(&counting.notifier);
        harness.engine().SetPlaybackBehavior(behaviour);
        harness.engine().Play();
        const auto& clip = testsupport::mediaClip("no_audio");
        std::vector<uint32_t> shown = harness.playFor(clip.durationSeconds() + 1.0);
        EXPECT_EQ(counting.count.load(), 1);
        EXPECT_EQ(harness.engine().GetThreadState(), ssStatePaused);
        ASSERT_FALSE(shown.empty());
        // The out point Open leaves is the last frame's: the whole file plays.
        EXPECT_EQ(shown.back(), uint32_t(clip.frames - 1));
    }
}

TEST(EngineTransport, LoopWithAnInPointRebasesAndKeepsGoing)
{
    EngineHarness harness;
    ASSERT_EQ(harness.open("no_audio"), 0);
    ASSERT_TRUE(harness.waitForBuffers());
    ssMediaDecoder3& engine = harness.engine();
    CountingNotifier counting;
    engine.SetDelegate(&counting.notifier);
    engine.SetPlaybackBehavior(1);
    engine.SetInPoint(1.0); // frame 25; the out point stays at the last frame (49)
    harness.showWhile([&] { engine.Seek(1.0, 0); });
    engine.Play();
    std::vector<uint32_t> shown = harness.playFor(3.5);
    // Every pass runs 25..49 in order; the presenting thread's own seek does not stall it.
    int passes = 0;
    for (size_t i = 0; i < shown.size(); ++i) {
        EXPECT_GE(shown[i], 25u);
        EXPECT_LE(shown[i], 49u);
        if (i > 0 && shown[i] < shown[i - 1]) {
            EXPECT_EQ(shown[i - 1], 49u);
            EXPECT_LE(shown[i], 26u);
            ++passes;
        }
    }
    EXPECT_GE(passes, 2);
    EXPECT_GE(counting.count.load(), passes);
    EXPECT_EQ(engine.GetThreadState(), ssStatePlaying);
}

TEST(EngineTransport, AWholeFileLoopRunsOnAcrossItsSeamWithoutAFrameLostOrHeld)
{
    for (const char* name : {"no_audio", "mjpeg"}) {
        SCOPED_TRACE(name);
        EngineHarness harness;
        ASSERT_EQ(harness.open(name), 0);
        ssMediaDecoder3& engine = harness.engine();
        CountingNotifier counting;
        engine.SetDelegate(&counting.notifier);
        engine.SetPlaybackBehavior(1);
        ASSERT_EQ(engine.SetInOutPoints(0.0, engine.GetDuration()), 0);
        ASSERT_TRUE(harness.waitForBuffers());
        engine.Play();
        const auto& clip = testsupport::mediaClip(name);
        const uint32_t last = uint32_t(clip.frames - 1);
        std::vector<uint32_t> shown = harness.playFor(2.6 * clip.durationSeconds());
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.front(), 0u);
        // Each frame follows the one before it; after the last comes the first, and the clock
        // runs on through the seam, so nothing is dropped there or held for the clock.
        int seams = 0;
        for (size_t i = 1; i < shown.size(); ++i) {
            if (shown[i - 1] == last && shown[i] == 0) {
                ++seams;
                continue;
            }
            EXPECT_EQ(shown[i], shown[i - 1] + 1) << "at position " << i;
        }
        EXPECT_EQ(seams, 2);
        // The position shown stays inside the file on every pass.
        EXPECT_LE(engine.GetCurrentTime(), engine.GetDuration());
        EXPECT_GE(counting.count.load(), 2);
        EXPECT_EQ(engine.GetThreadState(), ssStatePlaying);
    }
}

TEST(EngineTransport, ASlateThatArrivesLateNeverMovesTheCueNorStopsItsPlay)
{
    // A cue loaded before its slate was made gets it later: cued, the slate stands for the cued
    // position; playing, the play goes on untouched.
    const std::vector<uint8_t> slate(64 * 36 * 4, 0x80);
    EngineHarness harness;
    ASSERT_EQ(harness.open("mjpeg"), 0);
    ASSERT_TRUE(harness.waitForBuffers());
    ssMediaDecoder3& engine = harness.engine();
    engine.SetShowSlate(1);
    ASSERT_EQ(engine.SetInOutPoints(0.4, 2.0), 0);
    ASSERT_EQ(harness.showWhile([&] { engine.Seek(0.4, 0); }), std::optional<uint32_t>(10));
    int32_t showing = -1;
    harness.showWhile([&] { showing = engine.SetSlateImage(64, 36, slate.data()); });
    EXPECT_EQ(showing, 1);
    EXPECT_NEAR(engine.GetCurrentTime(), 0.4, 1e-9);
    EXPECT_EQ(engine.GetThreadState(), ssStatePaused);

    engine.Play();
    std::vector<uint32_t> shown = harness.playFor(0.3);
    ASSERT_FALSE(shown.empty());
    EXPECT_GE(shown.front(), 10u);
    EXPECT_LE(shown.front(), 11u);
    const uint32_t before = shown.back();
    EXPECT_EQ(engine.SetSlateImage(64, 36, slate.data()), 0);
    EXPECT_EQ(engine.GetThreadState(), ssStatePlaying);
    shown = harness.playFor(0.3);
    ASSERT_FALSE(shown.empty());
    EXPECT_GT(shown.front(), before);
    EXPECT_LE(shown.front(), before + 2);
    expectConsecutiveWithAtMostOneDrop(shown);
}

TEST(EngineTransport, LinkingASlaveMovesItOnlyWhenFarFromItsMaster)
{
    EngineHarness master;
    EngineHarness slave;
    ASSERT_EQ(master.open("no_audio"), 0);
    ASSERT_EQ(slave.open("no_audio"), 0);
    ASSERT_TRUE(master.waitForBuffers());
    ASSERT_TRUE(slave.waitForBuffers());
    ASSERT_EQ(master.showWhile([&] { master.engine().Seek(1.6, 0); }), std::optional<uint32_t>(40));
    // The slave at 0 s is further than 0.7 s from 1.6 - 0.4: it seeks there.
    EXPECT_EQ(slave.showWhile([&] { slave.engine().SetMaster(&master.engine(), 0.4); }),
              std::optional<uint32_t>(30));
    EXPECT_NEAR(slave.engine().GetCurrentTime(), 1.2, 0.001);
    // Relinked with an offset that puts it 0.5 s away: it stays.
    slave.engine().SetMaster(nullptr, 0.0);
    slave.engine().SetMaster(&master.engine(), -0.1);
    EXPECT_NEAR(slave.engine().GetCurrentTime(), 1.2, 0.001);
}

TEST(EngineTransport, ASlaveFollowsItsPlayingMastersClock)
{
    EngineHarness master;
    EngineHarness slave;
    ASSERT_EQ(master.open("no_audio"), 0);
    ASSERT_EQ(slave.open("no_audio"), 0);
    ASSERT_TRUE(master.waitForBuffers());
    ASSERT_TRUE(slave.waitForBuffers());
    slave.engine().SetMaster(&master.engine(), 0.0);
    master.engine().Play();
    slave.engine().Play();
    std::vector<uint32_t> shown;
    for (int i = 0; i < 100; ++i) {
        master.step();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (master.present()) {
        }
        if (auto index = slave.present())
            shown.push_back(*index);
        // The manual clock stands still between steps: the two clocks can be compared exactly.
        EXPECT_DOUBLE_EQ(slave.engine().GetPlaybackClock(), master.engine().GetPlaybackClock());
    }
    ASSERT_GE(shown.size(), 10u);
    for (size_t i = 1; i < shown.size(); ++i)
        ASSERT_GT(shown[i], shown[i - 1]);
}

TEST(EngineTransport, ClockLinksFollowOffsetsAndSurviveCycles)
{
    // Engines without files: only their state words and delays take part.
    ssMediaDecoder3 a(nullptr, nullptr), b(nullptr, nullptr), c(nullptr, nullptr);
    a.SetAudioDelay(500);
    b.SetAudioDelay(20);
    c.SetAudioDelay(7);
    b.SetMaster(&a, 2.0);
    EXPECT_DOUBLE_EQ(b.GetPlaybackClock(), 0.02); // the master is not playing
    a.Play();
    EXPECT_DOUBLE_EQ(b.GetPlaybackClock(), 0.5 + 0.02 - 2.0);
    // A channel linked to itself is unlinked.
    a.SetMaster(&a, 1.0);
    EXPECT_DOUBLE_EQ(a.GetPlaybackClock(), 0.5);
    // A cycle of three: each keeps its own clock instead of recursing for ever.
    a.SetMaster(&c, 0.0);
    c.SetMaster(&b, 0.0);
    b.Play();
    c.Play();
    EXPECT_DOUBLE_EQ(a.GetPlaybackClock(), 0.5);
    EXPECT_DOUBLE_EQ(b.GetPlaybackClock(), 0.02);
    EXPECT_DOUBLE_EQ(c.GetPlaybackClock(), 0.007);
    a.SetMaster(nullptr, 0.0);
    EXPECT_DOUBLE_EQ(c.GetPlaybackClock(), 0.5 + 0.02 + 0.007 - 2.0);
}

TEST(EngineTransport, PresentingGoesOnWhileClipsAreCuedAndOutputsChange)
{
    EngineHarness harness;
    std::atomic<bool> running{true};
    std::atomic<int> shown{0};
    // A display link that never stops asking, as an output window's does.
    std::thread display([&] {
        while (running.load()) {
            int32_t width, height, displayWidth, displayHeight, state;
            if (harness.engine().GetFrameForOutput(&width, &height, &displayWidth, &displayHeight, &state) >= 0)
                shown.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    for (int i = 0; i < 8; ++i) {
        ASSERT_EQ(harness.open(i % 2 ? "no_audio" : "h264_2997_aac"), 0);
        harness.engine().Play();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const ssOutputFormat format{1, i % 2 ? 1280 : 1920, i % 2 ? 720 : 1080, 0, 60.0f};
        harness.engine().SetOutputFormat(&format);
    }
    running = false;
    display.join();
    EXPECT_GT(shown.load(), 0);
}

TEST(EngineTransport, AScrubBeforeTheFirstPlayIsWherePlayingStarts)
{
    // Long-GOP material (one keyframe at the start): the position a scrub names is what shows and
    // where playing then starts, not the keyframe before it.
    for (int32_t scrub : {1, 0}) {
        SCOPED_TRACE(scrub);
        EngineHarness harness;
        ASSERT_EQ(harness.open("h264_2997_aac"), 0);
        ssMediaDecoder3& engine = harness.engine();
        ASSERT_EQ(engine.GetThreadState(), ssStatePaused);
        const auto seen = harness.showWhile([&] { engine.Seek(1.0, scrub); });
        // 1.0 s lies in frame 29 of 29.97 frames a second.
        EXPECT_EQ(seen, std::optional<uint32_t>(29));
        EXPECT_NEAR(engine.GetCurrentTime(), 29 * 1001.0 / 30000.0, 1e-6);
        engine.Play();
        const std::vector<uint32_t> shown = harness.playFor(0.5);
        ASSERT_FALSE(shown.empty());
        EXPECT_GE(shown.front(), 29u);
        EXPECT_LE(shown.front(), 31u);
        EXPECT_GT(engine.GetCurrentTime(), 1.0);
    }
}
