// The channels' previews are one OpenGL strip behind the columns' preview frames. On an X display
// without a compositor the strip shows only where the X server stacks it above the columns, so it
// is checked in a capture of the root window, as an operator sees the screen.
#include "tests/e2e/support/KalvantoProcess.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <gtest/gtest.h>

using namespace e2e;

namespace {

QImage rootCapture()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32) : QImage();
}

// The previews' dark grey and black; the window's own grey (what covers a hidden strip) is light.
bool isDark(QRgb p)
{
    return qRed(p) < 56 && qGreen(p) < 56 && qBlue(p) < 56;
}

// Rows where a run of at least `run` dark pixels lies between lighter pixels: previews inside the
// lighter window (the root background around it may itself be black or patterned).
int darkRowsInsideLighter(const QImage& image, int run)
{
    int rows = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        int first = 0, last = image.width() - 1;
        while (first <= last && isDark(line[first]))
            ++first;
        while (last >= first && isDark(line[last]))
            --last;
        int length = 0;
        for (int x = first; x <= last; ++x) {
            length = isDark(line[x]) ? length + 1 : 0;
            if (length >= run) {
                ++rows;
                break;
            }
        }
    }
    return rows;
}

} // namespace

TEST(PreviewStrip, TheChannelsPreviewsShowInARootWindowCapture)
{
    if (const QString why = KalvantoProcess::unavailableReason(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "needs the X display";
    Scene scene;
    scene.channels.resize(4);
    KalvantoProcess app(scene);
    ASSERT_TRUE(app.start());
    // Four previews side by side, each some 85 rows of dark grey: at least 60 rows with a dark run
    // as wide as a preview, once the window is up and the strip has drawn.
    QImage shot;
    const bool shown = waitFor([&] {
        shot = rootCapture();
        return darkRowsInsideLighter(shot, 300) >= 60;
    }, 60000);
    const QString saved = QDir(qEnvironmentVariable("KLV_BINARY_DIR")).filePath(QStringLiteral("preview-strip-root.png"));
    shot.save(saved);
    EXPECT_TRUE(shown) << "no preview in the root window; capture in " << saved.toStdString() << "\n"
                       << app.output().toStdString();
    EXPECT_TRUE(app.running());
    app.terminate();
}
