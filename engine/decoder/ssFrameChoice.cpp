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
} // namespace

ssFrameChoice ssChooseFrame(ssPresentRing& ring, double clock, int32_t readerState, const ssPresentTiming& timing,
                            ssPresentState& state)
{
    ssFrameChoice choice;
    if (readerState != ssStatePlaying && !(readerState == ssStatePaused && state.countdown.load() != 0))
        return choice;

    if (ssFrameTarget* next = ring.Peek()) {
        if (ssSameFrameTime(next->time, timing.inPoint, timing.frameStep) || state.resync.load()) {
            state.resync.store(0);
            state.currentTime.store(next->time);
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
        if (state.countdown.load() != 0 && state.countdown.fetch_sub(1) - 1 != 0)
            return choice; // consumed unseen
        if (timing.outPoint != 0.0 && position >= timing.outPoint - timing.frameStep)
            choice.endReached = true;
        choice.frame = frame;
        return choice;
    }
    if (readerState == ssStatePaused)
        return choice;
    state.missedFrames.fetch_add(1);
    if (state.currentTime.load() >= timing.outPoint - timing.frameStep - 1.0 / timing.frameRate)
        choice.endReached = true;
    return choice;
}
