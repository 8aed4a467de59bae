// Decoded pictures of every converted layout into 2vuy, against swscale's UYVY422 of the same
// picture, and never a byte past the frame.

#include "engine/decoder/ss2vuyRows.h"
#include "engine/decoder/ssMediaDecoder3.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
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
    const int planeCount = av_pix_fmt_count_planes(AVPixelFormat(frame->format));
    if (planeCount == 4) // alpha is never shown: opaque
        for (int y = 0; y < frame->height; ++y)
            std::fill_n(frame->data[3] + ptrdiff_t(y) * frame->linesize[3], frame->linesize[3], uint8_t(0xFF));
    if (planeCount != 3 && planeCount != 4) {
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
    // The scaler's vector stores may run a few bytes past the last row.
    std::vector<uint8_t> out(size_t(rowBytes) * size_t(frame->height) + 64);
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
                    Case{AV_PIX_FMT_YUV444P12LE, 64, 48}, Case{AV_PIX_FMT_YUV444P12LE, 203, 5},
                    Case{AV_PIX_FMT_YUVA444P12LE, 64, 48}, Case{AV_PIX_FMT_YUV444P12BE, 200, 6},
                    Case{AV_PIX_FMT_YUV422P12LE, 201, 6}, Case{AV_PIX_FMT_YUV420P10LE, 200, 7},
                    Case{AV_PIX_FMT_YUV420P, 200, 6}, Case{AV_PIX_FMT_YUV411P, 203, 6},
                    Case{AV_PIX_FMT_YUV422P10BE, 200, 6}, Case{AV_PIX_FMT_YUV444P10LE, 201, 4},
                    Case{AV_PIX_FMT_RGB24, 64, 48}, Case{AV_PIX_FMT_RGB24, 35, 11},
                    Case{AV_PIX_FMT_NV12, 64, 48}),
    [](const testing::TestParamInfo<Case>& param) {
        std::string name = av_get_pix_fmt_name(param.param.format);
        return name + "_" + std::to_string(param.param.width) + "x" + std::to_string(param.param.height);
    });

// The wide-span converters against the plain definition on arbitrary samples, out-of-range ones
// included (a damaged stream's), for every depth and byte order, with spans that end mid-step.
TEST(CopyVideoFrameRows, DeepRowsEqualThePlainDefinitionForEverySampleValue)
{
    std::mt19937 random(7);
    constexpr int kPairs = 37;
    std::vector<uint8_t> y(4 * kPairs), cb(4 * kPairs), cr(4 * kPairs);
    for (auto* plane : {&y, &cb, &cr})
        for (uint8_t& b : *plane)
            b = uint8_t(random());
    auto sample = [](const std::vector<uint8_t>& plane, int x, int bits, bool be) {
        const unsigned v = be ? unsigned(plane[size_t(2 * x)] << 8 | plane[size_t(2 * x + 1)])
                              : unsigned(plane[size_t(2 * x + 1)] << 8 | plane[size_t(2 * x)]);
        return std::min(v, (1u << bits) - 1u);
    };
    for (const int bits : {10, 12, 16})
        for (const bool be : {false, true}) {
            const int down = bits - 8;
            std::vector<uint8_t> got422(4 * kPairs), got444(4 * kPairs);
            ss2vuy::row422Deep(y.data(), cb.data(), cr.data(), got422.data(), kPairs, bits, be);
            ss2vuy::row444Deep(y.data(), cb.data(), cr.data(), got444.data(), kPairs, bits, be);
            for (int p = 0; p < kPairs; ++p) {
                const uint8_t y0 = uint8_t(sample(y, 2 * p, bits, be) >> down);
                const uint8_t y1 = uint8_t(sample(y, 2 * p + 1, bits, be) >> down);
                const uint8_t want422[4] = {uint8_t(sample(cb, p, bits, be) >> down), y0,
                                            uint8_t(sample(cr, p, bits, be) >> down), y1};
                const uint8_t want444[4] = {
                    uint8_t(((sample(cb, 2 * p, bits, be) + sample(cb, 2 * p + 1, bits, be) + 1) >> 1) >> down), y0,
                    uint8_t(((sample(cr, 2 * p, bits, be) + sample(cr, 2 * p + 1, bits, be) + 1) >> 1) >> down), y1};
                for (int i = 0; i < 4; ++i) {
                    ASSERT_EQ(got422[size_t(4 * p + i)], want422[i]) << bits << " bits, pair " << p << " byte " << i;
                    ASSERT_EQ(got444[size_t(4 * p + i)], want444[i]) << bits << " bits, pair " << p << " byte " << i;
                }
            }
        }
}
