// A clip played as an operator plays it, in the assembled program on the X display: channel 1 on
// the screen output "DVI (1)" with one cue. What is checked is what shows on the screen: the
// frame index every fixture frame carries as a barcode, read from the preview strip's pixels and
// from the output window's, and the channel's time labels and bar.
#include "app/defaults/KLVDefaultsKeys.h"
#include "app/devices/KLVOutputWindow.h"
#include "app/document/KLVChannel.h"
#include "app/gl/RenderView.h"
#include "platform/testpattern/FrameBarcode.h"
#include "shell/KLVOutputScreens.h"
#include "shell/KLVPreviewStrip.h"
#include "tests/shell/DisplayShell.h"
#include "tests/shell/ShellFixture.h"
#include "tests/support/MediaFiles.h"
#include "tests/support/WaitUntil.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelOutput.h"
#include "ui/widgets/channel/KLVChannelColumn.h"
#include "ui/widgets/common/KLVTimeCodeTextField.h"
#include "ui/widgets/common/QMProgressView.h"

#include <QAction>
#include <QGuiApplication>
#include <QImage>
#include <QPushButton>
#include <QScreen>

#include <optional>

static const bool kSharedContextConfigured = [] {
    SharedContext::configureBeforeApplication();
    return true;
}();

namespace {

using platform::BarcodePixels;
using platform::FrameBarcode;

const QString kZero = QStringLiteral("00:00:00;00");

bool differs(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b)) > 24;
}

// The barcode of the picture drawn inside `area` of `shot` on a plain `background`. The picture is
// the widest run of columns that differ from the background in the rows just above the band (the
// fixtures' colour ramp is never dark there); it spans the area's height, or the rows that differ.
// A pixel of slack on each edge absorbs the scaling's rounding.
std::optional<uint32_t> barcodeIn(const QImage& shot, QRect area, QRgb background)
{
    const QImage image = shot.convertToFormat(QImage::Format_RGB888);
    area &= image.rect();
    if (area.width() < FrameBarcode::kMinWidth || area.height() < FrameBarcode::kMinHeight)
        return std::nullopt;
    const auto columnDiffers = [&](int x, int top, int bottom) {
        for (int y = top; y < bottom; ++y)
            if (differs(image.pixel(x, y), background))
                return true;
        return false;
    };
    const int probeTop = area.y() + area.height() * 25 / 100;
    const int probeBottom = area.y() + area.height() * 38 / 100;
    int bestLeft = 0, bestWidth = 0;
    for (int x = area.left(); x <= area.right();) {
        if (!columnDiffers(x, probeTop, probeBottom)) {
            ++x;
            continue;
        }
        const int left = x;
        while (x <= area.right() && columnDiffers(x, probeTop, probeBottom))
            ++x;
        if (x - left > bestWidth) {
            bestLeft = left;
            bestWidth = x - left;
        }
    }
    if (bestWidth < FrameBarcode::kMinWidth)
        return std::nullopt;
    const int middle = bestLeft + bestWidth / 2;
    int top = area.top(), bottom = area.bottom();
    while (top < bottom && !differs(image.pixel(middle, top), background))
        ++top;
    while (bottom > top && !differs(image.pixel(middle, bottom), background))
        --bottom;
    for (int dx = 0; dx <= 1; ++dx)
        for (int dw = -1; dw <= 1; ++dw)
            for (int dy = -1; dy <= 1; ++dy) {
                const QRect picture(bestLeft - dx, top + dy, bestWidth + 2 * dx + dw, bottom - top + 1);
                if (!image.rect().contains(picture))
                    continue;
                const uchar* origin = image.constScanLine(picture.y()) + picture.x() * 3;
                if (auto index = FrameBarcode::read(origin, picture.width(), picture.height(),
                                                    image.bytesPerLine(), BarcodePixels::Rgb24))
                    return index;
            }
    return std::nullopt;
}

class ChannelPlaybackDisplay : public ShellFixture {
protected:
    // The channel's preview as the strip's window shows it.
    std::optional<uint32_t> previewBarcode(KLVAppDelegate& app, KLVChannelColumn& column)
    {
        RenderView& view = app.previewStrip()->view();
        const QImage shot = view.screen()->grabWindow(view.winId()).toImage();
        const QPoint at = column.previewFrame()->mapTo(app.mainWindow(), QPoint(0, 0))
                        - app.previewStrip()->mapTo(app.mainWindow(), QPoint(0, 0));
        const qreal ratio = view.devicePixelRatio();
        // Inside the frame's own border line; the preview's background is its dark grey.
        const QRect frame = QRectF(QPointF(at) * ratio, QSizeF(column.previewFrame()->size()) * ratio).toRect();
        return barcodeIn(shot, frame.adjusted(4, 4, -4, -4), qRgb(31, 31, 31));
    }

    std::optional<uint32_t> waitForPreviewBarcode(KLVAppDelegate& app, KLVChannelColumn& column)
    {
        std::optional<uint32_t> seen;
        testsupport::waitUntil([&] { return (seen = previewBarcode(app, column)).has_value(); }, 10000);
        return seen;
    }

    // Channel 1 holds one cue of the clip, without its slate (which would stand in for the cued
    // picture).
    void writeClipDocument()
    {
        defaults().setBool(false, KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kShowSlate, 1));
        DisplayShell::writeDocument(documents(), QStringLiteral("Clip"), testsupport::mediaPath("h264_2997_aac"));
    }

    // The first column once the main window shows; null when it never does.
    static KLVChannelColumn* firstColumn(KLVAppDelegate& app)
    {
        KLVMainWindow* window = app.mainWindow();
        if (!window
            || !testsupport::waitUntil([&] { return window->isVisible() && window->windowHandle()->isExposed(); }))
            return nullptr;
        return qobject_cast<KLVChannelColumn*>(window->columns().front().view);
    }
};

TEST_F(ChannelPlaybackDisplay, ACuedClipShowsAndPlaysInThePreviewAndOnItsScreenOutput)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "needs an X display";
    ASSERT_NE(SharedContext::instance(), nullptr);
    writeClipDocument();
    DisplayShell shell;
    KLVAppDelegate& app = shell.app();
    auto* column = firstColumn(app);
    ASSERT_NE(column, nullptr);
    KLVChannelController& channel = column->channel();
    ASSERT_TRUE(channel.output().componentModeLabel().startsWith(QStringLiteral("DVI (1)")));
    ASSERT_NE(app.previewStrip(), nullptr);

    // Cued, outputs hidden: the preview shows the clip's first frame and the clock stands at 0.
    EXPECT_EQ(waitForPreviewBarcode(app, *column), std::optional<uint32_t>(0));
    EXPECT_EQ(column->timeIn()->text(), kZero);

    // Play: the picture and the time move on.
    column->playButton()->click();
    testsupport::pumpEvents(1000);
    ASSERT_TRUE(channel.isPlaying());
    EXPECT_NE(column->timeIn()->text(), kZero);
    EXPECT_GT(column->progressBar()->doubleValue(), 0.5);
    const std::optional<uint32_t> playing = waitForPreviewBarcode(app, *column);
    ASSERT_TRUE(playing.has_value());
    EXPECT_GT(*playing, 12u);

    // Pause holds the picture and the time.
    QPushButton* pause = nullptr;
    for (QPushButton* button : column->findChildren<QPushButton*>())
        if (button->text() == QStringLiteral("||"))
            pause = button;
    ASSERT_NE(pause, nullptr);
    pause->click();
    testsupport::pumpEvents(300);
    ASSERT_FALSE(channel.isPlaying());
    const QString heldTime = column->timeIn()->text();
    const std::optional<uint32_t> held = waitForPreviewBarcode(app, *column);
    ASSERT_TRUE(held.has_value());
    EXPECT_GE(*held, *playing);
    testsupport::pumpEvents(500);
    EXPECT_EQ(column->timeIn()->text(), heldTime);
    EXPECT_EQ(previewBarcode(app, *column), held);

    // The output window shows the same frame over the whole screen.
    KLVOutputScreens& outputs = *app.outputScreens();
    app.setOutputsEnabled(true);
    KLVOutputWindow* output = outputs.window(0);
    ASSERT_TRUE(testsupport::waitUntil([&] { return output->isVisible() && output->framesDrawn() >= 5; }));
    std::optional<uint32_t> onScreen;
    testsupport::waitUntil([&] {
        onScreen = barcodeIn(output->screen()->grabWindow(output->winId()).toImage(),
                             QRect(QPoint(0, 0), output->size() * output->devicePixelRatio()), qRgb(0, 0, 0));
        return onScreen == held;
    }, 5000);
    EXPECT_EQ(onScreen, held);

    // Stop holds too; hidden again, the output takes nothing more to the screen.
    column->stopButton()->click();
    app.setOutputsEnabled(false);
    EXPECT_FALSE(channel.isPlaying());
}

} // namespace

namespace {

// The channel's picture in the middle of its preview frame, as the strip's window shows it.
QRgb previewCentre(KLVAppDelegate& app, KLVChannelColumn& column)
{
    RenderView& view = app.previewStrip()->view();
    const QImage shot = view.screen()->grabWindow(view.winId()).toImage();
    const QPoint at = column.previewFrame()->mapTo(app.mainWindow(), QPoint(0, 0))
                    - app.previewStrip()->mapTo(app.mainWindow(), QPoint(0, 0));
    const QPointF centre = (QPointF(at) + QPointF(column.previewFrame()->width(), column.previewFrame()->height()) / 2)
                         * view.devicePixelRatio();
    return shot.pixel(centre.toPoint());
}

bool isRed(QRgb c) { return qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60; }

} // namespace

TEST_F(ChannelPlaybackDisplay, TheOverlayShownFromTheColumnFadesIntoThePreview)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "needs an X display";
    ASSERT_NE(SharedContext::instance(), nullptr);
    defaults().setBool(false, KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kShowSlate, 1));
    // Looped, so the clip still plays however long a loaded machine takes over the fades.
    DisplayShell::writeDocument(documents(), QStringLiteral("Clip"), testsupport::mediaPath("h264_2997_aac"), 1);
    const QString logo = home_.filePath(QStringLiteral("red.png"));
    QImage red(64, 36, QImage::Format_ARGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(logo));
    DisplayShell shell;
    KLVAppDelegate& app = shell.app();
    KLVMainWindow* window = app.mainWindow();
    ASSERT_TRUE(testsupport::waitUntil([&] { return window->isVisible() && window->windowHandle()->isExposed(); }));
    auto* column = qobject_cast<KLVChannelColumn*>(window->columns().front().view);
    ASSERT_NE(column, nullptr);
    KLVChannelController& channel = column->channel();
    ASSERT_NE(app.previewStrip(), nullptr);
    ASSERT_TRUE(waitForPreviewBarcode(app, *column).has_value());

    // Chosen from the column's menu and spread over the whole raster in the editor.
    shell.picker().openAnswers.push_back({logo});
    column->chooseOverlayAction()->trigger();
    channel.channel()->setGraphicOverlayImageDisplayRect(QRectF(0, 0, 1920, 1080));
    column->playButton()->click();
    testsupport::pumpEvents(500);
    EXPECT_FALSE(isRed(previewCentre(app, *column)));

    column->overlayShowHideButton()->click();
    EXPECT_TRUE(testsupport::waitUntil([&] { return isRed(previewCentre(app, *column)); }, 60000));
    column->overlayShowHideButton()->click();
    EXPECT_TRUE(testsupport::waitUntil([&] { return !isRed(previewCentre(app, *column)); }, 60000));
    column->stopButton()->click();
}

TEST_F(ChannelPlaybackDisplay, AStoppedChannelsPreviewAndHiddenOutputRestAndDrawAgainOnPlay)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "needs an X display";
    ASSERT_NE(SharedContext::instance(), nullptr);
    writeClipDocument();
    DisplayShell shell;
    KLVAppDelegate& app = shell.app();
    auto* column = firstColumn(app);
    ASSERT_NE(column, nullptr);
    KLVChannelController& channel = column->channel();
    KLVPreviewStrip* strip = app.previewStrip();
    ASSERT_NE(strip, nullptr);
    KLVOutputWindow* output = app.outputScreens()->window(0);
    ASSERT_NE(output, nullptr);

    // Cued, outputs hidden: the cued frame is drawn, then nothing changes and both rest.
    ASSERT_EQ(waitForPreviewBarcode(app, *column), std::optional<uint32_t>(0));
    ASSERT_TRUE(testsupport::waitUntil([&] { return strip->isResting() && output->isResting(); }, 20000));
    const int64_t drawnWhileCued = strip->framesDrawn();

    // Playing: the preview draws the moving picture, the hidden output takes frames at its rate.
    column->playButton()->click();
    ASSERT_TRUE(channel.isPlaying());
    // The clip lasts two seconds: look for a later frame first, while it still plays.
    std::optional<uint32_t> moving;
    ASSERT_TRUE(testsupport::waitUntil([&] { return (moving = previewBarcode(app, *column)).value_or(0) > 0; }));
    EXPECT_FALSE(output->isResting());
    // The first moving picture may be the only one drawn yet; more follow while it plays.
    EXPECT_TRUE(testsupport::waitUntil([&] { return strip->framesDrawn() > drawnWhileCued + 1; }));

    // Stopped: the last picture stays in the preview and both rest again.
    column->stopButton()->click();
    ASSERT_FALSE(channel.isPlaying());
    EXPECT_TRUE(testsupport::waitUntil([&] { return strip->isResting() && output->isResting(); }, 20000));

    // Uncovered or resized, the strip draws again though no channel changed.
    const int64_t drawnWhenStopped = strip->framesDrawn();
    strip->invalidate();
    EXPECT_TRUE(testsupport::waitUntil([&] { return strip->framesDrawn() > drawnWhenStopped; }));
}
