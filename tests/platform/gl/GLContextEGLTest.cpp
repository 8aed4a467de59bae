// The EGL surfaceless context the engine tests and services run on: compatibility profile,
// rectangle textures, GLSL 1.20, and objects shared between contexts on different threads.
#include "platform/gl/ssGLContextEGL.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace {

std::unique_ptr<ssGLContext> engineContext()
{
    auto context = ssGLContext::CreateEngineContext();
    return context;
}

} // namespace

TEST(GLContextEGL, CompatibilityContextWithRectangleTexturesAndGlsl120)
{
    auto context = engineContext();
    ASSERT_TRUE(context);
    ssGLCurrent current(*context);
    ASSERT_TRUE(current.ok());
    EXPECT_GE(epoxy_gl_version(), 21);
    EXPECT_FALSE(epoxy_is_desktop_gl() == 0);
    EXPECT_TRUE(epoxy_has_gl_extension("GL_ARB_texture_rectangle"));
    // Fixed-function state exists only in a compatibility context.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    const char* source = "#version 120\n#extension GL_ARB_texture_rectangle : enable\n"
                         "uniform sampler2DRect t;\n"
                         "void main() { gl_FragColor = texture2DRect(t, gl_TexCoord[0].st); }\n";
    GLuint shader = glCreateShader(GL_FRAGMENT_SHADER);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    EXPECT_EQ(ok, GL_TRUE);
    glDeleteShader(shader);
    EXPECT_NE(context->GetProcAddress("glCreateShader"), nullptr);
}

TEST(GLContextEGL, TextureMadeOnOneThreadIsReadOnAnother)
{
    auto producer = engineContext();
    auto consumer = engineContext();
    ASSERT_TRUE(producer && consumer);

    GLuint texture = 0;
    GLsync fence = nullptr;
    std::thread upload([&] {
        ssGLCurrent current(*producer);
        ASSERT_TRUE(current.ok());
        const unsigned char pixels[4 * 4] = {10, 20, 30, 255, 10, 20, 30, 255, 10, 20, 30, 255, 10, 20, 30, 255};
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_RECTANGLE, texture);
        glTexImage2D(GL_TEXTURE_RECTANGLE, 0, GL_RGBA8, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
        fence = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
        glFlush();
    });
    upload.join();
    ASSERT_NE(texture, 0u);

    std::thread read([&] {
        ssGLCurrent current(*consumer);
        ASSERT_TRUE(current.ok());
        glWaitSync(fence, 0, GL_TIMEOUT_IGNORED);
        glDeleteSync(fence);
        GLuint framebuffer = 0;
        glGenFramebuffers(1, &framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_RECTANGLE, texture, 0);
        ASSERT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
        unsigned char out[4] = {};
        glReadPixels(1, 1, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, out);
        EXPECT_EQ(out[0], 10);
        EXPECT_EQ(out[1], 20);
        EXPECT_EQ(out[2], 30);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &framebuffer);
        glDeleteTextures(1, &texture);
    });
    read.join();
}

TEST(GLContextEGL, ContextIsCurrentOnOneThreadAtATime)
{
    auto context = engineContext();
    ASSERT_TRUE(context);
    ASSERT_TRUE(context->MakeCurrent());
    bool elsewhere = true;
    std::thread other([&] { elsewhere = context->MakeCurrent(); });
    other.join();
    EXPECT_FALSE(elsewhere);
    context->DoneCurrent();
    std::thread again([&] {
        elsewhere = context->MakeCurrent();
        context->DoneCurrent();
    });
    again.join();
    EXPECT_TRUE(elsewhere);
}
