#include "platform/encode/ProResSession.h"

#include "platform/encode/CodecSetup.h"
#include "platform/encode/PicturePool.h"
#include "platform/encode/PixelConvert.h"
#include "platform/encode/ProResFlavours.h"

#include <algorithm>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libavutil/rational.h>
}

namespace platform::encode {

ProResSession::ProResSession() = default;

ProResSession::~ProResSession()
{
    close();
}

int ProResSession::open(const ProResSettings& settings, std::string* error)
{
    close();
    std::string ignored;
    if (!error)
        error = &ignored;
    if (!proResFlavour(settings.codecIndex)) {
        *error = "codec index " + std::to_string(settings.codecIndex) +
                 " is not recordable: only 0 to 4 (the ProRes family) are";
        return -1;
    }
    if (settings.width < 2 || settings.width % 2 || settings.height < 2 || settings.width > 16384 ||
        settings.height > 16384 || !(settings.frameRate > 0 && settings.frameRate <= 1000)) {
        *error = "impossible picture for compression";
        return -1;
    }
    settings_ = settings;
    mode_ = settings.rateControlled ? Mode::Searching : Mode::Fast;
    fixedQuantiser_ = kFirstQuantiser;
    recentOverflows_ = 0;
    roomyRun_ = 0;
    if (settings_.threads <= 0)
        settings_.threads = std::clamp(int(std::thread::hardware_concurrency()), 1, kMaxThreads);
    settings_.threads = std::min(settings_.threads, kMaxThreads);
    slotBytes_ = int64_t(double(settings_.width) * double(settings_.height) * proResFlavour(settings_.codecIndex)->bytesPerPixel);
    ladder_.open([this](int quantiser) {
        std::string why;
        return makeContext("prores_ks", FF_THREAD_SLICE, quantiser, &why);
    }, slotBytes_, kFirstQuantiser);
    const int result = openCodec(error);
    if (result != 0) {
        close();
        return result;
    }
    packet_ = av_packet_alloc();
    redone_ = av_packet_alloc();
    for (AVFrame*& source : sources_) {
        source = av_frame_alloc();
        if (!source || !redone_) {
            *error = "out of memory";
            close();
            return AVERROR(ENOMEM);
        }
    }
    if (!packet_) {
        *error = "out of memory";
        close();
        return AVERROR(ENOMEM);
    }
    if (const int got = allocateFrames(frames_, context_->pix_fmt, settings_.width, settings_.height, error); got != 0) {
        close();
        return got;
    }
    return 0;
}

AVCodecContext* ProResSession::makeContext(const char* name, int threadType, int quantiser, std::string* error)
{
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (!codec) {
        *error = std::string("this FFmpeg has no ") + name + " encoder";
        return nullptr;
    }
    AVCodecContext* context = avcodec_alloc_context3(codec);
    if (!context) {
        *error = "out of memory";
        return nullptr;
    }
    const ProResFlavour& flavour = *proResFlavour(settings_.codecIndex);
    context->pix_fmt = flavour.fullChroma ? AV_PIX_FMT_YUV444P10LE : AV_PIX_FMT_YUV422P10LE;
    describePicture(*context, {settings_.width, settings_.height, settings_.frameRate, settings_.interlaced,
                               settings_.topFieldFirst});
    context->thread_count = settings_.threads;
    context->thread_type = threadType;
    if (quantiser > 0) {
        // prores_ks reads a fixed quantiser from the global quality and then searches none.
        context->flags |= AV_CODEC_FLAG_QSCALE;
        context->global_quality = quantiser * FF_QP2LAMBDA;
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "vendor", "apl0", 0);
    av_dict_set_int(&options, "profile", flavour.encoderProfile, 0);
    const int result = avcodec_open2(context, codec, &options);
    av_dict_free(&options);
    if (result < 0) {
        *error = std::string(name) + " refused the session: " + ffmpegError(result);
        avcodec_free_context(&context);
        return nullptr;
    }
    return context;
}

int ProResSession::openCodec(std::string* error)
{
    const bool fast = mode_ == Mode::Fast;
    context_ = makeContext(fast ? "prores_aw" : "prores_ks", FF_THREAD_FRAME | FF_THREAD_SLICE,
                           mode_ == Mode::FixedQuantiser ? fixedQuantiser_ : 0, error);
    if (!context_)
        return AVERROR_ENCODER_NOT_FOUND;
    tagHead_ = 0;
    tagCount_ = 0;
    pts_ = 0;
    return 0;
}

void ProResSession::freeCodec()
{
    avcodec_free_context(&context_);
    for (AVFrame* source : sources_)
        if (source)
            av_frame_unref(source);
}

void ProResSession::close()
{
    freeCodec();
    ladder_.close();
    avcodec_free_context(&rateControlled_);
    av_packet_free(&packet_);
    av_packet_free(&redone_);
    for (AVFrame*& frame : frames_)
        av_frame_free(&frame);
    for (AVFrame*& source : sources_)
        av_frame_free(&source);
    tagHead_ = 0;
    tagCount_ = 0;
}

AVPacket* ProResSession::withinSlot(AVFrame* source)
{
    const int overflowedAt = mode_ == Mode::FixedQuantiser ? fixedQuantiser_ : 0;
    if (AVPacket* fitted = ladder_.fit(source, overflowedAt))
        return fitted;
    // Not even the coarsest fixed quantiser fits: prores_ks's own search for the bit budget.
    if (!rateControlled_) {
        // Slice threads only: the frame comes back from the call that sends it.
        std::string ignored;
        rateControlled_ = makeContext("prores_ks", FF_THREAD_SLICE, 0, &ignored);
        if (!rateControlled_)
            return nullptr;
    }
    av_packet_unref(redone_);
    if (avcodec_send_frame(rateControlled_, source) < 0 || avcodec_receive_packet(rateControlled_, redone_) < 0)
        return nullptr;
    return redone_;
}

int ProResSession::nextFixedQuantiser() const
{
    // Four of the last 32 frames over their slot: these pictures need a coarser quantiser every
    // time, the one the ladder last fitted them with.
    if (mode_ == Mode::Searching)
        return 0;
    if (__builtin_popcount(recentOverflows_) >= 4)
        return mode_ == Mode::Fast || ladder_.quantiser() > fixedQuantiser_ ? ladder_.quantiser()
                                                                           : QuantiserLadder::coarser(fixedQuantiser_);
    // 32 frames in a row with a fifth of their slot to spare: one step finer fits them too.
    if (mode_ == Mode::FixedQuantiser && roomyRun_ >= 32 && fixedQuantiser_ > 1)
        return fixedQuantiser_ - 1;
    return 0;
}

AVFrame* ProResSession::freeFrame()
{
    // The encoder and the in-flight record keep a reference to each picture whose frame has not
    // come out yet; take the next one they both let go.
    return takeWritablePicture(frames_, kPool, &nextFrame_);
}

int ProResSession::encode(const uint8_t* uyvy, ptrdiff_t rowBytes, int64_t tag, CompressedFrameSink& sink)
{
    if (!context_)
        return AVERROR(EINVAL);
    // Never hold more than the FIFO keeps: take what is ready first.
    if (tagCount_ >= kMaxInFlight) {
        const int got = receive(sink);
        if (got < 0)
            return got;
    }
    if (const int quantiser = nextFixedQuantiser()) {
        const int moved = reopenAt(quantiser, sink);
        if (moved < 0)
            return moved;
    }
    AVFrame* frame = freeFrame();
    if (!frame)
        return AVERROR(ENOMEM);
    auto plane = [frame](int i) { return reinterpret_cast<uint16_t*>(frame->data[i]); };
    if (proResFlavour(settings_.codecIndex)->fullChroma)
        uyvyToYuv444p10(uyvy, rowBytes, settings_.width, settings_.height, plane(0), frame->linesize[0], plane(1),
                        frame->linesize[1], plane(2), frame->linesize[2]);
    else
        uyvyToYuv422p10(uyvy, rowBytes, settings_.width, settings_.height, plane(0), frame->linesize[0], plane(1),
                        frame->linesize[1], plane(2), frame->linesize[2]);
    return submit(frame, tag, sink);
}

int ProResSession::warmUp(CompressedFrameSink& sink)
{
    if (!context_)
        return AVERROR(EINVAL);
    const bool fullChroma = proResFlavour(settings_.codecIndex)->fullChroma;
    const int chromaWidth = fullChroma ? settings_.width : settings_.width / 2;
    for (int i = 0; i < kPool; ++i) {
        if (tagCount_ >= kMaxInFlight) {
            if (const int got = receive(sink); got < 0)
                return got;
        }
        AVFrame* frame = freeFrame();
        if (!frame)
            return AVERROR(ENOMEM);
        // Video-range black at 10 bits.
        for (int p = 0; p < 3; ++p) {
            const uint16_t level = p == 0 ? 64 : 512;
            const int width = p == 0 ? settings_.width : chromaWidth;
            for (int row = 0; row < settings_.height; ++row)
                std::fill_n(reinterpret_cast<uint16_t*>(frame->data[p] + ptrdiff_t(frame->linesize[p]) * row), width,
                            level);
        }
        if (const int sent = submit(frame, -1, sink); sent < 0)
            return sent;
    }
    return 0;
}

int ProResSession::submit(AVFrame* frame, int64_t tag, CompressedFrameSink& sink)
{
    frame->pts = pts_++;
    frame->interlaced_frame = settings_.interlaced ? 1 : 0;
    frame->top_field_first = settings_.interlaced && settings_.topFieldFirst ? 1 : 0;
    frame->color_primaries = context_->color_primaries;
    frame->color_trc = context_->color_trc;
    frame->colorspace = context_->colorspace;
    frame->color_range = context_->color_range;
    int result = avcodec_send_frame(context_, frame);
    if (result == AVERROR(EAGAIN)) {
        result = receive(sink);
        if (result < 0)
            return result;
        result = avcodec_send_frame(context_, frame);
    }
    if (result < 0)
        return result;
    const int record = (tagHead_ + tagCount_) % (kMaxInFlight + 1);
    tags_[record] = tag;
    if (mode_ != Mode::Searching)
        av_frame_ref(sources_[record], frame); // kept until its frame is out, should it need redoing
    ++tagCount_;
    return receive(sink);
}

int ProResSession::receive(CompressedFrameSink& sink)
{
    for (;;) {
        const int result = avcodec_receive_packet(context_, packet_);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return 0;
        if (result < 0)
            return result;
        int64_t tag = -1;
        const AVPacket* out = packet_;
        if (tagCount_ > 0) {
            tag = tags_[tagHead_];
            AVFrame* source = sources_[tagHead_];
            const bool overflow = packet_->size > slotBytes_ && source->buf[0];
            // Warm-up pictures say nothing about the recording's pictures.
            if (tag >= 0) {
                recentOverflows_ = recentOverflows_ << 1 | (overflow ? 1u : 0u);
                roomyRun_ = packet_->size * 5 < slotBytes_ * 4 ? roomyRun_ + 1 : 0;
            }
            if (overflow) {
                if (const AVPacket* redone = withinSlot(source))
                    out = redone;
            }
            av_frame_unref(source);
            tagHead_ = (tagHead_ + 1) % (kMaxInFlight + 1);
            --tagCount_;
        }
        sink.compressedFrame(out->data, out->size, tag);
        av_packet_unref(packet_);
    }
}

int ProResSession::reopenAt(int quantiser, CompressedFrameSink& sink)
{
    int result = 0;
    if (tagCount_ > 0) {
        result = avcodec_send_frame(context_, nullptr);
        if (result >= 0)
            result = receive(sink);
    }
    if (result < 0)
        return result;
    freeCodec();
    mode_ = Mode::FixedQuantiser;
    fixedQuantiser_ = quantiser;
    recentOverflows_ = 0;
    roomyRun_ = 0;
    std::string error;
    const int64_t pts = pts_;
    result = openCodec(&error);
    pts_ = pts;
    return result;
}

int ProResSession::drain(CompressedFrameSink& sink)
{
    if (!context_)
        return AVERROR(EINVAL);
    if (tagCount_ == 0)
        return 0;
    int result = avcodec_send_frame(context_, nullptr);
    if (result >= 0)
        result = receive(sink);
    // A drained encoder takes no more pictures: start a fresh one with the same settings.
    freeCodec();
    std::string error;
    const int reopened = openCodec(&error);
    return result < 0 ? result : reopened;
}

} // namespace platform::encode
