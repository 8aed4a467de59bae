#pragma once

#include <cstddef>
#include <cstdint>

namespace platform::encode {

// Receives compressed frames, in submission order, each with the tag it was submitted with.
class CompressedFrameSink {
public:
    virtual void compressedFrame(const uint8_t* data, int size, int64_t tag) = 0;

protected:
    virtual ~CompressedFrameSink() = default;
};

// What a recording asks of a video compressor: 8-bit 4:2:2 '2vuy' pictures in, compressed frames
// out in submission order, with a few held inside while the compressor's threads work.
class CompressionSession {
public:
    // Most pictures any session holds at once; callers size their per-frame records by it.
    static constexpr int kMaxInFlight = 10;

    virtual ~CompressionSession() = default;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Converts and submits one picture; every compressed frame that became ready meanwhile goes to
    // the sink before this returns. 0 or a negative FFmpeg error.
    virtual int encode(const uint8_t* uyvy, ptrdiff_t rowBytes, int64_t tag, CompressedFrameSink& sink) = 0;
    // Hands every frame still inside to the sink and readies the session for new pictures.
    virtual int drain(CompressedFrameSink& sink) = 0;
    // Pictures submitted whose compressed frames have not come out yet.
    virtual int framesInFlight() const = 0;
    // Readies the compressor's threads and picture buffers before the first real picture, so a
    // recording does not start with the cost of their first use. Whatever it submits comes out
    // to the sink with tag -1, now or beside later frames; sinks drop such frames. 0 or a
    // negative FFmpeg error.
    virtual int warmUp(CompressedFrameSink&) { return 0; }
};

} // namespace platform::encode
