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
    // A frame one step before the out point ends the range; the one before does not.
    ScriptedRing ring({20.0 - 1.5 * kStep, 20.0 - kStep});
    EXPECT_FALSE(ssChooseFrame(ring, 20.0 - 1.5 * kStep, ssStatePlaying, timing(), present).endReached);
    ssFrameChoice last = ssChooseFrame(ring, 20.0 - kStep, ssStatePlaying, timing(), present);
    EXPECT_TRUE(last.endReached);
    EXPECT_NE(last.frame, nullptr);
    // No out point: no end from frames.
    ScriptedRing open({30.0});
    EXPECT_FALSE(ssChooseFrame(open, 30.0, ssStatePlaying, timing(10.0, 0.0), present).endReached);
}

TEST(FrameChoice, AnEmptyRingCountsMissesAndEndsNearTheOutPoint)
{
    ssPresentState present;
    ScriptedRing empty({});
    present.currentTime = 15.0;
    EXPECT_FALSE(ssChooseFrame(empty, 15.0, ssStatePlaying, timing(), present).endReached);
    EXPECT_EQ(present.missedFrames.load(), 1);
    // Within two frames of the out point the stream has run out.
    present.currentTime = 20.0 - 2.0 * kStep;
    EXPECT_TRUE(ssChooseFrame(empty, 20.0, ssStatePlaying, timing(), present).endReached);
    EXPECT_EQ(present.missedFrames.load(), 2);
    // Paused after a seek with nothing rendered yet: no miss, no end.
    present.countdown = 1;
    EXPECT_FALSE(ssChooseFrame(empty, 20.0, ssStatePaused, timing(), present).endReached);
    EXPECT_EQ(present.missedFrames.load(), 2);
}
