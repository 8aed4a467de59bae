#include "platform/decklink/virtual/VirtualObjects.h"

#include <cstdlib>
#include <cstring>

namespace platform::decklink {

Result VirtualDisplayMode::GetName(std::string* name)
{
    if (!name)
        return kInvalidArgument;
    *name = spec_.name;
    return kOk;
}

Result VirtualDisplayMode::GetFrameRate(TimeValue* frameDuration, TimeScale* timeScale)
{
    if (!frameDuration || !timeScale)
        return kInvalidArgument;
    *frameDuration = spec_.frameDuration;
    *timeScale = spec_.timeScale;
    return kOk;
}

Result VirtualDisplayModeIterator::Next(IDeckLinkDisplayMode** mode)
{
    if (!mode)
        return kInvalidArgument;
    if (next_ >= modes_.size()) {
        *mode = nullptr;
        return kFalse;
    }
    *mode = new VirtualDisplayMode(modes_[next_++]);
    return kOk;
}

Result VirtualTimecode::GetComponents(uint8_t* hours, uint8_t* minutes, uint8_t* seconds, uint8_t* frames)
{
    if (!hours || !minutes || !seconds || !frames)
        return kInvalidArgument;
    *hours = value_.hours;
    *minutes = value_.minutes;
    *seconds = value_.seconds;
    *frames = value_.frames;
    return kOk;
}

bool isSupportedAudio(uint32_t sampleRate, AudioSampleType sampleType, uint32_t channelCount)
{
    return sampleRate == kAudioSampleRate48kHz &&
           (sampleType == AudioSampleType::Integer16 || sampleType == AudioSampleType::Integer32) &&
           (channelCount == 2 || channelCount == 8 || channelCount == 16);
}

size_t audioBytesPerFrame(AudioSampleType sampleType, uint32_t channelCount)
{
    return size_t(channelCount) * (sampleType == AudioSampleType::Integer16 ? 2 : 4);
}

long minimumRowBytes(PixelFormat format, long width)
{
    if (format == kFormat8BitYUV)
        return width * 2;
    if (format == kFormat10BitYUV)
        return (width + 47) / 48 * 128; // six pixels in 16 bytes, rows padded to 48 pixels
    return 0;
}

VirtualVideoFrame::VirtualVideoFrame(long width, long height, long rowBytes, PixelFormat format, FrameFlags flags)
    : width_(width), height_(height), rowBytes_(rowBytes), format_(format), flags_(flags)
{
    const size_t size = (size_t(rowBytes) * size_t(height) + 63) / 64 * 64;
    bytes_ = static_cast<uint8_t*>(std::aligned_alloc(64, size));
    if (bytes_)
        std::memset(bytes_, 0, size);
}

VirtualVideoFrame::~VirtualVideoFrame()
{
    std::free(bytes_);
}

Result VirtualVideoFrame::GetBytes(void** buffer)
{
    if (!buffer)
        return kInvalidArgument;
    *buffer = bytes_;
    return kOk;
}

TimecodeValue* VirtualVideoFrame::slotFor(TimecodeFormat format)
{
    switch (format) {
    case kTimecodeRP188VITC1: return &vitc1_;
    case kTimecodeRP188VITC2: return &vitc2_;
    case kTimecodeSerial: return &serial_;
    default: return nullptr;
    }
}

TimecodeValue VirtualVideoFrame::timecode(TimecodeFormat format) const
{
    switch (format) {
    case kTimecodeRP188VITC1: return vitc1_;
    case kTimecodeRP188VITC2: return vitc2_;
    case kTimecodeSerial: return serial_;
    default: return {};
    }
}

void VirtualVideoFrame::clearTimecodes()
{
    vitc1_ = vitc2_ = serial_ = TimecodeValue{};
}

Result VirtualVideoFrame::GetTimecode(TimecodeFormat format, IDeckLinkTimecode** timecode)
{
    if (!timecode)
        return kInvalidArgument;
    *timecode = nullptr;
    const TimecodeValue* slot = slotFor(format);
    if (!slot)
        return kInvalidArgument;
    if (!slot->present)
        return kFalse;
    *timecode = new VirtualTimecode(*slot);
    return kOk;
}

Result VirtualVideoFrame::GetAncillaryData(IDeckLinkVideoFrameAncillary** ancillary)
{
    if (!ancillary)
        return kInvalidArgument;
    *ancillary = ancillary_.share();
    return *ancillary ? kOk : kFalse;
}

Result VirtualVideoFrame::SetFlags(FrameFlags flags)
{
    flags_ = flags;
    return kOk;
}

Result VirtualVideoFrame::SetTimecodeFromComponents(TimecodeFormat format, uint8_t hours, uint8_t minutes,
                                                    uint8_t seconds, uint8_t frames, TimecodeFlags flags)
{
    TimecodeValue* slot = slotFor(format);
    if (!slot)
        return kInvalidArgument;
    *slot = TimecodeValue{true, hours, minutes, seconds, frames, flags};
    return kOk;
}

Result VirtualVideoFrame::SetAncillaryData(IDeckLinkVideoFrameAncillary* ancillary)
{
    if (ancillary)
        ancillary->AddRef();
    ancillary_ = Ref<IDeckLinkVideoFrameAncillary>(ancillary);
    return kOk;
}

VirtualInputFrame::VirtualInputFrame(long width, long height)
    : picture_(new VirtualVideoFrame(width, height, width * 2, kFormat8BitYUV, kFrameDefault))
{
}

void VirtualInputFrame::setStreamTime(TimeValue time, TimeValue duration, TimeScale modeScale)
{
    time_ = time;
    duration_ = duration;
    scale_ = modeScale;
}

Result VirtualInputFrame::GetStreamTime(TimeValue* frameTime, TimeValue* frameDuration, TimeScale timeScale)
{
    if (!frameTime || !frameDuration || timeScale <= 0)
        return kInvalidArgument;
    *frameTime = rescale(time_, scale_, timeScale);
    *frameDuration = rescale(duration_, scale_, timeScale);
    return kOk;
}

VirtualAudioPacket::VirtualAudioPacket(long maxFrames, long bytesPerFrame)
    : bytes_(size_t(maxFrames) * size_t(bytesPerFrame))
{
}

void VirtualAudioPacket::setContent(long frames, int64_t first)
{
    frames_ = frames;
    firstSample_ = first;
}

Result VirtualAudioPacket::GetBytes(void** buffer)
{
    if (!buffer)
        return kInvalidArgument;
    *buffer = bytes_.data();
    return kOk;
}

Result VirtualAudioPacket::GetPacketTime(TimeValue* packetTime, TimeScale timeScale)
{
    if (!packetTime || timeScale <= 0)
        return kInvalidArgument;
    *packetTime = rescale(firstSample_, kAudioSampleRate48kHz, timeScale);
    return kOk;
}

} // namespace platform::decklink
