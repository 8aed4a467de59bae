// The presenting side: the playback clock, the frame to show now and the end of the play range.
// GetFrameForOutput, and from it EndPointReached and a looping Seek, run on the presenting
// thread (a screen output's draw or the DeckLink scheduling callback).

#include "engine/decoder/ssMediaDecoder3.h"

#include "engine/base/ssTimer.h"
#include "engine/capture/ssSEBuffer.h"
#include "engine/decoder/ssAudioMTosx.h"

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

// The presenting reader (reader 0) of the engine's frame ring.
class FrameRingReader final : public ssPresentRing {
public:
    explicit FrameRingReader(ssSEBuffer& ring)
        : ring_(ring)
    {
    }
    ssFrameTarget* Peek() override
    {
        ssFrameTarget* frame = nullptr;
        return ring_.Peek(0, &frame) == 0 ? frame : nullptr;
    }
    ssFrameTarget* Take(int32_t milliseconds) override
    {
        ssFrameTarget* frame = nullptr;
        return ring_.Read(0, &frame, milliseconds) == 0 ? frame : nullptr;
    }

private:
    ssSEBuffer& ring_;
};

// Longest chain of linked channels followed for a clock.
constexpr int kMostMasterLinks = 16;

} // namespace

bool ssMediaDecoder3::OnPresentingThread() const
{
    return tl_presenting == this;
}

double ssMediaDecoder3::GetAudioClock()
{
    if (m_AudioOutputKind.load() == 1)
        return m_SdiAudioClock.load();
    return m_AudioOutput ? m_AudioOutput->GetClock() : 0.0;
}

double ssMediaDecoder3::OwnPlaybackClock()
{
    return GetAudioClock() + m_AudioDelay.load() + m_AudioClockOffset.load();
}

double ssMediaDecoder3::GetPlaybackClock()
{
    // Follow the playing masters up the chain. A chain that comes back on itself (a self-link or
    // a cycle of linked channels) has no clock to follow: the engine keeps its own.
    const ssMediaDecoder3* visited[kMostMasterLinks + 1] = {this};
    int count = 1;
    ssMediaDecoder3* engine = this;
    double offsets = 0.0;
    for (;;) {
        ssMediaDecoder3* master = engine->m_Master.load();
        if (!master || master == engine || master->GetThreadState() != ssStatePlaying)
            break;
        if (count > kMostMasterLinks || std::find(visited, visited + count, master) != visited + count)
            return OwnPlaybackClock();
        offsets += engine->m_AudioDelay.load() + engine->m_SlaveOffset.load();
        visited[count++] = master;
        engine = master;
    }
    return engine->OwnPlaybackClock() + offsets;
}

ssPresentTiming ssMediaDecoder3::PresentTiming() const
{
    ssPresentTiming timing;
    timing.frameStep = m_FrameStep.load();
    timing.frameRate = m_FrameRate.load();
    timing.inPoint = m_InPoint.load();
    timing.outPoint = m_OutPoint.load();
    return timing;
}

int32_t ssMediaDecoder3::GetFrameForOutput(int32_t* frameWidth, int32_t* frameHeight, int32_t* displayWidth,
                                           int32_t* displayHeight, int32_t* state)
{
    std::lock_guard present(m_PresentLock);
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
    if (readerState != ssStatePlaying && readerState != ssStatePaused)
        return -1;

    PresentingScope presenting(this);
    FrameRingReader ring(*m_FrameRing);
    const ssFrameChoice choice = ssChooseFrame(ring, GetPlaybackClock(), readerState, PresentTiming(), m_Present);
    if (choice.rebased && m_AudioStreamCount == 0 && m_AudioOutput)
        m_AudioOutput->SetClockBase(choice.rebaseTime - m_AudioClockOffset.load());
    if (choice.taken)
        UpdateFrameStats();
    if (choice.endReached)
        EndPointReached();
    if (!choice.frame)
        return -1;
    *frameWidth = choice.frame->width;
    *frameHeight = choice.frame->height;
    m_FirstFrameShown.store(1);
    m_PreviewSlot.store(choice.frame->textureIndex);
    return choice.frame->textureIndex;
}

void ssMediaDecoder3::EndPointReached()
{
    KLVChannelNotifier* notifier = m_Notifier.load();
    switch (m_PlaybackBehavior.load()) {
    case 1: {
        if (notifier)
            notifier->NotifyEndpointReached();
        // Playing the whole file: the reader wraps at its end by itself.
        if (m_InPoint.load() == 0.0 &&
            ssSameFrameTime(m_OutPoint.load(), m_Duration.load() - m_FrameStep.load(), m_FrameStep.load()))
            return;
        const int32_t state = GetThreadState();
        PauseOutputAndThreads(ssStatePaused);
        Seek(m_InPoint.load(), 0);
        if (state == ssStatePlaying)
            Play();
        return;
    }
    case 2:
        // Next: the application moves on; without it to do so, playback runs on.
        if (!notifier)
            return;
        PauseOutputAndThreads(ssStatePaused);
        notifier->NotifyEndpointReached();
        return;
    default:
        if (notifier)
            notifier->NotifyEndpointReached();
        PauseOutputAndThreads(ssStatePaused);
        return;
    }
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
    m_MeasuredRate.store(m_FrameIntervalSum > 0 ? 1000.0f / (float(m_FrameIntervalSum) / 120.0f) : 0.0f);
}
