#include "platform/encode/H264Session.h"

#include "platform/encode/CodecSetup.h"
#include "platform/encode/PicturePool.h"
#include "platform/encode/PixelConvert.h"

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

namespace {

// Calls f(unit, length) for each NAL unit of an Annex B stream (start codes of 3 or 4 bytes).
template <typename F>
void forEachUnit(const uint8_t* data, int size, F&& f)
{
    auto startAt = [&](int i) { return i + 2 < size && data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1; };
    int i = 0;
    while (i < size && !startAt(i))
        ++i;
    while (i < size) {
        const int begin = i + 3;
        int end = begin;
        while (end < size && !startAt(end))
            ++end;
        int length = end - begin;
        // A 4-byte start code's leading zero belongs to neither unit.
        if (end < size)
            while (length > 0 && data[begin + length - 1] == 0)
                --length;
        if (length > 0)
            f(data + begin, length);
        i = end;
    }
}

void putBig32(std::vector<uint8_t>& out, size_t at, uint32_t v)
{
    out[at] = uint8_t(v >> 24);
    out[at + 1] = uint8_t(v >> 16);
    out[at + 2] = uint8_t(v >> 8);
    out[at + 3] = uint8_t(v);
}

} // namespace

std::vector<uint8_t> avcDecoderConfiguration(const uint8_t* annexB, int size)
{
    std::vector<std::pair<const uint8_t*, int>> sps, pps;
    forEachUnit(annexB, size, [&](const uint8_t* unit, int length) {
        const int type = unit[0] & 0x1F;
        if (type == 7 && length >= 4)
            sps.emplace_back(unit, length);
        else if (type == 8)
            pps.emplace_back(unit, length);
    });
    std::vector<uint8_t> out;
    if (sps.empty() || pps.empty())
        return out;
    const uint8_t profile = sps.front().first[1];
    out = {1, profile, sps.front().first[2], sps.front().first[3], 0xFF, uint8_t(0xE0 | sps.size())};
    auto add = [&out](const std::pair<const uint8_t*, int>& unit) {
        out.push_back(uint8_t(unit.second >> 8));
        out.push_back(uint8_t(unit.second));
        out.insert(out.end(), unit.first, unit.first + unit.second);
    };
    for (const auto& unit : sps)
        add(unit);
    out.push_back(uint8_t(pps.size()));
    for (const auto& unit : pps)
        add(unit);
    // The high profiles say their chroma format and depths: 4:2:2 at 8 bits is all we make.
    if (profile == 100 || profile == 110 || profile == 122 || profile == 144) {
        out.push_back(0xFC | 2);
        out.push_back(0xF8);
        out.push_back(0xF8);
        out.push_back(0);
    }
    return out;
}

int64_t H264Session::maxFrameBytes(int width, int height)
{
    return int64_t(double(width) * double(height) * kMaxFrameBytesPerPixel);
}

double H264Session::peakBytesPerSecond(int width, int height, double frameRate)
{
    return double(maxFrameBytes(width, height)) * frameRate * kBuffersPerSecondPerFrameRate;
}

H264Session::H264Session() = default;

H264Session::~H264Session()
{
    close();
}

int H264Session::open(const H264Settings& settings, std::string* error)
{
    close();
    std::string ignored;
    if (!error)
        error = &ignored;
    if (settings.width < 16 || settings.width % 2 || settings.height < 16 || settings.width > 8192 ||
        settings.height > 4320 || !(settings.frameRate > 0 && settings.frameRate <= 300)) {
        *error = "impossible picture for H.264 compression";
        return -1;
    }
    settings_ = settings;
    if (settings_.threads <= 0)
        settings_.threads = std::clamp(int(std::thread::hardware_concurrency()), 1, kMaxThreads);
    settings_.threads = std::min(settings_.threads, kMaxThreads);
    const int result = openCodec(error);
    if (result != 0) {
        close();
        return result;
    }
    packet_ = av_packet_alloc();
    if (!packet_) {
        *error = "out of memory";
        close();
        return AVERROR(ENOMEM);
    }
    if (const int got = allocateFrames(frames_, AV_PIX_FMT_YUV422P, settings_.width, settings_.height, error); got != 0) {
        close();
        return got;
    }
    out_.reserve(size_t(maxFrameBytes(settings_.width, settings_.height)) + 1024);
    return 0;
}

int H264Session::openCodec(std::string* error)
{
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) {
        *error = "this FFmpeg has no libx264 encoder";
        return AVERROR_ENCODER_NOT_FOUND;
    }
    context_ = avcodec_alloc_context3(codec);
    if (!context_) {
        *error = "out of memory";
        return AVERROR(ENOMEM);
    }
    context_->pix_fmt = AV_PIX_FMT_YUV422P;
    describePicture(*context_, {settings_.width, settings_.height, settings_.frameRate, settings_.interlaced,
                                settings_.topFieldFirst});
    if (settings_.interlaced)
        context_->flags |= AV_CODEC_FLAG_INTERLACED_ME; // field motion search as well
    // Parameter sets go to the sample description, not into the frames.
    context_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    context_->max_b_frames = 0;
    context_->gop_size = std::max(1, int(settings_.frameRate + 0.5));
    context_->thread_count = settings_.threads;
    const int64_t buffer = maxFrameBytes(settings_.width, settings_.height);
    context_->rc_buffer_size = int(std::min<int64_t>(buffer * 8, INT32_MAX));
    context_->rc_max_rate = int64_t(peakBytesPerSecond(settings_.width, settings_.height, settings_.frameRate) * 8);
    AVDictionary* options = nullptr;
    av_dict_set(&options, "preset", "veryfast", 0);
    av_dict_set(&options, "crf", "18", 0);
    // Frame threads hold threads - 1 pictures and the look-ahead its own: together within the
    // pictures a session may hold.
    av_dict_set(&options, "rc-lookahead", "2", 0);
    av_dict_set(&options, "x264-params", "sync-lookahead=0:bframes=0:log=0", 0); // errors only
    const int result = avcodec_open2(context_, codec, &options);
    av_dict_free(&options);
    if (result < 0) {
        *error = "libx264 refused the session: " + ffmpegError(result);
        avcodec_free_context(&context_);
        return result;
    }
    avcC_ = avcDecoderConfiguration(context_->extradata, context_->extradata_size);
    if (avcC_.empty()) {
        *error = "libx264 gave no parameter sets";
        avcodec_free_context(&context_);
        return -1;
    }
    inFlight_ = 0;
    return 0;
}

void H264Session::close()
{
    avcodec_free_context(&context_);
    av_packet_free(&packet_);
    for (AVFrame*& frame : frames_)
        av_frame_free(&frame);
    inFlight_ = 0;
}

AVFrame* H264Session::freeFrame()
{
    // The encoder and the in-flight record keep a reference to each picture whose frame has not
    // come out yet; take the next one they both let go.
    return takeWritablePicture(frames_, kPool, &nextFrame_);
}

int H264Session::encode(const uint8_t* uyvy, ptrdiff_t rowBytes, int64_t tag, CompressedFrameSink& sink)
{
    if (!context_)
        return AVERROR(EINVAL);
    AVFrame* frame = freeFrame();
    if (!frame)
        return AVERROR(ENOMEM);
    uyvyToYuv422p(uyvy, rowBytes, settings_.width, settings_.height, frame->data[0], frame->linesize[0],
                  frame->data[1], frame->linesize[1], frame->data[2], frame->linesize[2]);
    // The tag travels as the picture's time stamp: without B-frames it comes back unchanged.
    frame->pts = tag;
    frame->interlaced_frame = settings_.interlaced ? 1 : 0;
    frame->top_field_first = settings_.interlaced && settings_.topFieldFirst ? 1 : 0;
    int result = avcodec_send_frame(context_, frame);
    if (result == AVERROR(EAGAIN)) {
        result = receive(sink);
        if (result < 0)
            return result;
        result = avcodec_send_frame(context_, frame);
    }
    if (result < 0)
        return result;
    ++inFlight_;
    return receive(sink);
}

bool H264Session::toLengthPrefixed(const uint8_t* data, int size)
{
    out_.clear();
    forEachUnit(data, size, [this](const uint8_t* unit, int length) {
        const size_t at = out_.size();
        out_.resize(at + 4);
        putBig32(out_, at, uint32_t(length));
        out_.insert(out_.end(), unit, unit + length);
    });
    return !out_.empty();
}

int H264Session::receive(CompressedFrameSink& sink)
{
    for (;;) {
        const int result = avcodec_receive_packet(context_, packet_);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return 0;
        if (result < 0)
            return result;
        inFlight_ = std::max(0, inFlight_ - 1);
        if (toLengthPrefixed(packet_->data, packet_->size))
            sink.compressedFrame(out_.data(), int(out_.size()), packet_->pts);
        av_packet_unref(packet_);
    }
}

int H264Session::drain(CompressedFrameSink& sink)
{
    if (!context_)
        return AVERROR(EINVAL);
    if (inFlight_ == 0)
        return 0;
    int result = avcodec_send_frame(context_, nullptr);
    if (result >= 0)
        result = receive(sink);
    // A drained encoder takes no more pictures: start a fresh one with the same settings.
    avcodec_free_context(&context_);
    std::string error;
    const int reopened = openCodec(&error);
    return result < 0 ? result : reopened;
}

} // namespace platform::encode
