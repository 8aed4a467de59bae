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
    sws_freeContext(m_pSws);
    m_pSws = nullptr;
    avcodec_free_context(&m_pCodecCtx);
    avformat_close_input(&m_pFormatCtx);
    av_frame_free(&m_pFrame);
    av_packet_free(&m_pPacket);
    m_pCodec = nullptr;
    m_Path.clear();
    m_iVideoStream = 0;
    m_dFrameRate = 0;
    m_dDuration = 0;
    m_iWidth = 0;
    m_iHeight = 0;
    m_bOpened = false;
}

int ssMediaDecoder3Light::Open(const std::string& path)
{
    Close();

    int err = avformat_open_input(&m_pFormatCtx, path.c_str(), nullptr, nullptr);
    if (err < 0) {
        ssMessage(0, "Error %d opening %s", err, path.c_str());
        return err;
    }
    err = avformat_find_stream_info(m_pFormatCtx, nullptr);
    if (err < 0) {
        ssMessage(0, "Error %d reading stream information", err);
        Close();
        return err;
    }
    const AVCodec* codec = nullptr;
    err = av_find_best_stream(m_pFormatCtx, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
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
    m_iVideoStream = err;
    AVStream* stream = m_pFormatCtx->streams[m_iVideoStream];

    m_pCodecCtx = avcodec_alloc_context3(codec);
    m_pFrame = av_frame_alloc();
    m_pPacket = av_packet_alloc();
    if (!m_pCodecCtx || !m_pFrame || !m_pPacket) {
        Close();
        return AVERROR(ENOMEM);
    }
    err = avcodec_parameters_to_context(m_pCodecCtx, stream->codecpar);
    if (err < 0) {
        Close();
        return err;
    }
    err = avcodec_open2(m_pCodecCtx, codec, nullptr);
    if (err != 0) {
        ssMessage(0, "Error %d opening video codec", err);
        Close();
        return err;
    }
    m_pCodec = codec;

    m_dDuration = m_pFormatCtx->duration != AV_NOPTS_VALUE ? double(m_pFormatCtx->duration) / AV_TIME_BASE : 0.0;
    if (!(m_dDuration > 0) || !std::isfinite(m_dDuration))
        m_dDuration = 0;
    m_iHeight = m_pCodecCtx->height;
    m_iWidth = m_pCodecCtx->width;
    const AVRational sar = av_guess_sample_aspect_ratio(m_pFormatCtx, stream, nullptr);
    if (sar.num != 0 && sar.den != 0)
        m_iWidth = std::int32_t(std::floor(double(m_pCodecCtx->width) * sar.num / sar.den + 0.5));
    m_dFrameRate = FrameRateFromRates(stream->avg_frame_rate.num, stream->avg_frame_rate.den, stream->r_frame_rate.num,
                                      stream->r_frame_rate.den);
    m_Path = path;
    m_bOpened = true;
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
    if (!m_bOpened)
        return {-1, -1};
    return {m_iWidth, m_iHeight};
}

int ssMediaDecoder3Light::GetCodedWidth() const
{
    return m_pCodecCtx ? m_pCodecCtx->width : 0;
}

std::string ssMediaDecoder3Light::GetFormatString() const
{
    if (!m_bOpened)
        return {};
    if (!m_pCodec || !m_pCodec->name || !*m_pCodec->name)
        return "unknown";
    return m_pCodec->name;
}

bool ssMediaDecoder3Light::SeekTo(double seconds)
{
    AVStream* stream = m_pFormatCtx->streams[m_iVideoStream];
    double micro = std::trunc(seconds * 1000000.0);
    if (!std::isfinite(micro))
        micro = 0;
    micro = std::clamp(micro, -9.0e15, 9.0e15);
    std::int64_t target = av_rescale_q(std::int64_t(micro), AVRational{1, 1000000}, stream->time_base);
    // Stream times count from the stream's own start (an MPEG-TS may start at 10 s).
    if (stream->start_time != AV_NOPTS_VALUE)
        target += stream->start_time;
    return avformat_seek_file(m_pFormatCtx, m_iVideoStream, std::numeric_limits<std::int64_t>::min(), target, target,
                              0)
           >= 0;
}

int ssMediaDecoder3Light::DecodeNextPicture()
{
    for (;;) {
        int err = avcodec_receive_frame(m_pCodecCtx, m_pFrame);
        if (err == 0)
            return 1;
        if (err == AVERROR_EOF)
            return 0;
        if (err != AVERROR(EAGAIN))
            return 0;
        err = av_read_frame(m_pFormatCtx, m_pPacket);
        if (err < 0) {
            // End of file: pictures the decoder still holds come out when it is drained.
            if (avcodec_send_packet(m_pCodecCtx, nullptr) < 0)
                return 0;
            continue;
        }
        if (m_pPacket->stream_index != m_iVideoStream) {
            av_packet_unref(m_pPacket);
            continue;
        }
        err = avcodec_send_packet(m_pCodecCtx, m_pPacket);
        av_packet_unref(m_pPacket);
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
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(AVPixelFormat(m_pFrame->format));
    if (!desc || !m_pFrame->data[0])
        return false;
    // Plane 0 is luma for planar YUV; packed formats interleave, so count bytes of the row.
    const int bytesPerSample = desc->comp[0].depth > 8 ? 2 : 1;
    int samples = m_pFrame->width;
    if (!(desc->flags & AV_PIX_FMT_FLAG_PLANAR) && desc->nb_components > 1)
        samples = av_image_get_linesize(AVPixelFormat(m_pFrame->format), m_pFrame->width, 0) / bytesPerSample;
    if (m_pFrame->linesize[0] < samples * bytesPerSample)
        return false;
    return IsBrightEnough(m_pFrame->data[0], m_pFrame->linesize[0], samples, m_pFrame->height, bytesPerSample);
}

void ssMediaDecoder3Light::FlatPicture(int& width, int& height, std::unique_ptr<std::uint8_t[]>& pixels) const
{
    width = std::max(0, m_pCodecCtx->width);
    height = std::max(0, m_pCodecCtx->height);
    const std::size_t size = std::size_t(width) * std::size_t(height) * 3;
    pixels.reset(new std::uint8_t[size ? size : 1]);
    std::memset(pixels.get(), kFlatPictureValue, size);
}

int ssMediaDecoder3Light::TakePicture(int& width, int& height, std::unique_ptr<std::uint8_t[]>& pixels)
{
    const int w = m_pFrame->width;
    const int h = m_pFrame->height;
    // Built from the frame itself: a stream may change size or format midway.
    m_pSws = sws_getCachedContext(m_pSws, w, h, AVPixelFormat(m_pFrame->format), w, h, AV_PIX_FMT_RGB24,
                                  SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!m_pSws || w <= 0 || h <= 0) {
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
    sws_scale(m_pSws, m_pFrame->data, m_pFrame->linesize, 0, h, dst, dstStride);
    width = w;
    height = h;
    av_frame_unref(m_pFrame);
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
    if (!m_bOpened)
        return fail();
    if (m_pCodecCtx->pix_fmt == AV_PIX_FMT_NONE)
        return fail();
    if (!std::isfinite(seconds))
        seconds = 0;

    if (!SeekTo(seconds))
        return fail();
    avcodec_flush_buffers(m_pCodecCtx);

    double t = seconds;
    for (bool first = true;; first = false) {
        if (!first) {
            if (!SeekTo(t))
                return fail();
            avcodec_flush_buffers(m_pCodecCtx);
        }
        if (DecodeNextPicture() <= 0) {
            FlatPicture(width, height, pixels);
            return 0;
        }
        const bool bright = PictureIsBright();
        if (!bright && t <= 0.5 * m_dDuration) {
            ssMessage(0, "Incrementing frame time: %lf", t);
            t += 1.0;
            av_frame_unref(m_pFrame);
            continue;
        }
        if (t > 0.9 * m_dDuration)
            ssMessage(0, "Couldn't find a thumbnail bright enough - grabbing a dark frame and bailing");
        return TakePicture(width, height, pixels);
    }
}
