#include "app/devices/KLVOutputWindow.h"
#include "engine/display/ssDisplayGL.h"
#include "engine/output/ssDVIOutput.h"
#include "tests/app/support/IdleScreenSource.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>

#include <dlfcn.h>
#include <cstdlib>
#include <string>

TEST(OutputWindow, CoversItsScreenAndDrawsPacedBySwapsOnItsOwnThread)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "output windows need an X display";
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    testsupport::IdleScreenOutput idle;
    ssDVIOutput& output = idle.output;

    auto* window = new KLVOutputWindow(&output, screen, nullptr);
    output.Window_ = window;
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
    KLVOutputWindow::release(output.Window_);
    // The software GL driver keeps allocations in its own globals and is unloaded at exit, after
    // which the leak checker would count them as ours: keep it loaded.
    dlopen("/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
}
