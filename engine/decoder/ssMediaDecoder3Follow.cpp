// A linked slave going round with its looping master: the pass its reader loops over, and the
// master's clock as a time on the slave's own timeline.

#include "engine/decoder/ssMediaDecoder3.h"

#include "engine/decoder/ssMasterChain.h"

#include <algorithm>
#include <cmath>

const ssMediaDecoder3* ssMediaDecoder3::LoopMaster(double* offsets) const
{
    // The highest one up the chain whose End is Loop: the head's loop takes every member round,
    // and below a head that does not loop, the loop of a master between does.
    const ssMediaDecoder3* loop = this;
    double sum = 0.0;
    double loopSum = 0.0;
    const ssMediaDecoder3* head = ssWalkMasters(
        this, [](const ssMediaDecoder3&) { return true; },
        [&](const ssMediaDecoder3* link, const ssMediaDecoder3* master) {
            sum += link->SlaveOffset_.load();
            if (master->PlaybackBehavior_.load() == 1) {
                loop = master;
                loopSum = sum;
            }
        });
    if (!head)
        loop = this;
    if (offsets)
        *offsets = loop != this ? loopSum : 0.0;
    return loop;
}

bool ssMediaDecoder3::LinkedToLoop() const
{
    // A cue that hands over to its next one keeps its own end.
    return LoopMaster() != this && PlaybackBehavior_.load() != 2;
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
    double offsets = 0.0;
    const ssMediaDecoder3* master = LoopMaster(&offsets);
    LoopPass pass;
    // Where the channel seeks a slave at its master's seam: the master's in point with the offset.
    pass.length = master->LoopPassLength();
    pass.in = std::max(0.0, master->InPoint_.load() + offsets);
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
    // Left in the master's last pass: that pass's frames and those after it lie on one timeline.
    if (!FollowsMastersLoop())
        return LeftMastersLoop() ? position + LeftShift_.load() : position;
    // Counted by the followed engine's passes when it goes round the loop this one does: the
    // chain's head, or a master between going round with it (the head not playing).
    if (master != LoopMaster() && !master->FollowsMastersLoop())
        return position;
    const double passes = PassesBefore(masterClock, timing);
    // This engine's reader moves each of its passes on by the pass both go round. Which of its
    // passes the master's stands for is learnt when it starts to follow this master (its timeline
    // started, or it went by its own clock or another master's meanwhile, perhaps round passes of
    // its own): the one nearest the frame it has on air (none before its timeline's first is).
    const double length = MastersPass().length;
    const int32_t start = TimelineStarts_.load();
    if (OnPresentingThread() && (FollowedStart_.load() != start || FollowedEngine_.load() != master)) {
        const bool onAir = Present_.countdown.load() == 0 && length > 0.0;
        const double own = onAir ? std::round((Present_.frameTime.load() - position) / length) : 0.0;
        FollowedFirstPass_.store(int64_t(passes - own));
        FollowedStart_.store(start);
        FollowedEngine_.store(master);
    }
    return position + (passes - double(FollowedFirstPass_.load())) * length;
}

void ssMediaDecoder3::FollowNone()
{
    if (OnPresentingThread())
        FollowedEngine_.store(nullptr);
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
