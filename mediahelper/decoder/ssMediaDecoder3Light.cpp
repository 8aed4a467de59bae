#include "mediahelper/decoder/ssMediaDecoder3Light.h"

#include "engine/base/ssMessage.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// Average sample value a picture must exceed to count as bright enough for a thumbnail.
constexpr std::uint64_t kBrightnessThreshold = 20;
constexpr std::uint8_t kFlatPictureValue = 31;
constexpr std::uint8_t kUnconvertedValue = 127;

double rationalOrZero(AVRational r)
{
    return (r.num != 0 && r.den != 0) ? double(r.num) / double(r.den) : 0.0;
}

} // namespace

ssMediaDecoder3Light::ssMediaDecoder3Light() = default;

ssMediaDecoder3Light::~ssMediaDecoder3Light()
{
    Close();
}

void ssMediaDecoder3Light::Close()
{
    sws_freeContext(pSws_);
    pSws_ = nullptr;
    avcodec_free_context(&pCodecCtx_);
    avformat_close_input(&pFormatCtx_);
    av_frame_free(&pFrame_);
    av_packet_free(&pPacket_);
    pCodec_ = nullptr;
    Path_.clear();
    iVideoStream_ = 0;
    dFrameRate_ = 0;
    dDuration_ = 0;
    iWidth_ = 0;
    iHeight_ = 0;
    bOpened_ = false;
}

int ssMediaDecoder3Light::Open(const std::string& path)
{
    Close();

    int err = avformat_open_input(&pFormatCtx_, path.c_str(), nullptr, nullptr);
    if (err < 0) {
        ssMessage(0, "Error %d opening %s", err, path.c_str());
        return err;
    }
    err = avformat_find_stream_info(pFormatCtx_, nullptr);
    if (err < 0) {
        ssMessage(0, "Error %d reading stream information", err);
        Close();
        return err;
    }
    const AVCodec* codec = nullptr;
    err = av_find_best_stream(pFormatCtx_, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (err < 0) {
        ssMessage(0, "Error %d finding video stream", err);
        Close();
        return err;
    }
    if (!codec) {
        ssMessage(0, "Codec not supported");
        Close();
        return -1;
    }
    iVideoStream_ = err;
    AVStream* stream = pFormatCtx_->streams[iVideoStream_];

    pCodecCtx_ = avcodec_alloc_context3(codec);
    pFrame_ = av_frame_alloc();
    pPacket_ = av_packet_alloc();
    if (!pCodecCtx_ || !pFrame_ || !pPacket_) {
        Close();
        return AVERROR(ENOMEM);
    }
    err = avcodec_parameters_to_context(pCodecCtx_, stream->codecpar);
    if (err < 0) {
        Close();
        return err;
    }
    err = avcodec_open2(pCodecCtx_, codec, nullptr);
    if (err != 0) {
        ssMessage(0, "Error %d opening video codec", err);
        Close();
        return err;
    }
    pCodec_ = codec;

    dDuration_ = pFormatCtx_->duration != AV_NOPTS_VALUE ? double(pFormatCtx_->duration) / AV_TIME_BASE : 0.0;
    if (!(dDuration_ > 0) || !std::isfinite(dDuration_))
        dDuration_ = 0;
    iHeight_ = pCodecCtx_->height;
    iWidth_ = pCodecCtx_->width;
    const AVRational sar = av_guess_sample_aspect_ratio(pFormatCtx_, stream, nullptr);
    if (sar.num != 0 && sar.den != 0)
        iWidth_ = std::int32_t(std::floor(double(pCodecCtx_->width) * sar.num / sar.den + 0.5));
    dFrameRate_ = FrameRateFromRates(stream->avg_frame_rate.num, stream->avg_frame_rate.den, stream->r_frame_rate.num,
                                      stream->r_frame_rate.den);
    Path_ = path;
    bOpened_ = true;
    return 0;
}

double ssMediaDecoder3Light::FrameRateFromRates(int avgNum, int avgDen, int baseNum, int baseDen)
{
    // Some containers state no average rate (0/0): fall back to the stream's base rate.
    double rate = rationalOrZero(AVRational{avgNum, avgDen});
    if (rate == 0)
        rate = rationalOrZero(AVRational{baseNum, baseDen});
    return (std::isfinite(rate) && rate > 0) ? rate : 0.0;
}

std::pair<int, int> ssMediaDecoder3Light::GetWidthHeight() const
{
    if (!bOpened_)
        return {-1, -1};
    return {iWidth_, iHeight_};
}

int ssMediaDecoder3Light::GetCodedWidth() const
{
    return pCodecCtx_ ? pCodecCtx_->width : 0;
}

std::string ssMediaDecoder3Light::GetFormatString() const
{
    if (!bOpened_)
        return {};
    if (!pCodec_ || !pCodec_->name || !*pCodec_->name)
        return "unknown";
    return pCodec_->name;
}

bool ssMediaDecoder3Light::SeekTo(double seconds)
{
    AVStream* stream = pFormatCtx_->streams[iVideoStream_];
    double micro = std::trunc(seconds * 1000000.0);
    if (!std::isfinite(micro))
        micro = 0;
    micro = std::clamp(micro, -9.0e15, 9.0e15);
    std::int64_t target = av_rescale_q(std::int64_t(micro), AVRational{1, 1000000}, stream->time_base);
    // Stream times count from the stream's own start (an MPEG-TS may start at 10 s).
    if (stream->start_time != AV_NOPTS_VALUE)
        target += stream->start_time;
    return avformat_seek_file(pFormatCtx_, iVideoStream_, std::numeric_limits<std::int64_t>::min(), target, target,
                              0)
           >= 0;
}

int ssMediaDecoder3Light::DecodeNextPicture()
{
    for (;;) {
        int err = avcodec_receive_frame(pCodecCtx_, pFrame_);
        if (err == 0)
            return 1;
        if (err == AVERROR_EOF)
            return 0;
        if (err != AVERROR(EAGAIN))
            return 0;
        err = av_read_frame(pFormatCtx_, pPacket_);
        if (err < 0) {
            // End of file: pictures the decoder still holds come out when it is drained.
            if (avcodec_send_packet(pCodecCtx_, nullptr) < 0)
                return 0;
            continue;
        }
        if (pPacket_->stream_index != iVideoStream_) {
            av_packet_unref(pPacket_);
            continue;
        }
        err = avcodec_send_packet(pCodecCtx_, pPacket_);
        av_packet_unref(pPacket_);
        if (err < 0 && err != AVERROR(EAGAIN))
            return 0;
    }
}

bool ssMediaDecoder3Light::IsBrightEnough(const std::uint8_t* plane, int lineSize, int widthSamples, int height,
                                          int bytesPerSample)
{
    if (!plane || widthSamples <= 0 || height <= 0 || (bytesPerSample != 1 && bytesPerSample != 2))
        return false;
    std::uint64_t sum = 0;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = plane + std::ptrdiff_t(y) * lineSize;
        if (bytesPerSample == 1) {
            for (int x = 0; x < widthSamples; ++x)
                sum += row[x];
        } else {
            for (int x = 0; x < widthSamples; ++x) {
                std::uint16_t sample;
                std::memcpy(&sample, row + 2 * x, 2);
                sum += std::uint64_t(sample >> 1);
            }
        }
    }
    const std::uint64_t n = std::uint64_t(widthSamples) * std::uint64_t(bytesPerSample) * std::uint64_t(height);
    return sum > kBrightnessThreshold * n;
}

bool ssMediaDecoder3Light::PictureIsBright() const
{
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(AVPixelFormat(pFrame_->format));
    if (!desc || !pFrame_->data[0])
        return false;
    // Plane 0 is luma for planar YUV; packed formats interleave, so count bytes of the row.
    const int bytesPerSample = desc->comp[0].depth > 8 ? 2 : 1;
    int samples = pFrame_->width;
    if (!(desc->flags & AV_PIX_FMT_FLAG_PLANAR) && desc->nb_components > 1)
        samples = av_image_get_linesize(AVPixelFormat(pFrame_->format), pFrame_->width, 0) / bytesPerSample;
    if (pFrame_->linesize[0] < samples * bytesPerSample)
        return false;
    return IsBrightEnough(pFrame_->data[0], pFrame_->linesize[0], samples, pFrame_->height, bytesPerSample);
}

void ssMediaDecoder3Light::FlatPicture(int& width, int& height, std::unique_ptr<std::uint8_t[]>& pixels) const
{
    width = std::max(0, pCodecCtx_->width);
    height = std::max(0, pCodecCtx_->height);
    const std::size_t size = std::size_t(width) * std::size_t(height) * 3;
    pixels.reset(new std::uint8_t[size ? size : 1]);
    std::memset(pixels.get(), kFlatPictureValue, size);
}

int ssMediaDecoder3Light::TakePicture(int& width, int& height, std::unique_ptr<std::uint8_t[]>& pixels)
{
    const int w = pFrame_->width;
    const int h = pFrame_->height;
    // Built from the frame itself: a stream may change size or format midway.
    pSws_ = sws_getCachedContext(pSws_, w, h, AVPixelFormat(pFrame_->format), w, h, AV_PIX_FMT_RGB24,
                                  SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!pSws_ || w <= 0 || h <= 0) {
        width = 0;
        height = 0;
        pixels.reset();
        return -1;
    }
    const std::size_t size = std::size_t(w) * std::size_t(h) * 3;
    pixels.reset(new std::uint8_t[size]);
    std::memset(pixels.get(), kUnconvertedValue, size);
    std::uint8_t* dst[4] = {pixels.get(), nullptr, nullptr, nullptr};
    int dstStride[4] = {w * 3, 0, 0, 0};
    sws_scale(pSws_, pFrame_->data, pFrame_->linesize, 0, h, dst, dstStride);
    width = w;
    height = h;
    av_frame_unref(pFrame_);
    return 0;
}

int ssMediaDecoder3Light::GetImageForTime(double seconds, int& width, int& height,
                                          std::unique_ptr<std::uint8_t[]>& pixels)
{
    auto fail = [&] {
        width = 0;
        height = 0;
        pixels.reset();
        return -1;
    };
    if (!bOpened_)
        return fail();
    if (pCodecCtx_->pix_fmt == AV_PIX_FMT_NONE)
        return fail();
    // A time before the start is the start. Stepping forward a second at a time from a huge
    // negative time would never end (t + 1 is t), nor get anywhere from a merely large one.
    if (!std::isfinite(seconds) || seconds < 0)
        seconds = 0;

    if (!SeekTo(seconds))
        return fail();
    avcodec_flush_buffers(pCodecCtx_);

    double t = seconds;
    for (bool first = true;; first = false) {
        if (!first) {
            if (!SeekTo(t))
                return fail();
            avcodec_flush_buffers(pCodecCtx_);
        }
        if (DecodeNextPicture() <= 0) {
            FlatPicture(width, height, pixels);
            return 0;
        }
        const bool bright = PictureIsBright();
        if (!bright && t <= 0.5 * dDuration_) {
            ssMessage(0, "Incrementing frame time: %lf", t);
            t += 1.0;
            av_frame_unref(pFrame_);
            continue;
        }
        if (t > 0.9 * dDuration_)
            ssMessage(0, "Couldn't find a thumbnail bright enough - grabbing a dark frame and bailing");
        return TakePicture(width, height, pixels);
    }
}
