#include "platform/decklink/virtual/VirtualInput.h"

#include "platform/decklink/virtual/VirtualTone.h"
#include "platform/testpattern/FrameBarcode.h"

namespace platform::decklink {
namespace {

// Frames and packets in circulation; the application normally lets go of each within its callback.
constexpr size_t kPoolSize = 4;

void fillBlack(VirtualVideoFrame& picture)
{
    uint8_t* row = picture.bytes();
    for (long y = 0; y < picture.GetHeight(); ++y, row += picture.GetRowBytes()) {
        for (long x = 0; x < picture.GetWidth(); x += 2) {
            row[x * 2 + 0] = 128; // U
            row[x * 2 + 1] = 16;  // Y0
            row[x * 2 + 2] = 128; // V
            row[x * 2 + 3] = 16;  // Y1
        }
    }
}

} // namespace

VirtualInput::VirtualInput(std::shared_ptr<CardState> card) : card_(std::move(card)) {}

VirtualInput::~VirtualInput()
{
    pacer_.stop();
}

Result VirtualInput::GetDisplayModeIterator(IDeckLinkDisplayModeIterator** iterator)
{
    if (!iterator)
        return kInvalidArgument;
    *iterator = new VirtualDisplayModeIterator(card_->config().modes);
    return kOk;
}

Result VirtualInput::DoesSupportVideoMode(DisplayModeId mode, PixelFormat format, VideoInputFlags, bool* supported)
{
    if (!supported)
        return kInvalidArgument;
    // The generator draws 8-bit 4:2:2 only.
    *supported = card_->findMode(mode) && format == kFormat8BitYUV;
    return kOk;
}

Result VirtualInput::EnableVideoInput(DisplayModeId mode, PixelFormat format, VideoInputFlags)
{
    Result forced;
    if (card_->takeFailure(EnableCall::VideoInput, &forced))
        return forced;
    const ModeSpec* spec = card_->findMode(mode);
    if (!spec || format != kFormat8BitYUV)
        return kInvalidArgument;
    std::lock_guard lock(mutex_);
    if (streaming_)
        return kFail;
    mode_ = spec;
    frames_.clear();
    for (size_t i = 0; i < kPoolSize; ++i) {
        Ref<VirtualInputFrame> frame(new VirtualInputFrame(spec->width, spec->height));
        if (!frame->picture().bytes()) {
            frames_.clear();
            mode_ = nullptr;
            return kOutOfMemory;
        }
        fillBlack(frame->picture());
        frames_.push_back(frame);
    }
    return kOk;
}

Result VirtualInput::DisableVideoInput()
{
    std::lock_guard lock(mutex_);
    if (streaming_)
        return kFail;
    mode_ = nullptr;
    frames_.clear();
    return kOk;
}

Result VirtualInput::EnableAudioInput(uint32_t sampleRate, AudioSampleType sampleType, uint32_t channelCount)
{
    Result forced;
    if (card_->takeFailure(EnableCall::AudioInput, &forced))
        return forced;
    if (!isSupportedAudio(sampleRate, sampleType, channelCount))
        return kInvalidArgument;
    std::lock_guard lock(mutex_);
    if (streaming_)
        return kFail;
    audioEnabled_ = true;
    channels_ = channelCount;
    sampleType_ = sampleType;
    const long bytesPerFrame = long(audioBytesPerFrame(sampleType, channelCount));
    packets_.clear();
    // Room for the longest period of any mode (one second at most).
    for (size_t i = 0; i < kPoolSize; ++i)
        packets_.emplace_back(new VirtualAudioPacket(kAudioSampleRate48kHz, bytesPerFrame));
    return kOk;
}

Result VirtualInput::DisableAudioInput()
{
    std::lock_guard lock(mutex_);
    if (streaming_)
        return kFail;
    audioEnabled_ = false;
    packets_.clear();
    return kOk;
}

Result VirtualInput::SetCallback(IDeckLinkInputCallback* callback)
{
    callback_.set(callback);
    return kOk;
}

Result VirtualInput::StartStreams()
{
    pacer_.reap(); // streams stopped from their own callback
    std::lock_guard lock(mutex_);
    if (!mode_ || streaming_ || pacer_.running())
        return kFail;
    streaming_ = true;
    const ModeSpec* mode = mode_;
    pacer_.start(*mode, [this, mode](int64_t k) { deliver(k, *mode); }, [] {});
    return kOk;
}

Result VirtualInput::StopStreams()
{
    {
        std::lock_guard lock(mutex_);
        if (!streaming_)
            return kOk;
    }
    pacer_.stop();
    std::lock_guard lock(mutex_);
    streaming_ = false;
    return kOk;
}

template <typename T> T* VirtualInput::freeOf(std::vector<Ref<T>>& pool)
{
    for (auto& item : pool) {
        if (item->refCount() == 1)
            return item.get();
    }
    return nullptr;
}

void VirtualInput::deliver(int64_t k, const ModeSpec& mode)
{
    InputStats delta;
    if (card_->hasFault(InputFault::Gap, k)) {
        ++delta.framesSkipped;
        card_->updateInput(delta);
        return;
    }
    VirtualInputFrame* frame = nullptr;
    VirtualAudioPacket* packet = nullptr;
    {
        // Streams are running, so nothing below changes until this thread ends.
        std::lock_guard lock(mutex_);
        frame = freeOf(frames_);
        if (audioEnabled_ && !card_->hasFault(InputFault::MissingAudio, k))
            packet = freeOf(packets_);
    }
    if (!frame) {
        ++delta.framesSkipped;
        card_->updateInput(delta);
        return;
    }
    VirtualVideoFrame& picture = frame->picture();
    if (card_->hasFault(InputFault::NoSignal, k)) {
        picture.SetFlags(kFrameHasNoInputSource);
        picture.clearTimecodes();
    } else {
        picture.SetFlags(kFrameDefault);
        FrameBarcode::draw(uint32_t(k), picture.bytes(), int(picture.GetWidth()), int(picture.GetHeight()),
                           picture.GetRowBytes(), BarcodePixels::Uyvy422);
        const Timecode tc = card_->config().startTimecode.plusFrames(k, mode.timecodeRate());
        picture.SetTimecodeFromComponents(kTimecodeSerial, uint8_t(tc.hours), uint8_t(tc.minutes),
                                          uint8_t(tc.seconds), uint8_t(tc.frames), kTimecodeFlagDefault);
    }
    frame->setStreamTime(k * mode.frameDuration, mode.frameDuration, mode.timeScale);

    if (packet) {
        const int64_t first = mode.audioFramesBefore(k);
        const long count = long(mode.audioFramesIn(k));
        packet->setContent(count, first);
        if (sampleType_ == AudioSampleType::Integer16) {
            auto* out = reinterpret_cast<int16_t*>(packet->bytes());
            for (long i = 0; i < count; ++i)
                for (uint32_t c = 0; c < channels_; ++c)
                    *out++ = virtualToneSample(int(c), first + i);
        } else {
            auto* out = reinterpret_cast<int32_t*>(packet->bytes());
            for (long i = 0; i < count; ++i)
                for (uint32_t c = 0; c < channels_; ++c)
                    *out++ = int32_t(virtualToneSample(int(c), first + i)) * 65536;
        }
    }
    callback_.call([&](IDeckLinkInputCallback* cb) { cb->VideoInputFrameArrived(frame, packet); });
    ++delta.framesDelivered;
    card_->updateInput(delta);
}

} // namespace platform::decklink
