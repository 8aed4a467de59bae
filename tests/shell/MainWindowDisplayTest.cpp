// The assembled main window on a real X display: four channel columns with real engines, the
// preview strip drawing on its display link, and a screenshot an operator can look at
// (<build>/test-artifacts/main-window.png).
#include "app/gl/RenderView.h"
#include "app/gl/SharedContext.h"
#include "shell/KLVAppDelegate.h"
#include "app/devices/KLVOutputWindow.h"
#include "shell/KLVOutputScreens.h"
#include "shell/KLVPreviewStrip.h"
#include "tests/shell/DisplayShell.h"
#include "tests/shell/ShellFixture.h"
#include "tests/support/MediaFiles.h"
#include "tests/support/WaitUntil.h"
#include "ui/logic/channel/KLVChannelController.h"

#include <QDir>
#include <QGuiApplication>
#include <QFrame>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QSet>
#include <QWindow>

static const bool kSharedContextConfigured = [] {
    SharedContext::configureBeforeApplication();
    return true;
}();

namespace {

TEST_F(ShellFixture, TheMainWindowShowsFourColumnsThePreviewStripDrawsAndOutputWindowsDrawWhileShown)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "needs an X display";
    SharedContext* shared = SharedContext::instance();
    ASSERT_NE(shared, nullptr);

    // Channel 1 starts with a clip cued: its picture is in the preview.
    DisplayShell::writeDocument(documents(), QStringLiteral("Opening titles"), testsupport::mediaPath("h264_2997_aac"));
    DisplayShell shell;
    KLVAppDelegate* delegate = &shell.app();

    KLVMainWindow* window = delegate->mainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(testsupport::waitUntil([&] { return window->isVisible() && window->windowHandle()->isExposed(); }));
    ASSERT_NE(delegate->previewStrip(), nullptr);
    // It draws what the channels show, then only when that changes.
    EXPECT_TRUE(testsupport::waitUntil([&] { return delegate->previewStrip()->framesDrawn() >= 1; }, 15000));
    EXPECT_EQ(window->columns().size(), 4u);
    EXPECT_EQ(window->previewSpacerViews().size(), 3u);
    testsupport::pumpEvents(2500);
    // As the operator sees it. The strip is an OpenGL window of a deeper visual, which grabs of
    // the main window leave out: it is grabbed on its own and laid in, then the spacers over it.
    QImage shot = window->screen()->grabWindow(window->winId()).toImage().convertToFormat(QImage::Format_RGB32);
    {
        QPainter painter(&shot);
        RenderView& view = delegate->previewStrip()->view();
        const QPoint at = delegate->previewStrip()->mapTo(window, QPoint(0, 0));
        painter.drawImage(at, view.screen()->grabWindow(view.winId()).toImage());
        for (QFrame* spacer : window->previewSpacerViews())
            painter.drawImage(spacer->mapTo(window, QPoint(0, 0)), spacer->grab().toImage());
    }
    ASSERT_FALSE(shot.isNull());
    const QString folder = QString::fromLocal8Bit(std::getenv("KLV_BINARY_DIR")) + QStringLiteral("/test-artifacts");
    QDir().mkpath(folder);
    EXPECT_TRUE(shot.save(folder + QStringLiteral("/main-window.png")));
    // Something is drawn: the columns, their texts and the strip are more than one colour.
    QSet<QRgb> colours;
    for (int y = 0; y < shot.height(); y += 7)
        for (int x = 0; x < shot.width(); x += 7)
            colours.insert(shot.pixel(x, y));
    EXPECT_GT(colours.size(), 8);

    // Outputs on: the channel holding the screen shows its window, which draws until hidden.
    KLVOutputScreens& outputs = *delegate->outputScreens();
    ASSERT_EQ(outputs.numDVIOutputs(), 1);
    delegate->setOutputsEnabled(true);
    EXPECT_TRUE(testsupport::waitUntil([&] { return outputs.window(0)->isVisible() && outputs.window(0)->framesDrawn() >= 5; }));
    EXPECT_EQ(outputs.window(0)->geometry(), QGuiApplication::primaryScreen()->geometry());
    delegate->setOutputsEnabled(false);
    EXPECT_FALSE(outputs.window(0)->isVisible());
    // Hidden, it goes on taking its channel's frames but draws and swaps nothing.
    EXPECT_TRUE(outputs.window(0)->isRendering());
    // A draw already under way when it was hidden may still finish; after that nothing is drawn.
    int64_t drawnWhenHidden = outputs.window(0)->framesDrawn();
    for (int settle = 0; settle < 20; ++settle) {
        testsupport::pumpEvents(100);
        const int64_t now = outputs.window(0)->framesDrawn();
        if (now == drawnWhenHidden)
            break;
        drawnWhenHidden = now;
    }
    testsupport::pumpEvents(300);
    EXPECT_EQ(outputs.window(0)->framesDrawn(), drawnWhenHidden);

    // Quad test mode on the one screen: four windows drawing in its quadrants, then hidden again.
    delegate->setIsQuadTestMode(true);
    delegate->setOutputsEnabled(true);
    ASSERT_EQ(outputs.numDVIOutputs(), 4);
    const std::vector<QRect> quadrants = KLVChannelLayout::quadrantRects(QGuiApplication::primaryScreen()->geometry());
    for (int j = 0; j < 4; ++j) {
        EXPECT_EQ(outputs.headIndex(j), 1);
        EXPECT_EQ(outputs.window(j)->geometry(), quadrants[size_t(j)]) << j;
        EXPECT_TRUE(testsupport::waitUntil([&] { return outputs.window(j)->framesDrawn() >= 5; })) << j;
    }
    delegate->setOutputsEnabled(false);
    for (int j = 0; j < 4; ++j)
        EXPECT_FALSE(outputs.window(j)->isVisible()) << j;

}

} // namespace
