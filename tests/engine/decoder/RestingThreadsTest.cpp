// A channel with nothing to do costs nothing: cued, at the end of its clip, or waiting at its out
// point for the cue after it, the engine's threads go through no round however many periods the
// card asks for a frame; and what they were waiting for wakes them in time for every frame.

#include "CardRig.h"

#include "tests/support/MediaFiles.h"
#include "tests/support/OnAirAccuracy.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

using testsupport::describeRuns;

namespace {

constexpr int64_t kNtscDuration = 1001;
constexpr int64_t kNtscScale = 30000;
constexpr double kNtscStep = 1001.0 / 30000.0;

// Longer than any wait inside a round (the longest is 125 ms), so a thread still in a round when
// one look was taken has counted it by the next.
constexpr auto kLookApart = std::chrono::milliseconds(300);

// Waits (real time, bounded) until the threads went through no round between two looks: every
// one rests. False when they never did.
bool settles(ssMediaDecoder3& engine)
{
    uint64_t last = engine.GetThreadPasses();
    return testsupport::waitUntil(
        [&] {
            std::this_thread::sleep_for(kLookApart);
            const uint64_t now = engine.GetThreadPasses();
            const bool same = now == last;
            last = now;
            return same;
        },
        20000);
}

// Rounds the threads go through while the card asks for `periods` frames and a while after.
uint64_t roundsOver(CardRig& rig, ssMediaDecoder3& engine, int periods)
{
    const uint64_t before = engine.GetThreadPasses();
    rig.runAhead(periods);
    std::this_thread::sleep_for(kLookApart);
    return engine.GetThreadPasses() - before;
}

// One period at a time, each once the engine has a frame rendered ahead (or has stopped).
void runPlaying(CardRig& rig, ssMediaDecoder3& engine, int periods)
{
    for (int i = 0; i < periods; ++i) {
        testsupport::waitUntil(
            [&] { return engine.GetFramesReady() > 0 || engine.GetThreadState() != ssStatePlaying; }, 5000);
        rig.runAhead(1);
    }
}

std::vector<int64_t> framesFrom(int64_t first, int64_t last)
{
    std::vector<int64_t> frames;
    for (int64_t f = first; f <= last; ++f)
        frames.push_back(f);
    return frames;
}

// The codes after the cued frame (and the black before a seek's frame), as many as expected.
std::vector<int64_t> playedAfter(std::vector<int64_t> codes, int64_t cued, size_t count)
{
    codes.erase(codes.begin(),
                std::find_if(codes.begin(), codes.end(), [cued](int64_t c) { return c != cued && c != -1; }));
    codes.resize(std::min(codes.size(), count));
    return codes;
}

} // namespace

TEST(EngineRest, ACuedChannelRestsAndItsPlayStillAirsEveryFrameInItsPeriod)
{
    // Intra-coded with PCM, and long-GOP with AAC (its reader also waits for audio to catch up).
    for (const char* clip : {"prores_2997", "h264_2997_aac"}) {
        SCOPED_TRACE(clip);
        CardRig rig(1, kNtscDuration, kNtscScale);
        ASSERT_TRUE(rig.open(0, clip));
        ssMediaDecoder3& engine = rig.engine(0);
        ASSERT_EQ(engine.Seek(10 * kNtscStep, 0), 0);
        rig.run(2);
        ASSERT_TRUE(settles(engine)) << "the threads never rest while cued";
        EXPECT_EQ(roundsOver(rig, engine, 30), 0u);
        EXPECT_TRUE(engine.BuffersReady());

        const int64_t played = rig.nextPeriod();
        engine.Play();
        runPlaying(rig, engine, 30 + 3);
        const std::vector<int64_t> expected = framesFrom(11, 40);
        EXPECT_EQ(playedAfter(rig.onAir(0, played), 10, expected.size()), expected)
            << describeRuns(rig.onAir(0, played));
    }
}

TEST(EngineRest, AClipStoppedOnItsLastFrameRests)
{
    CardRig rig(1, kNtscDuration, kNtscScale);
    ASSERT_TRUE(rig.open(0, "prores_2997"));
    ssMediaDecoder3& engine = rig.engine(0);
    ASSERT_EQ(engine.Seek(70 * kNtscStep, 0), 0);
    rig.run(2);
    const int64_t played = rig.nextPeriod();
    engine.Play();
    // Frames 71 to 89, the file's last, which ends the range: the engine stops on it.
    runPlaying(rig, engine, 19 + 4);
    ASSERT_TRUE(testsupport::waitUntil([&] { return engine.GetThreadState() == ssStatePaused; }));
    EXPECT_EQ(playedAfter(rig.onAir(0, played), 70, 19), framesFrom(71, 89)) << describeRuns(rig.onAir(0, played));
    ASSERT_TRUE(settles(engine)) << "the threads never rest at the end of the file";
    EXPECT_EQ(roundsOver(rig, engine, 30), 0u);
    const std::vector<int64_t> held = rig.onAir(0, rig.nextPeriod() - 30);
    EXPECT_TRUE(std::all_of(held.begin(), held.end(), [](int64_t c) { return c == 89; })) << describeRuns(held);

    // A seek back wakes every thread: the position is shown and plays again.
    ASSERT_EQ(engine.Seek(20 * kNtscStep, 0), 0);
    rig.run(2);
    const int64_t again = rig.nextPeriod();
    engine.Play();
    runPlaying(rig, engine, 10 + 3);
    EXPECT_EQ(playedAfter(rig.onAir(0, again), 20, 10), framesFrom(21, 30)) << describeRuns(rig.onAir(0, again));
}

TEST(EngineRest, AShortCueWaitingAtItsOutPointIsReadyRestsAndHandsOverToACuePreparedLater)
{
    const std::string path = testsupport::mediaPath("prores_2997").toStdString();
    CardRig rig(1, kNtscDuration, kNtscScale);
    ASSERT_TRUE(rig.open(0, "prores_2997"));
    ssMediaDecoder3& engine = rig.engine(0);
    // A cue of 20 frames whose End is the next cue, read again from its in point as a channel
    // does once its range and End are known: the reader stops at the out point and waits there.
    engine.SetPlaybackBehavior(2);
    ASSERT_EQ(engine.SetInOutPoints(0.0, 20 * kNtscStep), 0);
    ASSERT_EQ(engine.Seek(0.0, 0), 0);
    rig.run(2);
    // Its queues never fill, yet all there is to read of it has been read: ready to play.
    EXPECT_TRUE(testsupport::waitUntil([&] { return engine.BuffersReady(); }));
    ASSERT_TRUE(settles(engine)) << "the threads never rest at the out point";
    EXPECT_EQ(roundsOver(rig, engine, 30), 0u);

    // The next cue, prepared while the reader rests: it goes on from the out point.
    ASSERT_EQ(engine.PrepareNext(path.c_str(), 30 * kNtscStep, 50 * kNtscStep, 0), 0);
    const int64_t played = rig.nextPeriod();
    engine.Play();
    runPlaying(rig, engine, 19 + 20 + 4);
    EXPECT_EQ(engine.GetHandOvers(), 1u);
    std::vector<int64_t> expected = framesFrom(1, 19);
    for (int64_t f : framesFrom(30, 49))
        expected.push_back(f);
    EXPECT_EQ(playedAfter(rig.onAir(0, played), 0, expected.size()), expected) << describeRuns(rig.onAir(0, played));
}
