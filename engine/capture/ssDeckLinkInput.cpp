#include "engine/capture/ssDeckLinkInput.h"

#include "engine/base/ssMessage.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace platform::decklink;

namespace {

// Time scale the card is asked for stream and packet times in.
constexpr TimeScale kCaptureTimeScale = 100000;
// Audio of one frame period never exceeds a second; more is a broken packet and is cut.
constexpr long kMaxPacketFrames = 48000;

uint8_t* allocateAligned(size_t bytes)
{
    return static_cast<uint8_t*>(std::aligned_alloc(64, (bytes + 63) / 64 * 64));
}

} // namespace

uint32_t DeckLinkCaptureDelegate::AddRef()
{
    std::lock_guard lock(m_RefLock);
    return ++m_RefCount;
}

uint32_t DeckLinkCaptureDelegate::Release()
{
    uint32_t left;
    {
        std::lock_guard lock(m_RefLock);
        left = m_RefCount > 0 ? --m_RefCount : 0;
    }
    if (left == 0)
        delete this;
    return left;
}

Result DeckLinkCaptureDelegate::VideoInputFrameArrived(IDeckLinkVideoInputFrame* video, IDeckLinkAudioInputPacket* audio)
{
    m_Input->VideoInputFrameArrived(video, audio);
    return 0;
}

ssDeckLinkInput::ssDeckLinkInput() = default;

ssDeckLinkInput::~ssDeckLinkInput()
{
    if (m_DeckLinkInput) {
        m_DeckLinkInput->StopStreams();
        // Returns once no capture callback is running, so nothing below is freed under one.
        m_DeckLinkInput->SetCallback(nullptr);
        m_DeckLinkInput->DisableAudioInput();
        m_DeckLinkInput->DisableVideoInput();
    }
    for (ssCaptureFrame& frame : m_Frames) {
        std::free(frame.m_Pixels);
        std::free(frame.m_Audio);
    }
    delete m_FrameBuffer;
    if (m_DeckLinkInput)
        m_DeckLinkInput->Release();
    if (m_DeckLink)
        m_DeckLink->Release();
}

int ssDeckLinkInput::Open(IDeckLink* deckLink, int modeIndex, int audioChannels)
{
    if (!deckLink || m_DeckLinkInput)
        return -1;
    IDeckLinkInput* input = nullptr;
    auto* delegate = new DeckLinkCaptureDelegate(this);
    if (deckLink->QueryInput(&input) != kOk || !input || input->SetCallback(delegate) != kOk) {
        ssMessage(2, "Error in m_DeckLinkInput->SetCallback(captureDelegate)");
        delegate->AddRef(); // never taken by the card: this reference is the last
        delegate->Release();
        if (input)
            input->Release();
        return -1;
    }
    deckLink->AddRef();
    m_DeckLink = deckLink;
    m_DeckLinkInput = input;
    m_CaptureDelegate = delegate;

    DisplayModeId modeId = 0;
    bool found = false;
    IDeckLinkDisplayModeIterator* modes = nullptr;
    if (input->GetDisplayModeIterator(&modes) == kOk && modes) {
        IDeckLinkDisplayMode* mode = nullptr;
        for (int i = 0; !found && modes->Next(&mode) == kOk && mode; ++i) {
            if (i == modeIndex) {
                found = true;
                modeId = mode->GetDisplayMode();
                m_Width = int32_t(mode->GetWidth());
                m_Height = int32_t(mode->GetHeight());
                m_Interlaced = mode->GetFieldDominance() != FieldDominance::Progressive;
                TimeValue duration = 0;
                TimeScale scale = 0;
                mode->GetFrameRate(&duration, &scale);
                m_FrameRate = duration > 0 ? double(scale) / double(duration) : 0;
            }
            mode->Release();
        }
        modes->Release();
    }
    if (!found || m_Width <= 0 || m_Height <= 0)
        return -1;

    m_FrameBuffer = new ssSEBuffer(m_SlotCount, 1);
    for (int i = 0; i < m_SlotCount; ++i) {
        ssCaptureFrame& frame = m_Frames[i];
        frame.m_RowBytes = 2 * m_Width;
        frame.m_Pixels = allocateAligned(size_t(frame.m_RowBytes) * size_t(m_Height));
        if (!frame.m_Pixels) {
            ssMessage(2, "Out of memory for capture buffers");
            return -1;
        }
        frame.m_Width = m_Width;
        frame.m_Height = m_Height;
        m_FrameBuffer->RegisterSlot(&frame, i);
    }

    if (input->EnableVideoInput(modeId, kFormat8BitYUV, kVideoInputDefault) != kOk) {
        ssMessage(2, "Error in m_DeckLinkInput->EnableVideoInput");
        return -1;
    }
    // Without audio the picture is still worth recording: every frame then logs its missing audio.
    if (input->EnableAudioInput(kAudioSampleRate48kHz, AudioSampleType::Integer16, kCapturedChannels) != kOk)
        ssMessage(2, "Error in m_DeckLinkInput->EnableAudioInput");
    m_AudioChannels = std::clamp(audioChannels, 2, kCapturedChannels);
    return 0;
}

void ssDeckLinkInput::GetInputFormat(int* width, int* height, int* interlaced, double* frameRate) const
{
    if (width)
        *width = m_Width;
    if (height)
        *height = m_Height;
    if (interlaced)
        *interlaced = m_Interlaced;
    if (frameRate)
        *frameRate = m_FrameRate;
}

int ssDeckLinkInput::Start()
{
    if (!m_DeckLinkInput)
        return -1;
    const Result result = m_DeckLinkInput->StartStreams();
    m_Timer.Reset();
    return result == kOk ? 0 : -1;
}

int ssDeckLinkInput::Stop()
{
    if (!m_DeckLinkInput)
        return -1;
    return m_DeckLinkInput->StopStreams() == kOk ? 0 : -1;
}

void ssDeckLinkInput::ResetBuffer()
{
    m_NoSignalCount.store(0);
    if (m_FrameBuffer)
        m_FrameBuffer->Reset();
}

void ssDeckLinkInput::VideoInputFrameArrived(IDeckLinkVideoInputFrame* video, IDeckLinkAudioInputPacket* audio)
{
    if (!video && audio) {
        m_NoSignalCount.fetch_add(1);
        ssMessage(2, "No video");
    }
    if (!audio)
        ssMessage(2, "No audio");
    if (!video || !m_FrameBuffer)
        return;

    double timecode = 0;
    IDeckLinkTimecode* serial = nullptr;
    if (video->GetTimecode(kTimecodeSerial, &serial) == kOk && serial) {
        uint8_t h = 0, m = 0, s = 0, f = 0;
        if (serial->GetComponents(&h, &m, &s, &f) == kOk && m_FrameRate > 0)
            timecode = h * 3600.0 + m * 60.0 + s + f / m_FrameRate;
        serial->Release();
    }

    if (int32_t(video->GetFlags()) < 0) {
        m_NoSignalCount.fetch_add(1);
        return;
    }

    ssCaptureFrame* slot = nullptr;
    if (m_FrameBuffer->AcquireWrite(&slot, 10) != 0)
        return; // the ring is full: this frame is dropped

    TimeValue time = 0, duration = 0;
    video->GetStreamTime(&time, &duration, kCaptureTimeScale);
    slot->m_VideoTime = double(time) / kCaptureTimeScale;
    slot->m_Timecode = timecode;

    // A frame larger than the opened mode (the source changed format) is cut to the slot.
    void* bytes = nullptr;
    const long width = std::min<long>(video->GetWidth(), m_Width);
    const long height = std::min<long>(video->GetHeight(), m_Height);
    const long sourceRowBytes = video->GetRowBytes();
    const long copyBytes = std::min<long>(2 * width, sourceRowBytes);
    if (video->GetBytes(&bytes) == kOk && bytes && width > 0 && height > 0) {
        const auto* source = static_cast<const uint8_t*>(bytes);
        for (long y = 0; y < height; ++y)
            std::memcpy(slot->m_Pixels + y * slot->m_RowBytes, source + y * sourceRowBytes, size_t(copyBytes));
        slot->m_Width = int32_t(width);
        slot->m_Height = int32_t(height);
    } else {
        slot->m_Width = slot->m_Height = 0;
    }

    CopyAudio(slot, audio);
    m_FrameBuffer->Commit(0);
}

void ssDeckLinkInput::CopyAudio(ssCaptureFrame* slot, IDeckLinkAudioInputPacket* audio)
{
    slot->m_AudioBytes = 0;
    slot->m_HasAudio = 0;
    void* bytes = nullptr;
    if (!audio || audio->GetBytes(&bytes) != kOk || !bytes) {
        ssMessage(2, "missing frame of audio");
        return;
    }
    const long frames = std::clamp<long>(audio->GetSampleFrameCount(), 0, kMaxPacketFrames);
    const int32_t needed = int32_t(frames * m_AudioChannels * 2);
    if (needed > slot->m_AudioCapacity) {
        // Grown, never shrunk: after the longest packet no further allocation happens.
        auto* grown = static_cast<int16_t*>(std::realloc(slot->m_Audio, size_t(needed) + 64));
        if (!grown) {
            ssMessage(2, "missing frame of audio");
            return;
        }
        slot->m_Audio = grown;
        slot->m_AudioCapacity = needed + 64;
    }
    const auto* source = static_cast<const int16_t*>(bytes);
    if (m_AudioChannels == kCapturedChannels) {
        std::memcpy(slot->m_Audio, source, size_t(needed));
    } else {
        int16_t* out = slot->m_Audio;
        for (long i = 0; i < frames; ++i, source += kCapturedChannels)
            for (int c = 0; c < m_AudioChannels; ++c)
                *out++ = source[c];
    }
    TimeValue packetTime = 0;
    audio->GetPacketTime(&packetTime, kCaptureTimeScale);
    slot->m_AudioTime = double(packetTime) / kCaptureTimeScale;
    slot->m_AudioBytes = needed;
    slot->m_HasAudio = 1;
}
