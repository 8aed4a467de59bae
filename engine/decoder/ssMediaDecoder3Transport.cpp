// Transport on the worker threads' state words: play, pause, stop, the seek handshake, stepping,
// in and out points, master/slave linking and the transport's small settings.

#include "engine/decoder/ssMediaDecoder3.h"

#include "engine/base/ssCriticalSection.h"
#include "engine/base/ssEBuffer.h"
#include "engine/decoder/ssAudioMTosx.h"
#include "engine/decoder/ssTimeCodeText.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <unistd.h>

namespace {
// Handshake polls: the threads answer within one round (at most ~125 ms of waits), but a loaded
// machine or a sanitizer build can take far longer, so the bound is time, not a poll count.
constexpr auto kHandshakeBound = std::chrono::seconds(5);
constexpr int kPollMicroseconds = 400;
// The presenting side takes the seek's first frame within a display refresh or two.
constexpr int kCountdownPolls = 1000;
constexpr int kCountdownPollMicroseconds = 500;
// A slave further than this from its master's position is moved there when linked.
constexpr double kSlaveResyncSeconds = 0.7;
} // namespace

int32_t ssMediaDecoder3::Play()
{
    if (m_AudioStreamCount == 0 && m_AudioOutput)
        m_AudioOutput->SetClockBase(m_Present.currentTime.load() - m_AudioClockOffset.load());
    if (m_AudioOutputKind.load() == 0 && m_AudioOutput)
        m_AudioOutput->Play();
    SetThreadStates(ssStatePlaying);
    m_SlateShowing.store(0);
    return 0;
}

void ssMediaDecoder3::PauseOutputAndThreads(int32_t state)
{
    if (m_AudioOutput)
        m_AudioOutput->Pause();
    SetThreadStates(state);
}

int32_t ssMediaDecoder3::Pause()
{
    PauseOutputAndThreads(ssStatePaused);
    return 0;
}

int32_t ssMediaDecoder3::Stop()
{
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
    if (!m_HasOutput || m_NoFile.load() || !m_FrameRing)
        return 0;
    if (time != m_InPoint.load())
        m_SlateShowing.store(0);
    m_ScrubMode.store(scrub);
    m_SeekLock->Lock();
    if (m_AudioOutput)
        m_AudioOutput->Pause();
    // Every thread finishes its round and idles before the reader moves the demuxer.
    SetThreadStates(ssStatePauseRequest);
    WaitForAllThreads(ssStateAcknowledged);
    m_SeekTarget.store(std::max(0.0, time));
    SetThreadStates(ssStateSeek);
    WaitForAllThreads(ssStatePaused);
    // Wait until the presenting side has shown the new position, unless this is the presenting
    // thread itself (a loop at the out point): it cannot take frames while it waits here.
    if (!OnPresentingThread())
        for (int i = 0; i < kCountdownPolls && m_Present.countdown.load() != 0; ++i)
            usleep(kCountdownPollMicroseconds);
    m_SeekTarget.store(time);
    if (m_AudioOutput)
        m_AudioOutput->SetClockBase(time);
    m_SeekLock->Unlock();
    return 0;
}

int32_t ssMediaDecoder3::StepForward()
{
    if (!m_HasOutput)
        return 0;
    const double frame = m_FrameDuration.load();
    const double i = std::trunc(m_Present.currentTime.load() / frame);
    m_StepDirection.store(1);
    Seek((i + 1) * frame, 0);
    // Landed on the same frame (its time sits just below the boundary): go on past it.
    if (std::trunc(m_Present.currentTime.load() / frame) <= i)
        Seek((i + 3) * frame, 0);
    return 0;
}

int32_t ssMediaDecoder3::StepBackward()
{
    if (!m_HasOutput)
        return 0;
    const double frame = m_FrameDuration.load();
    const double i = std::trunc(m_Present.currentTime.load() / frame);
    m_StepDirection.store(-1);
    Seek((i - 1) * frame, 0);
    if (std::trunc(m_Present.currentTime.load() / frame) >= i)
        Seek((i - 2) * frame, 0);
    return 0;
}

int32_t ssMediaDecoder3::AdjustForward()
{
    for (auto& adjust : m_AudioAdjust)
        adjust.store(2);
    m_VideoAdjust.store(1);
    return 0;
}

int32_t ssMediaDecoder3::AdjustBackward()
{
    for (auto& adjust : m_AudioAdjust)
        adjust.store(-2);
    m_VideoAdjust.store(-1);
    return 0;
}

int32_t ssMediaDecoder3::SetInPoint(double time)
{
    m_InPoint.store(std::max(0.0, time));
    return 0;
}

int32_t ssMediaDecoder3::SetOutPoint(double time)
{
    const double out = std::min(m_Duration.load(), time);
    if (!(m_InPoint.load() < out))
        return -1;
    // Two frame steps: the last frame that still plays ends one step before the point given.
    m_OutPoint.store(out - 2.0 * m_FrameStep.load());
    return 0;
}

int32_t ssMediaDecoder3::SetInOutPoints(double in, double out)
{
    in = std::max(0.0, in);
    out = std::min(m_Duration.load(), out);
    if (in >= out)
        return -1;
    m_InPoint.store(in);
    m_OutPoint.store(out - m_FrameStep.load());
    return 0;
}

int32_t ssMediaDecoder3::SetMaster(ssMediaDecoder3* master, double offset)
{
    if (master == this)
        master = nullptr; // a channel cannot follow itself
    if (!master) {
        if (m_AudioOutput)
            m_AudioOutput->SetMaster(nullptr, 0.0);
        m_Master.store(this);
        return 0;
    }
    m_Master.store(master);
    m_SlaveOffset.store(-offset);
    const double target = master->GetCurrentTime() - offset;
    if (std::fabs(m_Present.currentTime.load() - target) > kSlaveResyncSeconds) {
        const int32_t state = GetThreadState();
        Seek(target, 0);
        if (state == ssStatePlaying)
            Play();
    }
    if (m_AudioOutput)
        m_AudioOutput->SetMaster(master, -offset);
    return 0;
}

bool ssMediaDecoder3::BuffersReady()
{
    if (!m_VideoReady.load() || !m_VideoPacketQueue)
        return false;
    // A file read through before its queues filled (a still, a short clip) is as ready as it gets.
    if (m_VideoDrained.load() || !m_VideoPacketQueue->HasRoom())
        return true;
    for (int j = 0; j < m_AudioStreamCount; ++j)
        if (m_AudioPacketQueues[j] && !m_AudioPacketQueues[j]->HasRoom())
            return true;
    return false;
}

int32_t ssMediaDecoder3::SetPlaybackBehavior(int32_t behaviour)
{
    m_PlaybackBehavior.store(behaviour);
    return 0;
}

int32_t ssMediaDecoder3::SetDelegate(KLVChannelNotifier* notifier)
{
    m_Notifier.store(notifier);
    return 0;
}

int32_t ssMediaDecoder3::SetVolume(float volume)
{
    if (m_AudioOutput)
        m_AudioOutput->SetVolume(volume);
    return 0;
}

int32_t ssMediaDecoder3::SetAudioDelay(int32_t milliseconds)
{
    m_AudioDelay.store(milliseconds / 1000.0);
    return 0;
}

int32_t ssMediaDecoder3::SetAudioOutput(int32_t kind)
{
    if (kind != 0 && kind != 1)
        return -1;
    m_AudioOutputKind.store(kind);
    return 0;
}

int32_t ssMediaDecoder3::SetSyncMode(int32_t flag)
{
    m_SyncMode.store(flag);
    return 0;
}

int32_t ssMediaDecoder3::SetTimeCodeOutput(int32_t mode)
{
    m_TimeCodeOutput.store(mode);
    // The card's frames carry the time-code packet; the playout attaches it by this mode.
    return m_HasOutput && m_Output.kind == 2 ? 0 : -1;
}

int32_t ssMediaDecoder3::SetShowSlate(int32_t flag)
{
    m_ShowSlate.store(flag);
    if (!flag)
        m_SlateShowing.store(0);
    return 0;
}

int32_t ssMediaDecoder3::GetCurrentTimeCodeString(char* buffer)
{
    FormatTimeCode(m_Present.currentTime.load(), buffer);
    return 0;
}

int32_t ssMediaDecoder3::GetRemainingTimeCodeString(char* buffer)
{
    FormatTimeCode(m_Duration.load() - m_Present.currentTime.load(), buffer);
    return 0;
}

void ssMediaDecoder3::FormatTimeCode(double seconds, char* buffer) const
{
    ssFormatTimeCode(seconds, m_FrameDuration.load(), m_FrameRate.load(), buffer, ssTimeCodeTextSize);
}
