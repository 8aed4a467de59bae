// Texture files decoded from memory, checked pixel by pixel against files built from the outside.
#include "engine/texture/ssTextureLoader.h"
#include "tests/engine/texture/samples/TextureSamples.h"

#include <gtest/gtest.h>
#include <png.h>

namespace {

struct Decoded
{
    ssTexture texture;
    int32_t result = 0;
};

Decoded decode(const Bytes& file, int32_t type = ssTexAsSource, float scale = 1.0f)
{
    Decoded d;
    d.result = ssTextureDecode(&d.texture, file.data(), file.size(), type, scale);
    return d;
}

Bytes pixelAt(const ssTexture& t, int x, int y, int bpp)
{
    const size_t at = (static_cast<size_t>(y) * t.width + x) * bpp;
    return Bytes(t.pixels.begin() + static_cast<std::ptrdiff_t>(at), t.pixels.begin() + static_cast<std::ptrdiff_t>(at + bpp));
}

// 2 x 2, top row red then green, bottom row blue then white.
const Bytes quad24 = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};

} // namespace

TEST(TextureTarga, TwentyFourBitComesOutRgbTopRowFirst)
{
    const Decoded d = decode(samples::targa(2, 2, 24, quad24));
    EXPECT_EQ(d.result, ssTexOK);
    EXPECT_EQ(d.texture.type, ssTexRGB);
    ASSERT_EQ(d.texture.width, 2);
    ASSERT_EQ(d.texture.height, 2);
    // The file stores the bottom row first; memory holds the top row first.
    EXPECT_EQ(d.texture.pixels, quad24);
}

TEST(TextureTarga, LayoutsIdFieldOriginAndRunLength)
{
    const Bytes quad32 = {255, 0, 0, 10, 0, 255, 0, 20, 0, 0, 255, 30, 255, 255, 255, 40};
    Decoded d = decode(samples::targa(2, 2, 32, quad32, false, "an identification field"));
    EXPECT_EQ(d.result, ssTexOK);
    EXPECT_EQ(d.texture.type, ssTexRGBA);
    EXPECT_EQ(d.texture.pixels, quad32);

    d = decode(samples::targa(2, 2, 24, quad24, true));
    EXPECT_EQ(d.result, ssTexOK);
    EXPECT_EQ(d.texture.pixels, quad24);

    d = decode(samples::targa(2, 2, 24, quad24, false, {}, true));
    EXPECT_EQ(d.texture.pixels, quad24);

    // A 24-bit picture asked for as RGBA gets opaque alpha, not a short buffer.
    d = decode(samples::targa(2, 2, 24, quad24), ssTexRGBA);
    EXPECT_EQ(d.texture.type, ssTexRGBA);
    EXPECT_EQ(pixelAt(d.texture, 1, 0, 4), (Bytes{0, 255, 0, 255}));
}

TEST(TextureTarga, RunsAreBoundedAndTruncationFails)
{
    // One run of 128 pixels for a 2 x 2 picture: the run stops at the picture's end.
    Bytes file = samples::targa(2, 2, 24, quad24, true);
    file.resize(18);
    file.insert(file.end(), {0xFF, 1, 2, 3});
    Decoded d = decode(file);
    EXPECT_EQ(d.result, ssTexOK);
    EXPECT_EQ(d.texture.pixels, (Bytes{3, 2, 1, 3, 2, 1, 3, 2, 1, 3, 2, 1}));

    file = samples::targa(2, 2, 24, quad24, true);
    file.pop_back();
    d = decode(file);
    EXPECT_EQ(d.result, ssTexDecodeFailed);
    EXPECT_TRUE(d.texture.pixels.empty());
    EXPECT_EQ(d.texture.width, 0);

    file = samples::targa(2, 2, 24, quad24);
    file.resize(file.size() - 1);
    EXPECT_EQ(decode(file).result, ssTexDecodeFailed);

    file = samples::targa(2, 2, 24, quad24);
    file[16] = 16; // 16-bit Targa: no layout here
    EXPECT_EQ(decode(file).result, ssTexDecodeFailed);
}

TEST(TextureRawAndContainers, RawIndexedAndDataContainers)
{
    Decoded d = decode(samples::raw(3, 2, {1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(d.result, ssTexRawLoaded);
    EXPECT_EQ(d.texture.type, ssTexIndexed8);
    EXPECT_EQ(d.texture.pixels, (Bytes{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(decode(samples::raw(3, 2, {1, 2, 3})).result, ssTexDecodeFailed);
    EXPECT_EQ(decode(samples::raw(-3, 2, {})).result, ssTexDecodeFailed);

    const Bytes data(2 * 2 * 2, 0x5A);
    d = decode(samples::container(0xABCD0002, 2, 2, 4, data));
    EXPECT_EQ(d.result, ssTexRawLoaded);
    EXPECT_EQ(d.texture.type, ssTexRGBA4444);
    EXPECT_EQ(d.texture.pixels, data);
    EXPECT_EQ(decode(samples::container(0xABCD0002, 2, 2, 0, data)).texture.type, ssTexRGB565);
    EXPECT_EQ(decode(samples::container(0xABCD0002, 4, 4, 0, data)).result, ssTexDecodeFailed);

    EXPECT_EQ(decode(samples::container(0xABCD0001, 4, 4, 4, data)).texture.type, ssTexCompressedAlpha);
    EXPECT_EQ(decode(samples::container(0xABCD0001, 4, 4, 0, data)).texture.type, ssTexCompressed);
    d = decode(samples::container(0xABCD0003, 4, 4, 0, data));
    EXPECT_EQ(d.result, ssTexRawLoaded);
    EXPECT_EQ(d.texture.type, ssTexCompressed3);

    Bytes shortHeader = samples::container(0xABCD0001, 4, 4, 0, {});
    shortHeader.resize(40);
    EXPECT_EQ(decode(shortHeader).result, ssTexDecodeFailed);
}

TEST(TextureJpeg, ColourOrderFullWidthAndGrey)
{
    // Opaque red must stay red when asked for as RGBA.
    Decoded d = decode(samples::jpeg(16, 8, 3, samples::solid(16, 8, {250, 10, 10})), ssTexRGBA);
    EXPECT_EQ(d.result, ssTexOK);
    EXPECT_EQ(d.texture.type, ssTexRGBA);
    const Bytes p = pixelAt(d.texture, 5, 5, 4);
    EXPECT_NEAR(p[0], 250, 6);
    EXPECT_NEAR(p[1], 10, 6);
    EXPECT_NEAR(p[2], 10, 6);
    EXPECT_EQ(p[3], 255);

    // Wide pictures keep every column: the right half is white, to the last pixel.
    const int wide = 2100;
    Bytes pixels(static_cast<size_t>(wide) * 8 * 3, 0);
    for (int y = 0; y < 8; ++y)
        for (int x = wide / 2; x < wide; ++x)
            for (int c = 0; c < 3; ++c)
                pixels[(static_cast<size_t>(y) * wide + x) * 3 + c] = 255;
    d = decode(samples::jpeg(wide, 8, 3, pixels), ssTexAsSource);
    EXPECT_EQ(d.texture.type, ssTexRGB);
    ASSERT_EQ(d.texture.width, wide);
    EXPECT_GT(pixelAt(d.texture, wide - 1, 4, 3)[0], 240);
    EXPECT_LT(pixelAt(d.texture, 10, 4, 3)[0], 15);

    d = decode(samples::jpeg(8, 8, 1, samples::solid(8, 8, {128})));
    EXPECT_EQ(d.result, ssTexOK);
    EXPECT_EQ(d.texture.type, ssTexRGB);
    EXPECT_EQ(d.texture.pixels.size(), 8u * 8 * 3);

    d = decode(samples::jpeg(8, 8, 3, samples::solid(8, 8, {255, 255, 255})), ssTexRGB565);
    EXPECT_EQ(d.texture.type, ssTexRGB565);
    EXPECT_EQ(pixelAt(d.texture, 1, 1, 2), (Bytes{0xFF, 0xFF}));

    EXPECT_EQ(decode(Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10}).result, ssTexDecodeFailed);
}

TEST(TextureJpeg, ContainerPicksByDisplayScale)
{
    const Bytes small = samples::jpeg(8, 8, 3, samples::solid(8, 8, {0, 0, 255}));
    const Bytes large = samples::jpeg(20, 12, 3, samples::solid(20, 12, {255, 0, 0}));
    const Bytes file = samples::jpegContainer(small, &large, 0);

    Decoded d = decode(file, ssTexAsSource, 1.0f);
    EXPECT_EQ(d.result, ssTexRawLoaded);
    EXPECT_EQ(d.texture.type, ssTexRGB);
    // Sizes are rounded up to powers of two, the picture in the top-left corner.
    EXPECT_EQ(d.texture.width, 32);
    EXPECT_EQ(d.texture.height, 16);
    EXPECT_GT(pixelAt(d.texture, 19, 11, 3)[0], 240);
    EXPECT_EQ(pixelAt(d.texture, 25, 14, 3), (Bytes{0, 0, 0}));

    d = decode(file, ssTexAsSource, 0.5f);
    EXPECT_EQ(d.texture.width, 8);
    EXPECT_GT(pixelAt(d.texture, 3, 3, 3)[2], 240);

    EXPECT_EQ(decode(samples::jpegContainer(small, nullptr, 4)).texture.type, ssTexRGBA);
    EXPECT_EQ(decode(samples::jpegContainer(small, nullptr, 0), ssTexRGB).texture.type, ssTexRGB565);

    Bytes lying = file;
    lying[28] = 0xFF; // second size beyond the file
    EXPECT_EQ(decode(lying).result, ssTexDecodeFailed);
}

TEST(TexturePng, LayoutsAndRefusals)
{
    Decoded d = decode(samples::png(2, 2, PNG_COLOR_TYPE_RGB, 8, quad24));
    EXPECT_EQ(d.result, ssTexOK);
    EXPECT_EQ(d.texture.type, ssTexRGB);
    EXPECT_EQ(d.texture.pixels, quad24);

    const Bytes rgba = {1, 2, 3, 4, 5, 6, 7, 8};
    d = decode(samples::png(2, 1, PNG_COLOR_TYPE_RGBA, 8, rgba));
    EXPECT_EQ(d.texture.type, ssTexRGBA);
    EXPECT_EQ(d.texture.pixels, rgba);

    d = decode(samples::png(2, 2, PNG_COLOR_TYPE_RGB, 8, quad24), ssTexRGB565);
    EXPECT_EQ(d.texture.type, ssTexRGB565);
    EXPECT_EQ(pixelAt(d.texture, 0, 0, 2), (Bytes{0x00, 0xF8}));

    // 16-bit samples are reduced to 8 bits rather than uploaded in no format.
    const Bytes deep = {0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0};
    d = decode(samples::png(2, 1, PNG_COLOR_TYPE_RGB, 16, deep));
    EXPECT_EQ(d.result, ssTexOK);
    EXPECT_EQ(d.texture.pixels, (Bytes{255, 0, 0, 0, 255, 0}));

    d = decode(samples::png(2, 2, PNG_COLOR_TYPE_GRAY, 8, {1, 2, 3, 4}));
    EXPECT_EQ(d.result, ssTexDecodeFailed);
    EXPECT_EQ(d.texture.width, 0);
    EXPECT_TRUE(d.texture.pixels.empty());
    EXPECT_EQ(decode(samples::png(2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {1, 2, 3, 4})).result, ssTexDecodeFailed);

    Bytes truncated = samples::png(2, 2, PNG_COLOR_TYPE_RGB, 8, quad24);
    truncated.resize(truncated.size() / 2);
    EXPECT_EQ(decode(truncated).result, ssTexDecodeFailed);
}
