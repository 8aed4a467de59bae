#include "platform/testpattern/FrameBarcode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

using platform::BarcodePixels;
using platform::FrameBarcode;

namespace {

struct Image {
    Image(int w, int h, BarcodePixels l, int padding = 0, std::uint8_t fill = 0x5a)
        : width(w), height(h), layout(l), rowBytes(FrameBarcode::minRowBytes(w, l) + padding),
          bytes(static_cast<std::size_t>(rowBytes) * h, fill)
    {
    }
    bool draw(std::uint32_t index) { return FrameBarcode::draw(index, bytes.data(), width, height, rowBytes, layout); }
    std::optional<std::uint32_t> read() const
    {
        return FrameBarcode::read(bytes.data(), width, height, rowBytes, layout);
    }
    std::uint8_t* row(int y) { return bytes.data() + static_cast<std::ptrdiff_t>(y) * rowBytes; }
    const std::uint8_t* row(int y) const { return bytes.data() + static_cast<std::ptrdiff_t>(y) * rowBytes; }

    int width;
    int height;
    BarcodePixels layout;
    std::ptrdiff_t rowBytes;
    std::vector<std::uint8_t> bytes;
};

// Bilinear resampling of an RGB24 image, as a scaler in a decoder or display would do.
Image scaled(const Image& src, int w, int h)
{
    Image dst(w, h, BarcodePixels::Rgb24);
    for (int y = 0; y < h; ++y) {
        const double sy = std::clamp((y + 0.5) * src.height / h - 0.5, 0.0, src.height - 1.0);
        const int y0 = static_cast<int>(sy);
        const int y1 = std::min(y0 + 1, src.height - 1);
        const double fy = sy - y0;
        for (int x = 0; x < w; ++x) {
            const double sx = std::clamp((x + 0.5) * src.width / w - 0.5, 0.0, src.width - 1.0);
            const int x0 = static_cast<int>(sx);
            const int x1 = std::min(x0 + 1, src.width - 1);
            const double fx = sx - x0;
            for (int c = 0; c < 3; ++c) {
                const double top = src.row(y0)[3 * x0 + c] * (1 - fx) + src.row(y0)[3 * x1 + c] * fx;
                const double bottom = src.row(y1)[3 * x0 + c] * (1 - fx) + src.row(y1)[3 * x1 + c] * fx;
                dst.row(y)[3 * x + c] = static_cast<std::uint8_t>(top * (1 - fy) + bottom * fy + 0.5);
            }
        }
    }
    return dst;
}

// Video-range 4:2:2 to full-range RGB, BT.601.
Image toRgb(const Image& src)
{
    Image dst(src.width, src.height, BarcodePixels::Rgb24);
    for (int y = 0; y < src.height; ++y) {
        for (int x = 0; x < src.width; ++x) {
            const std::uint8_t* pair = src.row(y) + 4 * (x / 2);
            const double luma = (pair[x % 2 ? 3 : 1] - 16) * 255.0 / 219.0;
            const double cb = pair[0] - 128.0, cr = pair[2] - 128.0;
            const double rgb[3] = {luma + 1.596 * cr, luma - 0.392 * cb - 0.813 * cr, luma + 2.017 * cb};
            for (int c = 0; c < 3; ++c)
                dst.row(y)[3 * x + c] = static_cast<std::uint8_t>(std::clamp(rgb[c] + 0.5, 0.0, 255.0));
        }
    }
    return dst;
}

// The luma level of every pixel of one cell column of the band, set to `value` (RGB24 only).
void paintCell(Image& image, int cell, std::uint8_t value)
{
    const auto band = FrameBarcode::band(image.width, image.height);
    const int from = band.x + cell * band.width / FrameBarcode::kCells;
    const int to = band.x + (cell + 1) * band.width / FrameBarcode::kCells;
    for (int y = band.y; y < band.y + band.height; ++y)
        std::fill(image.row(y) + 3 * from, image.row(y) + 3 * to, value);
}

const BarcodePixels kLayouts[] = {BarcodePixels::Rgb24, BarcodePixels::Rgba, BarcodePixels::Bgra,
                                  BarcodePixels::Uyvy422};

} // namespace

TEST(FrameBarcode, RoundTripsEveryLayoutSizeAndPadding)
{
    const std::uint32_t indices[] = {0, 1, 2, 29, 0x800000, 0xabcdef, 0x555555, FrameBarcode::kIndexMask};
    const struct {
        int width, height, padding;
    } sizes[] = {{40, 6, 0}, {41, 7, 3}, {320, 240, 0}, {321, 241, 16}, {720, 480, 0}, {1920, 1080, 128}};
    for (auto layout : kLayouts) {
        for (auto size : sizes) {
            Image image(size.width, size.height, layout, size.padding);
            for (auto index : indices) {
                SCOPED_TRACE(testing::Message() << static_cast<int>(layout) << " " << size.width << "x"
                                                << size.height << " index " << index);
                ASSERT_TRUE(image.draw(index));
                EXPECT_EQ(image.read(), index);
            }
        }
    }
}

TEST(FrameBarcode, IndexWrapsAt24Bits)
{
    Image image(320, 240, BarcodePixels::Rgb24);
    ASSERT_TRUE(image.draw((1u << 24) + 5));
    EXPECT_EQ(image.read(), 5u);
}

TEST(FrameBarcode, DrawsOnlyTheBandAndNeverThePadding)
{
    for (auto layout : kLayouts) {
        Image image(321, 241, layout, 7, 0x5a);
        ASSERT_TRUE(image.draw(0x123456));
        const auto band = FrameBarcode::band(image.width, image.height);
        const std::ptrdiff_t rowUsed = FrameBarcode::minRowBytes(image.width, layout);
        for (int y = 0; y < image.height; ++y) {
            const bool inBand = y >= band.y && y < band.y + band.height;
            for (std::ptrdiff_t b = 0; b < image.rowBytes; ++b) {
                if (inBand && b < rowUsed)
                    continue;
                ASSERT_EQ(image.row(y)[b], 0x5a) << "row " << y << " byte " << b;
            }
        }
    }
}

TEST(FrameBarcode, UyvyUsesVideoLevelsAndNeutralChroma)
{
    Image image(64, 12, BarcodePixels::Uyvy422);
    ASSERT_TRUE(image.draw(0));
    const auto band = FrameBarcode::band(64, 12);
    for (int x = band.x; x + 1 < band.x + band.width; x += 2) {
        const std::uint8_t* pair = image.row(band.y) + 2 * x;
        EXPECT_EQ(pair[0], 128);
        EXPECT_EQ(pair[2], 128);
        EXPECT_TRUE(pair[1] == 16 || pair[1] == 235) << int(pair[1]);
        EXPECT_TRUE(pair[3] == 16 || pair[3] == 235) << int(pair[3]);
    }
}

TEST(FrameBarcode, SurvivesColourConversionAndScaling)
{
    Image yuv(720, 480, BarcodePixels::Uyvy422);
    ASSERT_TRUE(yuv.draw(0x0f1e2d));
    const Image rgb = toRgb(yuv);
    EXPECT_EQ(rgb.read(), 0x0f1e2du);
    EXPECT_EQ(scaled(rgb, 320, 240).read(), 0x0f1e2du);
    EXPECT_EQ(scaled(rgb, 1920, 1080).read(), 0x0f1e2du);
    EXPECT_EQ(scaled(rgb, 160, 90).read(), 0x0f1e2du);
    EXPECT_EQ(scaled(rgb, 160, 200).read(), 0x0f1e2du); // anamorphic
}

TEST(FrameBarcode, SurvivesNoiseAndBlur)
{
    Image image(320, 240, BarcodePixels::Rgb24);
    ASSERT_TRUE(image.draw(0x7a5a5a));
    std::mt19937 random(7);
    std::uniform_int_distribution<int> noise(-40, 40);
    for (auto& byte : image.bytes)
        byte = static_cast<std::uint8_t>(std::clamp(byte + noise(random), 0, 255));
    EXPECT_EQ(image.read(), 0x7a5a5au);

    Image blurred = image;
    for (int y = 0; y < image.height; ++y)
        for (int x = 2; x < image.width - 2; ++x)
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int k = -2; k <= 2; ++k)
                    sum += image.row(y)[3 * (x + k) + c];
                blurred.row(y)[3 * x + c] = static_cast<std::uint8_t>(sum / 5);
            }
    EXPECT_EQ(blurred.read(), 0x7a5a5au);
}

TEST(FrameBarcode, FindsNothingWithoutABarcode)
{
    for (auto layout : kLayouts) {
        Image grey(320, 240, layout, 0, 0x80);
        EXPECT_FALSE(grey.read());
        Image black(320, 240, layout, 0, 0);
        EXPECT_FALSE(black.read());
    }
    Image noise(320, 240, BarcodePixels::Rgb24);
    std::mt19937 random(11);
    for (auto& byte : noise.bytes)
        byte = static_cast<std::uint8_t>(random());
    EXPECT_FALSE(noise.read());

    // Alternate black and white stripes one cell wide look like markers but fail the stop marker
    // or parity.
    Image stripes(320, 240, BarcodePixels::Rgb24);
    for (int cell = 0; cell < FrameBarcode::kCells; ++cell)
        paintCell(stripes, cell, cell % 2 ? 0 : 255);
    EXPECT_FALSE(stripes.read());
}

TEST(FrameBarcode, RefusesDamagedBarcodes)
{
    Image reference(320, 240, BarcodePixels::Rgb24);
    ASSERT_TRUE(reference.draw(0x00ff00));
    for (int cell = 0; cell < FrameBarcode::kCells; ++cell) {
        SCOPED_TRACE(cell);
        Image flipped = reference;
        const auto band = FrameBarcode::band(320, 240);
        const int x = band.x + (2 * cell + 1) * band.width / (2 * FrameBarcode::kCells);
        paintCell(flipped, cell, flipped.row(band.y + band.height / 2)[3 * x] > 128 ? 0 : 255);
        EXPECT_FALSE(flipped.read()); // a single wrong cell breaks a marker or the parity

        Image grey = reference;
        paintCell(grey, cell, 128);
        EXPECT_FALSE(grey.read()); // neither black nor white
    }

    Image faint(320, 240, BarcodePixels::Rgb24);
    ASSERT_TRUE(faint.draw(0x00ff00));
    for (auto& byte : faint.bytes)
        byte = static_cast<std::uint8_t>(110 + byte * 30 / 255);
    EXPECT_FALSE(faint.read());
}

TEST(FrameBarcode, RejectsUnusableBuffers)
{
    std::vector<std::uint8_t> bytes(1920 * 1080 * 4, 0);
    EXPECT_FALSE(FrameBarcode::draw(1, nullptr, 320, 240, 960, BarcodePixels::Rgb24));
    EXPECT_FALSE(FrameBarcode::draw(1, bytes.data(), 39, 240, 39 * 3, BarcodePixels::Rgb24));
    EXPECT_FALSE(FrameBarcode::draw(1, bytes.data(), 320, 5, 960, BarcodePixels::Rgb24));
    EXPECT_FALSE(FrameBarcode::draw(1, bytes.data(), 320, 240, 959, BarcodePixels::Rgb24));
    EXPECT_FALSE(FrameBarcode::draw(1, bytes.data(), 321, 240, 321 * 2, BarcodePixels::Uyvy422));
    EXPECT_FALSE(FrameBarcode::draw(1, bytes.data(), -320, 240, 960, BarcodePixels::Rgb24));
    EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; }));
    EXPECT_FALSE(FrameBarcode::read(nullptr, 320, 240, 960, BarcodePixels::Rgb24));
    EXPECT_FALSE(FrameBarcode::read(bytes.data(), 320, 240, 100, BarcodePixels::Bgra));
    EXPECT_EQ(FrameBarcode::band(10, 10).width, 0);
}
