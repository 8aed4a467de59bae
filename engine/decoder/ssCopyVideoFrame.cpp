// Decoded pictures into the engine's frame layout: 8-bit 4:2:2, bytes Cb Y0 Cr Y1 per pixel pair.

#include "engine/decoder/ssMediaDecoder3.h"

#include "engine/base/ssMessage.h"

#include <algorithm>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace {

// Samples of one 4:2:2 row pair the converters write: a pixel pair's chroma and luma.
struct RowWriter {
    uint8_t* out;
    int width;

    // Pixel x (even) with its right-hand neighbour; an odd width's last pixel has no Cr and Y1
    // bytes in a row of 2 x width bytes.
    void pair(int x, uint8_t cb, uint8_t y0, uint8_t cr, uint8_t y1) const
    {
        uint8_t* p = out + 2 * x;
        p[0] = cb;
        p[1] = y0;
        if (x + 1 < width) {
            p[2] = cr;
            p[3] = y1;
        }
    }
};

template <bool BigEndian> inline uint16_t sample10(const uint8_t* plane, int x)
{
    const uint8_t* p = plane + 2 * x;
    const uint16_t v = BigEndian ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[1] << 8 | p[0]);
    return uint16_t(std::min<unsigned>(v, 1023u));
}

inline uint8_t to8(uint16_t v10)
{
    return uint8_t(v10 >> 2);
}

// Planar 8-bit: chromaShift is log2 of the horizontal chroma subsampling (1 for 4:2:0 and 4:2:2,
// 2 for 4:1:1); verticalShift 1 when a chroma row serves two luma rows.
void copyPlanar8(const AVFrame* in, uint8_t* out, int rowBytes, int width, int height, int chromaShift,
                 int verticalShift)
{
    for (int row = 0; row < height; ++row) {
        const uint8_t* y = in->data[0] + ptrdiff_t(row) * in->linesize[0];
        const int chromaRow = row >> verticalShift;
        const uint8_t* cb = in->data[1] + ptrdiff_t(chromaRow) * in->linesize[1];
        const uint8_t* cr = in->data[2] + ptrdiff_t(chromaRow) * in->linesize[2];
        RowWriter writer{out + ptrdiff_t(row) * rowBytes, width};
        for (int x = 0; x < width; x += 2) {
            const int c = x >> chromaShift;
            writer.pair(x, cb[c], y[x], cr[c], x + 1 < width ? y[x + 1] : 0);
        }
    }
}

template <bool BigEndian>
void copy422P10(const AVFrame* in, uint8_t* out, int rowBytes, int width, int height)
{
    for (int row = 0; row < height; ++row) {
        const uint8_t* y = in->data[0] + ptrdiff_t(row) * in->linesize[0];
        const uint8_t* cb = in->data[1] + ptrdiff_t(row) * in->linesize[1];
        const uint8_t* cr = in->data[2] + ptrdiff_t(row) * in->linesize[2];
        RowWriter writer{out + ptrdiff_t(row) * rowBytes, width};
        for (int x = 0; x < width; x += 2) {
            const int c = x >> 1;
            writer.pair(x, to8(sample10<BigEndian>(cb, c)), to8(sample10<BigEndian>(y, x)),
                        to8(sample10<BigEndian>(cr, c)), x + 1 < width ? to8(sample10<BigEndian>(y, x + 1)) : 0);
        }
    }
}

// 4:4:4 to 4:2:2: each pair's chroma is the mean of its two pixels' chroma.
template <bool BigEndian>
void copy444P10(const AVFrame* in, uint8_t* out, int rowBytes, int width, int height)
{
    for (int row = 0; row < height; ++row) {
        const uint8_t* y = in->data[0] + ptrdiff_t(row) * in->linesize[0];
        const uint8_t* cb = in->data[1] + ptrdiff_t(row) * in->linesize[1];
        const uint8_t* cr = in->data[2] + ptrdiff_t(row) * in->linesize[2];
        RowWriter writer{out + ptrdiff_t(row) * rowBytes, width};
        for (int x = 0; x < width; x += 2) {
            const int x1 = x + 1 < width ? x + 1 : x;
            const unsigned b = (sample10<BigEndian>(cb, x) + sample10<BigEndian>(cb, x1) + 1u) >> 1;
            const unsigned r = (sample10<BigEndian>(cr, x) + sample10<BigEndian>(cr, x1) + 1u) >> 1;
            writer.pair(x, to8(uint16_t(b)), to8(sample10<BigEndian>(y, x)), to8(uint16_t(r)),
                        to8(sample10<BigEndian>(y, x1)));
        }
    }
}

} // namespace

void ssMediaDecoder3::CopyVideoFrame(const AVFrame* picture, _videoFrame* frame)
{
    if (!picture || !frame || !frame->pixels)
        return;
    // A picture that changed size mid-stream is cut to the slot, never written past it.
    const int width = std::min(picture->width, frame->width);
    const int height = std::min(picture->height, frame->height);
    if (width <= 0 || height <= 0)
        return;
    uint8_t* out = frame->pixels;
    const int rowBytes = frame->rowBytes;
    switch (picture->format) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P:
        copyPlanar8(picture, out, rowBytes, width, height, 1, 1);
        return;
    case AV_PIX_FMT_YUV422P:
    case AV_PIX_FMT_YUVJ422P:
        copyPlanar8(picture, out, rowBytes, width, height, 1, 0);
        return;
    case AV_PIX_FMT_YUV411P:
        copyPlanar8(picture, out, rowBytes, width, height, 2, 0);
        return;
    case AV_PIX_FMT_YUV422P10LE:
        copy422P10<false>(picture, out, rowBytes, width, height);
        return;
    case AV_PIX_FMT_YUV422P10BE:
        copy422P10<true>(picture, out, rowBytes, width, height);
        return;
    case AV_PIX_FMT_YUV444P10LE:
        copy444P10<false>(picture, out, rowBytes, width, height);
        return;
    case AV_PIX_FMT_YUV444P10BE:
        copy444P10<true>(picture, out, rowBytes, width, height);
        return;
    default:
        break;
    }
    if (!m_ScalerLogged) {
        ssMessage(2, "CopyVideoFrame doesn't have a custom converter for format type %d.  Using swsScale instead",
                  picture->format);
        m_ScalerLogged = true;
    }
    m_Scaler = sws_getCachedContext(m_Scaler, picture->width, picture->height, AVPixelFormat(picture->format),
                                    width, height, AV_PIX_FMT_UYVY422, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!m_Scaler)
        return;
    if ((width & 1) == 0) {
        uint8_t* planes[4] = {out, nullptr, nullptr, nullptr};
        int strides[4] = {rowBytes, 0, 0, 0};
        sws_scale(m_Scaler, picture->data, picture->linesize, 0, picture->height, planes, strides);
        return;
    }
    // An odd width's last pair is whole in the scaler's output but half in the frame: scale into
    // a spare buffer (kept between frames) and copy the part that fits.
    const int scratchRow = (width + 1) * 2;
    m_ScaleScratch.resize(size_t(scratchRow) * size_t(height));
    uint8_t* planes[4] = {m_ScaleScratch.data(), nullptr, nullptr, nullptr};
    int strides[4] = {scratchRow, 0, 0, 0};
    sws_scale(m_Scaler, picture->data, picture->linesize, 0, picture->height, planes, strides);
    for (int row = 0; row < height; ++row)
        std::copy_n(m_ScaleScratch.data() + ptrdiff_t(row) * scratchRow, 2 * width, out + ptrdiff_t(row) * rowBytes);
}
