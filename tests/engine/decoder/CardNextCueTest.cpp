// The next cue through the running engine, on a reference moved by the test: opened ahead, its in
// point airs in the period right after the last frame of the cue before it, for clips with and
// without sound; a cue that cannot follow so, or is dropped, leaves the cue to end at its out point.

#include "CardRig.h"

#include "tests/support/MediaFiles.h"
#include "tests/support/OnAirAccuracy.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>

using testsupport::describeRuns;

namespace {

constexpr int64_t kNtscDuration = 1001;
constexpr int64_t kNtscScale = 30000;
constexpr double kNtscStep = 1001.0 / 30000.0;

std::string clipPath(const char* name)
{
    return testsupport::mediaPath(name).toStdString();
}

// One period at a time, each once the engine has three frames rendered, or every frame its last
// cue still has (a cue with another after it always has three: the next one's follow).
void runPlaying(CardRig& rig, ssMediaDecoder3& engine, int periods, bool lastCue)
{
    for (int i = 0; i < periods; ++i) {
        auto ready = [&] {
            const long left = std::lround((engine.GetOutPoint() - engine.GetCurrentTime()) / kNtscStep);
            const int need = lastCue ? std::clamp(int(left), 0, 3) : 3;
            return engine.GetFramesReady() >= need || engine.GetThreadState() != ssStatePlaying;
        };
        testsupport::waitUntil(ready, 5000);
        rig.runAhead(1);
    }
}

// The codes from the first one after the cued frame.
std::vector<int64_t> afterCued(std::vector<int64_t> codes, int64_t cued)
{
    codes.erase(codes.begin(), std::find_if(codes.begin(), codes.end(), [cued](int64_t c) { return c != cued; }));
    return codes;
}

} // namespace

TEST(EngineNextCue, EachPreparedCuesInPointAirsInThePeriodAfterTheLastFrameOfTheCueBeforeIt)
{
    // Intra-coded with PCM, and long-GOP with AAC (the decoder holds pictures back to the end).
    for (const char* clip : {"prores_2997", "h264_2997_aac"}) {
        SCOPED_TRACE(clip);
        const std::string path = clipPath(clip);
        CardRig rig(1, kNtscDuration, kNtscScale);
        ASSERT_TRUE(rig.open(0, clip));
        ssMediaDecoder3& engine = rig.engine(0);
        engine.SetPlaybackBehavior(2);
        ASSERT_EQ(engine.SetInOutPoints(0.0, 20 * kNtscStep), 0);
        ASSERT_EQ(engine.PrepareNext(path.c_str(), 30 * kNtscStep, 50 * kNtscStep, 2), 0);
        rig.run(4);
        const int64_t played = rig.nextPeriod();
        engine.Play();
        // Frames 1..19 of the first cue, then 30..49 of the second.
        runPlaying(rig, engine, 19 + 5, false);
        ASSERT_EQ(engine.GetHandOvers(), 1u) << describeRuns(rig.onAir(0, played));
        // As the channel does once a cue is on air: the one after it, which ends the run.
        ASSERT_EQ(engine.PrepareNext(path.c_str(), 0.0, 15 * kNtscStep, 0), 0);
        runPlaying(rig, engine, 15, false);
        runPlaying(rig, engine, 15 + 6, true);
        EXPECT_EQ(engine.GetHandOvers(), 2u);

        std::vector<int64_t> expected;
        for (int64_t f = 1; f <= 19; ++f)
            expected.push_back(f);
        for (int64_t f = 30; f <= 49; ++f)
            expected.push_back(f);
        for (int64_t f = 0; f <= 14; ++f)
            expected.push_back(f);
        std::vector<int64_t> codes = afterCued(rig.onAir(0, played), 0);
        ASSERT_GE(codes.size(), expected.size()) << describeRuns(codes);
        // The last cue stops on its last frame.
        EXPECT_TRUE(std::all_of(codes.begin() + long(expected.size()), codes.end(), [](int64_t c) { return c == 14; }))
            << describeRuns(codes);
        codes.resize(expected.size());
        EXPECT_EQ(codes, expected) << describeRuns(codes);
        // The engine now names the cue on air: its range, and where it is in it.
        EXPECT_NEAR(engine.GetInPoint(), 0.0, 1e-6);
        EXPECT_NEAR(engine.GetOutPoint(), 14 * kNtscStep, 1e-6);
        EXPECT_NEAR(engine.GetCurrentTime(), 14 * kNtscStep, 0.5 * kNtscStep);
    }
}

TEST(EngineNextCue, ACueThatCannotFollowOrIsDroppedLeavesTheCueToEndAtItsOutPoint)
{
    // Another rate cannot run through the same queues; a dropped cue is not played at all.
    for (bool dropped : {false, true}) {
        SCOPED_TRACE(dropped ? "dropped" : "another rate");
        CardRig rig(1, kNtscDuration, kNtscScale);
        ASSERT_TRUE(rig.open(0, "prores_2997"));
        ssMediaDecoder3& engine = rig.engine(0);
        std::atomic<int> ends{0};
        KLVChannelNotifier notifier([&ends] { ++ends; });
        engine.SetDelegate(&notifier);
        engine.SetPlaybackBehavior(2);
        ASSERT_EQ(engine.SetInOutPoints(0.0, 20 * kNtscStep), 0);
        if (dropped) {
            ASSERT_EQ(engine.PrepareNext(clipPath("prores_2997").c_str(), 40 * kNtscStep, 60 * kNtscStep, 0), 0);
        } else {
            EXPECT_EQ(engine.PrepareNext(clipPath("prores_5994").c_str(), 0.0, 1.0, 0), -2);
        }
        rig.run(4);
        const int64_t played = rig.nextPeriod();
        engine.Play();
        runPlaying(rig, engine, 10, true);
        if (dropped)
            engine.ClearNext();
        runPlaying(rig, engine, 9 + 6, true);
        const std::vector<int64_t> codes = afterCued(rig.onAir(0, played), 0);
        ASSERT_FALSE(codes.empty());
        EXPECT_EQ(codes.back(), 19) << describeRuns(codes);
        EXPECT_TRUE(std::none_of(codes.begin(), codes.end(), [](int64_t c) { return c >= 20; })) << describeRuns(codes);
        EXPECT_EQ(engine.GetHandOvers(), 0u);
        EXPECT_EQ(ends.load(), 1);
        EXPECT_EQ(engine.GetThreadState(), ssStatePaused);
        engine.SetDelegate(nullptr);
    }
}
