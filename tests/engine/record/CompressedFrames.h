#pragma once

// Real ProRes frames carrying a barcode of their index, for feeding the movie writer directly.

#include "platform/encode/ProResSession.h"
#include "platform/testpattern/FrameBarcode.h"

#include <cstdint>
#include <vector>

namespace testsupport {

class CompressedFrames final : private platform::encode::CompressedFrameSink {
public:
    CompressedFrames(int width, int height, int codecIndex, double rate, bool interlaced = false,
                     bool topFieldFirst = true)
        : width_(width), height_(height), picture_(size_t(width * height * 2))
    {
        platform::encode::ProResSettings settings;
        settings.width = width;
        settings.height = height;
        settings.codecIndex = codecIndex;
        settings.frameRate = rate;
        settings.interlaced = interlaced;
        settings.topFieldFirst = topFieldFirst;
        settings.threads = 1;
        ok_ = session_.open(settings, nullptr) == 0;
    }

    bool ok() const { return ok_; }

    // The compressed frame showing `index`.
    const std::vector<uint8_t>& frame(uint32_t index)
    {
        for (size_t i = 0; i < picture_.size(); i += 2) {
            picture_[i] = 128;
            picture_[i + 1] = uint8_t(16 + (i / 2 + index) % 200);
        }
        platform::FrameBarcode::draw(index, picture_.data(), width_, height_, width_ * 2,
                                     platform::BarcodePixels::Uyvy422);
        last_.clear();
        session_.encode(picture_.data(), width_ * 2, index, *this);
        session_.drain(*this);
        return last_;
    }

private:
    void compressedFrame(const uint8_t* data, int size, int64_t) override { last_.assign(data, data + size); }

    int width_, height_;
    std::vector<uint8_t> picture_;
    std::vector<uint8_t> last_;
    platform::encode::ProResSession session_;
    bool ok_ = false;
};

// 16-bit little-endian PCM of `frames` sample frames where sample (i, c) of the whole recording is
// (first + i) * 7 + c, so any sample's place in the file tells where it came from.
inline std::vector<uint8_t> rampAudio(int64_t first, int frames, int channels)
{
    std::vector<uint8_t> bytes(size_t(frames * channels * 2));
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) {
            const auto v = uint16_t(((first + i) * 7 + c) & 0xFFFF);
            bytes[size_t((i * channels + c) * 2)] = uint8_t(v);
            bytes[size_t((i * channels + c) * 2 + 1)] = uint8_t(v >> 8);
        }
    return bytes;
}

inline int16_t rampSample(int64_t index, int channel)
{
    return int16_t(uint16_t((index * 7 + channel) & 0xFFFF));
}

} // namespace testsupport
