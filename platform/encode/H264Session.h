#pragma once

#include "platform/encode/CompressionSession.h"

#include <cstdint>
#include <string>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace platform::encode {

struct H264Settings {
    int width = 0;
    int height = 0;
    bool interlaced = false;
    bool topFieldFirst = true;
    double frameRate = 25.0;
    int threads = 0; // 0: as many as the machine has, at most kMaxThreads
};

// An H.264 compression session over FFmpeg's libx264 for recordings: 8-bit 4:2:2 (High 4:2:2),
// no B-frames (each frame comes out as it went in, so a movie needs no composition offsets),
// field coding for interlaced pictures, and a VBV buffer that keeps every frame within
// maxFrameBytes() so the movie writer's fixed slots hold it. Frames come out as 4-byte
// length-prefixed NAL units and the parameter sets as an 'avcC' record, as QuickTime stores them.
// One thread at a time.
class H264Session final : public CompressionSession {
public:
    static constexpr int kMaxThreads = 8;
    // The largest frame, in bytes per pixel: the VBV buffer, which a frame cannot exceed.
    static constexpr double kMaxFrameBytesPerPixel = 0.25;
    // The peak rate, in VBV buffers a second per frame rate: three frames' worth of buffer drains
    // in a frame period, so a key frame may take three times an average frame.
    static constexpr double kBuffersPerSecondPerFrameRate = 1.0 / 3.0;

    H264Session();
    ~H264Session() override;
    H264Session(const H264Session&) = delete;
    H264Session& operator=(const H264Session&) = delete;

    // 0, or -1 for an impossible picture, or the negative FFmpeg error; why goes to *error.
    int open(const H264Settings& settings, std::string* error);
    void close() override;
    bool isOpen() const override { return context_ != nullptr; }
    int encode(const uint8_t* uyvy, ptrdiff_t rowBytes, int64_t tag, CompressedFrameSink& sink) override;
    int drain(CompressedFrameSink& sink) override;
    int framesInFlight() const override { return inFlight_; }

    // The payload of the sample description's 'avcC' atom (empty until opened).
    const std::vector<uint8_t>& decoderConfiguration() const { return avcC_; }
    static int64_t maxFrameBytes(int width, int height);
    // Bytes a second the stream averages at most.
    static double peakBytesPerSecond(int width, int height, double frameRate);

private:
    int openCodec(std::string* error);
    int receive(CompressedFrameSink& sink);
    AVFrame* freeFrame();
    // Annex B units to length-prefixed ones in out_; false when the packet holds no unit.
    bool toLengthPrefixed(const uint8_t* data, int size);

    H264Settings settings_;
    static constexpr int kPool = kMaxInFlight + 2;
    AVCodecContext* context_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frames_[kPool] = {};
    int nextFrame_ = 0;
    int inFlight_ = 0;
    std::vector<uint8_t> avcC_;
    std::vector<uint8_t> out_;
};

// The 'avcC' payload for these Annex B parameter sets (SPS and PPS; other units are left out).
std::vector<uint8_t> avcDecoderConfiguration(const uint8_t* annexB, int size);

} // namespace platform::encode
