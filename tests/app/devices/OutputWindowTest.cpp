#include "app/devices/KLVOutputWindow.h"
#include "engine/display/ssDisplayGL.h"
#include "engine/output/ssDVIOutput.h"
#include "engine/output/ssOutputSource.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>

#include <dlfcn.h>
#include <cstdlib>
#include <string>

namespace {

struct IdleSource : ssScreenSource {
    explicit IdleSource(ssDisplayGL* d) : display(d) {}
    int32_t GetFrameForOutput(int32_t* w, int32_t* h, int32_t* s) override
    {
        *w = *h = 0;
        *s = 1;
        return -1;
    }
    uint32_t GetFrameTexture(int32_t) override { return 0; }
    ssDisplayGL* GetDisplay() override { return display; }
    ssDisplayGL* display;
};

} // namespace

TEST(OutputWindow, CoversItsScreenAndDrawsPacedBySwapsOnItsOwnThread)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "output windows need an X display";
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const char* build = std::getenv("KLV_BINARY_DIR");
    ssDisplayGL display(1.0f, (std::string(build ? build : ".") + "/resources").c_str());
    IdleSource source(&display);
    ssDVIOutput output;
    output.m_Kind = ssBaseOutput::kKindScreen;
    output.SetSource(nullptr, &source, 0, 0);

    auto* window = new KLVOutputWindow(&output, screen, nullptr);
    output.m_Window = window;
    EXPECT_TRUE(window->flags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(window->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(window->flags().testFlag(Qt::X11BypassWindowManagerHint));
    EXPECT_EQ(window->geometry(), screen->geometry());
    EXPECT_EQ(window->format().swapInterval(), 1);

    window->show();
    // Paced by the swap interval of 1 asserted above, not by a clock of its own.
    window->startRendering();
    ASSERT_TRUE(testsupport::waitUntil([&] { return window->framesDrawn() >= 20; }));
    window->stopRendering();
    const int64_t drawn = window->framesDrawn();
    testsupport::pumpEvents(50);
    EXPECT_EQ(window->framesDrawn(), drawn); // the thread has ended
    KLVOutputWindow::release(output.m_Window);
    // The software GL driver keeps allocations in its own globals and is unloaded at exit, after
    // which the leak checker would count them as ours: keep it loaded.
    dlopen("/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
}
