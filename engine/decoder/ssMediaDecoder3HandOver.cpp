// The next cue through the running threads: it is opened ahead (PrepareNext); at the open cue's
// out point the reader ends the clip with markers, the decoders finish it and wait, the prepared
// clip takes its place, and its first frame airs in the period after the outgoing cue's last.

#include "engine/decoder/ssMediaDecoder3.h"

#include "engine/base/ssEBuffer.h"
#include "engine/base/ssMessage.h"

#include <algorithm>
#include <limits>
#include <utility>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {
constexpr int kMarkerWaitMs = 5;
// HandOverMarkers_: the plain end marker that drains the video decoder while the reader waits.
constexpr uint32_t kDrainMarker = 1u << 31;
} // namespace

int32_t ssMediaDecoder3::PrepareNext(const char* path, double in, double out, int32_t behaviour)
{
    const int32_t result = OpenNext(path, in, out, behaviour);
    if (result == 0)
        ReadRangeAgain();
    return result;
}

int32_t ssMediaDecoder3::OpenNext(const char* path, double in, double out, int32_t behaviour)
{
    // The cue prepared before stays until the new one takes its place in one step: a reader at
    // the out point meanwhile hands over to the one or the other, never to a gap between them.
    if (!path || !*path || NoFile_.load() || !HasOutput_.load()) {
        ClearNext();
        return -1;
    }
    auto clip = std::make_unique<ssClipFile>();
    if (const int32_t result = clip->Open(path, Output_, true); result != 0) {
        ClearNext();
        return result;
    }
    // As SetInOutPoints takes a range: one it refuses leaves the file's whole length.
    in = std::max(0.0, in);
    out = std::min(clip->duration, out);
    if (!(in < out)) {
        in = 0.0;
        out = clip->duration;
    }
    // The keyframe at or before the in point; the decoders drop what comes before it.
    clip->SeekTo(std::max(0.0, in - 0.1 / clip->frameRate));
    std::unique_ptr<ssClipFile> replaced; // closes as this returns, outside the lock
    std::lock_guard lock(NextLock_);
    if (!(clip->Shape() == Shape_)) {
        NextReady_.store(false);
        replaced = std::move(Next_.clip);
        ssMessage(2, "%s opens when the cue before it ends: its picture or sound differs", path);
        return -2;
    }
    replaced = std::exchange(Next_.clip, std::move(clip));
    Next_.in = in;
    Next_.out = out;
    Next_.behaviour = behaviour;
    NextReady_.store(true);
    // A reader waiting at the out point for it goes on.
    WakeThread(kReaderThread);
    return 0;
}

bool ssMediaDecoder3::ReadPastOutPoint() const
{
    return QueuedUpTo_.load() > OutPoint_.load() + 0.5 * FrameStep_.load();
}


void ssMediaDecoder3::ReadRangeAgain()
{
    // A cue just loaded has been read past its out point before its range and End were known.
    // Cued, not playing: reading it again from the frame shown changes nothing on air.
    if (ReadPastOutPoint() && NextReady_.load() && GetThreadState() != ssStatePlaying && !OnPresentingThread())
        Seek(Present_.currentTime.load(), 0);
}

void ssMediaDecoder3::ClearNext()
{
    std::unique_ptr<ssClipFile> dropped;
    std::lock_guard lock(NextLock_);
    NextReady_.store(false);
    dropped = std::move(Next_.clip);
}

bool ssMediaDecoder3::ReaderHandsOver()
{
    // A cue the next one follows is read up to its out point only, where the next one takes over
    // once it is prepared. Decided before the out point is read: a pass already past it (the
    // behaviour changed late) reads on, and the cue ends as any other.
    if (PlaybackBehavior_.load() != 2) {
        if (HandOverPass_ == 1)
            HandOverPass_ = 0;
        return false;
    }
    if (HandOverPass_ == 0 || (HandOverPass_ == 1 && ReadPastOutPoint()))
        HandOverPass_ = ReadPastOutPoint() ? -1 : 1;
    return HandOverPass_ == 1;
}

void ssMediaDecoder3::ReaderAtOutPoint()
{
    ReadThrough_.store(true);
    if (NextReady_.load() && !ReadPastOutPoint()) {
        BeginHandOver();
        return;
    }
    // Nothing prepared yet: the decoder gives back the pictures it holds, and the reader waits here
    // for the next cue (or for the cue to end, when none comes in time).
    HandOverPass_ = 4;
    HandOverMarkers_ = 0;
}

bool ssMediaDecoder3::ReaderWaitAtOutPoint()
{
    if (ReadEnd_ < OutPoint_.load() + 0.5 * FrameStep_.load()) {
        // The out point moved on: reading goes on to it.
        HandOverPass_ = 1;
        LoopStreamsDone_ = 0;
        ReadThrough_.store(false);
        return true;
    }
    bool worked = false;
    if (!(HandOverMarkers_ & kDrainMarker)) {
        _avPacketHolder* holder = nullptr;
        if (VideoPacketQueue_->GetWriteSlot(&holder, kMarkerWaitMs) != 0)
            return false;
        av_packet_unref(holder->packet);
        holder->inUse = 0;
        holder->endsClip = 0;
        VideoPacketQueue_->CommitWrite(0);
        HandOverMarkers_ |= kDrainMarker;
        worked = true;
    }
    if (PlaybackBehavior_.load() == 1) {
        // Made a loop meanwhile: it goes round from here.
        HandOverPass_ = 0;
        HandOverMarkers_ = 0;
        WrapLoop();
        return true;
    }
    if (PlaybackBehavior_.load() == 2 && NextReady_.load()) {
        if (ReadPastOutPoint())
            HandOverPass_ = -1; // the out point moved back over what was read: the cue ends there
        else
            BeginHandOver();
        return true;
    }
    return worked;
}

void ssMediaDecoder3::BeginHandOver()
{
    HandOverPass_ = 2;
    HandOverMarkers_ = 0;
    HandOverStage_.store(kHandOverEnding);
    TellHandOverStep(HandOverStep::Ending);
}

void ssMediaDecoder3::ObserveHandOver(std::function<void(HandOverStep)> observer)
{
    std::lock_guard lock(ObserverLock_);
    HandOverObserver_ = std::move(observer);
}

void ssMediaDecoder3::TellHandOverStep(HandOverStep step)
{
    std::function<void(HandOverStep)> observer;
    {
        std::lock_guard lock(ObserverLock_);
        if (!HandOverObserver_)
            return;
        observer = HandOverObserver_;
    }
    observer(step);
}

bool ssMediaDecoder3::ReaderHandOver()
{
    // An end marker in every queue: the video decoder gives back the pictures it holds, then
    // each decoder waits for the swap.
    auto queueMarker = [this](ssEBuffer* queue, uint32_t bit) {
        if (HandOverMarkers_ & bit)
            return true;
        _avPacketHolder* holder = nullptr;
        if (queue->GetWriteSlot(&holder, kMarkerWaitMs) != 0)
            return false;
        av_packet_unref(holder->packet);
        holder->inUse = 0;
        holder->endsClip = 1;
        queue->CommitWrite(0);
        HandOverMarkers_ |= bit;
        return true;
    };
    if (!queueMarker(VideoPacketQueue_, 1u))
        return false;
    for (int j = 0; j < AudioStreamCount_; ++j)
        if (!queueMarker(AudioPacketQueues_[j], 1u << (j + 1)))
            return false;
    if (!VideoParked_.load() || (AudioStreamCount_ > 0 && !AudioParked_.load()))
        return false;
    TellHandOverStep(HandOverStep::DecodersParked);
    SwapInPreparedCue();
    return true;
}

void ssMediaDecoder3::SwapInPreparedCue()
{
    Outgoing_.in.store(InPoint_.load());
    Outgoing_.out.store(OutPoint_.load());
    Outgoing_.duration.store(Duration_.load());
    PreparedCue next;
    {
        // Decided under the lock, so that the presenting side finds either this swap or none.
        std::lock_guard lock(NextLock_);
        if (!std::exchange(HandOverCalledOff_, false)) {
            NextReady_.store(false);
            next.clip = std::move(Next_.clip);
            next.in = Next_.in;
            next.out = Next_.out;
            next.behaviour = Next_.behaviour;
        }
        HandOverStage_.store(next.clip ? kHandOverSwapped : kHandOverNone);
    }
    HandOverMarkers_ = 0;
    if (!next.clip) {
        // Dropped while the decoders finished, or the cue has ended meanwhile: the reader waits
        // at the out point as without one, for a cue prepared again or an End made a loop.
        HandOverPass_ = 4;
        ReleaseParkedDecoders();
        return;
    }

    // Both decoders wait: their codecs, resamplers and scaler can change hands.
    ssClipFile outgoing;
    TakeInstalled(outgoing);
    Install(*next.clip, true);
    InPoint_.store(next.in);
    OutPoint_.store(std::max(next.in, next.out - FrameStep_.load()));
    PlaybackBehavior_.store(next.behaviour);
    for (int i = 0; i < 4; ++i)
        IncomingTimeCode_[i].store(TimeCodeParts_[i]);

    HandOverPass_ = 0;
    QueuedUpTo_.store(-1.0);
    ReadEnd_ = 0.0;
    ResetReadTimes();
    LoopStreamsDone_ = 0;
    ReadThrough_.store(false);
    LoopShift_.store(0.0);
    ReadUpTo_.store(-1.0);
    TimelineStarts_.fetch_add(1);
    LastSeekPosition_.store(next.in);
    SeekLanding_.store(std::numeric_limits<double>::quiet_NaN());
    SkipToTarget_.store(AudioStreamCount_ > 0 ? 3 : 1);
    ClipStartPending_.store(1);
    VideoDrained_.store(0);
    ReleaseParkedDecoders();
    // The outgoing clip's codecs end here, on the reader, well before its last frame airs.
}

void ssMediaDecoder3::ReleaseParkedDecoders()
{
    VideoSwitchPending_.store(0);
    AudioSwitchSeen_.store(0);
    VideoParked_.store(0);
    AudioParked_.store(0);
    WakeThread(kVideoThread);
    WakeThread(kAudioThread);
}

bool ssMediaDecoder3::HandOverDropped()
{
    std::lock_guard lock(NextLock_);
    switch (HandOverStage_.load()) {
    case kHandOverNone:
        return true;
    case kHandOverEnding:
        // Nothing prepared any more: the hand-over is called off here, whenever the reader gets
        // to its swap, and the cue ends in this period.
        if (NextReady_.load())
            return false;
        HandOverCalledOff_ = true;
        HandOverStage_.store(kHandOverNone);
        return true;
    default:
        return false;
    }
}

void ssMediaDecoder3::AbandonHandOver()
{
    {
        std::lock_guard lock(NextLock_);
        HandOverCalledOff_ = false;
    }
    HandOverPass_ = 0;
    QueuedUpTo_.store(-1.0);
    HandOverMarkers_ = 0;
    ClipStartPending_.store(0);
    // Swapped already: the prepared cue is the open one, whatever its first frame's fate.
    if (HandOverStage_.load() == kHandOverSwapped)
        AdoptHandedOverCue();
    HandOverStage_.store(kHandOverNone);
    ReleaseParkedDecoders();
}

void ssMediaDecoder3::AdoptHandedOverCue()
{
    EndAwaitsHandOver_.store(-1);
    for (int i = 0; i < 4; ++i)
        StartTimeCode_[i].store(IncomingTimeCode_[i].load());
    HandOverStage_.store(kHandOverNone);
    HandOvers_.fetch_add(1);
    // The application learns that the next cue is on air as it learns of an end of range.
    if (KLVChannelNotifier* notifier = Notifier_.load())
        notifier->NotifyEndpointReached();
}
