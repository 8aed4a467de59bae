// Transport on the worker threads' state words: play, pause, stop, the seek handshake, stepping,
// in and out points, master/slave linking and the transport's small settings.

#include "engine/decoder/ssMediaDecoder3.h"

#include "engine/base/ssCriticalSection.h"
#include "engine/base/ssEBuffer.h"
#include "engine/base/ssMessage.h"
#include "engine/audio/ssAudioMTosx.h"
#include "engine/decoder/ssEngineLinks.h"
#include "engine/decoder/ssTimeCodeText.h"
#include "engine/output/ssDecklinkPlayout.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <cmath>
#include <unistd.h>

namespace {
// Handshake polls: the threads answer within one round (at most ~125 ms of waits), but a loaded
// machine or a sanitizer build can take far longer, so the bound is time, not a poll count.
constexpr auto kHandshakeBound = std::chrono::seconds(5);
constexpr int kPollMicroseconds = 400;
// The presenting side takes the seek's first frame within a display refresh or two.
constexpr int32_t kSeekShownMilliseconds = 500;
constexpr int kCountdownPollMicroseconds = 500;
// A slave further than this from its master's position is moved there when linked.
constexpr double kSlaveResyncSeconds = 0.7;
// A step whose seek lands back on the frame it started from (no picture in between) tries again
// this many frames on.
constexpr double kStepForwardRetryFrames = 3;
constexpr double kStepBackwardRetryFrames = 2;

// The frame a time names. Engine times sit on their frame's start up to rounding, and a quotient
// a hair below a whole number is still that frame, not the one before.
double FrameIndex(double time, double frame)
{
    return std::floor(time / frame + 0.5);
}
} // namespace

int32_t ssMediaDecoder3::Play()
{
    if (AudioStreamCount_ == 0 && AudioOutput_)
        AudioOutput_->SetClockBase(Present_.currentTime.load() - AudioClockOffset_.load());
    if (AudioOutputKind_.load() == 0 && AudioOutput_)
        AudioOutput_->Play();
    if (!StartInScheduledPeriods()) {
        AnchorPlay();
        SetThreadStates(ssStatePlaying);
    }
    SlateShowing_.store(0);
    WakeThread(kRenderThread); // the picture is drawn as itself from here
    return 0;
}

void ssMediaDecoder3::PauseOutputAndThreads(int32_t state)
{
    if (AudioOutput_)
        AudioOutput_->Pause();
    SetThreadStates(state);
}

int32_t ssMediaDecoder3::Pause()
{
    PauseOutputAndThreads(ssStatePaused);
    return 0;
}

int32_t ssMediaDecoder3::Stop()
{
    Opening_.store(0);
    PauseOutputAndThreads(ssStateStopped);
    return 0;
}

bool ssMediaDecoder3::WaitForAllThreads(int32_t state)
{
    const auto deadline = std::chrono::steady_clock::now() + kHandshakeBound;
    while (!AllThreadsInState(state)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        usleep(kPollMicroseconds);
    }
    return true;
}

int32_t ssMediaDecoder3::Seek(double time, int32_t scrub)
{
    if (!HasOutput_ || NoFile_.load() || !FrameRing_)
        return 0;
    if (time != InPoint_.load())
        SlateShowing_.store(0);
    ScrubMode_.store(scrub);
    WaitForMastersPeriod();
    SeekLock_->Lock();
    if (AudioOutput_)
        AudioOutput_->Pause();
    // Every thread finishes its round and idles before the reader moves the demuxer.
    SetThreadStates(ssStatePauseRequest);
    if (!WaitForAllThreads(ssStateAcknowledged)) {
        // A thread is still inside its round and may be using the demuxer: moving it now would
        // race. The seek is dropped and the threads are left paused, as a seek leaves them.
        ssMessage(2, "Seek to %.3f dropped: the decoding threads did not pause", time);
        SetThreadStates(ssStatePaused);
        SeekLock_->Unlock();
        return -1;
    }
    SeekTarget_.store(std::max(0.0, time));
    SetThreadStates(ssStateSeek);
    const bool settled = WaitForAllThreads(ssStatePaused);
    if (!settled)
        ssMessage(2, "Seek to %.3f not finished in time: the decoding threads are still moving", time);
    if (settled)
        WaitForPositionShown(kSeekShownMilliseconds);
    SeekTarget_.store(time);
    if (AudioOutput_)
        AudioOutput_->SetClockBase(time);
    SeekLock_->Unlock();
    return settled ? 0 : -1;
}

void ssMediaDecoder3::WaitForMastersPeriod()
{
    ssMediaDecoder3* master = GetMaster();
    if (master == this || !Playout_ || GetThreadState() != ssStatePlaying || OnPresentingThread())
        return;
    const double period = Playout_->GetPeriodDuration();
    if (period <= 0.0)
        return;
    const double target = master->LastChosenPeriod_.load() - 0.5 * period;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(period);
    while (LastChosenPeriod_.load() < target && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(kCountdownPollMicroseconds / 2));
}

void ssMediaDecoder3::WaitForPositionShown(int32_t milliseconds)
{
    // The presenting thread itself (a loop at the out point) cannot take frames while it waits.
    if (!HasOutput_ || NoFile_.load() || OnPresentingThread())
        return;
    const int polls = milliseconds * 1000 / kCountdownPollMicroseconds;
    for (int i = 0; i < polls && Present_.countdown.load() != 0; ++i)
        usleep(kCountdownPollMicroseconds);
}

double ssMediaDecoder3::TransportPosition() const
{
    // Until the output takes a seek's picture, the time it last took is the frame before the seek.
    if (Present_.countdown.load() == 0)
        return Present_.currentTime.load();
    const double landed = SeekLanding_.load();
    return std::isnan(landed) ? LastSeekPosition_.load() : landed;
}

double ssMediaDecoder3::SeekLandingIndex()
{
    const auto deadline = std::chrono::steady_clock::now() + kHandshakeBound;
    while ((SkipToTarget_.load() & 1) && !VideoDrained_.load() && std::chrono::steady_clock::now() < deadline)
        usleep(kPollMicroseconds);
    const double landed = SeekLanding_.load();
    return std::isnan(landed) ? landed : FrameIndex(landed, FrameDuration_.load());
}

int32_t ssMediaDecoder3::StepForward()
{
    if (!HasOutput_)
        return 0;
    // From the frame on air, whatever has been decoded or rendered after it.
    const double frame = FrameDuration_.load();
    const double i = FrameIndex(TransportPosition(), frame);
    StepDirection_.store(1);
    if (Seek((i + 1) * frame, 0) != 0)
        return 0;
    // Landed on the same frame: go on past it.
    if (SeekLandingIndex() <= i)
        Seek((i + kStepForwardRetryFrames) * frame, 0);
    return 0;
}

int32_t ssMediaDecoder3::StepBackward()
{
    if (!HasOutput_)
        return 0;
    const double frame = FrameDuration_.load();
    const double i = FrameIndex(TransportPosition(), frame);
    StepDirection_.store(-1);
    if (Seek((i - 1) * frame, 0) != 0)
        return 0;
    // Landed on the same frame: go on past it, as a forward step does.
    if (SeekLandingIndex() >= i)
        Seek((i - kStepBackwardRetryFrames) * frame, 0);
    return 0;
}

int32_t ssMediaDecoder3::AdjustForward()
{
    for (auto& adjust : AudioAdjust_)
        adjust.store(2);
    VideoAdjust_.store(1);
    return 0;
}

int32_t ssMediaDecoder3::AdjustBackward()
{
    for (auto& adjust : AudioAdjust_)
        adjust.store(-2);
    VideoAdjust_.store(-1);
    return 0;
}

int32_t ssMediaDecoder3::SetInPoint(double time)
{
    InPoint_.store(std::max(0.0, time));
    return 0;
}

int32_t ssMediaDecoder3::SetOutPoint(double time)
{
    const double out = std::min(Duration_.load(), time);
    if (!(InPoint_.load() < out))
        return -1;
    // The point given is where playing ends: the last frame that plays starts one step before.
    OutPoint_.store(out - FrameStep_.load());
    WakeThread(kReaderThread); // a reader waiting at the old out point reads on
    return 0;
}

int32_t ssMediaDecoder3::SetInOutPoints(double in, double out)
{
    in = std::max(0.0, in);
    out = std::min(Duration_.load(), out);
    if (in >= out)
        return -1;
    InPoint_.store(in);
    OutPoint_.store(out - FrameStep_.load());
    WakeThread(kReaderThread); // a reader waiting at the old out point reads on
    return 0;
}

int32_t ssMediaDecoder3::SetMaster(ssMediaDecoder3* master, double offset)
{
    if (master == this)
        master = nullptr; // a channel cannot follow itself
    ssEngineLinks::Record(this, master);
    if (!master) {
        if (AudioOutput_)
            AudioOutput_->SetMaster(nullptr, 0.0);
        Master_.store(this);
        return 0;
    }
    Master_.store(master);
    SlaveOffset_.store(-offset);
    const double target = master->GetCurrentTime() - offset;
    if (std::fabs(Present_.currentTime.load() - target) > kSlaveResyncSeconds) {
        const int32_t state = GetThreadState();
        Seek(target, 0);
        if (state == ssStatePlaying)
            Play();
    }
    if (AudioOutput_)
        AudioOutput_->SetMaster(master, -offset);
    return 0;
}

bool ssMediaDecoder3::BuffersReady()
{
    if (!VideoReady_.load() || !VideoPacketQueue_)
        return false;
    // A file read through before its queues filled (a still, a short clip), or a cue read up to
    // its out point (where a short one waits for the cue after it), is as ready as it gets.
    if (VideoDrained_.load() || ReadThrough_.load() || !VideoPacketQueue_->HasRoom() ||
        QueuedVideoBytes_.load() >= ssVideoPacketBudget)
        return true;
    for (int j = 0; j < AudioStreamCount_; ++j)
        if (AudioPacketQueues_[j] && !AudioPacketQueues_[j]->HasRoom())
            return true;
    return false;
}

int32_t ssMediaDecoder3::SetPlaybackBehavior(int32_t behaviour)
{
    PlaybackBehavior_.store(behaviour);
    // A reader at the out point or the end of the file may loop or hand over now.
    WakeThread(kReaderThread);
    return 0;
}

int32_t ssMediaDecoder3::SetDelegate(KLVChannelNotifier* notifier)
{
    Notifier_.store(notifier);
    return 0;
}

int32_t ssMediaDecoder3::SetVolume(float volume)
{
    if (AudioOutput_)
        AudioOutput_->SetVolume(volume);
    return 0;
}

int32_t ssMediaDecoder3::SetAudioDelay(int32_t milliseconds)
{
    AudioDelay_.store(milliseconds / 1000.0);
    return 0;
}

int32_t ssMediaDecoder3::SetAudioOutput(int32_t kind)
{
    if (kind != 0 && kind != 1)
        return -1;
    AudioOutputKind_.store(kind);
    return 0;
}

int32_t ssMediaDecoder3::SetSyncMode(int32_t flag)
{
    SyncMode_.store(flag);
    return 0;
}

int32_t ssMediaDecoder3::SetTimeCodeOutput(int32_t mode)
{
    TimeCodeOutput_.store(mode);
    // The card's frames carry the time-code packet; the playout attaches it by this mode.
    return HasOutput_ && Output_.kind == 2 ? 0 : -1;
}

int32_t ssMediaDecoder3::SetShowSlate(int32_t flag)
{
    ShowSlate_.store(flag);
    if (!flag) {
        SlateShowing_.store(0);
        WakeThread(kRenderThread);
    }
    return 0;
}

int32_t ssMediaDecoder3::GetCurrentTimeCodeString(char* buffer)
{
    FormatTimeCode(Present_.currentTime.load(), buffer);
    return 0;
}

int32_t ssMediaDecoder3::GetRemainingTimeCodeString(char* buffer)
{
    FormatTimeCode(Duration_.load() - Present_.currentTime.load(), buffer);
    return 0;
}

void ssMediaDecoder3::FormatTimeCode(double seconds, char* buffer) const
{
    ssFormatTimeCode(seconds, FrameDuration_.load(), FrameRate_.load(), buffer, ssTimeCodeTextSize);
}
