#pragma once
// Compresses a picture again within its movie slot with prores_ks at a fixed quantiser. A fixed
// quantiser skips prores_ks's per-slice quantiser search, which is most of its CPU: measured on
// noisy 1080 pictures it costs a fifth of the search at the same quality per byte. The ladder
// starts one step finer than the quantiser that last fitted, so it follows the pictures both ways,
// and climbs until the frame fits.
#include <array>
#include <cstdint>
#include <functional>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace platform::encode {

class QuantiserLadder {
public:
    // prores_ks's largest quantiser.
    static constexpr int kMaxQuantiser = 64;
    // Makes a prores_ks context at this fixed quantiser (slice threads only, so a frame comes back
    // from the call that sends it); null when it cannot.
    using ContextMaker = std::function<AVCodecContext*(int quantiser)>;

    QuantiserLadder() = default;
    ~QuantiserLadder();
    QuantiserLadder(const QuantiserLadder&) = delete;
    QuantiserLadder& operator=(const QuantiserLadder&) = delete;

    void open(ContextMaker maker, int64_t slotBytes, int firstQuantiser);
    void close();

    // The picture compressed at the finest quantiser that fits, from one finer than the last that
    // fitted and above overflowedAt (a quantiser the picture is known not to fit at, 0 for none);
    // null when even the coarsest overflows or the encoder fails. The packet is the ladder's until
    // the next call.
    AVPacket* fit(AVFrame* source, int overflowedAt);
    // The quantiser that last fitted (or the first one, before any).
    int quantiser() const { return quantiser_; }
    // The next quantiser up the ladder: single steps where a step changes the size most.
    static int coarser(int quantiser);

private:
    AVPacket* tryAt(int quantiser, AVFrame* source);

    ContextMaker maker_;
    int64_t slotBytes_ = 0;
    int quantiser_ = 1;
    // One context per quantiser tried, made on first use: a session meets only a few.
    std::array<AVCodecContext*, kMaxQuantiser + 1> contexts_{};
    AVPacket* packet_ = nullptr;
};

} // namespace platform::encode
