// Textures loaded through the display: every layout uploads, the cache counts uses, missing and
// unusable files give their codes and log lines.
#include "engine/display/ssDisplayGL.h"
#include "engine/texture/ssTexture.h"
#include "tests/engine/display/DisplayFixture.h"
#include "tests/engine/texture/samples/TextureSamples.h"

#include <png.h>

namespace {

// The texel at (x, y) of a rectangle texture, read through a framebuffer.
std::vector<uint8_t> texel(const ssTexture* texture, int x, int y)
{
    GLuint framebuffer = 0;
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_RECTANGLE,
        static_cast<GLuint>(texture->glName), 0);
    std::vector<uint8_t> out(4);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &framebuffer);
    return out;
}

} // namespace

TEST_F(DisplayTest, EveryTextureLayoutUploadsWithoutGLError)
{
    const Bytes quad24 = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
    WriteResource("t/targa24.tga", samples::targa(2, 2, 24, quad24));
    WriteResource("t/targa32.tga", samples::targa(2, 2, 32, samples::solid(2, 2, {1, 2, 3, 4})));
    WriteResource("t/raw.bin", samples::raw(2, 2, {9, 9, 9, 9}));
    WriteResource("t/c2.bin", samples::container(0xABCD0002, 2, 2, 4, Bytes(8, 0xFF)));
    WriteResource("t/c2rgb.bin", samples::container(0xABCD0002, 2, 2, 0, Bytes(8, 0xFF)));
    WriteResource("t/jpeg.jpg", samples::jpeg(9, 7, 3, samples::solid(9, 7, {0, 200, 0})));
    WriteResource("t/jpeg565.jpg", samples::jpeg(9, 7, 3, samples::solid(9, 7, {0, 200, 0})));
    WriteResource("t/png.png", samples::png(3, 3, PNG_COLOR_TYPE_RGBA, 8, samples::solid(3, 3, {0, 0, 255, 255})));
    WriteResource("t/pair.bin", samples::jpegContainer(samples::jpeg(8, 8, 3, samples::solid(8, 8, {9, 9, 9})), nullptr, 0));

    ssDisplayGL display(1.0f, Root().c_str());
    display.Init(64, 64, 32, 0);
    const struct
    {
        const char* name;
        int32_t type;
        int32_t code;
    } files[] = {{"targa24.tga", ssTexAsSource, ssTexOK}, {"targa32.tga", ssTexAsSource, ssTexOK},
        {"raw.bin", ssTexAsSource, ssTexRawLoaded}, {"c2.bin", ssTexAsSource, ssTexRawLoaded},
        {"c2rgb.bin", ssTexAsSource, ssTexRawLoaded}, {"jpeg.jpg", ssTexRGBA, ssTexOK},
        {"jpeg565.jpg", ssTexRGB565, ssTexOK}, {"png.png", ssTexAsSource, ssTexOK},
        {"pair.bin", ssTexRGB, ssTexRawLoaded}};
    for (const auto& f : files) {
        ssTexture* texture = display.LoadTexture(f.name, "t", "", f.type, 0);
        ASSERT_NE(texture, nullptr) << f.name;
        EXPECT_EQ(display.GetLastError(), f.code) << f.name;
        EXPECT_NE(texture->glName, -1) << f.name;
        EXPECT_GT(texture->width, 0) << f.name;
        EXPECT_EQ(texture->type, f.type == ssTexAsSource ? texture->type : f.type == ssTexRGB ? ssTexRGB565 : f.type)
            << f.name;
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << f.name;
    }

    // The Targa's top-left red is at texel row 0 (memory row 0 is the picture's top).
    ssTexture* targa = display.LoadTexture("targa24.tga", "t", "", ssTexAsSource, 0);
    EXPECT_EQ(texel(targa, 0, 0), (std::vector<uint8_t>{255, 0, 0, 255}));
    EXPECT_EQ(texel(targa, 1, 1), (std::vector<uint8_t>{255, 255, 255, 255}));
    ssTexture* png = display.LoadTexture("png.png", "t", "", ssTexAsSource, 0);
    EXPECT_EQ(texel(png, 2, 2), (std::vector<uint8_t>{0, 0, 255, 255}));
}

TEST_F(DisplayTest, SameTextureTwiceIsOneObjectWithTwoUses)
{
    WriteResource("a.tga", samples::targa(1, 1, 24, {1, 2, 3}));
    ssDisplayGL display(1.0f, Root().c_str());
    display.Init(16, 16, 32, 0);
    ssTexture* first = display.LoadTexture("a.tga", "", "", ssTexAsSource, 1);
    ssTexture* second = display.LoadTexture("A.TGA", "", "", ssTexAsSource, 1);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first->useCount, 2);
    EXPECT_EQ(display.GetTextureCount(), 1);
}

TEST_F(DisplayTest, MissingUndecodableAndCompressedTextures)
{
    WriteResource("grey.png", samples::png(2, 2, PNG_COLOR_TYPE_GRAY, 8, {1, 2, 3, 4}));
    WriteResource("dxt.bin", samples::container(0xABCD0001, 4, 4, 4, Bytes(16, 0x33)));
    ssDisplayGL display(1.0f, Root().c_str());
    display.Init(16, 16, 32, 0);

    testsupport::EngineLog log;
    EXPECT_EQ(display.LoadTexture("nothing.png", "", "", ssTexAsSource, 0), nullptr);
    EXPECT_EQ(display.GetLastError(), ssTexFileMissing);

    ssTexture* grey = display.LoadTexture("grey.png", "", "", ssTexAsSource, 0);
    ASSERT_NE(grey, nullptr);
    EXPECT_EQ(display.GetLastError(), ssTexDecodeFailed);
    EXPECT_EQ(grey->width, 0);

    // No upload path for compressed containers: refused, left empty, never a GL error.
    ssTexture* compressed = display.LoadTexture("dxt.bin", "", "", ssTexAsSource, 0);
    ASSERT_NE(compressed, nullptr);
    EXPECT_EQ(compressed->width, 0);
    EXPECT_TRUE(compressed->pixels.empty());
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    const std::string text = log.Text();
    EXPECT_NE(text.find("Could not load texture nothing.png\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Loading compressed - with alpha\n"), std::string::npos) << text;
    EXPECT_NE(text.find("refused"), std::string::npos) << text;
}

TEST_F(DisplayTest, SlateComesFromTheBuiltArchive)
{
    ssDisplayGL display(1.0f, BuiltResources().c_str());
    display.Init(16, 16, 32, 0);
    ssTexture* slate = display.LoadTexture("Slate.jpg", "", "misc.ark", ssTexAsSource, 1);
    ASSERT_NE(slate, nullptr);
    EXPECT_EQ(display.GetLastError(), ssTexOK);
    EXPECT_EQ(slate->width, 1920);
    EXPECT_EQ(slate->height, 1080);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
