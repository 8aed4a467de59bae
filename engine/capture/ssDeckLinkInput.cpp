#include "engine/capture/ssDeckLinkInput.h"

#include "engine/base/ssMessage.h"

#include <algorithm>
#include <cmath>
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
    std::lock_guard lock(RefLock_);
    return ++RefCount_;
}

uint32_t DeckLinkCaptureDelegate::Release()
{
    uint32_t left;
    {
        std::lock_guard lock(RefLock_);
        left = RefCount_ > 0 ? --RefCount_ : 0;
    }
    if (left == 0)
        delete this;
    return left;
}

Result DeckLinkCaptureDelegate::VideoInputFrameArrived(IDeckLinkVideoInputFrame* video, IDeckLinkAudioInputPacket* audio)
{
    Input_->VideoInputFrameArrived(video, audio);
    return 0;
}

ssDeckLinkInput::ssDeckLinkInput() = default;

ssDeckLinkInput::~ssDeckLinkInput()
{
    if (DeckLinkInput_) {
        DeckLinkInput_->StopStreams();
        // Returns once no capture callback is running, so nothing below is freed under one.
        DeckLinkInput_->SetCallback(nullptr);
        DeckLinkInput_->DisableAudioInput();
        DeckLinkInput_->DisableVideoInput();
    }
    for (ssCaptureFrame& frame : Frames_) {
        std::free(frame.Pixels_);
        std::free(frame.Audio_);
    }
    delete FrameBuffer_;
    if (DeckLinkInput_)
        DeckLinkInput_->Release();
    if (DeckLink_)
        DeckLink_->Release();
}

int ssDeckLinkInput::Open(IDeckLink* deckLink, int modeIndex, int audioChannels)
{
    if (!deckLink || DeckLinkInput_)
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
    DeckLink_ = deckLink;
    DeckLinkInput_ = input;
    CaptureDelegate_ = delegate;

    DisplayModeId modeId = 0;
    bool found = false;
    IDeckLinkDisplayModeIterator* modes = nullptr;
    if (input->GetDisplayModeIterator(&modes) == kOk && modes) {
        IDeckLinkDisplayMode* mode = nullptr;
        for (int i = 0; !found && modes->Next(&mode) == kOk && mode; ++i) {
            if (i == modeIndex) {
                found = true;
                modeId = mode->GetDisplayMode();
                Width_ = int32_t(mode->GetWidth());
                Height_ = int32_t(mode->GetHeight());
                Interlaced_ = mode->GetFieldDominance() != FieldDominance::Progressive;
                TimeValue duration = 0;
                TimeScale scale = 0;
                mode->GetFrameRate(&duration, &scale);
                FrameRate_ = duration > 0 ? double(scale) / double(duration) : 0;
            }
            mode->Release();
        }
        modes->Release();
    }
    if (!found || Width_ <= 0 || Height_ <= 0)
        return -1;

    SlotCount_ = SlotCountFor(Width_, Height_, FrameRate_);
    FrameBuffer_ = new ssSEBuffer(SlotCount_, 1);
    for (int i = 0; i <= SlotCount_; ++i) {
        ssCaptureFrame& frame = Frames_[i];
        frame.RowBytes_ = 2 * Width_;
        frame.Pixels_ = allocateAligned(size_t(frame.RowBytes_) * size_t(Height_));
        if (!frame.Pixels_) {
            ssMessage(2, "Out of memory for capture buffers");
            return -1;
        }
        frame.Width_ = Width_;
        frame.Height_ = Height_;
        if (i < SlotCount_)
            FrameBuffer_->RegisterSlot(&frame, i);
        else
            FrameBuffer_->RegisterSpare(&frame);
    }

    if (input->EnableVideoInput(modeId, kFormat8BitYUV, kVideoInputDefault) != kOk) {
        ssMessage(2, "Error in m_DeckLinkInput->EnableVideoInput");
        return -1;
    }
    // Without audio the picture is still worth recording: every frame then logs its missing audio.
    if (input->EnableAudioInput(kAudioSampleRate48kHz, AudioSampleType::Integer16, kCapturedChannels) != kOk)
        ssMessage(2, "Error in m_DeckLinkInput->EnableAudioInput");
    AudioChannels_ = std::clamp(audioChannels, 2, kCapturedChannels);
    return 0;
}

int ssDeckLinkInput::SlotCountFor(int width, int height, double frameRate)
{
    const int64_t pictureBytes = std::max<int64_t>(int64_t(2) * width * height, 1);
    const int64_t second = frameRate > 0 ? int64_t(std::ceil(frameRate)) : kMinSlotCount;
    return int(std::clamp<int64_t>(std::min(second, kMaxRingBytes / pictureBytes), kMinSlotCount, kMaxSlotCount));
}

void ssDeckLinkInput::GetInputFormat(int* width, int* height, int* interlaced, double* frameRate) const
{
    if (width)
        *width = Width_;
    if (height)
        *height = Height_;
    if (interlaced)
        *interlaced = Interlaced_;
    if (frameRate)
        *frameRate = FrameRate_;
}

int ssDeckLinkInput::Start()
{
    if (!DeckLinkInput_)
        return -1;
    const Result result = DeckLinkInput_->StartStreams();
    Timer_.Reset();
    return result == kOk ? 0 : -1;
}

int ssDeckLinkInput::Stop()
{
    if (!DeckLinkInput_)
        return -1;
    return DeckLinkInput_->StopStreams() == kOk ? 0 : -1;
}

void ssDeckLinkInput::ResetBuffer()
{
    NoSignalCount_.store(0);
    if (FrameBuffer_)
        FrameBuffer_->Reset();
}

void ssDeckLinkInput::VideoInputFrameArrived(IDeckLinkVideoInputFrame* video, IDeckLinkAudioInputPacket* audio)
{
    if (!video && audio) {
        NoSignalCount_.fetch_add(1);
        ssMessage(2, "No video");
    }
    if (!audio)
        ssMessage(2, "No audio");
    if (!video || !FrameBuffer_)
        return;

    double timecode = 0;
    IDeckLinkTimecode* serial = nullptr;
    if (video->GetTimecode(kTimecodeSerial, &serial) == kOk && serial) {
        uint8_t h = 0, m = 0, s = 0, f = 0;
        if (serial->GetComponents(&h, &m, &s, &f) == kOk && FrameRate_ > 0)
            timecode = h * 3600.0 + m * 60.0 + s + f / FrameRate_;
        serial->Release();
    }

    if (int32_t(video->GetFlags()) < 0) {
        NoSignalCount_.fetch_add(1);
        return;
    }

    ssCaptureFrame* slot = nullptr;
    if (FrameBuffer_->AcquireWrite(&slot, 10) != 0) {
        // The ring is full: the encoder makes up for the frame by repeating its neighbour.
        ssMessage(2, "Capture queue full: frame dropped");
        return;
    }

    TimeValue time = 0, duration = 0;
    video->GetStreamTime(&time, &duration, kCaptureTimeScale);
    slot->VideoTime_ = double(time) / kCaptureTimeScale;
    slot->Timecode_ = timecode;

    // A frame larger than the opened mode (the source changed format) is cut to the slot.
    void* bytes = nullptr;
    const long width = std::min<long>(video->GetWidth(), Width_);
    const long height = std::min<long>(video->GetHeight(), Height_);
    const long sourceRowBytes = video->GetRowBytes();
    const long copyBytes = std::min<long>(2 * width, sourceRowBytes);
    if (video->GetBytes(&bytes) == kOk && bytes && width > 0 && height > 0) {
        const auto* source = static_cast<const uint8_t*>(bytes);
        for (long y = 0; y < height; ++y)
            std::memcpy(slot->Pixels_ + y * slot->RowBytes_, source + y * sourceRowBytes, size_t(copyBytes));
        slot->Width_ = int32_t(width);
        slot->Height_ = int32_t(height);
    } else {
        slot->Width_ = slot->Height_ = 0;
    }

    CopyAudio(slot, audio);
    FrameBuffer_->Commit(0);
}

void ssDeckLinkInput::CopyAudio(ssCaptureFrame* slot, IDeckLinkAudioInputPacket* audio)
{
    slot->AudioBytes_ = 0;
    slot->HasAudio_ = 0;
    void* bytes = nullptr;
    if (!audio || audio->GetBytes(&bytes) != kOk || !bytes) {
        ssMessage(2, "missing frame of audio");
        return;
    }
    const long frames = std::clamp<long>(audio->GetSampleFrameCount(), 0, kMaxPacketFrames);
    const int32_t needed = int32_t(frames * AudioChannels_ * 2);
    if (needed > slot->AudioCapacity_) {
        // Grown, never shrunk: after the longest packet no further allocation happens.
        auto* grown = static_cast<int16_t*>(std::realloc(slot->Audio_, size_t(needed) + 64));
        if (!grown) {
            ssMessage(2, "missing frame of audio");
            return;
        }
        slot->Audio_ = grown;
        slot->AudioCapacity_ = needed + 64;
    }
    const auto* source = static_cast<const int16_t*>(bytes);
    if (AudioChannels_ == kCapturedChannels) {
        std::memcpy(slot->Audio_, source, size_t(needed));
    } else {
        int16_t* out = slot->Audio_;
        for (long i = 0; i < frames; ++i, source += kCapturedChannels)
            for (int c = 0; c < AudioChannels_; ++c)
                *out++ = source[c];
    }
    TimeValue packetTime = 0;
    audio->GetPacketTime(&packetTime, kCaptureTimeScale);
    slot->AudioTime_ = double(packetTime) / kCaptureTimeScale;
    slot->AudioBytes_ = needed;
    slot->HasAudio_ = 1;
}
