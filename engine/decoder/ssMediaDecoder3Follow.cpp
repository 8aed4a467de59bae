// A linked slave going round with its looping master: the pass its reader loops over, and the
// master's clock as a time on the slave's own timeline.

#include "engine/decoder/ssMediaDecoder3.h"

#include <algorithm>
#include <cmath>

bool ssMediaDecoder3::LinkedToLoop() const
{
    // A cue that hands over to its next one keeps its own end.
    const ssMediaDecoder3* master = Master_.load();
    return master && master != this && master->PlaybackBehavior_.load() == 1 && PlaybackBehavior_.load() != 2;
}

bool ssMediaDecoder3::FollowsMastersLoop() const
{
    if (!LinkedToLoop())
        return false;
    return LoopShift_.load() > 0.0 || ReadUpTo_.load() <= MastersPass().last + 0.5 * FrameStep_.load();
}

bool ssMediaDecoder3::PassesSeamsWithMaster()
{
    return FollowsMastersLoop() && GetThreadState() == ssStatePlaying;
}

double ssMediaDecoder3::LoopPassLength() const
{
    const double read = LoopLength_.load();
    return read > 0.0 ? read : OutPoint_.load() + FrameStep_.load() - InPoint_.load();
}

ssMediaDecoder3::LoopPass ssMediaDecoder3::MastersPass() const
{
    const ssMediaDecoder3* master = Master_.load();
    LoopPass pass;
    // Where the channel seeks a slave at its master's seam: the master's in point with the offset.
    pass.length = master->LoopPassLength();
    pass.in = std::max(0.0, master->InPoint_.load() + SlaveOffset_.load());
    // A slave longer than the pass is cut at the seam; a shorter one holds its last frame up to it.
    pass.last = std::min(OutPoint_.load(), pass.in + pass.length - FrameStep_.load());
    return pass;
}

ssMediaDecoder3::LoopPass ssMediaDecoder3::ReaderLoopPass() const
{
    if (FollowsMastersLoop())
        return MastersPass();
    LoopPass pass;
    pass.in = InPoint_.load();
    pass.last = OutPoint_.load();
    return pass;
}

double ssMediaDecoder3::FollowedTime(ssMediaDecoder3* master, double masterClock, double offsets)
{
    const ssPresentTiming timing = master->PresentTiming();
    const double position = ssFoldLoopTime(masterClock, timing) + offsets;
    if (master != Master_.load() || !FollowsMastersLoop())
        return position;
    // The master's passes so far, as ssFoldLoopTime counts them (none before its reader wrapped).
    const double passes =
        timing.loopLength <= 0.0 || masterClock < timing.inPoint + timing.loopLength - 0.5 * timing.frameStep
            ? 0.0
            : std::floor((masterClock - timing.inPoint + 0.5 * timing.frameStep) / timing.loopLength);
    // This engine's reader has moved each of its passes on by the same length since its timeline
    // started, in whichever of the master's passes that was.
    const int32_t start = TimelineStarts_.load();
    if (OnPresentingThread() && FollowedStart_.load() != start) {
        FollowedFirstPass_.store(int64_t(passes));
        FollowedStart_.store(start);
    }
    return position + (passes - double(FollowedFirstPass_.load())) * timing.loopLength;
}
