// The overlay's placement geometry and editor checks, and the channel's overlay through the engine.
#include "app/document/KLVChannel.h"
#include "app/moviecontroller/KLVMovieController.h"
#include "resources/strings/KLVLocalized.h"
#include "tests/support/TempFolder.h"
#include "tests/ui/support/FakeChannelDelegate.h"
#include "tests/ui/support/FakePlaybackEngine.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelOverlay.h"
#include "ui/logic/overlay/KLVGraphicOverlayEditor.h"
#include "ui/logic/overlay/KLVOverlayGeometry.h"

#include <QImage>

#include <gtest/gtest.h>

using namespace testsupport;

TEST(OverlayGeometry, LayoutDragAndNudgeInWholeOutputPixels)
{
    KLVOverlayGeometry g;
    g.setOutputSize({1920, 1080});
    g.setImageSize({300, 200});
    g.setDisplayBounds({100, 50, 300, 200});
    // Too small a view draws only its background.
    g.setViewSize({3, 100});
    EXPECT_FALSE(g.drawsOutput());
    EXPECT_TRUE(g.imageDstRect().isNull());

    g.setViewSize({964, 544}); // 960 x 540 inside the 2-point inset: half scale
    EXPECT_EQ(g.outputFrame(), QRectF(2, 2, 960, 540));
    EXPECT_EQ(g.outputFrameBorder(), QRectF(1, 1, 962, 542));
    EXPECT_DOUBLE_EQ(g.scale(), 0.5);
    EXPECT_EQ(g.imageDstRect(), QRectF(52, 27, 150, 100));
    EXPECT_EQ(g.imageSrcRect(), QRectF(0, 0, 300, 200));

    // A press outside the drawn overlay starts nothing.
    EXPECT_FALSE(g.beginDrag({10, 10}));
    EXPECT_FALSE(g.continueDrag({500, 500}).has_value());

    // Away and back to where the drag began restores the rectangle; moves are whole pixels.
    ASSERT_TRUE(g.beginDrag({60, 30}));
    const auto away = g.continueDrag({160.7, 80.2});
    ASSERT_TRUE(away.has_value());
    EXPECT_EQ(*away, QRectF(301, 150, 300, 200));
    g.setDisplayBounds(*away); // as the channel's data come back
    const auto back = g.endDrag({60, 30});
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, QRectF(100, 50, 300, 200));
    EXPECT_FALSE(g.isDragging());
    g.setDisplayBounds(*back);

    // Partly off the output: only the visible part is drawn, from the overlay's own coordinates.
    g.setDisplayBounds({-100, 980, 300, 200});
    EXPECT_EQ(g.imageSrcRect(), QRectF(100, 0, 200, 100));
    EXPECT_EQ(g.imageDstRect(), QRectF(2, 492, 100, 50));

    g.setDisplayBounds({100, 50, 300, 200});
    EXPECT_EQ(*g.nudge(1, 0), QRectF(101, 50, 300, 200));
    EXPECT_EQ(*g.nudge(0, -10), QRectF(100, 40, 300, 200));
    EXPECT_FALSE(g.nudge(0, 0).has_value());

    // The engine counts from the raster's top left; the document from the bottom left.
    EXPECT_EQ(KLVOverlayGeometry::engineRect({100, 50, 300, 200}, {1920, 1080}), QRectF(100, 830, 300, 200));
    EXPECT_EQ(KLVOverlayGeometry::flipped(QPointF(5, 10), 100), QPointF(5, 90));
}

namespace {
struct EditorSpy : KLVGraphicOverlayEditorDelegate {
    std::vector<QRectF> rects;
    int chosen = 0, removed = 0;
    void graphicOverlayUpdateDisplayBounds(KLVGraphicOverlayEditor&, const QRectF& r) override { rects.push_back(r); }
    void chooseImage() override { ++chosen; }
    void removeImage() override { ++removed; }
};
} // namespace

TEST(OverlayEditor, PositionFieldsKeepPartOfTheOverlayOnTheOutput)
{
    KLVGraphicOverlayEditor editor;
    EditorSpy spy;
    editor.setDelegate(&spy);
    editor.setOutputSize({1920, 1080});
    editor.setDisplayBounds({10, 20, 300, 100});
    EXPECT_TRUE(editor.imagePositionXAction("-200"));
    EXPECT_FALSE(editor.imagePositionXAction("-301"));
    EXPECT_TRUE(editor.imagePositionXAction("1920"));
    EXPECT_FALSE(editor.imagePositionXAction("1921"));
    EXPECT_FALSE(editor.imagePositionXAction("abc"));
    EXPECT_FALSE(editor.imagePositionYAction("1081"));
    EXPECT_TRUE(editor.imagePositionYAction("-100"));
    ASSERT_EQ(spy.rects.size(), 3u);
    EXPECT_EQ(spy.rects[0], QRectF(-200, 20, 300, 100));
    EXPECT_EQ(spy.rects[2], QRectF(10, -100, 300, 100));
    // The editor's own rectangle waits for the channel's data.
    EXPECT_EQ(editor.positionXText(), "10");
    EXPECT_EQ(editor.pathText(), KLVLocalized::text("QM_CHOOSE_OVERLAY"));
    editor.chooseButtonAction();
    editor.removeButtonAction();
    EXPECT_EQ(spy.chosen + spy.removed, 2);
}

TEST(ChannelOverlay, ImageAndRectangleReachTheEngineAndFadesFollowTheButton)
{
    TempFolder home;
    FakeChannelDelegate app;
    auto engine = std::make_unique<FakePlaybackEngine>();
    FakePlaybackEngine& fake = *engine;
    KLVChannelController channel(app, 1, std::move(engine));
    KLVChannelOverlay& overlay = channel.overlay();
    EXPECT_EQ(overlay.outputSize(), QSizeF(1920, 1080)); // no device enabled

    QImage logo(40, 20, QImage::Format_ARGB32);
    logo.fill(Qt::red);
    const QString path = home.filePath("logo.png");
    ASSERT_TRUE(logo.save(path));
    QImage huge(8193, 2, QImage::Format_ARGB32);
    huge.fill(Qt::blue);
    const QString hugePath = home.filePath("huge.png");
    ASSERT_TRUE(huge.save(hugePath));

    // An unreachable choice is ignored, its folder remembered.
    app.picker.openAnswers.push_back({home.filePath("gone/missing.png")});
    overlay.chooseImage();
    EXPECT_TRUE(channel.channel()->overlayImage().isNull());
    EXPECT_FALSE(overlay.hasEditor());

    int presented = 0;
    overlay.setEditorPresenter([&](KLVGraphicOverlayEditor&) { ++presented; });
    app.picker.openAnswers.push_back({path});
    overlay.chooseImage();
    EXPECT_EQ(presented, 1);
    EXPECT_EQ(overlay.editor().imageURL().toLocalFile(), path);
    // The document gave the rectangle the image's size; moving it re-sends the pixels.
    const int before = fake.count("SetOverlayImage");
    channel.channel()->setGraphicOverlayImageDisplayRect({100, 50, 40, 20});
    EXPECT_EQ(fake.count("SetOverlayImage"), before + 1);
    EXPECT_EQ(overlay.editor().displayBounds(), QRectF(100, 50, 40, 20));
    // Bottom-left 50 in a 1080 raster is top-left 1010.
    EXPECT_EQ(fake.calls.back(), "SetOverlayImage 40x20 100.000 1010.000 40.000 20.000");
    EXPECT_EQ(fake.count("FadeOverlay"), 0); // visibility is the button's

    overlay.graphicOverlayButtonAction();
    EXPECT_TRUE(overlay.graphicOverlayImageIsDisplayed());
    EXPECT_EQ(overlay.graphicOverlayShowHideButtonTitle(), "Hide Overlay");
    overlay.graphicOverlayButtonAction();
    EXPECT_FALSE(overlay.graphicOverlayImageIsDisplayed());
    EXPECT_EQ(fake.count("FadeOverlay 1"), 1);
    EXPECT_EQ(fake.count("FadeOverlay -1"), 1);

    // An image past the size limit sends nothing.
    const int sent = fake.count("SetOverlayImage");
    channel.channel()->setGraphicOverlayImagePath(hugePath);
    EXPECT_FALSE(overlay.setupOverlayImageOutput());
    EXPECT_EQ(fake.count("SetOverlayImage"), sent);

    // Removing the image fades it out and zeroes the rectangle.
    overlay.graphicOverlayButtonAction();
    overlay.removeImage();
    EXPECT_FALSE(overlay.graphicOverlayImageIsDisplayed());
    EXPECT_TRUE(channel.channel()->graphicOverlayImageDisplayRect().isNull());
    EXPECT_EQ(fake.calls.back().rfind("FadeOverlay -1", 0), 0u);
    EXPECT_FALSE(overlay.setupOverlayImageOutput());
}
