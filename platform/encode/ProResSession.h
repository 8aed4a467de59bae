#pragma once

#include "platform/encode/CompressionSession.h"
#include "platform/encode/QuantiserLadder.h"

#include <cstddef>
#include <cstdint>
#include <string>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace platform::encode {

struct ProResSettings {
    int width = 0;
    int height = 0;
    int codecIndex = 1;       // 0..4, see ProResFlavours.h
    bool interlaced = false;
    bool topFieldFirst = true; // field order of an interlaced picture
    double frameRate = 25.0;
    int threads = 0;          // 0: as many as the machine has, at most kMaxThreads
    // FFmpeg's prores_ks searching quantisers for a bit budget per slice on every frame, at
    // several times the CPU per frame, instead of prores_aw, the default, which was measured
    // several times faster at a PSNR/SSIM at least as good (bench/README.md). prores_aw has no bit
    // budget: a frame larger than its flavour's slot in the movie is compressed again by prores_ks
    // at the finest fixed quantiser that fits (QuantiserLadder), and once that happens often (noisy
    // pictures) the session goes over to prores_ks at that fixed quantiser, which follows the
    // pictures: coarser when they keep overflowing, finer when they leave room.
    bool rateControlled = false;
};

// A ProRes compression session over FFmpeg's prores_aw (or prores_ks) with frame threading.
// Pictures go in as 8-bit 4:2:2 '2vuy' and are converted into buffers the session owns, so the
// caller may reuse its picture as soon as encode returns. No compressed frame is larger than the
// flavour's slot (width x height x bytesPerPixel): one that would be is compressed again with
// prores_ks at a coarser quantiser. With several threads the encoder holds a few frames
// before the first comes out; a FIFO of the submitted tags pairs each compressed frame with the
// picture it came from. One thread at a time.
class ProResSession final : public CompressionSession {
public:
    static constexpr int kMaxThreads = 8;

    ProResSession();
    ~ProResSession() override;
    ProResSession(const ProResSession&) = delete;
    ProResSession& operator=(const ProResSession&) = delete;

    // 0, or -1 for a codec index outside the ProRes family or an impossible picture, or the
    // negative FFmpeg error; why goes to *error.
    int open(const ProResSettings& settings, std::string* error);
    void close() override;
    bool isOpen() const override { return context_ != nullptr; }

    // Converts and submits one picture; every compressed frame that became ready meanwhile goes to
    // the sink before this returns. 0 or a negative FFmpeg error.
    int encode(const uint8_t* uyvy, ptrdiff_t rowBytes, int64_t tag, CompressedFrameSink& sink) override;

    // Hands every frame still inside the encoder to the sink and readies the session for new
    // pictures. 0 or a negative FFmpeg error.
    int drain(CompressedFrameSink& sink) override;

    // Pictures submitted whose compressed frames have not come out yet.
    int framesInFlight() const override { return tagCount_; }

    // Compresses a black picture from every buffer of the pool: each encoder thread allocates its
    // output buffer and every picture buffer is touched once (first use of fresh memory costs
    // tens of milliseconds a picture).
    int warmUp(CompressedFrameSink& sink) override;
    static_assert(kMaxThreads + 2 <= kMaxInFlight);

    const ProResSettings& settings() const { return settings_; }

private:
    enum class Mode {
        Fast,           // prores_aw
        FixedQuantiser, // prores_ks at fixedQuantiser_
        Searching,      // prores_ks searching quantisers (asked for)
    };
    // The first quantiser tried for a frame over its slot: about where noisy 1080 pictures fit.
    static constexpr int kFirstQuantiser = 4;

    int openCodec(std::string* error);
    void freeCodec();
    // quantiser > 0: prores_ks at that fixed quantiser.
    AVCodecContext* makeContext(const char* name, int threadType, int quantiser, std::string* error);
    // The held picture compressed again within the slot; null when that fails.
    AVPacket* withinSlot(AVFrame* source);
    // The fixed quantiser the recent frames ask the session to go over to, 0 to stay as it is.
    int nextFixedQuantiser() const;
    // Drains the encoder and continues with prores_ks at this fixed quantiser.
    int reopenAt(int quantiser, CompressedFrameSink& sink);
    // A preallocated picture the encoder no longer references.
    AVFrame* freeFrame();
    int receive(CompressedFrameSink& sink);
    // Submits a picture already in `frame` under `tag`.
    int submit(AVFrame* frame, int64_t tag, CompressedFrameSink& sink);

    ProResSettings settings_;
    static constexpr int kPool = kMaxInFlight + 2;
    AVCodecContext* context_ = nullptr;
    QuantiserLadder ladder_;
    AVCodecContext* rateControlled_ = nullptr; // made when not even the coarsest quantiser fits
    AVPacket* packet_ = nullptr;
    AVPacket* redone_ = nullptr;
    int64_t slotBytes_ = 0;
    uint32_t recentOverflows_ = 0; // one bit per frame out, newest lowest
    int roomyRun_ = 0;             // frames out in a row with a fifth of their slot to spare
    Mode mode_ = Mode::Fast;
    int fixedQuantiser_ = kFirstQuantiser;
    AVFrame* frames_[kPool] = {};
    int nextFrame_ = 0;
    // Per picture in flight, in submission order: its tag and a reference to its converted copy.
    int64_t tags_[kMaxInFlight + 1] = {};
    AVFrame* sources_[kMaxInFlight + 1] = {};
    int tagHead_ = 0;
    int tagCount_ = 0;
    int64_t pts_ = 0;
};

} // namespace platform::encode
