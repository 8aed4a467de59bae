#include "platform/encode/PixelConvert.h"

#include <gtest/gtest.h>

#include <vector>

using namespace platform::encode;

namespace {

// A 6 x 2 '2vuy' picture with row padding: pair p of row r has U = 10 + 40r + 4p, Y0 = U + 1,
// V = U + 2, Y1 = U + 3.
struct Source {
    static constexpr int kWidth = 6;
    static constexpr int kHeight = 2;
    static constexpr int kRowBytes = 16;
    std::vector<uint8_t> bytes = std::vector<uint8_t>(kRowBytes * kHeight, 0xEE);
    Source()
    {
        for (int r = 0; r < kHeight; ++r)
            for (int p = 0; p < kWidth / 2; ++p)
                for (int b = 0; b < 4; ++b)
                    bytes[size_t(r * kRowBytes + 4 * p + b)] = uint8_t(10 + 40 * r + 4 * p + b);
    }
    int u(int r, int p) const { return 10 + 40 * r + 4 * p; }
};

} // namespace

TEST(PixelConvert, FourTwoTwoKeepsEverySampleShiftedToTenBits)
{
    Source s;
    // Strides in bytes, wider than the rows, to catch a converter that ignores them.
    std::vector<uint16_t> y(8 * 2, 0xFFFF), cb(4 * 2, 0xFFFF), cr(4 * 2, 0xFFFF);
    uyvyToYuv422p10(s.bytes.data(), Source::kRowBytes, Source::kWidth, Source::kHeight, y.data(), 16, cb.data(), 8,
                    cr.data(), 8);
    for (int r = 0; r < 2; ++r) {
        for (int p = 0; p < 3; ++p) {
            EXPECT_EQ(cb[size_t(r * 4 + p)], s.u(r, p) << 2);
            EXPECT_EQ(cr[size_t(r * 4 + p)], (s.u(r, p) + 2) << 2);
            EXPECT_EQ(y[size_t(r * 8 + 2 * p)], (s.u(r, p) + 1) << 2);
            EXPECT_EQ(y[size_t(r * 8 + 2 * p + 1)], (s.u(r, p) + 3) << 2);
        }
        // Padding of the destination rows stays untouched.
        EXPECT_EQ(y[size_t(r * 8 + 6)], 0xFFFF);
        EXPECT_EQ(cb[size_t(r * 4 + 3)], 0xFFFF);
    }
}

TEST(PixelConvert, FourFourFourInterpolatesBetweenPairsAndRepeatsAtTheRightEdge)
{
    Source s;
    std::vector<uint16_t> y(6 * 2), cb(6 * 2), cr(6 * 2);
    uyvyToYuv444p10(s.bytes.data(), Source::kRowBytes, Source::kWidth, Source::kHeight, y.data(), 12, cb.data(), 12,
                    cr.data(), 12);
    for (int r = 0; r < 2; ++r) {
        for (int p = 0; p < 3; ++p) {
            const int next = p + 1 < 3 ? s.u(r, p + 1) : s.u(r, p);
            EXPECT_EQ(cb[size_t(r * 6 + 2 * p)], s.u(r, p) << 2) << r << p;
            EXPECT_EQ(cb[size_t(r * 6 + 2 * p + 1)], (s.u(r, p) + next) << 1) << r << p;
            EXPECT_EQ(cr[size_t(r * 6 + 2 * p + 1)], (s.u(r, p) + 2 + next + 2) << 1) << r << p;
            EXPECT_EQ(y[size_t(r * 6 + 2 * p + 1)], (s.u(r, p) + 3) << 2);
        }
    }
}
