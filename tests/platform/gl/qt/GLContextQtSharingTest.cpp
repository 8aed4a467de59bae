// The seam between the engine and the application's windows: a texture uploaded in an engine
// context on a worker thread (Qt backend) is drawn by a Qt window's context on another thread,
// with a fence between them, and read back with the right colour. Needs an X display (label gl;
// the display main puts Qt on it).
// epoxy must come before any Qt OpenGL header.
#include <epoxy/gl.h>

#include "platform/gl/qt/ssGLContextQt.h"
#include "tests/platform/gl/TexturedQuad.h"

#include <QOpenGLContext>
#include <QThread>
#include <QWindow>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <link.h>

#include <cstring>
#include <thread>

namespace {

struct Shared
{
    GLuint texture = 0;
    GLsync fence = nullptr;
};

// Qt unloads the GL driver at exit, and the leak check would then report the driver's own
// allocations from an unknown module. Keeping the driver loaded leaves them reachable.
void keepGLDriverLoaded()
{
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void*) {
            const char* name = info->dlpi_name;
            const size_t length = name ? std::strlen(name) : 0;
            if (length > 7 && std::strcmp(name + length - 7, "_dri.so") == 0)
                dlopen(name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
            return 0;
        },
        nullptr);
}

// The application's root context installed as the engine's share root.
class GLContextQtSharing : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            GTEST_SKIP() << "needs an X display (scripts/test starts Xvfb for the gl label)";
        root = ssGLContextQt::CreateRoot();
        if (!root)
            GTEST_SKIP() << "no OpenGL on this Qt platform";
        ssGLContext::SetShareRoot(root);
        keepGLDriverLoaded();
    }
    void TearDown() override { ssGLContext::SetShareRoot(nullptr); }

    std::shared_ptr<ssGLContextQt> root;
};

} // namespace

TEST_F(GLContextQtSharing, EngineTextureDrawnByWindowContextOnAnotherThread)
{

    QWindow window;
    window.setSurfaceType(QSurface::OpenGLSurface);
    window.setFormat(root->context()->format());
    window.resize(32, 32);
    window.create();
    auto* windowContext = new QOpenGLContext;
    windowContext->setFormat(root->context()->format());
    windowContext->setShareContext(root->context());
    ASSERT_TRUE(windowContext->create());
    ASSERT_TRUE(QOpenGLContext::areSharing(windowContext, root->context()));

    // Engine side: its context is made on the GUI thread (surfaces belong there) and used from a
    // worker thread.
    std::unique_ptr<ssGLContext> context = ssGLContext::CreateEngineContext();
    ASSERT_TRUE(context);
    Shared shared;
    std::thread engine([&] {
        if (!context->MakeCurrent())
            return;
        const uint8_t pixels[4 * 4] = {10, 200, 30, 255, 10, 200, 30, 255, 10, 200, 30, 255, 10, 200, 30, 255};
        glGenTextures(1, &shared.texture);
        glBindTexture(GL_TEXTURE_RECTANGLE, shared.texture);
        glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_RECTANGLE, 0, GL_RGBA8, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
        shared.fence = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
        glFlush();
        context->DoneCurrent();
    });
    engine.join();
    ASSERT_NE(shared.texture, 0u);
    ASSERT_NE(shared.fence, nullptr);

    // Window side: the window's context on a render thread of its own.
    uint8_t seen[4] = {};
    bool current = false;
    // Handed over free of any thread, as output windows hand theirs to their render threads.
    windowContext->moveToThread(nullptr);
    std::thread render([&] {
        windowContext->moveToThread(QThread::currentThread());
        current = windowContext->makeCurrent(&window);
        if (current) {
            glWaitSync(shared.fence, 0, GL_TIMEOUT_IGNORED);
            glDeleteSync(shared.fence);
            glViewport(0, 0, 32, 32);
            drawTexturedQuad(shared.texture);
            glFinish();
            glReadPixels(16, 16, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, seen);
            glDeleteTextures(1, &shared.texture);
            windowContext->doneCurrent();
        }
        windowContext->moveToThread(nullptr);
    });
    render.join();
    windowContext->moveToThread(QThread::currentThread());
    delete windowContext;
    context.reset();

    ASSERT_TRUE(current);
    EXPECT_EQ(seen[0], 10);
    EXPECT_EQ(seen[1], 200);
    EXPECT_EQ(seen[2], 30);
}

TEST_F(GLContextQtSharing, AReleasedEngineContextIsMadeAgainOnTheNextThreadInTheShareGroup)
{
    std::unique_ptr<ssGLContext> context = ssGLContext::CreateEngineContext();
    ASSERT_TRUE(context);
    // One render thread makes a texture and ends, releasing the context as an unloaded channel's does.
    GLuint texture = 0;
    std::thread first([&] {
        if (!context->MakeCurrent())
            return;
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_RECTANGLE, texture);
        context->DoneCurrent();
        context->ReleaseDriverContext();
    });
    first.join();
    ASSERT_NE(texture, 0u);

    // The next render thread gets a new context that still sees it.
    bool current = false, shared = false;
    std::thread next([&] {
        current = context->MakeCurrent();
        shared = current && glIsTexture(texture);
        if (current) {
            glDeleteTextures(1, &texture);
            context->DoneCurrent();
        }
    });
    next.join();
    EXPECT_TRUE(current);
    EXPECT_TRUE(shared);
}
