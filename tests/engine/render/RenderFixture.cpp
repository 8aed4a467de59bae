#include "tests/engine/render/RenderFixture.h"

#include <cstdlib>

void RenderTest::SetUp()
{
    context_ = ssGLContext::CreateEngineContext();
    ASSERT_TRUE(context_) << "no EGL context";
    ASSERT_TRUE(context_->MakeCurrent());
    while (glGetError() != GL_NO_ERROR) {
    }
    render_ = std::make_unique<ssMediaRender>(BuiltResources().c_str());
    // These tests draw; the direct card frames are compared with the drawn ones on their own.
    render_->SetCardFrameWay(ssCardFrameWay::ThroughGL);
}

void RenderTest::TearDown()
{
    if (!context_)
        return;
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    render_.reset();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    context_->DoneCurrent();
}

void RenderTest::Configure(int width, int height, int outputWidth, int outputHeight, bool screen, bool interlaced,
    float rate)
{
    ssRenderOutputMode mode;
    mode.width = outputWidth;
    mode.height = outputHeight;
    mode.interlaced = interlaced ? 1 : 0;
    mode.frameRate = rate;
    mode.textureOutput = screen ? 1 : 0;
    render_->ConfigureOutput(mode);
    ASSERT_EQ(render_->LoadShaders(), 0);
    render_->SetFrameDuration(1.0 / 25.0);
    render_->SetDisplaySize(width, height);
    ASSERT_EQ(render_->CreateUploadTextures(width, height), 0);
    ASSERT_EQ(render_->CreateFrameTargets(outputWidth, outputHeight), 0);
    ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

Pair RenderTest::At(const ssRenderSlot* slot, int p, int r)
{
    const uint8_t* px = slot->pixels + size_t(r) * size_t(slot->rowBytes) + size_t(p) * 4;
    return Pair{px[0], px[1], px[2], px[3]};
}

std::vector<uint8_t> RenderTest::ReadTexture(uint32_t texture, int width, int height)
{
    GLuint framebuffer = 0;
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_RECTANGLE, texture, 0);
    std::vector<uint8_t> out(size_t(width) * size_t(height) * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &framebuffer);
    return out;
}

std::string RenderTest::BuiltResources()
{
    const char* build = std::getenv("KLV_BINARY_DIR");
    return std::string(build ? build : ".") + "/resources";
}

Pair barColour(int bar)
{
    // White, yellow, cyan, green, magenta, red, blue, black at 75 %.
    static const uint8_t ycc[8][3] = {{180, 128, 128}, {162, 44, 142}, {131, 156, 44}, {112, 72, 58},
        {84, 184, 198}, {65, 100, 212}, {35, 212, 114}, {16, 128, 128}};
    const auto& c = ycc[bar & 7];
    return Pair{c[1], c[0], c[2], c[0]};
}
