// The presenting side's frame choice against a scripted ring and clock: every threshold, the
// post-seek countdown, re-basing and the end of the play range.

#include "engine/decoder/ssFrameChoice.h"

#include <gtest/gtest.h>

#include <deque>
#include <vector>

namespace {

constexpr double kStep = 1.0 / 25.0;

class ScriptedRing final : public ssPresentRing {
public:
    explicit ScriptedRing(std::vector<double> times)
    {
        for (double time : times) {
            frames_.emplace_back();
            frames_.back().time = time;
            frames_.back().textureIndex = int32_t(frames_.size() - 1);
        }
        for (auto& frame : frames_)
            waiting_.push_back(&frame);
    }
    ssFrameTarget* Peek() override { return waiting_.empty() ? nullptr : waiting_.front(); }
    ssFrameTarget* Take(int32_t milliseconds) override
    {
        waits.push_back(milliseconds);
        if (waiting_.empty())
            return nullptr;
        ssFrameTarget* frame = waiting_.front();
        waiting_.pop_front();
        return frame;
    }
    size_t left() const { return waiting_.size(); }
    std::vector<int32_t> waits;

private:
    std::deque<ssFrameTarget> frames_;
    std::deque<ssFrameTarget*> waiting_;
};

ssPresentTiming timing(double in = 10.0, double out = 20.0)
{
    ssPresentTiming result;
    result.frameStep = kStep;
    result.frameRate = 25.0;
    result.inPoint = in;
    result.outPoint = out;
    return result;
}

// The time of the frame shown, or -1.
double shownTime(const ssFrameChoice& choice)
{
    return choice.frame ? choice.frame->time : -1.0;
}

} // namespace

TEST(FrameChoice, OnlyPlayingOrCountingDownPresents)
{
    for (int32_t state : {ssStateStopped, ssStateSeek, ssStatePauseRequest, ssStateAcknowledged, ssStateExit}) {
        ScriptedRing ring({12.0});
        ssPresentState present;
        present.countdown = 1;
        EXPECT_EQ(ssChooseFrame(ring, 12.0, state, timing(), present).frame, nullptr) << state;
        EXPECT_EQ(ring.left(), 1u);
    }
    ScriptedRing ring({12.0, 12.04});
    ssPresentState present;
    // Paused without a countdown: nothing moves.
    EXPECT_EQ(ssChooseFrame(ring, 12.0, ssStatePaused, timing(), present).frame, nullptr);
    EXPECT_EQ(ring.left(), 2u);
    EXPECT_EQ(present.missedFrames.load(), 0);
    // Paused after a seek: the target frame is shown, then nothing more.
    present.countdown = ssPostSeekFrames;
    EXPECT_DOUBLE_EQ(shownTime(ssChooseFrame(ring, 0.0, ssStatePaused, timing(), present)), 12.0);
    EXPECT_EQ(present.countdown.load(), 0);
    EXPECT_EQ(ssChooseFrame(ring, 0.0, ssStatePaused, timing(), present).frame, nullptr);
}

TEST(FrameChoice, CountdownConsumesFramesUnseenWhateverTheClock)
{
    ScriptedRing ring({12.0, 12.04, 12.08});
    ssPresentState present;
    present.countdown = 2;
    // The clock is far away: the countdown ignores it.
    ssFrameChoice first = ssChooseFrame(ring, 100.0, ssStatePlaying, timing(), present);
    EXPECT_TRUE(first.taken);
    EXPECT_EQ(first.frame, nullptr);
    EXPECT_DOUBLE_EQ(present.currentTime.load(), 12.0);
    EXPECT_DOUBLE_EQ(shownTime(ssChooseFrame(ring, 100.0, ssStatePlaying, timing(), present)), 12.04);
    EXPECT_EQ(present.countdown.load(), 0);
}

TEST(FrameChoice, EarlyAndLateThresholds)
{
    struct Case {
        double lead; // frame time minus clock, in frame steps
        bool shown;
        size_t left;
    };
    // Early beyond 1.5 steps waits; late beyond 1.8 steps is dropped (the next frame, here on
    // time, is shown instead).
    for (Case c : {Case{1.6, false, 2}, Case{1.4, true, 1}, Case{0.0, true, 1}, Case{-1.7, true, 1},
                   Case{-1.9, true, 0}}) {
        SCOPED_TRACE(c.lead);
        const double clock = 15.0;
        const double time = clock + c.lead * kStep;
        ScriptedRing ring({time, clock});
        ssPresentState present;
        ssFrameChoice choice = ssChooseFrame(ring, clock, ssStatePlaying, timing(), present);
        EXPECT_EQ(choice.frame != nullptr, c.shown);
        EXPECT_EQ(ring.left(), c.left);
        if (c.lead < -1.8) {
            EXPECT_DOUBLE_EQ(shownTime(choice), clock);
        }
    }
}

TEST(FrameChoice, LateFramesAreDroppedAtMostThreeAtATime)
{
    const double clock = 15.0;
    ScriptedRing ring({14.0, 14.04, 14.08, 14.12, 14.16});
    ssPresentState present;
    ssFrameChoice choice = ssChooseFrame(ring, clock, ssStatePlaying, timing(), present);
    // Three dropped, the fourth taken although it is late too.
    EXPECT_DOUBLE_EQ(shownTime(choice), 14.12);
    EXPECT_EQ(ring.waits, (std::vector<int32_t>{0, 0, 0, 15}));

    ScriptedRing lastLate({14.0});
    EXPECT_EQ(ssChooseFrame(lastLate, clock, ssStatePlaying, timing(), present).frame, nullptr);
    EXPECT_EQ(lastLate.left(), 0u);
}

TEST(FrameChoice, FarBehindTheClockAsksForAResyncAndTheNextFrameRebases)
{
    ScriptedRing ring({14.0, 14.04});
    ssPresentState present;
    EXPECT_EQ(ssChooseFrame(ring, 19.5, ssStatePlaying, timing(), present).frame, nullptr);
    EXPECT_EQ(present.resync.load(), 1);
    EXPECT_EQ(ring.left(), 2u);
    ssFrameChoice choice = ssChooseFrame(ring, 19.5, ssStatePlaying, timing(), present);
    EXPECT_TRUE(choice.rebased);
    EXPECT_DOUBLE_EQ(choice.rebaseTime, 14.0);
    EXPECT_DOUBLE_EQ(shownTime(choice), 14.0);
    EXPECT_EQ(present.resync.load(), 0);
}

TEST(FrameChoice, TheInPointFrameRebasesWithinHalfAFrame)
{
    for (double off : {0.0, 0.4 * kStep, -0.4 * kStep, 0.6 * kStep}) {
        SCOPED_TRACE(off);
        ScriptedRing ring({10.0 + off});
        ssPresentState present;
        present.loopPending = 1;
        // The clock still stands at the end of the previous pass.
        ssFrameChoice choice = ssChooseFrame(ring, 19.9, ssStatePlaying, timing(), present);
        const bool sameFrame = off < 0.5 * kStep;
        EXPECT_EQ(choice.rebased, sameFrame);
        EXPECT_EQ(choice.frame != nullptr, sameFrame);
        EXPECT_EQ(present.loopPending.load(), sameFrame ? 0 : 1);
    }
}

TEST(FrameChoice, AfterALoopFramesFarAheadAreDiscarded)
{
    ScriptedRing ring({13.0, 13.04});
    ssPresentState present;
    present.loopPending = 1;
    EXPECT_EQ(ssChooseFrame(ring, 11.5, ssStatePlaying, timing(), present).frame, nullptr);
    EXPECT_EQ(ring.left(), 1u);
    EXPECT_EQ(ring.waits, (std::vector<int32_t>{10}));
    // Early by less than a second, or without a loop: the frame waits.
    ScriptedRing near({12.0});
    EXPECT_EQ(ssChooseFrame(near, 11.5, ssStatePlaying, timing(), present).frame, nullptr);
    EXPECT_EQ(near.left(), 1u);
    present.loopPending = 0;
    ScriptedRing far({13.0});
    EXPECT_EQ(ssChooseFrame(far, 11.5, ssStatePlaying, timing(), present).frame, nullptr);
    EXPECT_EQ(far.left(), 1u);
}

TEST(FrameChoice, TheEndOfThePlayRange)
{
    ssPresentState present;
    // The out point is the last frame's time: that frame ends the range, the one before does not.
    ScriptedRing ring({20.0 - kStep, 20.0});
    EXPECT_FALSE(ssChooseFrame(ring, 20.0 - kStep, ssStatePlaying, timing(), present).endReached);
    ssFrameChoice last = ssChooseFrame(ring, 20.0, ssStatePlaying, timing(), present);
    EXPECT_TRUE(last.endReached);
    EXPECT_NE(last.frame, nullptr);
    // No out point: no end from frames.
    ScriptedRing open({30.0});
    EXPECT_FALSE(ssChooseFrame(open, 30.0, ssStatePlaying, timing(10.0, 0.0), present).endReached);
}

TEST(FrameChoice, AnEmptyRingCountsMissesAndEndsNearTheOutPointOnlyWithNothingMoreToCome)
{
    ssPresentState present;
    ScriptedRing empty({});
    present.currentTime = 15.0;
    EXPECT_FALSE(ssChooseFrame(empty, 15.0, ssStatePlaying, timing(), present).endReached);
    EXPECT_EQ(present.missedFrames.load(), 1);
    // Within two frames of the out point, a decoder that is only late still has the range's
    // last frames to give: they air, the range goes on.
    present.currentTime = 20.0 - 2.0 * kStep;
    EXPECT_FALSE(ssChooseFrame(empty, 20.0, ssStatePlaying, timing(), present).endReached);
    EXPECT_FALSE(ssChoosePacedFrame(empty, 20.0, kStep, ssStatePlaying, timing(), present).endReached);
    EXPECT_EQ(present.missedFrames.load(), 3);
    // With nothing more to come the file ended short of its out point: the range has ended.
    ssPresentTiming readOut = timing();
    readOut.rangeReadOut = true;
    EXPECT_TRUE(ssChooseFrame(empty, 20.0, ssStatePlaying, readOut, present).endReached);
    EXPECT_TRUE(ssChoosePacedFrame(empty, 20.0, kStep, ssStatePlaying, readOut, present).endReached);
    // Further back it is a file much shorter than its range, or a still: not the end.
    present.currentTime = 15.0;
    EXPECT_FALSE(ssChoosePacedFrame(empty, 20.0, kStep, ssStatePlaying, readOut, present).endReached);
    // Paused after a seek with nothing rendered yet: no miss, no end.
    present.countdown = 1;
    present.currentTime = 20.0 - 2.0 * kStep;
    const int32_t missed = present.missedFrames.load();
    EXPECT_FALSE(ssChooseFrame(empty, 20.0, ssStatePaused, readOut, present).endReached);
    EXPECT_EQ(present.missedFrames.load(), missed);
}

namespace {

// The frame indexes a card shows over `periods` periods of `period` seconds, paced from clip
// time `start` (-1: nothing new, the frame on air stays).
std::vector<int> pacedRun(ScriptedRing& ring, double start, double period, int periods, ssPresentState& present,
                          const ssPresentTiming& range)
{
    std::vector<int> shown;
    for (int k = 0; k < periods; ++k) {
        const ssFrameChoice choice =
            ssChoosePacedFrame(ring, start + k * period, period, ssStatePlaying, range, present);
        shown.push_back(choice.frame ? choice.frame->textureIndex : -1);
    }
    return shown;
}

std::vector<double> frameTimes(int count, double step)
{
    std::vector<double> times;
    for (int i = 0; i < count; ++i)
        times.push_back(i * step);
    return times;
}

} // namespace

TEST(FrameChoice, ACardShowsEveryFrameInTheClipsCadence)
{
    const double clip = 1001.0 / 30000.0;
    ssPresentTiming range = timing(0.0, 100.0);
    range.frameStep = clip;
    range.frameRate = 29.97;
    {
        // Same rate: one new frame every period, none left out.
        ssPresentState present;
        ScriptedRing ring(frameTimes(10, clip));
        EXPECT_EQ(pacedRun(ring, 0.0, clip, 10, present, range), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    }
    {
        // 29.97 on a 59.94 card: each frame for exactly two periods.
        ssPresentState present;
        ScriptedRing ring(frameTimes(5, clip));
        EXPECT_EQ(pacedRun(ring, 0.0, clip / 2, 10, present, range),
                  (std::vector<int>{0, -1, 1, -1, 2, -1, 3, -1, 4, -1}));
    }
    {
        // 59.94 on a 29.97 card: every second frame.
        ssPresentState present;
        ScriptedRing ring(frameTimes(10, clip / 2));
        EXPECT_EQ(pacedRun(ring, 0.0, clip, 5, present, range), (std::vector<int>{0, 2, 4, 6, 8}));
    }
    {
        // 23.976 on a 29.97 card: four frames in five periods, one of them held for two.
        ssPresentState present;
        ScriptedRing ring(frameTimes(8, 1001.0 / 24000.0));
        EXPECT_EQ(pacedRun(ring, 0.0, clip, 10, present, range),
                  (std::vector<int>{0, 1, -1, 2, 3, 4, 5, -1, 6, 7}));
    }
}

TEST(FrameChoice, ACardHoldsWhatIsNotDueAndCatchesUpWithoutRepeating)
{
    ssPresentTiming range = timing(0.0, 100.0);
    ssPresentState present;
    // The play starts three periods on: nothing is due before.
    ScriptedRing ring(frameTimes(6, kStep));
    EXPECT_EQ(pacedRun(ring, -3 * kStep, kStep, 6, present, range), (std::vector<int>{-1, -1, -1, 0, 1, 2}));
    // A frame missing when due counts as missed; when it comes late, the period shows the frame
    // due then (a late frame is passed over, never shown after its time).
    ScriptedRing late({});
    ssFrameChoice none = ssChoosePacedFrame(late, 0.0, kStep, ssStatePlaying, range, present);
    EXPECT_EQ(none.frame, nullptr);
    EXPECT_EQ(present.missedFrames.load(), 1);
}

TEST(FrameChoice, ACardEndsOnTheLastFrameOfTheRangeAndStartsOverAfterAWrap)
{
    ssPresentTiming range = timing(0.0, 3 * kStep);
    ssPresentState present;
    ScriptedRing ring({0.0, kStep, 2 * kStep, 3 * kStep, 0.0, kStep});
    std::vector<bool> ends;
    std::vector<int> shown;
    for (int k = 0; k < 4; ++k) {
        const ssFrameChoice choice = ssChoosePacedFrame(ring, k * kStep, kStep, ssStatePlaying, range, present);
        shown.push_back(choice.frame ? choice.frame->textureIndex : -1);
        ends.push_back(choice.endReached);
    }
    EXPECT_EQ(shown, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(ends, (std::vector<bool>{false, false, false, true}));
    // The reader wrapped: the in point goes on air in the next period and the clock starts over.
    const ssFrameChoice wrapped = ssChoosePacedFrame(ring, 4 * kStep, kStep, ssStatePlaying, range, present);
    ASSERT_NE(wrapped.frame, nullptr);
    EXPECT_EQ(wrapped.frame->textureIndex, 4);
    EXPECT_TRUE(wrapped.rebased);
    EXPECT_DOUBLE_EQ(wrapped.rebaseTime, 0.0);
}

TEST(FrameChoice, ACardShowsTheSeekTargetWhilePaused)
{
    ssPresentTiming range = timing(0.0, 100.0);
    ssPresentState present;
    present.countdown = 1;
    ScriptedRing ring({5.0, 5.0 + kStep});
    const ssFrameChoice cued = ssChoosePacedFrame(ring, 0.0, kStep, ssStatePaused, range, present);
    ASSERT_NE(cued.frame, nullptr);
    EXPECT_DOUBLE_EQ(cued.frame->time, 5.0);
    EXPECT_EQ(ssChoosePacedFrame(ring, kStep, kStep, ssStatePaused, range, present).frame, nullptr);
    EXPECT_DOUBLE_EQ(present.currentTime.load(), 5.0);
}
