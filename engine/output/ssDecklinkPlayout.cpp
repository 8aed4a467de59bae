#include "engine/output/ssDecklinkPlayout.h"

#include "engine/base/ssMessage.h"
#include "engine/output/ssDecklinkOutput.h"
#include "engine/render/ssRenderTypes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

using namespace platform::decklink;

namespace {
constexpr int32_t kStateStopped = 3;
} // namespace

// The card's callbacks; the playout owns them, so reference counting is not used.
class ssDecklinkPlayout::VideoDelegate final : public IDeckLinkVideoOutputCallback {
public:
    explicit VideoDelegate(ssDecklinkPlayout* owner) : owner_(owner) {}
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
    Result ScheduledFrameCompleted(IDeckLinkVideoFrame*, CompletionResult result) override
    {
        owner_->ScheduleNextFrame(result);
        return kOk;
    }
    Result ScheduledPlaybackHasStopped() override { return kOk; }

private:
    ssDecklinkPlayout* owner_;
};

class ssDecklinkPlayout::AudioDelegate final : public IDeckLinkAudioOutputCallback {
public:
    explicit AudioDelegate(ssDecklinkPlayout* owner) : owner_(owner) {}
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
    Result RenderAudioSamples(bool) override
    {
        owner_->RenderAudioSamples();
        return kOk;
    }

private:
    ssDecklinkPlayout* owner_;
};

ssDecklinkPlayout::ssDecklinkPlayout(ssPlayoutSource* source) : m_Source(source)
{
    m_AudioBlock.resize(kAudioBufSize / sizeof(int32_t));
}

ssDecklinkPlayout::~ssDecklinkPlayout()
{
    Stop();
}

bool ssDecklinkPlayout::ReferenceLocked() const
{
    platform::decklink::ReferenceStatus status = 0;
    return m_Output && m_Output->GetReferenceStatus(&status) == platform::decklink::kOk &&
           (status & platform::decklink::kReferenceLocked) != 0;
}

int32_t ssDecklinkPlayout::Start(ssDecklinkOutput* device, int32_t modeIndex)
{
    Stop();
    if (!device || !device->CanPlay() || !device->GetOutput() || device->GetModeCount() <= 0)
        return -1;
    if (modeIndex < 0 || modeIndex >= device->GetModeCount())
        modeIndex = 0;
    IDeckLinkDisplayMode* mode = device->GetDisplayMode(modeIndex);
    IDeckLinkOutput* output = device->GetOutput();

    Result r = output->EnableVideoOutput(mode->GetDisplayMode(), kVideoOutputRP188);
    if (!succeeded(r)) {
        if (r == kAccessDenied)
            ssMessage(0, "Access Denied");
        else if (r == kOutOfMemory)
            ssMessage(0, "Out of memory");
        else
            ssMessage(0, "Uh oh, mode not supported");
        r = output->EnableVideoOutput(mode->GetDisplayMode(), kVideoOutputDefault);
        if (!succeeded(r))
            return -1; // without video there is nothing to play out
    }
    output->AddRef();
    m_Output = output;

    m_Width = int32_t(mode->GetWidth());
    m_Height = int32_t(mode->GetHeight());
    m_Interlaced = mode->GetFieldDominance() != FieldDominance::Progressive ? 1 : 0;
    mode->GetFrameRate(&m_FrameDuration, &m_TimeScale);
    m_FrameRate = m_FrameDuration > 0 ? float(double(m_TimeScale) / double(m_FrameDuration)) : 0.0f;

    if (!succeeded(output->CreateAncillaryData(kFormat10BitYUV, &m_Ancillary))) {
        m_Ancillary = nullptr;
        ssMessage(0, "Timecode output via BM SDK not available ");
    }
    m_VideoDelegate = std::make_unique<VideoDelegate>(this);
    output->SetScheduledFrameCompletionCallback(m_VideoDelegate.get());

    const size_t bytes = FrameBytes();
    for (int32_t i = 0; i < kFrameCount; ++i) {
        if (succeeded(output->CreateVideoFrame(m_Width, m_Height, m_Width * 2, kFormat8BitYUV, kFrameDefault,
                                               &m_Frames[i])) && m_Frames[i]) {
            void* frameBytes = nullptr;
            if (succeeded(m_Frames[i]->GetBytes(&frameBytes)) && frameBytes)
                ssFillBlack2vuy(static_cast<uint8_t*>(frameBytes), bytes);
            if (m_Ancillary)
                m_Frames[i]->SetAncillaryData(m_Ancillary);
        } else {
            m_Frames[i] = nullptr;
        }
    }

    // Frames scheduled after the preroll follow it: counting from 0 again would put each of them
    // in the past, shown late for as long as playback runs.
    m_LastSlot = 0;
    for (int32_t i = 0; i < kPrerollFrames; ++i) {
        if (m_Frames[i])
            output->ScheduleVideoFrame(m_Frames[i], TimeValue(i) * m_FrameDuration, m_FrameDuration, m_TimeScale);
    }
    m_ScheduledCount = kPrerollFrames;

    ReleaseLeftovers();
    m_AudioDelegate = std::make_unique<AudioDelegate>(this);
    output->SetAudioCallback(m_AudioDelegate.get());
    r = output->EnableAudioOutput(kAudioSampleRate48kHz, AudioSampleType::Integer32, kAudioChannels,
                                  AudioOutputStreamType::Continuous);
    m_AudioEnabled = succeeded(r);
    if (!m_AudioEnabled)
        ssMessage(0, "Error opening Blackmagic audio device %d", r);
    m_AudioClock.store(0.0);
    output->StartScheduledPlayback(0, m_TimeScale, 1.0);
    return 0;
}

void ssDecklinkPlayout::Stop()
{
    if (!m_Output)
        return;
    TimeValue stoppedAt = 0;
    m_Output->StopScheduledPlayback(0, &stoppedAt, 0);
    m_Output->DisableVideoOutput();
    m_Output->DisableAudioOutput();
    m_Output->SetAudioCallback(nullptr);
    m_Output->SetScheduledFrameCompletionCallback(nullptr);
    m_VideoDelegate.reset();
    m_AudioDelegate.reset();
    for (int32_t i = 0; i < kFrameCount; ++i) {
        if (m_Frames[i])
            m_Frames[i]->Release();
        m_Frames[i] = nullptr;
    }
    if (m_Ancillary)
        m_Ancillary->Release();
    m_Ancillary = nullptr;
    ReleaseLeftovers();
    m_Output->Release();
    m_Output = nullptr;
    m_AudioEnabled = false;
}

void ssDecklinkPlayout::ScheduleNextFrame(CompletionResult result)
{
    if (result == CompletionResult::Flushed || !m_Output)
        return;
    int32_t state = 0;
    int32_t slot = m_Source->GetFrameForOutput(&state);
    const bool fresh = slot >= 0 && slot < kFrameCount;
    if (!fresh)
        slot = m_LastSlot;
    IDeckLinkMutableVideoFrame* frame = m_Frames[slot];
    if (!frame)
        return;
    // The card frame of a slot keeps its picture: a repeated slot is scheduled as it stands.
    void* bytes = nullptr;
    if (succeeded(frame->GetBytes(&bytes)) && bytes) {
        if (state == kStateStopped && m_Source->GetPlaybackBehavior() != 2) {
            ssFillBlack2vuy(static_cast<uint8_t*>(bytes), FrameBytes());
        } else if (fresh) {
            if (const uint8_t* pixels = m_Source->GetFramePixels(slot))
                std::memcpy(bytes, pixels, FrameBytes());
        }
    }
    if (m_Ancillary && m_Source->GetTimeCodeOutput() != 0)
        WriteTimecode(frame);
    m_Output->ScheduleVideoFrame(frame, TimeValue(m_ScheduledCount) * m_FrameDuration, m_FrameDuration,
                                 m_TimeScale);
    ++m_ScheduledCount;
    m_LastSlot = slot;
}

void ssDecklinkPlayout::WriteTimecode(IDeckLinkMutableVideoFrame* frame)
{
    double t = m_Source->GetPosition();
    if (m_Source->GetTimeCodeOutput() == 2)
        t = m_Source->GetDuration() - t;
    const int32_t rate = std::max(1, int32_t(std::lround(m_FrameRate)));
    const double frameDuration = m_TimeScale > 0 ? double(m_FrameDuration) / double(m_TimeScale) : 0.0;
    ssTimecodeParts parts = ssSdiTimecodeAt(t, frameDuration, rate, m_Source->GetStartTimeCode());
    ssRP188Write slots[2];
    const int32_t count = ssRP188Slots(m_Interlaced != 0, m_FrameRate, &parts, slots);
    for (int32_t i = 0; i < count; ++i) {
        const Result r = frame->SetTimecodeFromComponents(slots[i].format, uint8_t(parts.hours),
                                                          uint8_t(parts.minutes), uint8_t(parts.seconds),
                                                          uint8_t(parts.frames), slots[i].flags);
        if (!succeeded(r))
            std::fprintf(stderr, "Could not set VITC1 timecode on interlaced frame - result = %08x\n",
                         unsigned(r));
    }
}

void ssDecklinkPlayout::ReleaseLeftovers()
{
    for (int32_t s = 0; s < kMaxStreams; ++s) {
        if (m_Leftover[s].samples)
            m_Source->ReleaseAudioPacket(s);
        m_Leftover[s] = {};
        m_LeftoverPosition[s] = 0;
    }
}

int32_t ssDecklinkPlayout::RenderAudioSamples()
{
    if (!m_Output)
        return -1;
    int32_t* block = m_AudioBlock.data();
    std::memset(block, 0, size_t(kAudioFramesPerCall) * kAudioChannels * sizeof(int32_t));
    const bool playing = m_Source->AudioPlaying();
    if (playing && m_Source->GetAudioStreamCount() > 0 && m_Source->AudioClockStarted()) {
        FillAudio(block);
    } else {
        // Silence; while playing the clock still runs.
        if (playing)
            m_AudioClock.store(m_AudioClock.load() + kAudioFramesPerCall * m_SampleDuration);
        m_Source->DecayMeters();
        ReleaseLeftovers();
    }
    uint32_t written = 0;
    const Result r = m_Output->ScheduleAudioSamples(block, kAudioFramesPerCall, 0, 0, &written);
    if (!succeeded(r) || written < uint32_t(kAudioFramesPerCall))
        ssMessage(0, "err=%d tried to write %d, %d got written", r, kAudioFramesPerCall, int(written));
    return -1;
}

// Streams lie side by side in stream order; the block carries 8 channels and whatever lies beyond
// the eighth is left out (never written into the next frame's samples). Stream 0 drives the clock.
void ssDecklinkPlayout::FillAudio(int32_t* block)
{
    const int32_t streams = std::min(m_Source->GetAudioStreamCount(), kMaxStreams);
    int32_t firstChannel = 0;
    for (int32_t s = 0; s < streams; ++s) {
        const int32_t streamChannels = std::max(1, m_Source->GetStreamChannels(s));
        int32_t done = 0;
        while (done < kAudioFramesPerCall) {
            ssAudioPacket& packet = m_Leftover[s];
            if (!packet.samples) {
                ssAudioPacket next;
                if (m_Source->PullAudioPacket(s, &next) != 0 || !next.samples || next.frames <= 0) {
                    if (s == 0)
                        m_AudioClock.store(m_AudioClock.load() + (kAudioFramesPerCall - done) * m_SampleDuration);
                    ssMessage(2, "Audio out of data");
                    break;
                }
                packet = next;
                m_LeftoverPosition[s] = 0;
                if (s == 0)
                    m_AudioClock.store(packet.time);
            }
            const int32_t n = std::min(kAudioFramesPerCall - done, packet.frames - m_LeftoverPosition[s]);
            const int32_t usable = std::clamp(kAudioChannels - firstChannel, 0, std::min(packet.channels, streamChannels));
            const int32_t* from = packet.samples + size_t(m_LeftoverPosition[s]) * size_t(packet.channels);
            int32_t* to = block + size_t(done) * kAudioChannels + firstChannel;
            for (int32_t f = 0; f < n; ++f) {
                for (int32_t c = 0; c < usable; ++c)
                    to[c] = from[c];
                to += kAudioChannels;
                from += packet.channels;
            }
            if (usable > 0)
                m_Source->AccumulateMeterLevels(block + size_t(done) * kAudioChannels, n, kAudioChannels,
                                                firstChannel, usable);
            if (s == 0)
                m_AudioClock.store(m_AudioClock.load() + n * m_SampleDuration);
            done += n;
            m_LeftoverPosition[s] += n;
            if (m_LeftoverPosition[s] >= packet.frames) {
                m_Source->ReleaseAudioPacket(s);
                packet = {};
                m_LeftoverPosition[s] = 0;
            }
        }
        firstChannel += streamChannels;
    }
}
