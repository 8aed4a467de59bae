// What an engine puts on a card, period by period, on a reference moved by the test: a start, a
// cue at an in point, cueing again after playing, a clip at half and at twice the card's rate, and
// a master with its slave on two cards.

#include "CardRig.h"

#include "engine/output/ssDecklinkPlayout.h"

#include "tests/support/MediaFiles.h"
#include "tests/support/OnAirAccuracy.h"

#include <gtest/gtest.h>

#include <algorithm>

using testsupport::describeRuns;
using testsupport::judgeOnAir;

namespace {

constexpr int64_t kNtscDuration = 1001;
constexpr int64_t kNtscScale = 30000;
constexpr double kNtscStep = 1001.0 / 30000.0;
constexpr int64_t kDoubleNtscScale = 60000;
constexpr double kDoubleNtscStep = 1001.0 / 60000.0;

// Judges a play from the period it was started in and says what aired.
void expectExact(const std::vector<int64_t>& codes, int64_t first, int64_t last, double clipPerPeriod)
{
    const testsupport::OnAirAccuracy judged = judgeOnAir(codes, first, last, clipPerPeriod);
    EXPECT_EQ(judged.skipped, 0) << describeRuns(codes);
    EXPECT_EQ(judged.repeated, 0) << describeRuns(codes);
    EXPECT_EQ(judged.black, 0) << describeRuns(codes);
}

// Times the frames on air went back (a loop's seams).
int seamsIn(const std::vector<int64_t>& codes)
{
    int seams = 0;
    for (size_t i = 1; i < codes.size(); ++i)
        seams += codes[i] >= 0 && codes[i] < codes[i - 1] ? 1 : 0;
    return seams;
}

} // namespace

TEST(EngineCardPacing, AStartAirsEveryFrameOnceFromTheOneAfterTheCuedFrameToTheLast)
{
    CardRig rig(1, kNtscDuration, kNtscScale);
    ASSERT_TRUE(rig.open(0, "prores_2997"));
    rig.run(6);
    EXPECT_EQ(rig.onAir(0).back(), 0) << describeRuns(rig.onAir(0));
    const int64_t played = rig.nextPeriod();
    rig.engine(0).Play();
    rig.run(110);
    expectExact(rig.onAir(0, played), 1, 89, 1.0);
    EXPECT_EQ(rig.onAir(0).back(), 89);
}

TEST(EngineCardPacing, APlayAirsTheFrameAfterTheHeldOneTwoPeriodsOnEveryTime)
{
    // The periods the card already holds only repeat the held picture: the play's frames go into
    // them, from the cued frame and from a pause in the middle alike.
    CardRig rig(1, kNtscDuration, kNtscScale);
    ASSERT_TRUE(rig.open(0, "prores_2997"));
    ssMediaDecoder3& engine = rig.engine(0);
    rig.run(6);
    for (int start = 0; start < 3; ++start) {
        SCOPED_TRACE(start);
        const int64_t held = rig.onAir(0).back();
        // The reference sits in the period before nextPeriod(): two periods on is the one after it.
        const int64_t played = rig.nextPeriod();
        engine.Play();
        rig.run(12);
        engine.Pause();
        rig.run(6);
        const std::vector<int64_t> codes = rig.onAir(0, played);
        ASSERT_GE(codes.size(), 12u);
        EXPECT_EQ(codes[0], held) << describeRuns(codes);
        const std::vector<int64_t> aired(codes.begin() + 1, codes.begin() + 12);
        expectExact(aired, held + 1, held + 11, 1.0);
        EXPECT_EQ(aired.front(), held + 1) << describeRuns(codes);
    }
}

TEST(EngineCardPacing, APlayRightAfterACueStillAirsTheCuedFrameFirst)
{
    // The cued frame is handed to the card but not yet on air when play comes: it airs, and the
    // play's frames follow it.
    CardRig rig(1, kNtscDuration, kNtscScale);
    ASSERT_TRUE(rig.open(0, "prores_2997"));
    ssMediaDecoder3& engine = rig.engine(0);
    rig.run(6);
    const double in = 30 * kNtscStep;
    ASSERT_EQ(engine.SetInOutPoints(in, 60 * kNtscStep), 0);
    engine.Seek(in, 0);
    const int64_t cued = rig.nextPeriod();
    rig.run(1);
    engine.Play();
    rig.run(40);
    std::vector<int64_t> codes = rig.onAir(0, cued);
    codes.erase(codes.begin(), std::find(codes.begin(), codes.end(), 30));
    expectExact(codes, 30, 59, 1.0);
    EXPECT_EQ(codes.front(), 30) << describeRuns(rig.onAir(0, cued));
}

TEST(EngineCardPacing, ACueAtAnInPointHoldsThatFrameAndPlaysOnFromIt)
{
    CardRig rig(1, kNtscDuration, kNtscScale);
    ASSERT_TRUE(rig.open(0, "prores_2997"));
    ssMediaDecoder3& engine = rig.engine(0);
    const double in = 30 * kNtscStep;
    ASSERT_EQ(engine.SetInOutPoints(in, 60 * kNtscStep), 0);
    engine.Seek(in, 0);
    rig.run(6);
    EXPECT_EQ(rig.onAir(0).back(), 30) << describeRuns(rig.onAir(0));
    const int64_t played = rig.nextPeriod();
    engine.Play();
    rig.run(40);
    // The out point names where playing ends: frame 59 is the last inside it.
    expectExact(rig.onAir(0, played), 31, 59, 1.0);
    EXPECT_EQ(rig.onAir(0).back(), 59);
}

TEST(EngineCardPacing, CueingAgainAfterPlayingStartsEveryCycleAtTheClipsOwnRate)
{
    CardRig rig(1, kNtscDuration, kNtscScale);
    ASSERT_TRUE(rig.open(0, "prores_2997"));
    ssMediaDecoder3& engine = rig.engine(0);
    for (int cycle = 0; cycle < 3; ++cycle) {
        SCOPED_TRACE(cycle);
        engine.Seek(0.0, 0);
        rig.run(6);
        EXPECT_EQ(rig.onAir(0).back(), 0);
        const int64_t played = rig.nextPeriod();
        engine.Play();
        rig.run(40);
        engine.Pause();
        const std::vector<int64_t> codes = rig.onAir(0, played);
        expectExact(codes, 1, codes.back(), 1.0);
        EXPECT_GE(codes.back(), 30) << describeRuns(codes);
        rig.run(6);
    }
}

TEST(EngineCardPacing, AClipHoldsEachFrameForItsCadenceOnAFasterCardAndSkipsOnASlowerOne)
{
    {
        // 29.97 on 59.94: every frame for exactly two periods.
        CardRig rig(1, kNtscDuration, 2 * kNtscScale);
        ASSERT_TRUE(rig.open(0, "prores_2997"));
        rig.run(4);
        const int64_t played = rig.nextPeriod();
        rig.engine(0).Play();
        rig.run(200);
        expectExact(rig.onAir(0, played), 1, 89, 0.5);
    }
    {
        // 59.94 on 29.97: every second frame from the cued one, each for one period, and the
        // clip's last frame.
        CardRig rig(1, kNtscDuration, kNtscScale);
        ASSERT_TRUE(rig.open(0, "prores_5994"));
        rig.run(4);
        const int64_t played = rig.nextPeriod();
        rig.engine(0).Play();
        rig.run(70);
        expectExact(rig.onAir(0, played), 2, 119, 2.0);
        EXPECT_EQ(rig.onAir(0).back(), 119);
    }
}

TEST(EngineCardPacing, AMasterAndItsSlaveAirTheSameFrameInTheSamePeriod)
{
    CardRig rig(2, kNtscDuration, kNtscScale);
    ASSERT_TRUE(rig.open(0, "prores_2997"));
    ASSERT_TRUE(rig.open(1, "prores_2997"));
    ASSERT_EQ(rig.engine(1).SetMaster(&rig.engine(0), 0.0), 0);
    rig.run(5);
    const int64_t played = rig.nextPeriod();
    // As the channel does it: the master first, then its slave, in one turn.
    rig.engine(0).Play();
    rig.run(1);
    rig.engine(1).Play();
    rig.run(60);
    const std::vector<int64_t> master = rig.onAir(0, played);
    const std::vector<int64_t> slave = rig.onAir(1, played);
    EXPECT_EQ(master, slave) << "master " << describeRuns(master) << "\nslave " << describeRuns(slave);
    expectExact(master, 1, master.back(), 1.0);
}

TEST(EngineCardPacing, AMasterWithASlaveStartsByTheReferenceAndUnlinkedStartsTwoPeriodsOn)
{
    CardRig rig(2, kNtscDuration, kNtscScale);
    ASSERT_TRUE(rig.open(0, "prores_2997"));
    ASSERT_TRUE(rig.open(1, "prores_2997"));
    ssMediaDecoder3& master = rig.engine(0);
    ASSERT_EQ(rig.engine(1).SetMaster(&master, 0.0), 0);
    rig.run(5);
    int64_t played = rig.nextPeriod();
    master.Play();
    rig.run(1);
    rig.engine(1).Play();
    rig.run(12);
    // The first frame four periods on, on both cards, so that a slave played a period later
    // still starts with its master.
    std::vector<int64_t> codes = rig.onAir(0, played);
    EXPECT_EQ(codes, rig.onAir(1, played)) << describeRuns(codes) << "\n" << describeRuns(rig.onAir(1, played));
    EXPECT_EQ(std::find(codes.begin(), codes.end(), 1) - codes.begin(), ssDecklinkPlayout::kPrerollFrames)
        << describeRuns(codes);

    master.Pause();
    rig.engine(1).Pause();
    ASSERT_EQ(rig.engine(1).SetMaster(nullptr, 0.0), 0);
    rig.run(6);
    const int64_t held = rig.onAir(0).back();
    played = rig.nextPeriod();
    master.Play();
    rig.run(6);
    codes = rig.onAir(0, played);
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(codes[0], held) << describeRuns(codes);
    EXPECT_EQ(codes[1], held + 1) << describeRuns(codes);
}

TEST(EngineCardPacing, ChannelsPlayedInOneTurnStartInTheSamePeriod)
{
    // The all-channel transport plays unlinked channels one after another: on one reference they
    // start together.
    CardRig rig(2, kNtscDuration, kNtscScale);
    ASSERT_TRUE(rig.open(0, "prores_2997"));
    ASSERT_TRUE(rig.open(1, "prores_2997"));
    rig.run(5);
    const int64_t played = rig.nextPeriod();
    rig.engine(0).Play();
    rig.engine(1).Play();
    rig.run(40);
    const std::vector<int64_t> first = rig.onAir(0, played);
    const std::vector<int64_t> second = rig.onAir(1, played);
    EXPECT_EQ(first, second) << describeRuns(first) << "\n" << describeRuns(second);
    expectExact(first, 1, first.back(), 1.0);
}

TEST(EngineCardPacing, ALoopWithAnInAndOutPointAirsTheInPointRightAfterTheOutPointEveryPass)
{
    // Both the clip without sound and the one with sound, whose sound is cut to the range.
    for (const char* clip : {"prores_2997", "h264_2997_aac"}) {
        SCOPED_TRACE(clip);
        CardRig rig(1, kNtscDuration, kNtscScale);
        ASSERT_TRUE(rig.open(0, clip));
        ssMediaDecoder3& engine = rig.engine(0);
        engine.SetPlaybackBehavior(1);
        ASSERT_EQ(engine.SetInOutPoints(20 * kNtscStep, 45 * kNtscStep), 0);
        engine.Seek(20 * kNtscStep, 0);
        rig.run(6);
        EXPECT_EQ(rig.onAir(0).back(), 20) << describeRuns(rig.onAir(0));
        const int64_t played = rig.nextPeriod();
        engine.Play();
        rig.run(24 + 3 * 25 + 5);
        // 21..44, then 20..44 on every pass: one frame a period, the seam included.
        std::vector<int64_t> expected;
        for (int64_t f = 21; f <= 44; ++f)
            expected.push_back(f);
        while (expected.size() < 24 + 3 * 25 + 5)
            expected.push_back(20 + int64_t(expected.size() - 24) % 25);
        // The periods the card had already been given still show the cued frame.
        std::vector<int64_t> codes = rig.onAir(0, played);
        const auto cued = std::find_if(codes.begin(), codes.end(), [](int64_t c) { return c != 20; });
        EXPECT_LE(cued - codes.begin(), ssDecklinkPlayout::kPrerollFrames + 1) << describeRuns(codes);
        codes.erase(codes.begin(), cued);
        expected.resize(codes.size());
        EXPECT_EQ(codes, expected) << describeRuns(codes);
        EXPECT_EQ(engine.GetThreadState(), ssStatePlaying);
        EXPECT_GE(engine.GetCurrentTime(), 20 * kNtscStep - 1e-6);
        EXPECT_LE(engine.GetCurrentTime(), 44 * kNtscStep + 1e-6);
    }
}

TEST(EngineCardPacing, APausedLoopResumedOnALaterPassPlaysOnFromTheFrameOnAir)
{
    CardRig rig(1, kNtscDuration, kNtscScale);
    ASSERT_TRUE(rig.open(0, "prores_2997"));
    ssMediaDecoder3& engine = rig.engine(0);
    engine.SetPlaybackBehavior(1);
    // The whole clip: its later passes carry times counted on from the first.
    ASSERT_EQ(engine.SetInOutPoints(0.0, engine.GetDuration()), 0);
    engine.Seek(0.0, 0);
    rig.run(4);
    engine.Play();
    rig.run(110); // into the second pass
    engine.Pause();
    rig.run(5);
    const int64_t held = rig.onAir(0).back();
    const int64_t played = rig.nextPeriod();
    engine.Play();
    rig.run(12);
    // Playing on from the frame on air, one a period, in the pass it is in.
    std::vector<int64_t> codes = rig.onAir(0, played);
    const auto moved = std::find_if(codes.begin(), codes.end(), [held](int64_t c) { return c != held; });
    codes.erase(codes.begin(), moved);
    ASSERT_GE(codes.size(), 6u) << describeRuns(rig.onAir(0));
    for (size_t i = 0; i < codes.size(); ++i)
        EXPECT_EQ(codes[i], (held + 1 + int64_t(i)) % 90) << describeRuns(rig.onAir(0));
}

TEST(EngineCardPacing, APlayAskedForWhileTheClipStillOpensAirsEveryFrameFromItsFirst)
{
    // The decoder's start-up time passes as periods on the card: the play waits for the first
    // frame instead of counting those periods as frames gone by.
    CardRig rig(1, kNtscDuration, kNtscScale);
    ssMediaDecoder3& engine = rig.engine(0);
    rig.run(2);
    const int64_t played = rig.nextPeriod();
    ASSERT_EQ(engine.Open(testsupport::mediaPath("prores_2997").toStdString().c_str(), false, true), 0);
    engine.Play();
    rig.runAhead(8);
    rig.run(60);
    std::vector<int64_t> codes;
    for (int64_t code : rig.onAir(0, played))
        if (code >= 0 || !codes.empty())
            codes.push_back(code);
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.front(), 0) << describeRuns(codes);
    // A frame may stay on while the next is still decoding, but none is passed over.
    const testsupport::OnAirAccuracy judged = judgeOnAir(codes, 0, codes.back(), 1.0);
    EXPECT_EQ(judged.skipped, 0) << describeRuns(codes);
    EXPECT_EQ(judged.black, 0) << describeRuns(codes);
    EXPECT_GE(codes.back(), 50) << describeRuns(codes);
}

TEST(EngineCardPacing, ANewClipAfterAHeldLastFrameAirsItsFramesInOrderFromTheFirst)
{
    // The card frames still waiting to air hold the last picture while the new clip's first
    // frames come: none of them may be written over before it aired.
    CardRig rig(1, kNtscDuration, kNtscScale);
    ASSERT_TRUE(rig.open(0, "prores_2997"));
    ssMediaDecoder3& engine = rig.engine(0);
    ASSERT_EQ(engine.SetInOutPoints(0.0, 10 * kNtscStep), 0);
    rig.run(4);
    engine.Play();
    rig.run(16);
    ASSERT_EQ(rig.onAir(0).back(), 9) << describeRuns(rig.onAir(0));
    const int64_t next = rig.nextPeriod();
    ASSERT_EQ(engine.Open(testsupport::mediaPath("prores_2997").toStdString().c_str(), false, true), 0);
    engine.Play();
    rig.runAhead(2);
    rig.run(30);
    std::vector<int64_t> codes = rig.onAir(0, next);
    const auto held = std::find_if(codes.begin(), codes.end(), [](int64_t c) { return c != 9; });
    codes.erase(codes.begin(), held);
    ASSERT_GE(codes.size(), 20u) << describeRuns(rig.onAir(0, next));
    EXPECT_EQ(codes.front(), 0) << describeRuns(rig.onAir(0, next));
    const testsupport::OnAirAccuracy judged = judgeOnAir(codes, 0, codes.back(), 1.0);
    EXPECT_EQ(judged.skipped, 0) << describeRuns(rig.onAir(0, next));
    EXPECT_EQ(judged.black, 0) << describeRuns(rig.onAir(0, next));
}

TEST(EngineCardPacing, AStepAirsTheFrameAfterTheStepBeforeItEvenBeforeTheCardTookThatOne)
{
    // The card takes no frame while the reference stands still, as a card behind a slow decode
    // would not: each step goes on from the frame the step before it placed.
    CardRig rig(1, kNtscDuration, kDoubleNtscScale);
    ASSERT_TRUE(rig.open(0, "prores_5994"));
    ssMediaDecoder3& engine = rig.engine(0);
    engine.Seek(19 * kDoubleNtscStep, 0);
    rig.run(6);
    ASSERT_EQ(rig.onAir(0).back(), 19) << describeRuns(rig.onAir(0));
    engine.StepForward();
    rig.run(6);
    EXPECT_EQ(rig.onAir(0).back(), 20) << describeRuns(rig.onAir(0));
    engine.StepForward();
    engine.StepForward();
    rig.run(6);
    EXPECT_EQ(rig.onAir(0).back(), 22) << describeRuns(rig.onAir(0));
    engine.StepBackward();
    rig.run(6);
    EXPECT_EQ(rig.onAir(0).back(), 21) << describeRuns(rig.onAir(0));
    EXPECT_EQ(engine.GetThreadState(), ssStatePaused);
}

TEST(EngineCardPacing, ASlaveAtEachLoopSeamOfItsMasterAirsInStepWithIt)
{
    // As the channel does at its master's seam, a slave that does not go round with the loop by
    // itself is sought to the master's in point and played (a playing slave does). The master's
    // later passes run on past its range; the slave goes by where the master is in its file, one
    // frame a period, and plays on by itself when the master stops.
    struct Range {
        int in;
        int end;
    };
    for (const Range range : {Range{0, 90}, Range{20, 45}}) {
        SCOPED_TRACE(range.in);
        CardRig rig(2, kNtscDuration, kNtscScale);
        ASSERT_TRUE(rig.open(0, "prores_2997"));
        ASSERT_TRUE(rig.open(1, "prores_2997"));
        ssMediaDecoder3& master = rig.engine(0);
        ssMediaDecoder3& slave = rig.engine(1);
        master.SetPlaybackBehavior(1);
        ASSERT_EQ(master.SetInOutPoints(range.in * kNtscStep, range.end * kNtscStep), 0);
        master.Seek(range.in * kNtscStep, 0);
        slave.Seek(range.in * kNtscStep, 0);
        ASSERT_EQ(slave.SetMaster(&master, 0.0), 0);
        rig.run(5);
        master.Play();
        rig.run(1);
        slave.Play();
        for (int seam = 0; seam < 2; ++seam) {
            int64_t previous = -1;
            for (int i = 0; i < 200; ++i) {
                rig.run(1);
                const int64_t now = rig.onAir(0).back();
                if (now >= 0 && now < previous)
                    break;
                previous = now;
            }
            ASSERT_EQ(rig.onAir(0).back(), range.in) << describeRuns(rig.onAir(0));
            if (!slave.PassesSeamsWithMaster()) {
                slave.Seek(range.in * kNtscStep, 0);
                slave.Play();
            }
        }
        // Up to the master's next seam, where the slave waits to be sought again.
        const int64_t sought = rig.nextPeriod();
        rig.run(std::min(30, range.end - range.in - 3));
        const std::vector<int64_t> leading = rig.onAir(0, sought);
        const std::vector<int64_t> following = rig.onAir(1, sought);
        ASSERT_EQ(leading.size(), following.size());
        // The periods the card already had, then the sought frame, then the master's frames.
        size_t joined = 0;
        while (joined < following.size() && following[joined] != leading[joined])
            ++joined;
        EXPECT_LE(joined, size_t(ssDecklinkPlayout::kPrerollFrames + 2))
            << "master " << describeRuns(leading) << "\nslave " << describeRuns(following);
        for (size_t i = joined; i < following.size(); ++i)
            ASSERT_EQ(following[i], leading[i])
                << "period " << i << "\nmaster " << describeRuns(leading) << "\nslave " << describeRuns(following);

        // Stopped master first, then its slave: the slave's last frames go on from where it was
        // (round the pass it already read, should its end come first).
        const int64_t stopped = rig.nextPeriod() - 1;
        master.Stop();
        rig.run(3);
        slave.Stop();
        rig.run(8);
        const std::vector<int64_t> ending = rig.onAir(1, stopped);
        ASSERT_FALSE(ending.empty());
        EXPECT_EQ(ending.back(), -1) << describeRuns(ending);
        for (size_t i = 1; i < ending.size(); ++i)
            EXPECT_TRUE(ending[i] < 0 || ending[i] == ending[i - 1] + 1 ||
                        (ending[i - 1] == range.end - 1 && ending[i] == range.in))
                << describeRuns(ending);
    }
}

TEST(EngineCardPacing, ASlaveGoesRoundWithItsLoopingMasterAndAirsItsInPointInTheSamePeriod)
{
    // 59.94 long-GOP: nobody seeks the slave at the seams, it passes them by itself. From the
    // period it joined its master it airs the master's frame in every period, the seams included.
    struct Range {
        int in;
        int end;
        int seams;
    };
    for (const Range range : {Range{0, 180, 2}, Range{20, 60, 3}}) {
        SCOPED_TRACE(range.in);
        CardRig rig(2, kNtscDuration, kDoubleNtscScale);
        ASSERT_TRUE(rig.open(0, "h264_720p5994"));
        ASSERT_TRUE(rig.open(1, "h264_720p5994"));
        ssMediaDecoder3& master = rig.engine(0);
        ssMediaDecoder3& slave = rig.engine(1);
        master.SetPlaybackBehavior(1);
        ASSERT_EQ(master.SetInOutPoints(range.in * kDoubleNtscStep, range.end * kDoubleNtscStep), 0);
        ASSERT_EQ(slave.SetMaster(&master, 0.0), 0);
        master.Seek(range.in * kDoubleNtscStep, 0);
        slave.Seek(range.in * kDoubleNtscStep, 0);
        rig.run(5);
        const int64_t played = rig.nextPeriod();
        master.Play();
        rig.run(1);
        slave.Play();
        rig.run(range.seams * (range.end - range.in) + 10);
        const std::vector<int64_t> leading = rig.onAir(0, played);
        const std::vector<int64_t> following = rig.onAir(1, played);
        ASSERT_EQ(leading.size(), following.size());
        EXPECT_EQ(seamsIn(leading), range.seams) << describeRuns(leading);
        // The slave's play joins its master's within the periods the card already had.
        for (size_t i = size_t(ssDecklinkPlayout::kPrerollFrames + 2); i < following.size(); ++i)
            ASSERT_EQ(following[i], leading[i])
                << "period " << i << "\nmaster " << describeRuns(leading) << "\nslave " << describeRuns(following);
        EXPECT_TRUE(slave.PassesSeamsWithMaster());
    }
}

TEST(EngineCardPacing, AShorterSlaveHoldsItsLastFrameUntilItsMastersSeamAndStartsAgainWithIt)
{
    // The slave's clip (120 frames) ends two seconds into its master's 180-frame pass: it holds
    // its last frame, neither paused nor sought, and airs its frame 0 with its master's.
    CardRig rig(2, kNtscDuration, kDoubleNtscScale);
    ASSERT_TRUE(rig.open(0, "h264_720p5994"));
    ASSERT_TRUE(rig.open(1, "prores_5994"));
    ssMediaDecoder3& master = rig.engine(0);
    ssMediaDecoder3& slave = rig.engine(1);
    master.SetPlaybackBehavior(1);
    ASSERT_EQ(slave.SetMaster(&master, 0.0), 0);
    master.Seek(0.0, 0);
    slave.Seek(0.0, 0);
    rig.run(5);
    const int64_t played = rig.nextPeriod();
    master.Play();
    rig.run(1);
    slave.Play();
    rig.run(2 * 180 + 30);
    const std::vector<int64_t> leading = rig.onAir(0, played);
    const std::vector<int64_t> following = rig.onAir(1, played);
    ASSERT_EQ(leading.size(), following.size());
    EXPECT_EQ(seamsIn(leading), 2) << describeRuns(leading);
    for (size_t i = size_t(ssDecklinkPlayout::kPrerollFrames + 2); i < following.size(); ++i)
        ASSERT_EQ(following[i], std::min<int64_t>(leading[i], 119))
            << "period " << i << "\nmaster " << describeRuns(leading) << "\nslave " << describeRuns(following);
}

TEST(EngineCardPacing, ASlateThatComesWhileTheClipPlaysChangesNothingOnAir)
{
    // Cued before its slate existed (the stock slate stood for it), played, and given its slate
    // twenty periods in: every frame airs once, from the first to the last.
    CardRig rig(1, kNtscDuration, kNtscScale);
    ssMediaDecoder3& engine = rig.engine(0);
    engine.SetShowSlate(1);
    ASSERT_TRUE(rig.open(0, "prores_2997"));
    rig.run(6);
    EXPECT_EQ(rig.onAir(0).back(), -1) << describeRuns(rig.onAir(0));
    const int64_t played = rig.nextPeriod();
    engine.Play();
    rig.run(20);
    const std::vector<uint8_t> slate(64 * 36 * 4, 0x80);
    EXPECT_EQ(engine.SetSlateImage(64, 36, slate.data()), 0);
    rig.run(90);
    expectExact(rig.onAir(0, played), 0, 89, 1.0);
    EXPECT_EQ(rig.onAir(0).back(), 89);
    EXPECT_EQ(engine.IsSlateShowing(), 0);
}

TEST(EngineCardPacing, APlayFromACuedSlateAirsTheCuedFrameInThePeriodAfterThePlay)
{
    // The slate stands for the cued frame until play: the period after the play shows that frame,
    // as a play from the cued frame itself shows the one after it. Cued by the open alone, then
    // (after playing) by an open and a seek to the in point, as automation cues a clip.
    CardRig rig(1, kNtscDuration, kNtscScale);
    ssMediaDecoder3& engine = rig.engine(0);
    engine.SetShowSlate(1);
    for (int cue = 0; cue < 2; ++cue) {
        SCOPED_TRACE(cue);
        ASSERT_TRUE(rig.open(0, "prores_2997"));
        if (cue > 0)
            engine.Seek(engine.GetInPoint(), 0);
        rig.run(6);
        ASSERT_EQ(engine.IsSlateShowing(), 1);
        EXPECT_EQ(rig.onAir(0).back(), -1) << describeRuns(rig.onAir(0));
        const int64_t played = rig.nextPeriod();
        engine.Play();
        rig.run(40);
        const std::vector<int64_t> codes = rig.onAir(0, played);
        ASSERT_GE(codes.size(), 2u);
        EXPECT_EQ(codes[0], -1) << describeRuns(codes);
        EXPECT_EQ(codes[1], 0) << describeRuns(codes);
        expectExact(codes, 0, 38, 1.0);
    }
}
