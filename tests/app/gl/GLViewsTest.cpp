// epoxy must come before any Qt OpenGL header.
#include <epoxy/gl.h>

#include "app/gl/RenderView.h"
#include "app/gl/SharedContext.h"
#include "engine/display/ssDisplayGL.h"
#include "engine/output/ssDVIOutput.h"
#include "platform/gl/qt/ssGLContextQt.h"
#include "tests/app/support/IdleScreenSource.h"
#include "tests/platform/gl/TexturedQuad.h"
#include "tests/support/WaitUntil.h"

#include <QGuiApplication>
#include <QOpenGLContext>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

// As the application does before it makes its QApplication.
const bool kConfigured = (SharedContext::configureBeforeApplication(), true);

bool haveDisplay()
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

using Pixel = std::array<uint8_t, 4>;

Pixel readCentre(RenderView& view)
{
    Pixel p{};
    glFinish();
    const QSize size = view.renderSize();
    glReadPixels(size.width() / 2, size.height() / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
    return p;
}

GLuint makeSolidTexture(Pixel colour)
{
    const std::array<Pixel, 4> pixels{colour, colour, colour, colour};
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_RECTANGLE, texture);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_RECTANGLE, 0, GL_RGBA8, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return texture;
}

class GLViews : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveDisplay())
            GTEST_SKIP() << "needs an X display (scripts/test starts Xvfb for the gl label)";
        ASSERT_TRUE(kConfigured);
        ASSERT_NE(SharedContext::instance(), nullptr);
    }
    static void TearDownTestSuite()
    {
        // The software driver keeps allocations in its globals; unloaded at exit they would look leaked.
        dlopen("/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
    }
};

} // namespace

TEST_F(GLViews, SharedContextIsQtsGlobalShareRootAndTheEnginesToo)
{
    SharedContext& shared = *SharedContext::instance();
    EXPECT_EQ(shared.context(), QOpenGLContext::globalShareContext());
    EXPECT_EQ(ssGLContext::ShareRoot().get(), shared.getContext());
    EXPECT_EQ(shared.format().profile(), QSurfaceFormat::CompatibilityProfile);

    // Slots read with 0 and store anything else; the registry ignores indices it does not hold.
    EXPECT_EQ(shared.target(GL_TEXTURE_RECTANGLE), uint32_t(GL_TEXTURE_RECTANGLE));
    EXPECT_EQ(shared.target(0), uint32_t(GL_TEXTURE_RECTANGLE));
    shared.addTextureID(7);
    shared.addTextureID(9);
    EXPECT_EQ(shared.getTextureID(1), 9u);
    EXPECT_EQ(shared.getTextureID(2), 0u);
    EXPECT_EQ(shared.getTextureID(-1), 0u);
    shared.removeTextureID(5);
    shared.removeTextureID(0);
    EXPECT_EQ(shared.getTextureArray(), std::vector<uint32_t>{9});
    shared.removeTextureID(0);
}

TEST_F(GLViews, LockRunsOnlyWithAContextAndLeavesItCurrentNowhere)
{
    RenderView view;
    view.resize(64, 48);
    bool ran = false;
    EXPECT_FALSE(view.lock([&](RenderView&) { ran = true; }));
    EXPECT_FALSE(ran) << "a view never shown has no context";
    EXPECT_TRUE(view.fullScreen());
    EXPECT_EQ(view.viewFormat().swapInterval(), 1);

    view.show();
    ASSERT_NE(view.context(), nullptr);
    EXPECT_TRUE(view.lock([&](RenderView& v) {
        EXPECT_EQ(QOpenGLContext::currentContext(), v.context());
        // Nested: still current inside, released only by the outer lock.
        v.lock([&](RenderView&) { ran = true; });
        EXPECT_EQ(QOpenGLContext::currentContext(), v.context());
    }));
    EXPECT_TRUE(ran);
    EXPECT_EQ(QOpenGLContext::currentContext(), nullptr);

    // Another thread can take it now, as the preview strip's display link does.
    bool otherThread = false;
    std::thread([&] { otherThread = view.lock([](RenderView&) {}); }).join();
    EXPECT_TRUE(otherThread);
    EXPECT_TRUE(view.lock([](RenderView&) {}));

    // The preview strip: not full screen, never waits for the display.
    RenderView preview;
    preview.setHeadIndex(-1);
    EXPECT_FALSE(preview.fullScreen());
    EXPECT_EQ(preview.viewFormat().swapInterval(), 0);
}

TEST_F(GLViews, ASurfaceTornDownWhileAnotherThreadDrawsIsNeverDrawnIntoAgain)
{
    // The preview strip's link draws and swaps from its own thread; at quit the window system's
    // surfaces go on the main thread while it may be mid-frame.
    RenderView view;
    view.setHeadIndex(-1);
    view.resize(64, 48);
    view.show();
    ASSERT_NE(view.context(), nullptr);

    std::atomic<bool> stop{false};
    std::atomic<int> drawn{0};
    std::atomic<bool> drewWithoutSurface{false};
    std::thread drawer([&] {
        while (!stop.load()) {
            view.lock([&](RenderView& v) {
                if (!v.handle())
                    drewWithoutSurface.store(true);
                glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
                glClear(GL_COLOR_BUFFER_BIT);
                v.flushBuffer();
                drawn.fetch_add(1);
            });
        }
    });
    for (int round = 0; round < 5; ++round) {
        const int before = drawn.load();
        ASSERT_TRUE(testsupport::waitUntil([&] { return drawn.load() > before + 2; }));
        view.destroy(); // the surface goes as it does when the window system closes the window
        EXPECT_FALSE(view.lock([](RenderView&) {})) << "no draw into a surface that is gone";
        view.show(); // made again
        ASSERT_NE(view.handle(), nullptr);
    }
    stop.store(true);
    drawer.join();
    EXPECT_FALSE(drewWithoutSurface.load());
    EXPECT_TRUE(view.lock([](RenderView&) {})) << "a surface made again is drawn into again";
}

TEST_F(GLViews, ClearedViewReadsBackItsColourAndDrawsTexturesOfOtherContexts)
{
    RenderView view;
    view.resize(64, 48);
    view.show();
    ASSERT_TRUE(testsupport::waitUntil([&] { return view.renderSize() == QSize(64, 48) * view.devicePixelRatio(); }));

    Pixel cleared{};
    ASSERT_TRUE(view.lock([&](RenderView& v) {
        glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        cleared = readCentre(v);
    }));
    EXPECT_EQ(cleared, (Pixel{51, 102, 153, 255}));

    // A texture uploaded on another thread under the shared context (unlock fences it) and one
    // made by an engine context with its own fence.
    GLuint uploaded = 0;
    std::thread([&] {
        SharedContextLock lock(*SharedContext::instance());
        if (lock.ok())
            uploaded = makeSolidTexture({200, 30, 90, 255});
    }).join();
    ASSERT_NE(uploaded, 0u);

    std::unique_ptr<ssGLContext> engine = ssGLContext::CreateEngineContext();
    ASSERT_TRUE(engine);
    KLVTextureFence fence;
    GLuint rendered = 0;
    std::thread([&] {
        ssGLCurrent current(*engine);
        if (!current.ok())
            return;
        rendered = makeSolidTexture({10, 220, 40, 255});
        fence.publish();
    }).join();
    ASSERT_NE(rendered, 0u);

    Pixel first{}, second{};
    ASSERT_TRUE(view.lock([&](RenderView& v) {
        drawTexturedQuad(uploaded);
        first = readCentre(v);
        fence.waitInCurrentContext();
        drawTexturedQuad(rendered);
        second = readCentre(v);
        glDeleteTextures(1, &uploaded);
        glDeleteTextures(1, &rendered);
    }));
    EXPECT_EQ(first, (Pixel{200, 30, 90, 255}));
    EXPECT_EQ(second, (Pixel{10, 220, 40, 255}));
}

TEST_F(GLViews, OutputViewDrawsOnItsDisplayLinkOnlyWhileShown)
{
    testsupport::IdleScreenOutput idle;
    ssDVIOutput& output = idle.output;

    RenderView view;
    view.setHeadIndex(1);
    view.setOutput(KLVDVIOutput(&output));
    view.resize(64, 48);
    EXPECT_FALSE(view.isDisplayLinkRunning());
    view.show();
    EXPECT_TRUE(view.isDisplayLinkRunning());
    ASSERT_TRUE(testsupport::waitUntil([&] { return view.framesDrawn() >= 5; }));

    view.hide();
    EXPECT_FALSE(view.isDisplayLinkRunning());
    const int64_t drawn = view.framesDrawn();
    testsupport::pumpEvents(60);
    EXPECT_EQ(view.framesDrawn(), drawn);

    view.show(); // the same context again, and the link with it
    ASSERT_TRUE(testsupport::waitUntil([&] { return view.framesDrawn() >= drawn + 3; }));
    view.setOutput(std::nullopt);
}
