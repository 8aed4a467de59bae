#include "engine/decoder/ssFrameChoice.h"

namespace {
// Seconds beyond which a frame counts as early (it waits) or late (it is dropped), in frame steps.
constexpr double kEarlySteps = 1.5;
constexpr double kLateSteps = -1.8;
// A frame this far behind the clock means the clock no longer belongs to this stream.
constexpr double kResyncSeconds = -5.0;
// After a loop the frames of the in point come early by up to the whole clip: do not wait for them.
constexpr double kLoopEarlySeconds = 1.0;
constexpr int kMostLateDrops = 3;

// A file may end up to two frames before the out point it was given: with nothing more to come,
// the frame on air is its last.
bool EmptyRingEnds(const ssPresentState& state, const ssPresentTiming& timing)
{
    return timing.rangeReadOut &&
           state.currentTime.load() >= timing.outPoint - timing.frameStep - 1.0 / timing.frameRate;
}
} // namespace

ssFrameChoice ssChooseFrame(ssPresentRing& ring, double clock, int32_t readerState, const ssPresentTiming& timing,
                            ssPresentState& state)
{
    ssFrameChoice choice;
    if (readerState != ssStatePlaying && !(readerState == ssStatePaused && state.countdown.load() != 0))
        return choice;

    if (ssFrameTarget* next = ring.Peek()) {
        if (ssSameFrameTime(next->time, timing.inPoint, timing.frameStep) || state.resync.load() || next->clipStart) {
            state.resync.store(0);
            state.currentTime.store(next->time);
            state.frameTime.store(next->time);
            choice.rebased = true;
            choice.rebaseTime = next->time;
            state.loopPending.store(0);
        } else if (state.countdown.load() == 0) {
            const double early = next->time - clock;
            if (early > kEarlySteps * timing.frameStep) {
                if (early > kLoopEarlySeconds && state.loopPending.load())
                    ring.Take(10);
                return choice;
            }
            if (early < kResyncSeconds) {
                state.resync.store(1);
                return choice;
            }
            for (int i = 0; i < kMostLateDrops && next->time - clock < kLateSteps * timing.frameStep; ++i) {
                ring.Take(0);
                if (!(next = ring.Peek()))
                    return choice;
            }
        }
    }

    if (ssFrameTarget* frame = ring.Take(15)) {
        choice.taken = true;
        const double position = ssFoldLoopTime(frame->time, timing);
        state.currentTime.store(position);
        state.frameTime.store(frame->time);
        state.slateTaken.store(frame->slate);
        if (state.countdown.load() != 0 && state.countdown.fetch_sub(1) - 1 != 0)
            return choice; // consumed unseen
        if (ssIsLastInRange(position, timing))
            choice.endReached = true;
        choice.frame = frame;
        return choice;
    }
    if (readerState == ssStatePaused)
        return choice;
    state.missedFrames.fetch_add(1);
    choice.endReached = EmptyRingEnds(state, timing);
    return choice;
}

namespace {
// Takes the first frame after a seek or an open (shown, also while paused); true when the choice
// is made by it.
bool TakeAfterSeek(ssPresentRing& ring, const ssPresentTiming& timing, ssPresentState& state, ssFrameChoice& choice)
{
    if (state.countdown.load() == 0)
        return false;
    if (ssFrameTarget* frame = ring.Take(15)) {
        choice.taken = true;
        state.currentTime.store(ssFoldLoopTime(frame->time, timing));
        state.frameTime.store(frame->time);
        state.slateTaken.store(frame->slate);
        if (state.countdown.fetch_sub(1) - 1 != 0)
            return true; // consumed unseen
        choice.frame = frame;
        choice.endReached = ssIsLastInRange(frame->time, timing);
    }
    return true;
}
} // namespace

ssFrameChoice ssChoosePacedFrame(ssPresentRing& ring, double clipClock, double period, int32_t readerState,
                                 const ssPresentTiming& timing, ssPresentState& state)
{
    ssFrameChoice choice;
    if (readerState != ssStatePlaying && !(readerState == ssStatePaused && state.countdown.load() != 0))
        return choice;
    if (TakeAfterSeek(ring, timing, state, choice))
        return choice;

    const double due = clipClock + 0.25 * period;
    ssFrameTarget* next = ring.Peek();
    if (!next) {
        state.missedFrames.fetch_add(1);
        choice.endReached = EmptyRingEnds(state, timing);
        return choice;
    }
    if (next->clipStart || next->time < state.frameTime.load() - 0.5 * timing.frameStep) {
        // The clip went back (the reader wrapped to the in point), or the next cue follows: it
        // starts in this period.
        choice.rebased = true;
        choice.rebaseTime = next->time;
    } else if (next->time > due) {
        return choice; // the frame on air stays
    }
    ssFrameTarget* frame = ring.Take(0);
    while (!choice.rebased && frame && !ssIsLastInRange(ssFoldLoopTime(frame->time, timing), timing)) {
        ssFrameTarget* after = ring.Peek();
        if (!after || after->time > due || after->time < frame->time)
            break;
        frame = ring.Take(0); // a clip faster than the card: this period shows the newer frame
    }
    if (!frame)
        return choice;
    choice.taken = true;
    // Later passes of a loop carry times moved on by whole passes: the position is the file's.
    const double position = ssFoldLoopTime(frame->time, timing);
    state.currentTime.store(position);
    state.frameTime.store(frame->time);
    state.slateTaken.store(frame->slate);
    choice.frame = frame;
    choice.endReached = ssIsLastInRange(position, timing);
    return choice;
}
