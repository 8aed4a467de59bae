#pragma once

// The small objects a virtual card hands out: display modes, time codes, ancillary data, frames
// and audio packets.

#include "platform/decklink/DeckLinkInterfaces.h"
#include "platform/decklink/virtual/RefCounted.h"
#include "platform/decklink/virtual/VirtualConfig.h"

#include <vector>

namespace platform::decklink {

class VirtualDisplayMode final : public RefCounted<IDeckLinkDisplayMode> {
public:
    explicit VirtualDisplayMode(const ModeSpec& spec) : spec_(spec) {}
    DisplayModeId GetDisplayMode() override { return spec_.id; }
    Result GetName(std::string* name) override;
    long GetWidth() override { return spec_.width; }
    long GetHeight() override { return spec_.height; }
    Result GetFrameRate(TimeValue* frameDuration, TimeScale* timeScale) override;
    FieldDominance GetFieldDominance() override { return spec_.field; }

private:
    ModeSpec spec_;
};

class VirtualDisplayModeIterator final : public RefCounted<IDeckLinkDisplayModeIterator> {
public:
    explicit VirtualDisplayModeIterator(std::vector<ModeSpec> modes) : modes_(std::move(modes)) {}
    Result Next(IDeckLinkDisplayMode** mode) override;

private:
    std::vector<ModeSpec> modes_;
    size_t next_ = 0;
};

// A time code as a frame carries it.
struct TimecodeValue {
    bool present = false;
    uint8_t hours = 0, minutes = 0, seconds = 0, frames = 0;
    TimecodeFlags flags = 0;
};

class VirtualTimecode final : public RefCounted<IDeckLinkTimecode> {
public:
    explicit VirtualTimecode(const TimecodeValue& value) : value_(value) {}
    Result GetComponents(uint8_t* hours, uint8_t* minutes, uint8_t* seconds, uint8_t* frames) override;
    TimecodeFlags GetFlags() override { return value_.flags; }

private:
    TimecodeValue value_;
};

class VirtualAncillary final : public RefCounted<IDeckLinkVideoFrameAncillary> {
public:
    VirtualAncillary(PixelFormat format, DisplayModeId mode) : format_(format), mode_(mode) {}
    PixelFormat GetPixelFormat() override { return format_; }
    DisplayModeId GetDisplayMode() override { return mode_; }

private:
    PixelFormat format_;
    DisplayModeId mode_;
};

// Embedded audio as the card carries it: 48 kHz, 16- or 32-bit integers, 2, 8 or 16 channels.
bool isSupportedAudio(uint32_t sampleRate, AudioSampleType sampleType, uint32_t channelCount);
// Bytes of one sample frame (every channel's sample) of such audio.
size_t audioBytesPerFrame(AudioSampleType sampleType, uint32_t channelCount);

// Bytes of one row of `width` pixels in `format` (0 for formats the card does not know).
long minimumRowBytes(PixelFormat format, long width);

// One picture with its time codes; output frames are mutable, input frames carry stream times.
class VirtualVideoFrame final : public RefCounted<IDeckLinkMutableVideoFrame> {
public:
    // Allocates rowBytes x height bytes (64-byte aligned); check bytes() for null.
    VirtualVideoFrame(long width, long height, long rowBytes, PixelFormat format, FrameFlags flags);

    long GetWidth() override { return width_; }
    long GetHeight() override { return height_; }
    long GetRowBytes() override { return rowBytes_; }
    PixelFormat GetPixelFormat() override { return format_; }
    FrameFlags GetFlags() override { return flags_; }
    Result GetBytes(void** buffer) override;
    Result GetTimecode(TimecodeFormat format, IDeckLinkTimecode** timecode) override;
    Result GetAncillaryData(IDeckLinkVideoFrameAncillary** ancillary) override;

    Result SetFlags(FrameFlags flags) override;
    Result SetTimecodeFromComponents(TimecodeFormat format, uint8_t hours, uint8_t minutes, uint8_t seconds,
                                     uint8_t frames, TimecodeFlags flags) override;
    Result SetAncillaryData(IDeckLinkVideoFrameAncillary* ancillary) override;

    uint8_t* bytes() const { return bytes_; }
    // The stored time code of a format, present or not.
    TimecodeValue timecode(TimecodeFormat format) const;
    void clearTimecodes();

private:
    ~VirtualVideoFrame() override;
    TimecodeValue* slotFor(TimecodeFormat format);

    long width_, height_, rowBytes_;
    PixelFormat format_;
    FrameFlags flags_;
    uint8_t* bytes_ = nullptr;
    TimecodeValue vitc1_, vitc2_, serial_;
    Ref<IDeckLinkVideoFrameAncillary> ancillary_;
};

// A captured frame: a picture plus when it was taken.
class VirtualInputFrame final : public RefCounted<IDeckLinkVideoInputFrame> {
public:
    VirtualInputFrame(long width, long height);

    long GetWidth() override { return picture_->GetWidth(); }
    long GetHeight() override { return picture_->GetHeight(); }
    long GetRowBytes() override { return picture_->GetRowBytes(); }
    PixelFormat GetPixelFormat() override { return picture_->GetPixelFormat(); }
    FrameFlags GetFlags() override { return picture_->GetFlags(); }
    Result GetBytes(void** buffer) override { return picture_->GetBytes(buffer); }
    Result GetTimecode(TimecodeFormat format, IDeckLinkTimecode** timecode) override
    {
        return picture_->GetTimecode(format, timecode);
    }
    Result GetAncillaryData(IDeckLinkVideoFrameAncillary** ancillary) override
    {
        return picture_->GetAncillaryData(ancillary);
    }
    Result GetStreamTime(TimeValue* frameTime, TimeValue* frameDuration, TimeScale timeScale) override;

    VirtualVideoFrame& picture() { return *picture_.get(); }
    // Stream time of this frame in the mode's time scale.
    void setStreamTime(TimeValue time, TimeValue duration, TimeScale modeScale);

private:
    ~VirtualInputFrame() override = default;
    Ref<VirtualVideoFrame> picture_;
    TimeValue time_ = 0, duration_ = 1;
    TimeScale scale_ = 1;
};

class VirtualAudioPacket final : public RefCounted<IDeckLinkAudioInputPacket> {
public:
    // Room for maxFrames sample frames of bytesPerFrame bytes.
    VirtualAudioPacket(long maxFrames, long bytesPerFrame);

    long GetSampleFrameCount() override { return frames_; }
    Result GetBytes(void** buffer) override;
    Result GetPacketTime(TimeValue* packetTime, TimeScale timeScale) override;

    uint8_t* bytes() { return bytes_.data(); }
    // frames sample frames starting at sample index `first` (48 kHz, from StartStreams).
    void setContent(long frames, int64_t first);

private:
    ~VirtualAudioPacket() override = default;
    std::vector<uint8_t> bytes_;
    long frames_ = 0;
    int64_t firstSample_ = 0;
};

// a * scale / from, for converting stream times between time scales.
inline TimeValue rescale(TimeValue value, TimeScale from, TimeScale to)
{
    return from > 0 ? TimeValue((__int128(value) * to) / from) : 0;
}

} // namespace platform::decklink
