// Decoded pictures of every converted layout into 2vuy, against swscale's UYVY422 of the same
// picture, and never a byte past the frame.

#include "engine/decoder/ssMediaDecoder3.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace {

constexpr uint8_t kGuard = 0xA5;
constexpr size_t kGuardBytes = 256;

struct FramePtr {
    AVFrame* frame = av_frame_alloc();
    ~FramePtr() { av_frame_free(&frame); }
};

// A smooth picture: ramps in every plane, slow enough that chroma subsampling filters agree
// with plain sample picking to within one step.
void paint(AVFrame* frame)
{
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(AVPixelFormat(frame->format));
    if (av_pix_fmt_count_planes(AVPixelFormat(frame->format)) != 3) {
        // Packed or semi-planar: a gentle ramp over the bytes of each row.
        for (int plane = 0; plane < av_pix_fmt_count_planes(AVPixelFormat(frame->format)); ++plane) {
            const int bytes = av_image_get_linesize(AVPixelFormat(frame->format), frame->width, plane);
            const int h = plane == 0 ? frame->height : AV_CEIL_RSHIFT(frame->height, desc->log2_chroma_h);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < bytes; ++x)
                    frame->data[plane][ptrdiff_t(y) * frame->linesize[plane] + x] = uint8_t(60 + x * 100 / bytes);
        }
        return;
    }
    const bool deep = desc->comp[0].depth > 8;
    const bool bigEndian = desc->flags & AV_PIX_FMT_FLAG_BE;
    for (int plane = 0; plane < 3; ++plane) {
        const int w = plane == 0 ? frame->width : AV_CEIL_RSHIFT(frame->width, desc->log2_chroma_w);
        const int h = plane == 0 ? frame->height : AV_CEIL_RSHIFT(frame->height, desc->log2_chroma_h);
        for (int y = 0; y < h; ++y) {
            uint8_t* row = frame->data[plane] + ptrdiff_t(y) * frame->linesize[plane];
            for (int x = 0; x < w; ++x) {
                // Luma ramps across, chroma barely moves: 8-bit values 40..200.
                const int base = plane == 0 ? 40 + (x * 160) / std::max(1, w - 1) : 100 + plane * 20 + y / 16;
                if (!deep) {
                    row[x] = uint8_t(base);
                } else {
                    const uint16_t v = uint16_t(base * 4 + (x & 3));
                    row[2 * x + (bigEndian ? 1 : 0)] = uint8_t(v & 0xFF);
                    row[2 * x + (bigEndian ? 0 : 1)] = uint8_t(v >> 8);
                }
            }
        }
    }
}

std::vector<uint8_t> reference(const AVFrame* frame)
{
    const int rowBytes = (frame->width + 1) * 2;
    std::vector<uint8_t> out(size_t(rowBytes) * size_t(frame->height));
    SwsContext* sws = sws_getContext(frame->width, frame->height, AVPixelFormat(frame->format), frame->width,
                                     frame->height, AV_PIX_FMT_UYVY422, SWS_POINT | SWS_ACCURATE_RND | SWS_BITEXACT,
                                     nullptr, nullptr, nullptr);
    uint8_t* planes[4] = {out.data()};
    int strides[4] = {rowBytes};
    sws_scale(sws, frame->data, frame->linesize, 0, frame->height, planes, strides);
    sws_freeContext(sws);
    return out;
}

struct Case {
    AVPixelFormat format;
    int width;
    int height;
};

class CopyVideoFrame : public testing::TestWithParam<Case> {};

} // namespace

TEST_P(CopyVideoFrame, MatchesTheScalerWithinOneAndStaysInsideTheFrame)
{
    const Case c = GetParam();
    FramePtr picture;
    picture.frame->format = c.format;
    picture.frame->width = c.width;
    picture.frame->height = c.height;
    ASSERT_EQ(av_frame_get_buffer(picture.frame, 0), 0);
    paint(picture.frame);

    const size_t frameBytes = size_t(c.width) * size_t(c.height) * 2;
    std::vector<uint8_t> buffer(frameBytes + kGuardBytes, kGuard);
    _videoFrame target;
    target.pixels = buffer.data();
    target.rowBytes = c.width * 2;
    target.width = c.width;
    target.height = c.height;
    std::fill_n(buffer.begin(), frameBytes, uint8_t(0));

    ssMediaDecoder3 engine(nullptr, nullptr);
    engine.CopyVideoFrame(picture.frame, &target);

    for (size_t i = frameBytes; i < buffer.size(); ++i)
        ASSERT_EQ(buffer[i], kGuard) << "byte " << i - frameBytes << " past the frame was written";

    const std::vector<uint8_t> expected = reference(picture.frame);
    const int referenceRow = (c.width + 1) * 2;
    // The scaler leaves an odd width's last, half pair unwritten: compare the whole pairs.
    int worst = 0, worstX = 0, worstY = 0;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < (c.width & ~1) * 2; ++x) {
            int d = std::abs(int(buffer[size_t(y) * size_t(c.width) * 2 + size_t(x)]) -
                             int(expected[size_t(y) * size_t(referenceRow) + size_t(x)]));
            if (d > worst) {
                worst = d;
                worstX = x;
                worstY = y;
            }
        }
    EXPECT_LE(worst, 1) << "at byte " << worstX << " of row " << worstY;
}

INSTANTIATE_TEST_SUITE_P(Layouts, CopyVideoFrame,
    testing::Values(Case{AV_PIX_FMT_YUV420P, 64, 48}, Case{AV_PIX_FMT_YUV420P, 65, 47},
                    Case{AV_PIX_FMT_YUV422P, 64, 48}, Case{AV_PIX_FMT_YUV422P, 63, 20},
                    Case{AV_PIX_FMT_YUV411P, 64, 48}, Case{AV_PIX_FMT_YUV411P, 61, 10},
                    Case{AV_PIX_FMT_YUV422P10LE, 64, 48}, Case{AV_PIX_FMT_YUV422P10BE, 64, 48},
                    Case{AV_PIX_FMT_YUV422P10LE, 33, 9}, Case{AV_PIX_FMT_YUV444P10LE, 64, 48},
                    Case{AV_PIX_FMT_YUV444P10BE, 64, 48}, Case{AV_PIX_FMT_YUV444P10LE, 31, 7},
                    Case{AV_PIX_FMT_RGB24, 64, 48}, Case{AV_PIX_FMT_RGB24, 35, 11},
                    Case{AV_PIX_FMT_NV12, 64, 48}),
    [](const testing::TestParamInfo<Case>& param) {
        std::string name = av_get_pix_fmt_name(param.param.format);
        return name + "_" + std::to_string(param.param.width) + "x" + std::to_string(param.param.height);
    });
