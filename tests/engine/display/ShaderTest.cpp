// The seven conversion programs: they compile and link from the built resources, and they carry
// packed 4:2:2 pictures through full resolution and back, weave fields, and convert BT.601.
#include "engine/display/ssDisplayGL.h"
#include "engine/display/ssShader.h"
#include "tests/engine/display/DisplayFixture.h"

namespace {

const char* const programs[] = {"YUV2Out", "YUV2In", "DeinterlaceEven", "DeinterlaceOdd", "Interlace",
    "RGB2YUV601", "YUV2RGB601"};

GLuint makeTexture(int width, int height, GLenum format, GLenum type, const void* pixels)
{
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_RECTANGLE, texture);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_RECTANGLE, 0, GL_RGBA8, width, height, 0, format, type, pixels);
    return texture;
}

// Draws a full-viewport quad whose texture coordinates run over s 0..sw and t 0..th, into
// `target`, and reads the target back in the given layout.
std::vector<uint8_t> render(GLuint program, GLuint target, int width, int height, float sw, float th,
    GLenum format = GL_RGBA, GLenum type = GL_UNSIGNED_BYTE)
{
    GLuint framebuffer = 0;
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_RECTANGLE, target, 0);
    EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
    glViewport(0, 0, width, height);
    glUseProgram(program);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(-1, -1);
    glTexCoord2f(sw, 0);
    glVertex2f(1, -1);
    glTexCoord2f(sw, th);
    glVertex2f(1, 1);
    glTexCoord2f(0, th);
    glVertex2f(-1, 1);
    glEnd();
    glUseProgram(0);
    std::vector<uint8_t> out(static_cast<size_t>(width) * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, format, type, out.data());
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &framebuffer);
    return out;
}

void setColourAdjust(GLuint program)
{
    glUseProgram(program);
    glUniform1i(glGetUniformLocation(program, "texUnitY"), 0);
    glUniform1f(glGetUniformLocation(program, "cosHue"), 1.0f);
    glUniform1f(glGetUniformLocation(program, "sinHue"), 0.0f);
    glUniform1f(glGetUniformLocation(program, "saturation"), 1.0f);
    glUniform1f(glGetUniformLocation(program, "brightness"), 0.0f);
    glUniform1f(glGetUniformLocation(program, "contrast"), 1.0f);
    glUseProgram(0);
}

class ShaderTest : public DisplayTest
{
protected:
    void SetUp() override
    {
        DisplayTest::SetUp();
        BindTarget(64, 64);
        display_ = std::make_unique<ssDisplayGL>(1.0f, BuiltResources().c_str());
        display_->Init(64, 64, 32, 0);
    }
    void TearDown() override
    {
        display_.reset();
        DisplayTest::TearDown();
    }
    GLuint Load(const char* name)
    {
        ssShader shader;
        EXPECT_EQ(display_->LoadShader(&shader, name), 0) << name;
        return shader.program;
    }
    std::unique_ptr<ssDisplayGL> display_;
};

} // namespace

TEST_F(ShaderTest, EveryProgramCompilesAndLinks)
{
    for (const char* name : programs) {
        ssShader shader;
        EXPECT_EQ(display_->LoadShader(&shader, name), 0) << name;
        EXPECT_NE(shader.program, 0u) << name;
        ssDeleteShader(&shader);
    }
}

TEST_F(ShaderTest, BrokenOrMissingSourcesAreReportedAsFailures)
{
    WriteResource("Bad.vert", {});
    const std::string vertex = "#version 120\nvoid main() { gl_Position = ftransform(); }\n";
    const std::string fragment = "#version 120\nvoid main() { gl_FragColor = undefinedThing; }\n";
    WriteResource("Bad.vert", std::vector<uint8_t>(vertex.begin(), vertex.end()));
    WriteResource("Bad.frag", std::vector<uint8_t>(fragment.begin(), fragment.end()));
    ssDisplayGL display(1.0f, Root().c_str());
    display.Init(16, 16, 32, 0);

    testsupport::EngineLog log;
    ssShader shader;
    EXPECT_NE(display.LoadShader(&shader, "Bad"), 0);
    EXPECT_EQ(shader.program, 0u);
    EXPECT_NE(display.LoadShader(&shader, "Absent"), 0);
    const std::string text = log.Text();
    EXPECT_NE(text.find("Shader Error:Compile FS\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Shader Error:Load VS\n"), std::string::npos) << text;
}

TEST_F(ShaderTest, PackedFrameSurvivesTheRoundTripThroughFullResolution)
{
    // 8 x 2 pixels of '2vuy' (Cb Y0 Cr Y1 per pair); chroma constant so the round trip is exact.
    const int width = 8;
    const int height = 2;
    std::vector<uint8_t> frame;
    for (int y = 0; y < height; ++y)
        for (int pair = 0; pair < width / 2; ++pair)
            frame.insert(frame.end(), {90, static_cast<uint8_t>(20 + 25 * pair + y), 200,
                                          static_cast<uint8_t>(30 + 25 * pair + y)});
    const GLuint packed = makeTexture(width / 2, height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, frame.data());
    const GLuint full = makeTexture(width, height, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    const GLuint back = makeTexture(width / 2, height, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);

    const GLuint in = Load("YUV2In");
    setColourAdjust(in);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_RECTANGLE, packed);
    const std::vector<uint8_t> ycc = render(in, full, width, height, width, height);
    for (int x = 0; x < width; ++x) {
        const uint8_t* p = &ycc[static_cast<size_t>(width + x) * 4]; // second row
        const int pair = x / 2;
        EXPECT_NEAR(p[0], (x % 2 ? 30 : 20) + 25 * pair + 1, 1) << x;
        EXPECT_NEAR(p[1], 90, 1) << x;
        EXPECT_NEAR(p[2], 200, 1) << x;
    }

    const GLuint out = Load("YUV2Out");
    glUseProgram(out);
    glUniform1i(glGetUniformLocation(out, "inputTex"), 0);
    glUniform1f(glGetUniformLocation(out, "xInc"), 1.0f);
    glBindTexture(GL_TEXTURE_RECTANGLE, full);
    const std::vector<uint8_t> bytes
        = render(out, back, width / 2, height, width, height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV);
    ASSERT_EQ(bytes.size(), frame.size());
    for (size_t i = 0; i < frame.size(); ++i)
        EXPECT_NEAR(bytes[i], frame[i], 1) << "byte " << i;
    GLuint textures[] = {packed, full, back};
    glDeleteTextures(3, textures);
}

TEST_F(ShaderTest, InterlaceWeavesAndDeinterlaceKeepsItsField)
{
    // Two full-resolution frames (Y, Cb, Cr, A): luma 50 and 200.
    const std::vector<uint8_t> first(4 * 4 * 4, 0), second(4 * 4 * 4, 0);
    std::vector<uint8_t> a = first, b = second;
    for (size_t i = 0; i < a.size(); i += 4) {
        a[i] = 50, a[i + 1] = 128, a[i + 2] = 128, a[i + 3] = 255;
        b[i] = 200, b[i + 1] = 128, b[i + 2] = 128, b[i + 3] = 255;
    }
    const GLuint frameA = makeTexture(4, 4, GL_RGBA, GL_UNSIGNED_BYTE, a.data());
    const GLuint frameB = makeTexture(4, 4, GL_RGBA, GL_UNSIGNED_BYTE, b.data());
    const GLuint woven = makeTexture(2, 4, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    const GLuint interlace = Load("Interlace");
    glUseProgram(interlace);
    glUniform1i(glGetUniformLocation(interlace, "inputTex0"), 1);
    glUniform1i(glGetUniformLocation(interlace, "inputTex1"), 0);
    glUniform1f(glGetUniformLocation(interlace, "xInc"), 1.0f);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_RECTANGLE, frameA);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_RECTANGLE, frameB);
    const std::vector<uint8_t> bytes = render(interlace, woven, 2, 4, 4, 4, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV);
    for (int line = 0; line < 4; ++line) {
        const uint8_t luma = bytes[static_cast<size_t>(line) * 8 + 1];
        EXPECT_NEAR(luma, line % 2 ? 200 : 50, 1) << "line " << line;
    }

    // Packed field picture: even lines luma 40 and 60, odd lines 200; the even field is kept and
    // the odd lines between are interpolated.
    std::vector<uint8_t> packed;
    const uint8_t lumas[] = {40, 200, 60, 200};
    for (uint8_t l : lumas)
        for (int pair = 0; pair < 2; ++pair)
            packed.insert(packed.end(), {128, l, 128, l});
    const GLuint fields = makeTexture(2, 4, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, packed.data());
    const GLuint frame = makeTexture(4, 4, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    const GLuint even = Load("DeinterlaceEven");
    setColourAdjust(even);
    glBindTexture(GL_TEXTURE_RECTANGLE, fields);
    const std::vector<uint8_t> ycc = render(even, frame, 4, 4, 4, 4);
    EXPECT_NEAR(ycc[0 * 16], 40, 1);
    EXPECT_NEAR(ycc[1 * 16], 50, 1);
    EXPECT_NEAR(ycc[2 * 16], 60, 1);
    GLuint textures[] = {frameA, frameB, woven, fields, frame};
    glDeleteTextures(5, textures);
}

TEST_F(ShaderTest, Rec601ConversionsBothWays)
{
    const uint8_t rgb[] = {255, 0, 0, 200};
    const GLuint red = makeTexture(1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgb);
    const GLuint target = makeTexture(1, 1, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    const GLuint toYuv = Load("RGB2YUV601");
    glUseProgram(toYuv);
    glUniform1i(glGetUniformLocation(toYuv, "inputTex"), 0);
    glUniform1f(glGetUniformLocation(toYuv, "alpha"), 0.5f);
    glBindTexture(GL_TEXTURE_RECTANGLE, red);
    const std::vector<uint8_t> ycc = render(toYuv, target, 1, 1, 1, 1);
    EXPECT_NEAR(ycc[0], 81, 1);
    EXPECT_NEAR(ycc[1], 90, 1);
    EXPECT_NEAR(ycc[2], 240, 1);
    EXPECT_NEAR(ycc[3], 100, 1);

    const uint8_t white[] = {235, 128, 128, 255};
    const GLuint source = makeTexture(1, 1, GL_RGBA, GL_UNSIGNED_BYTE, white);
    const GLuint toRgb = Load("YUV2RGB601");
    glUseProgram(toRgb);
    glUniform1i(glGetUniformLocation(toRgb, "inputTex"), 0);
    glBindTexture(GL_TEXTURE_RECTANGLE, source);
    const std::vector<uint8_t> out = render(toRgb, target, 1, 1, 1, 1);
    EXPECT_NEAR(out[0], 255, 1);
    EXPECT_NEAR(out[1], 255, 1);
    EXPECT_NEAR(out[2], 255, 1);
    GLuint textures[] = {red, target, source};
    glDeleteTextures(3, textures);
}
