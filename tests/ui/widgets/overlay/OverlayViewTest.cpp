// The overlay placement view under the mouse and the arrow keys, and its window's fields.
#include "ui/logic/overlay/KLVGraphicOverlayEditor.h"
#include "ui/widgets/overlay/KLVGraphicOverlayEditorView.h"
#include "ui/widgets/overlay/KLVGraphicOverlayWindow.h"

#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

TEST(OverlayView, DragsAndNudgesInOutputPixelsWithYUp)
{
    KLVGraphicOverlayEditorView view;
    view.resize(964, 544); // half scale
    QImage image(300, 200, QImage::Format_ARGB32);
    image.fill(Qt::green);
    view.setOverlayImage(image);
    view.setOutputSize({1920, 1080});
    view.setDisplayBounds({100, 50, 300, 200});
    std::vector<QRectF> told;
    view.onChangeOverlayBounds = [&](const QRectF& r) { told.push_back(r); };
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));

    // The overlay sits 27 points above the bottom: widget y 544 - 27 - 100 = 417 is its top.
    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(10, 10)); // outside: no drag
    QTest::mouseMove(&view, QPoint(300, 300));
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(300, 300));
    EXPECT_TRUE(told.empty());

    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(60, 500));
    QTest::mouseMove(&view, QPoint(160, 450)); // right 100 points, up 50
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(160, 450));
    ASSERT_FALSE(told.empty());
    EXPECT_EQ(told.back(), QRectF(300, 150, 300, 200));

    told.clear();
    QTest::keyClick(&view, Qt::Key_Up);
    QTest::keyClick(&view, Qt::Key_Left, Qt::ShiftModifier);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0], QRectF(300, 151, 300, 200));
    EXPECT_EQ(told[1], QRectF(290, 151, 300, 200));
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
