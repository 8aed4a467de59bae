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
    // One that left its master's loop keeps its own range until it is sought (at a later seam).
    if (!LinkedToLoop() || LeftMastersLoop())
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

namespace {
// The master's passes before the one a time of its clock falls in, as ssFoldLoopTime counts them
// (none before its reader wrapped).
double PassesBefore(double masterClock, const ssPresentTiming& timing)
{
    if (timing.loopLength <= 0.0 || masterClock < timing.inPoint + timing.loopLength - 0.5 * timing.frameStep)
        return 0.0;
    return std::floor((masterClock - timing.inPoint + 0.5 * timing.frameStep) / timing.loopLength);
}
} // namespace

double ssMediaDecoder3::FollowedTime(ssMediaDecoder3* master, double masterClock, double offsets)
{
    const ssPresentTiming timing = master->PresentTiming();
    const double position = ssFoldLoopTime(masterClock, timing) + offsets;
    if (master != Master_.load())
        return position;
    // Left in the master's last pass: that pass's frames and those after it lie on one timeline.
    if (!FollowsMastersLoop())
        return LeftMastersLoop() ? position + LeftShift_.load() : position;
    const double passes = PassesBefore(masterClock, timing);
    // This engine's reader has moved each of its passes on by the same length since its timeline
    // started, in whichever of the master's passes that was.
    const int32_t start = TimelineStarts_.load();
    if (OnPresentingThread() && FollowedStart_.load() != start) {
        FollowedFirstPass_.store(int64_t(passes));
        FollowedStart_.store(start);
    }
    return position + (passes - double(FollowedFirstPass_.load())) * timing.loopLength;
}

void ssMediaDecoder3::LeaveMastersLoop()
{
    // Presenting thread: a slave whose reader went round with its master, now that the master no
    // longer loops. The master's last pass is the one of its frame on air: on its pass's last
    // frame a playing master may still be choosing between its next pass and its end, which the
    // next period shows.
    ssMediaDecoder3* master = Master_.load();
    const int32_t start = TimelineStarts_.load();
    if (master == this || RoundStart_.load() != start || LeftMastersLoop() || LinkedToLoop())
        return;
    const ssPresentTiming timing = master->PresentTiming();
    const double masterTime = master->Present_.frameTime.load();
    if (master->GetThreadState() == ssStatePlaying && ssIsLastInRange(ssFoldLoopTime(masterTime, timing), timing))
        return;
    const double passes = PassesBefore(masterTime, timing);
    const double first = FollowedStart_.load() == start ? double(FollowedFirstPass_.load()) : passes;
    const LoopPass pass = MastersPass();
    const double shift = std::max(0.0, (passes - first) * pass.length);
    LeftShift_.store(shift);
    LeftCut_.store(shift + pass.last + FrameStep_.load());
    Rereads_.fetch_add(1);
    LeftStart_.store(start);
    WakeThreads();
}

bool ssMediaDecoder3::PastLeftPass(double time, int32_t rereads) const
{
    return rereads < Rereads_.load() && LeftMastersLoop() && time >= LeftCut_.load() - 0.5 * FrameStep_.load();
}

bool ssMediaDecoder3::PacketPastLeftPass(const _avPacketHolder* holder) const
{
    // A hand-over's end marker belongs to no pass.
    return !holder->endsClip && holder->rereads < Rereads_.load() && LeftMastersLoop() &&
           holder->shift > LeftShift_.load() + 0.5 * FrameStep_.load();
}
