// The overlay placement view under the mouse and the arrow keys, and its window's fields.
#include "tests/support/TempFolder.h"
#include "tests/ui/support/FakeChannelDelegate.h"
#include "tests/ui/support/FakePlaybackEngine.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelOverlay.h"
#include "ui/logic/overlay/KLVGraphicOverlayEditor.h"
#include "ui/widgets/overlay/KLVGraphicOverlayEditorView.h"
#include "ui/widgets/overlay/KLVGraphicOverlayWindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

TEST(OverlayView, DragsAndNudgesInOutputPixelsWithYUp)
{
    // Half scale, in a view small enough that the raster engine paints it on this thread.
    KLVGraphicOverlayEditorView view;
    view.resize(164, 94);
    QImage image(60, 40, QImage::Format_ARGB32);
    image.fill(Qt::green);
    view.setOverlayImage(image);
    view.setOutputSize({320, 180});
    view.setDisplayBounds({20, 10, 60, 40});
    std::vector<QRectF> told;
    view.onChangeOverlayBounds = [&](const QRectF& r) { told.push_back(r); };
    view.setAttribute(Qt::WA_DontShowOnScreen);
    view.show();
    // The overlay is drawn 7 to 27 points above the bottom edge (y-up), 12 to 42 across.
    const QImage drawn = view.grab().toImage();
    EXPECT_EQ(drawn.pixelColor(15, 94 - 10).green(), 255);
    EXPECT_NE(drawn.pixelColor(140, 20).green(), 255);

    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(100, 20)); // outside: no drag
    QTest::mouseMove(&view, QPoint(120, 30));
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(120, 30));
    EXPECT_TRUE(told.empty());

    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(15, 94 - 10));
    QTest::mouseMove(&view, QPoint(55, 94 - 30)); // right 40 points, up 20
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(55, 94 - 30));
    ASSERT_FALSE(told.empty());
    EXPECT_EQ(told.back(), QRectF(100, 50, 60, 40));

    told.clear();
    QTest::keyClick(&view, Qt::Key_Up);
    QTest::keyClick(&view, Qt::Key_Left, Qt::ShiftModifier);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0], QRectF(100, 51, 60, 40));
    EXPECT_EQ(told[1], QRectF(90, 51, 60, 40));
}

namespace {
struct Channel : KLVGraphicOverlayEditorDelegate {
    KLVGraphicOverlayEditor* editor = nullptr;
    void graphicOverlayUpdateDisplayBounds(KLVGraphicOverlayEditor& e, const QRectF& r) override { e.setDisplayBounds(r); }
    void chooseImage() override {}
    void removeImage() override {}
};
} // namespace

TEST(OverlayWindow, RefusedPositionsShowTheCurrentValueAgain)
{
    KLVGraphicOverlayEditor editor;
    Channel channel;
    editor.setDelegate(&channel);
    editor.setOutputSize({1920, 1080});
    editor.setDisplayBounds({10, 20, 300, 100});
    KLVGraphicOverlayWindow window(editor);
    window.positionXField()->setText("-301");
    emit window.positionXField()->editingFinished();
    EXPECT_EQ(window.positionXField()->text(), "10");
    window.positionXField()->setText("-200");
    emit window.positionXField()->editingFinished();
    EXPECT_EQ(window.positionXField()->text(), "-200");
    EXPECT_EQ(window.editorView()->displayBounds(), QRectF(-200, 20, 300, 100));
}

TEST(OverlayWindow, AnArrowKeyMovesTheChannelsOverlayOnTheEngine)
{
    testsupport::TempFolder home;
    testsupport::FakeChannelDelegate app;
    auto e = std::make_unique<testsupport::FakePlaybackEngine>();
    testsupport::FakePlaybackEngine& engine = *e;
    KLVChannelController channel(app, 1, std::move(e));
    KLVGraphicOverlayWindow::install(channel);
    QImage logo(40, 20, QImage::Format_ARGB32);
    logo.fill(Qt::red);
    const QString path = home.filePath("logo.png");
    ASSERT_TRUE(logo.save(path));
    app.picker.openAnswers.push_back({path});
    channel.overlay().editGraphicOverlay(); // no image yet: the chooser, then the editor
    channel.channel()->setGraphicOverlayImageDisplayRect({100, 50, 40, 20});

    KLVGraphicOverlayWindow* window = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<KLVGraphicOverlayWindow*>(w))
            window = found;
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    window->editorView()->resize(964, 544);
    QTest::keyClick(window->editorView(), Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(channel.channel()->graphicOverlayImageDisplayRect(), QRectF(100, 60, 40, 20));
    EXPECT_EQ(window->positionYField()->text(), "60");
    // Up in the editor is up on the raster: 10 pixels nearer its top.
    EXPECT_EQ(engine.calls.back(), "SetOverlayImage 40x20 100.000 1000.000 40.000 20.000");
}
