// Transport on the worker threads' state words, the seek handshake, the playback clock and the
// choice of the frame to present.

#include "engine/decoder/ssMediaDecoder3.h"

#include "engine/base/ssCriticalSection.h"
#include "engine/base/ssEBuffer.h"
#include "engine/base/ssTimer.h"
#include "engine/capture/ssSEBuffer.h"
#include "engine/decoder/ssAudioMTosx.h"

#include <chrono>
#include <cmath>
#include <unistd.h>

namespace {
// Handshake polls: the threads answer within one round (at most ~125 ms of waits), but a loaded
// machine or a sanitizer build can take far longer, so the bound is time, not a poll count.
constexpr auto kHandshakeBound = std::chrono::seconds(5);
constexpr int kPollMicroseconds = 400;
} // namespace

int32_t ssMediaDecoder3::Play()
{
    if (m_AudioStreamCount == 0 && m_AudioOutput)
        m_AudioOutput->SetClockBase(m_CurrentTime.load() - m_AudioClockOffset.load());
    if (m_AudioOutputKind.load() == 0 && m_AudioOutput)
        m_AudioOutput->Play();
    SetThreadStates(ssStatePlaying);
    m_SlateShowing.store(0);
    return 0;
}

int32_t ssMediaDecoder3::Pause()
{
    if (m_AudioOutput)
        m_AudioOutput->Pause();
    SetThreadStates(ssStatePaused);
    return 0;
}

int32_t ssMediaDecoder3::Stop()
{
    if (m_AudioOutput)
        m_AudioOutput->Pause();
    SetThreadStates(ssStateStopped);
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
    for (int i = 0; i < 1000 && m_PostSeekCountdown.load() != 0; ++i)
        usleep(500);
    m_SeekTarget.store(time);
    if (m_AudioOutput)
        m_AudioOutput->SetClockBase(time);
    m_SeekLock->Unlock();
    return 0;
}

bool ssMediaDecoder3::BuffersReady()
{
    if (!m_VideoReady.load() || !m_VideoPacketQueue)
        return false;
    if (!m_VideoPacketQueue->HasRoom())
        return true;
    for (int j = 0; j < m_AudioStreamCount; ++j)
        if (m_AudioPacketQueues[j] && !m_AudioPacketQueues[j]->HasRoom())
            return true;
    return false;
}

double ssMediaDecoder3::GetAudioClock()
{
    return m_AudioOutput ? m_AudioOutput->GetClock() : 0.0;
}

double ssMediaDecoder3::GetPlaybackClock()
{
    ssMediaDecoder3* master = m_Master.load();
    if (master && master != this && master->GetThreadState() == ssStatePlaying)
        return master->GetPlaybackClock() + m_AudioDelay.load() + m_SlaveOffset.load();
    return GetAudioClock() + m_AudioDelay.load() + m_AudioClockOffset.load();
}

void ssMediaDecoder3::EndPointReached()
{
    KLVChannelNotifier* notifier = m_Notifier.load();
    switch (m_PlaybackBehavior.load()) {
    case 1: {
        if (notifier)
            notifier->NotifyEndpointReached();
        if (m_InPoint.load() == 0.0 && m_OutPoint.load() == m_Duration - m_FrameStep)
            return; // the reader wraps at the end of the file
        const int32_t state = GetThreadState();
        if (m_AudioOutput)
            m_AudioOutput->Pause();
        SetThreadStates(ssStatePaused);
        Seek(m_InPoint.load(), 0);
        if (state == ssStatePlaying)
            Play();
        return;
    }
    case 2:
        if (!notifier)
            return;
        if (m_AudioOutput)
            m_AudioOutput->Pause();
        SetThreadStates(ssStatePaused);
        notifier->NotifyEndpointReached();
        return;
    default:
        if (notifier)
            notifier->NotifyEndpointReached();
        if (m_AudioOutput)
            m_AudioOutput->Pause();
        SetThreadStates(ssStatePaused);
        return;
    }
}

int32_t ssMediaDecoder3::GetFrameForOutput(int32_t* frameWidth, int32_t* frameHeight, int32_t* displayWidth,
                                           int32_t* displayHeight, int32_t* state)
{
    *displayWidth = m_DisplayWidth.load();
    *displayHeight = m_DisplayHeight.load();
    if (m_NoFile.load()) {
        *frameWidth = 0;
        *state = ssStateStopped;
        return -1;
    }
    const int32_t readerState = GetThreadState();
    if (readerState == ssStateExit || m_OutputChanged.load() || !m_DecodedVideoQueue || !m_FrameRing) {
        *state = ssStateStopped;
        return -1;
    }
    *state = readerState;
    if (readerState == ssStateStopped)
        return -1;
    if (!(readerState == ssStatePlaying || (readerState == ssStatePaused && m_PostSeekCountdown.load() != 0)))
        return -1;

    const double clock = GetPlaybackClock();
    ssFrameTarget* next = nullptr;
    if (m_FrameRing->Peek(0, &next) == 0) {
        if (next->time == m_InPoint.load() || m_Resync.load()) {
            m_Resync.store(0);
            m_CurrentTime.store(next->time);
            if (m_AudioStreamCount == 0 && m_AudioOutput)
                m_AudioOutput->SetClockBase(next->time - m_AudioClockOffset.load());
            m_LoopPending.store(0);
        } else if (m_PostSeekCountdown.load() == 0) {
            const double early = next->time - clock;
            if (early > 1.5 * m_FrameStep) {
                if (early > 1.0 && m_LoopPending.load())
                    m_FrameRing->Read(0, &next, 10);
                return -1;
            }
            if (early < -5.0) {
                m_Resync.store(1);
                return -1;
            }
            for (int i = 0; i < 3 && next->time - clock < -1.8 * m_FrameStep; ++i) {
                m_FrameRing->Read(0, &next, 0);
                if (m_FrameRing->Peek(0, &next) != 0)
                    return -1;
            }
        }
    }
    ssFrameTarget* frame = nullptr;
    if (m_FrameRing->Read(0, &frame, 15) == 0) {
        UpdateFrameStats();
        m_CurrentTime.store(frame->time);
        if (m_PostSeekCountdown.load() != 0 && m_PostSeekCountdown.fetch_sub(1) - 1 != 0)
            return -1; // consumed unseen
        const double out = m_OutPoint.load();
        if (out != 0.0 && frame->time >= out - m_FrameStep)
            EndPointReached();
        *frameWidth = frame->width;
        *frameHeight = frame->height;
        m_FirstFrameShown.store(1);
        return frame->textureIndex;
    }
    if (readerState == ssStatePaused)
        return -1;
    m_MissedFrames.fetch_add(1);
    if (m_CurrentTime.load() >= m_OutPoint.load() - m_FrameStep - 1.0 / m_FrameRate)
        EndPointReached();
    return -1;
}

void ssMediaDecoder3::UpdateFrameStats()
{
    const int64_t now = m_Timer->GetTime();
    if (m_LastFrameReading < 0) {
        m_FrameIntervalSum = 0;
        for (int i = 0; i < 120; ++i) {
            m_FrameIntervals[i] = i % 3 == 0 ? 16 : 17;
            m_FrameIntervalSum += m_FrameIntervals[i];
        }
        m_LastFrameReading = now;
    }
    const int64_t interval = now - m_LastFrameReading;
    m_LastFrameReading = now;
    m_FrameIntervalSum += interval - m_FrameIntervals[m_FrameIntervalIndex];
    m_FrameIntervals[m_FrameIntervalIndex] = interval;
    m_FrameIntervalIndex = (m_FrameIntervalIndex + 1) % 120;
    m_MeasuredRate = m_FrameIntervalSum > 0 ? 1000.0f / (float(m_FrameIntervalSum) / 120.0f) : 0.0f;
}
