// The presenting side: the playback clock, the frame to show now and the end of the play range.
// GetFrameForOutput, and from it EndPointReached and a looping Seek, run on the presenting
// thread (a screen output's draw or the DeckLink scheduling callback).

#include "engine/decoder/ssMediaDecoder3.h"

#include "engine/base/ssEBuffer.h"
#include "engine/base/ssTimer.h"
#include "engine/capture/ssSEBuffer.h"
#include "engine/decoder/ssEngineLinks.h"
#include "engine/decoder/ssMasterChain.h"
#include "engine/audio/ssAudioMTosx.h"
#include "engine/output/ssDecklinkPlayout.h"

#include <algorithm>

namespace {

// The engine whose GetFrameForOutput runs on this thread, if any.
thread_local const ssMediaDecoder3* tl_presenting = nullptr;

class PresentingScope {
public:
    explicit PresentingScope(const ssMediaDecoder3* engine)
        : previous_(tl_presenting)
    {
        tl_presenting = engine;
    }
    ~PresentingScope() { tl_presenting = previous_; }
    PresentingScope(const PresentingScope&) = delete;
    PresentingScope& operator=(const PresentingScope&) = delete;

private:
    const ssMediaDecoder3* previous_;
};

// The presenting reader (reader 0) of the engine's frame ring. Frames of later passes rendered
// before a slave left its master's loop are passed over as they come up, but only before this
// choice has taken a frame: the ring keeps only the slot taken last from the writer, so reading
// past a frame taken would let its slot be drawn into while it is still read.
class FrameRingReader final : public ssPresentRing {
public:
    FrameRingReader(ssSEBuffer& ring, const ssMediaDecoder3& engine)
        : ring_(ring)
        , engine_(engine)
    {
    }
    ssFrameTarget* Peek() override
    {
        ssFrameTarget* frame = nullptr;
        while (!taken_ && ring_.Peek(0, &frame) == 0 && frame && Stale(*frame))
            ring_.Read(0, &frame, 0);
        if (ring_.Peek(0, &frame) != 0 || !frame)
            return nullptr;
        return taken_ && Stale(*frame) ? nullptr : frame;
    }
    ssFrameTarget* Take(int32_t milliseconds) override
    {
        if (!Peek() && taken_)
            return nullptr;
        ssFrameTarget* frame = nullptr;
        while (ring_.Read(0, &frame, milliseconds) == 0) {
            if (frame && !Stale(*frame)) {
                taken_ = true;
                return frame;
            }
            if (taken_)
                return nullptr;
            milliseconds = 0; // one that came during the wait
        }
        return nullptr;
    }

private:
    bool Stale(const ssFrameTarget& frame) const { return engine_.PastLeftPass(frame.time, frame.rereads); }

    ssSEBuffer& ring_;
    const ssMediaDecoder3& engine_;
    bool taken_ = false;
};

// The playing master at the top of an engine's chain of links, calling `onLink` with each engine
// passed on the way (the follower of each link). A chain that comes back on itself (a self-link
// or a cycle of linked channels) has no clock to follow: the engine itself is the answer.
template <typename OnLink>
ssMediaDecoder3* FollowPlayingMasters(ssMediaDecoder3* self, OnLink onLink)
{
    ssMediaDecoder3* head = ssWalkMasters(
        self, [](ssMediaDecoder3& master) { return master.GetThreadState() == ssStatePlaying; },
        [&onLink](ssMediaDecoder3* link, ssMediaDecoder3*) { onLink(link); });
    return head ? head : self;
}

} // namespace

bool ssMediaDecoder3::OnPresentingThread() const
{
    return tl_presenting == this;
}

double ssMediaDecoder3::GetAudioClock()
{
    if (AudioOutputKind_.load() == 1)
        return SdiAudioClock_.load();
    return AudioOutput_ ? AudioOutput_->GetClock() : 0.0;
}

double ssMediaDecoder3::OwnPlaybackClock()
{
    return GetAudioClock() + AudioDelay_.load() + AudioClockOffset_.load();
}

double ssMediaDecoder3::GetPlaybackClock()
{
    double offsets = 0.0;
    ssMediaDecoder3* engine = FollowPlayingMasters(
        this, [&offsets](ssMediaDecoder3* link) { offsets += link->AudioDelay_.load() + link->SlaveOffset_.load(); });
    if (engine == this) {
        FollowNone();
        return OwnPlaybackClock();
    }
    // A follower goes by where the master is in its file, not by how many passes it has played
    // (a slave going round with it counts them on its own timeline).
    return FollowedTime(engine, engine->OwnPlaybackClock(), offsets);
}

double ssMediaDecoder3::GetPlaybackPosition()
{
    return ssFoldLoopTime(GetPlaybackClock(), PresentTiming());
}

ssPresentTiming ssMediaDecoder3::PresentTiming() const
{
    ssPresentTiming timing;
    timing.frameStep = FrameStep_.load();
    timing.frameRate = FrameRate_.load();
    // Until the prepared cue's first frame airs, the frames taken are the outgoing cue's.
    const bool outgoing = HandOverStage_.load() == kHandOverSwapped;
    const LoopPass pass = ReaderLoopPass();
    timing.inPoint = outgoing ? Outgoing_.in.load() : pass.in;
    timing.outPoint = outgoing ? Outgoing_.out.load() : pass.last;
    timing.loopLength = LoopLength_.load();
    timing.timelineBase = LeftMastersLoop() ? LeftShift_.load() : 0.0;
    timing.rangeReadOut = NoPictureToCome();
    return timing;
}

bool ssMediaDecoder3::NoPictureToCome() const
{
    // Looked at in the order a picture travels (decoder, decoded queue, render thread), so that
    // one moving on meanwhile is seen at its next stop; the caller looks at the ring after this.
    if (!VideoDrained_.load() || !DecodedVideoQueue_)
        return false;
    if (DecodedVideoQueue_->GetCount() != 0)
        return false;
    return !RenderingPicture_.load();
}

bool ssMediaDecoder3::AnchoredClipTime(double displayTime, double* clipTime) const
{
    std::lock_guard lock(AnchorLock_);
    if (!Anchor_.valid)
        return false;
    *clipTime = Anchor_.clipTime + (displayTime - Anchor_.displayTime);
    return true;
}

bool ssMediaDecoder3::PacedClock(double displayTime, double* clipTime)
{
    double offsets = 0.0;
    ssMediaDecoder3* engine =
        FollowPlayingMasters(this, [&offsets](ssMediaDecoder3* link) { offsets += link->SlaveOffset_.load(); });
    double master = 0.0;
    if (engine == this || !engine->AnchoredClipTime(displayTime, &master)) {
        FollowNone();
        return AnchoredClipTime(displayTime, clipTime);
    }
    // The master's position in its file (see GetPlaybackClock), not the passes it has played.
    *clipTime = FollowedTime(engine, master, offsets);
    // Kept as this engine's own as well: should the master stop first, it goes on from here
    // rather than from where its own play started.
    std::lock_guard lock(AnchorLock_);
    Anchor_.valid = true;
    Anchor_.displayTime = displayTime;
    Anchor_.clipTime = *clipTime;
    return true;
}

void ssMediaDecoder3::AnchorPlay()
{
    // The frame of the position is on air and the ones after it are rendered.
    const bool framesReady = Present_.countdown.load() == 0 && GetFramesReady() > 0;
    std::lock_guard lock(AnchorLock_);
    if (!Playout_) {
        Anchor_.valid = false;
        return;
    }
    if (GetThreadState() == ssStatePlaying && Anchor_.valid)
        return; // already running
    if (!framesReady) {
        // A clip still opening or seeking: its play starts in the period its first frame is
        // there for, so the time it takes to decode never counts as frames gone by.
        Anchor_.valid = false;
        return;
    }
    Anchor_.valid = true;
    Anchor_.displayTime = Playout_->NextFreePeriodTime();
    Anchor_.clipTime = FirstPlayedClipTime();
}

double ssMediaDecoder3::FirstPlayedClipTime() const
{
    // The frame on air counts as the play's first period: the next one shows the clip a period
    // on. A slate on air stood for its picture, which has not aired: the next period shows it.
    const double onAir = Present_.frameTime.load();
    return Present_.slateTaken.load() ? onAir : onAir + Playout_->GetPeriodDuration();
}

bool ssMediaDecoder3::StartInScheduledPeriods()
{
    // Linked channels start by the reference alone (AnchorPlay), so that a master and its slaves,
    // played one after another, start in the same period whatever the card has handed over.
    if (!Playout_ || GetMaster() != this || ssEngineLinks::IsFollowed(this) || GetThreadState() == ssStatePlaying)
        return false;
    if (Present_.countdown.load() != 0 || GetFramesReady() == 0)
        return false;
    // No period is chosen on the card's side until the waiting ones are chosen again.
    auto scheduling = Playout_->HoldScheduling();
    const double start = Playout_->RewritablePeriodTime();
    if (start < 0.0)
        return false;
    {
        std::lock_guard lock(AnchorLock_);
        Anchor_.valid = true;
        Anchor_.displayTime = start;
        Anchor_.clipTime = FirstPlayedClipTime();
    }
    SetThreadStates(ssStatePlaying);
    Playout_->RechooseScheduledFrom(start);
    return true;
}

int32_t ssMediaDecoder3::ChoosePacedFrame(const ssOutputPeriod& period, int32_t readerState, ssFrameChoice* choice)
{
    FrameRingReader ring(*FrameRing_, *this);
    double clipTime = 0.0;
    if (readerState == ssStatePlaying && Present_.countdown.load() == 0 && !PacedClock(period.displayTime, &clipTime)) {
        // Playing with no start yet (before the card was there, or before the clip had a frame):
        // the play starts in the first period with a frame to show.
        ssFrameTarget* next = ring.Peek();
        if (!next)
            return 0;
        std::lock_guard lock(AnchorLock_);
        Anchor_.valid = true;
        Anchor_.displayTime = period.displayTime;
        Anchor_.clipTime = next->time;
        clipTime = Anchor_.clipTime;
    }
    if (HandOverStage_.load() == kHandOverSwapped) {
        ssFrameTarget* next = ring.Peek();
        if (next && next->clipStart) {
            // The outgoing cue's last frame keeps its whole time on air; the next cue starts in
            // the period after it.
            if (readerState != ssStatePlaying ||
                clipTime + 0.25 * period.duration < Present_.frameTime.load() + FrameStep_.load())
                return 0;
            AdoptHandedOverCue();
        }
    }
    *choice = ssChoosePacedFrame(ring, clipTime, period.duration, readerState, PresentTiming(), Present_);
    LastChosenPeriod_.store(period.displayTime);
    if (choice->rebased) {
        std::lock_guard lock(AnchorLock_);
        Anchor_.valid = true;
        Anchor_.displayTime = period.displayTime;
        Anchor_.clipTime = choice->rebaseTime;
    }
    return 0;
}

int32_t ssMediaDecoder3::GetFramesReady()
{
    std::lock_guard present(PresentLock_);
    if (!FrameRing_)
        return 0;
    // Frames of passes a slave left are not ready: they go before they would air.
    FrameRingReader(*FrameRing_, *this).Peek();
    return FrameRing_->Unread(0);
}

int32_t ssMediaDecoder3::GetFrameForOutput(int32_t* frameWidth, int32_t* frameHeight, int32_t* displayWidth,
                                           int32_t* displayHeight, int32_t* state, const ssOutputPeriod* period)
{
    std::lock_guard present(PresentLock_);
    *displayWidth = DisplayWidth_.load();
    *displayHeight = DisplayHeight_.load();
    // While the next file opens a card keeps the picture on air (its own copy): held, not stopped.
    const int32_t notReady = Opening_.load() && period ? ssStatePaused : ssStateStopped;
    if (NoFile_.load()) {
        *frameWidth = 0;
        *state = notReady;
        return -1;
    }
    const int32_t readerState = GetThreadState();
    if (readerState == ssStateExit || OutputChanged_.load() || !DecodedVideoQueue_ || !FrameRing_) {
        *state = notReady;
        return -1;
    }
    *state = readerState;
    if (readerState != ssStatePlaying && readerState != ssStatePaused)
        return -1;

    PresentingScope presenting(this);
    // A reader that rested at the end of the file before this slave followed a loop wraps now.
    if (ReadThrough_.load() && FollowsMastersLoop())
        WakeThread(kReaderThread);
    LeaveMastersLoop();
    ssFrameChoice choice;
    if (period && period->duration > 0.0) {
        ChoosePacedFrame(*period, readerState, &choice);
    } else {
        FrameRingReader ring(*FrameRing_, *this);
        if (HandOverStage_.load() == kHandOverSwapped)
            if (ssFrameTarget* next = ring.Peek(); next && next->clipStart)
                AdoptHandedOverCue();
        choice = ssChooseFrame(ring, GetPlaybackClock(), readerState, PresentTiming(), Present_);
    }
    if (choice.rebased && AudioStreamCount_ == 0 && AudioOutput_)
        AudioOutput_->SetClockBase(choice.rebaseTime - AudioClockOffset_.load());
    if (choice.taken)
        UpdateFrameStats();
    if (choice.endReached)
        EndPointReached();
    else if (readerState == ssStatePlaying && HandOverDroppedAfterEnd())
        EndPointReached();
    if (!choice.frame)
        return -1;
    *frameWidth = choice.frame->width;
    *frameHeight = choice.frame->height;
    FirstFrameShown_.store(1);
    Opening_.store(0);
    PreviewSlot_.store(choice.frame->textureIndex);
    PreviewSerial_.fetch_add(1, std::memory_order_relaxed);
    return choice.frame->textureIndex;
}

void ssMediaDecoder3::EndPointReached()
{
    // The prepared cue follows: playing goes on into it, and its first frame is what is reported.
    // Until it is on air it may still be dropped: the end is then this one's (GetFrameForOutput).
    if (HandOverStage_.load() != kHandOverNone && !HandOverDropped()) {
        EndAwaitsHandOver_.store(TimelineStarts_.load());
        return;
    }
    EndAwaitsHandOver_.store(-1);
    // A slave going round with its looping master: its next pass follows at the master's seam.
    if (FollowsMastersLoop())
        return;
    KLVChannelNotifier* notifier = Notifier_.load();
    switch (PlaybackBehavior_.load()) {
    case 1: {
        // The reader wraps at the out point by itself: the in point's frame follows the last one.
        if (notifier)
            notifier->NotifyEndpointReached();
        return;
    }
    case 2:
        // Next: the application moves on; without it to do so, playback runs on.
        if (!notifier)
            return;
        PauseAtEndPoint();
        notifier->NotifyEndpointReached();
        return;
    default:
        if (notifier)
            notifier->NotifyEndpointReached();
        PauseAtEndPoint();
        return;
    }
}

bool ssMediaDecoder3::HandOverDroppedAfterEnd()
{
    // The cue prepared to follow was dropped after the open cue's last frame went on air.
    const int32_t timeline = EndAwaitsHandOver_.load();
    return timeline >= 0 && timeline == TimelineStarts_.load() && HandOverDropped();
}

void ssMediaDecoder3::PauseAtEndPoint()
{
    if (SetThreadStatesFrom(ssStatePlaying, ssStatePaused) && AudioOutput_)
        AudioOutput_->Pause();
}

void ssMediaDecoder3::UpdateFrameStats()
{
    const int64_t now = Timer_->GetTime();
    if (LastFrameReading_ < 0) {
        FrameIntervalSum_ = 0;
        for (int i = 0; i < 120; ++i) {
            FrameIntervals_[i] = i % 3 == 0 ? 16 : 17;
            FrameIntervalSum_ += FrameIntervals_[i];
        }
        LastFrameReading_ = now;
    }
    const int64_t interval = now - LastFrameReading_;
    LastFrameReading_ = now;
    FrameIntervalSum_ += interval - FrameIntervals_[FrameIntervalIndex_];
    FrameIntervals_[FrameIntervalIndex_] = interval;
    FrameIntervalIndex_ = (FrameIntervalIndex_ + 1) % 120;
    MeasuredRate_.store(FrameIntervalSum_ > 0 ? 1000.0f / (float(FrameIntervalSum_) / 120.0f) : 0.0f);
}
