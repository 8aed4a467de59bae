#pragma once

// Captured frames and audio packets of any size, for handing to a capture callback directly.

#include "platform/decklink/DeckLinkInterfaces.h"
#include "platform/testpattern/FrameBarcode.h"

#include <vector>

namespace testsupport {

namespace dl = platform::decklink;

template <typename I> struct Owned : I {
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
};

struct Frame : Owned<dl::IDeckLinkVideoInputFrame> {
    Frame(long w, long h, uint32_t index) : width(w), height(h), bytes(size_t(w * h * 2), 0x10)
    {
        platform::FrameBarcode::draw(index, bytes.data(), int(w), int(h), w * 2, platform::BarcodePixels::Uyvy422);
    }
    long GetWidth() override { return width; }
    long GetHeight() override { return height; }
    long GetRowBytes() override { return width * 2; }
    dl::PixelFormat GetPixelFormat() override { return dl::kFormat8BitYUV; }
    dl::FrameFlags GetFlags() override { return 0; }
    dl::Result GetBytes(void** b) override { *b = bytes.data(); return dl::kOk; }
    dl::Result GetTimecode(dl::TimecodeFormat, dl::IDeckLinkTimecode** t) override { *t = nullptr; return dl::kFalse; }
    dl::Result GetAncillaryData(dl::IDeckLinkVideoFrameAncillary** a) override { *a = nullptr; return dl::kFalse; }
    dl::Result GetStreamTime(dl::TimeValue* t, dl::TimeValue* d, dl::TimeScale) override { *t = 0; *d = 0; return dl::kOk; }
    long width, height;
    std::vector<uint8_t> bytes;
};

struct Packet : Owned<dl::IDeckLinkAudioInputPacket> {
    // n sample frames of 16 channels; sample (i, c) = i * 16 + c.
    explicit Packet(long n, long claimed = -1) : frames(claimed < 0 ? n : claimed), samples(size_t(n * 16))
    {
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = int16_t(i);
    }
    long GetSampleFrameCount() override { return frames; }
    dl::Result GetBytes(void** b) override { *b = samples.data(); return dl::kOk; }
    dl::Result GetPacketTime(dl::TimeValue* t, dl::TimeScale) override { *t = 0; return dl::kOk; }
    long frames;
    std::vector<int16_t> samples;
};


} // namespace testsupport
