#include "platform/encode/QuantiserLadder.h"

#include <algorithm>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace platform::encode {

QuantiserLadder::~QuantiserLadder()
{
    close();
}

void QuantiserLadder::open(ContextMaker maker, int64_t slotBytes, int firstQuantiser)
{
    close();
    maker_ = std::move(maker);
    slotBytes_ = slotBytes;
    quantiser_ = std::clamp(firstQuantiser, 1, kMaxQuantiser);
}

void QuantiserLadder::close()
{
    for (AVCodecContext*& context : contexts_)
        avcodec_free_context(&context);
    av_packet_free(&packet_);
}

int QuantiserLadder::coarser(int quantiser)
{
    return std::min(kMaxQuantiser, quantiser + std::max(1, quantiser / 4));
}

AVPacket* QuantiserLadder::tryAt(int quantiser, AVFrame* source)
{
    AVCodecContext*& context = contexts_[size_t(quantiser)];
    if (!context && maker_)
        context = maker_(quantiser);
    if (!context)
        return nullptr;
    if (!packet_ && !(packet_ = av_packet_alloc()))
        return nullptr;
    av_packet_unref(packet_);
    if (avcodec_send_frame(context, source) < 0 || avcodec_receive_packet(context, packet_) < 0)
        return nullptr;
    return packet_;
}

AVPacket* QuantiserLadder::fit(AVFrame* source, int overflowedAt)
{
    if (overflowedAt >= kMaxQuantiser)
        return nullptr;
    for (int q = std::max({1, quantiser_ - 1, overflowedAt + 1});; q = coarser(q)) {
        AVPacket* packet = tryAt(q, source);
        if (!packet)
            return nullptr;
        if (packet->size <= slotBytes_) {
            quantiser_ = q;
            return packet;
        }
        if (q == kMaxQuantiser)
            return nullptr;
    }
}

} // namespace platform::encode
