// Decoded pictures into the engine's frame layout: 8-bit 4:2:2, bytes Cb Y0 Cr Y1 per pixel pair.

#include "engine/decoder/ssMediaDecoder3.h"

#include "engine/base/ssMessage.h"
#include "engine/decoder/ss2vuyRows.h"

#include <algorithm>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace {

struct Planes {
    const uint8_t* y;
    const uint8_t* cb;
    const uint8_t* cr;
};

Planes rowPlanes(const AVFrame* in, int row, int verticalShift)
{
    const int chromaRow = row >> verticalShift;
    return {in->data[0] + ptrdiff_t(row) * in->linesize[0], in->data[1] + ptrdiff_t(chromaRow) * in->linesize[1],
            in->data[2] + ptrdiff_t(chromaRow) * in->linesize[2]};
}

// An odd width's last pixel has only its Cb and Y0 bytes in a row of 2 x width bytes.
void lastPixel(uint8_t* out, int width, uint8_t cb, uint8_t y)
{
    out[2 * (width - 1)] = cb;
    out[2 * (width - 1) + 1] = y;
}

// Planar 8-bit: chromaShift is log2 of the horizontal chroma subsampling (1 for 4:2:0 and 4:2:2,
// 2 for 4:1:1); verticalShift 1 when a chroma row serves two luma rows.
void copyPlanar8(const AVFrame* in, uint8_t* out, int rowBytes, int width, int height, int chromaShift,
                 int verticalShift)
{
    for (int row = 0; row < height; ++row) {
        const Planes p = rowPlanes(in, row, verticalShift);
        uint8_t* o = out + ptrdiff_t(row) * rowBytes;
        ss2vuy::rowPlanar8(p.y, p.cb, p.cr, o, width / 2, chromaShift);
        if (width & 1) {
            const int c = (width - 1) >> chromaShift;
            lastPixel(o, width, p.cb[c], p.y[width - 1]);
        }
    }
}

// 16-bit samples of `bits` significant bits, 4:2:2 (verticalShift 1: 4:2:0).
void copy422Deep(const AVFrame* in, uint8_t* out, int rowBytes, int width, int height, int verticalShift, int bits,
                 bool bigEndian)
{
    for (int row = 0; row < height; ++row) {
        const Planes p = rowPlanes(in, row, verticalShift);
        uint8_t* o = out + ptrdiff_t(row) * rowBytes;
        ss2vuy::row422Deep(p.y, p.cb, p.cr, o, width / 2, bits, bigEndian);
        if (width & 1)
            lastPixel(o, width, ss2vuy::deepTo8(p.cb, (width - 1) >> 1, bits, bigEndian),
                      ss2vuy::deepTo8(p.y, width - 1, bits, bigEndian));
    }
}

// 4:4:4 to 4:2:2: each pair's chroma is the mean of its two pixels' chroma. An alpha plane, when
// there is one, is not shown.
void copy444Deep(const AVFrame* in, uint8_t* out, int rowBytes, int width, int height, int bits, bool bigEndian)
{
    for (int row = 0; row < height; ++row) {
        const Planes p = rowPlanes(in, row, 0);
        uint8_t* o = out + ptrdiff_t(row) * rowBytes;
        ss2vuy::row444Deep(p.y, p.cb, p.cr, o, width / 2, bits, bigEndian);
        if (width & 1)
            lastPixel(o, width, ss2vuy::deepTo8(p.cb, width - 1, bits, bigEndian),
                      ss2vuy::deepTo8(p.y, width - 1, bits, bigEndian));
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
    case AV_PIX_FMT_YUV420P10LE:
        copy422Deep(picture, out, rowBytes, width, height, 1, 10, false);
        return;
    case AV_PIX_FMT_YUV422P10LE:
    case AV_PIX_FMT_YUVA422P10LE:
        copy422Deep(picture, out, rowBytes, width, height, 0, 10, false);
        return;
    case AV_PIX_FMT_YUV422P10BE:
        copy422Deep(picture, out, rowBytes, width, height, 0, 10, true);
        return;
    case AV_PIX_FMT_YUV422P12LE:
        copy422Deep(picture, out, rowBytes, width, height, 0, 12, false);
        return;
    case AV_PIX_FMT_YUV444P10LE:
    case AV_PIX_FMT_YUVA444P10LE:
        copy444Deep(picture, out, rowBytes, width, height, 10, false);
        return;
    case AV_PIX_FMT_YUV444P10BE:
        copy444Deep(picture, out, rowBytes, width, height, 10, true);
        return;
    case AV_PIX_FMT_YUV444P12LE:
    case AV_PIX_FMT_YUVA444P12LE:
        copy444Deep(picture, out, rowBytes, width, height, 12, false);
        return;
    case AV_PIX_FMT_YUV444P12BE:
        copy444Deep(picture, out, rowBytes, width, height, 12, true);
        return;
    default:
        break;
    }
    if (!ScalerLogged_) {
        ssMessage(2, "CopyVideoFrame doesn't have a custom converter for format type %d.  Using swsScale instead",
                  picture->format);
        ScalerLogged_ = true;
    }
    Scaler_ = sws_getCachedContext(Scaler_, picture->width, picture->height, AVPixelFormat(picture->format),
                                    width, height, AV_PIX_FMT_UYVY422, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!Scaler_)
        return;
    if ((width & 1) == 0) {
        uint8_t* planes[4] = {out, nullptr, nullptr, nullptr};
        int strides[4] = {rowBytes, 0, 0, 0};
        sws_scale(Scaler_, picture->data, picture->linesize, 0, picture->height, planes, strides);
        return;
    }
    // An odd width's last pair is whole in the scaler's output but half in the frame: scale into
    // a spare buffer (kept between frames) and copy the part that fits.
    const int scratchRow = (width + 1) * 2;
    ScaleScratch_.resize(size_t(scratchRow) * size_t(height));
    uint8_t* planes[4] = {ScaleScratch_.data(), nullptr, nullptr, nullptr};
    int strides[4] = {scratchRow, 0, 0, 0};
    sws_scale(Scaler_, picture->data, picture->linesize, 0, picture->height, planes, strides);
    for (int row = 0; row < height; ++row)
        std::copy_n(ScaleScratch_.data() + ptrdiff_t(row) * scratchRow, 2 * width, out + ptrdiff_t(row) * rowBytes);
}
