// Slate layout, thumbnail sizes, blur, reflection and the PNG files.
#include "mediahelper/decoder/ssMediaDecoder3Light.h"
#include "mediahelper/imaging/DiscBlur.h"
#include "mediahelper/imaging/FrameImages.h"
#include "mediahelper/imaging/KLVCleanImageManager.h"
#include "mediahelper/imaging/SlateLayout.h"
#include "tests/mediahelper/support/HelperTestMedia.h"
#include "tests/support/TempFolder.h"

#include <QFile>
#include <QImageReader>
#include <QPainter>

#include <gtest/gtest.h>

using testsupport::HelperClip;
using testsupport::helperClipPath;

namespace {

QImage pattern(int width, int height, QColor color)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    QPainter painter(&image);
    painter.fillRect(0, 0, width / 2, height / 2, Qt::white);
    return image;
}

QSize pngSize(const QString& path)
{
    QImageReader reader(path, "png");
    return reader.size();
}

} // namespace

TEST(SlateLayout, FullHdMatchesTheDesign)
{
    const SlateLayout l = slateLayout(1920, 1080);
    EXPECT_DOUBLE_EQ(l.margin, 17);
    EXPECT_DOUBLE_EQ(l.gap, 9);
    EXPECT_DOUBLE_EQ(l.frameWidth, 570);
    EXPECT_DOUBLE_EQ(l.frameHeight, 320.625);
    EXPECT_DOUBLE_EQ(l.frames[0].x, 96);
    EXPECT_DOUBLE_EQ(l.frames[1].x, 675);
    EXPECT_DOUBLE_EQ(l.frames[2].x, 1254);
    EXPECT_DOUBLE_EQ(l.frames[2].x + l.frameWidth, l.content.x + l.content.width); // the row spans C
    EXPECT_DOUBLE_EQ(l.frames[0].y, 108);
    EXPECT_DOUBLE_EQ(l.framesWithReflection[0].y, 27.84375);
    EXPECT_DOUBLE_EQ(l.framesWithReflection[0].height, 320.625 * 1.25);
    EXPECT_DOUBLE_EQ(l.panel.y, 540);
    EXPECT_DOUBLE_EQ(l.panel.y + l.panel.height, 972);
    EXPECT_DOUBLE_EQ(l.textLeft, 113);
    EXPECT_DOUBLE_EQ(l.titleFontSize, 120);
    EXPECT_DOUBLE_EQ(l.durationFontSize, 100);
    EXPECT_DOUBLE_EQ(l.infoFontSize, 52);
    EXPECT_DOUBLE_EQ(l.rightEdge, 1807);
    EXPECT_DOUBLE_EQ(l.rightColumnBottom, 557);
    EXPECT_DOUBLE_EQ(l.background.x, -192);
    EXPECT_DOUBLE_EQ(l.background.width, 2304);

    // Origin lower left becomes origin upper left for drawing.
    const QRectF panel = toTopLeft(l.panel, 1080);
    EXPECT_DOUBLE_EQ(panel.top(), 108);
    EXPECT_DOUBLE_EQ(panel.bottom(), 540);
}

TEST(SlateLayout, HdIsTwoThirdsOfFullHd)
{
    const SlateLayout full = slateLayout(1920, 1080);
    const SlateLayout hd = slateLayout(1280, 720);
    EXPECT_DOUBLE_EQ(hd.titleFontSize, 80);
    EXPECT_DOUBLE_EQ(hd.frameWidth, 380);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_DOUBLE_EQ(hd.frames[k].x, full.frames[k].x * 2 / 3);
        EXPECT_DOUBLE_EQ(hd.framesWithReflection[k].y, full.framesWithReflection[k].y * 2 / 3);
    }
    EXPECT_DOUBLE_EQ(hd.textLeft, full.textLeft * 2 / 3);
    EXPECT_DOUBLE_EQ(hd.rightEdge, full.rightEdge * 2 / 3);
    EXPECT_DOUBLE_EQ(hd.rightColumnBottom, full.rightColumnBottom * 2 / 3);
    EXPECT_DOUBLE_EQ(hd.infoFontSize, 52.0 * 2 / 3);
}

TEST(FrameImages, ThumbnailFitsTheBoxAtOnePixelPerPoint)
{
    EXPECT_EQ(clipwright::thumbnailSize(1920, 1080), QSize(114, 64));
    EXPECT_EQ(clipwright::thumbnailSize(640, 480), QSize(93, 70));
    EXPECT_EQ(clipwright::thumbnailSize(1080, 1920), QSize(39, 70));
    EXPECT_EQ(clipwright::thumbnailSize(0, 0), QSize(114, 70));
    EXPECT_EQ(clipwright::slateDurationText(3725.9), QStringLiteral("01:02:05"));
    EXPECT_EQ(clipwright::slateDurationText(-3), QStringLiteral("00:00:00"));
    EXPECT_EQ(clipwright::slateDurationText(360000), QStringLiteral("100:00:00"));
}

TEST(DiscBlur, SpreadsAPointOverADiscAndKeepsFlatAreasFlat)
{
    QImage flat(40, 30, QImage::Format_RGB32);
    flat.fill(QColor(10, 120, 200));
    const QImage flatBlurred = discBlur(flat, 8);
    EXPECT_EQ(flatBlurred.pixelColor(0, 0), QColor(10, 120, 200));
    EXPECT_EQ(flatBlurred.pixelColor(39, 29), QColor(10, 120, 200));

    QImage dot(41, 41, QImage::Format_RGB32);
    dot.fill(Qt::black);
    dot.setPixelColor(20, 20, Qt::white);
    const QImage blurred = discBlur(dot, 8);
    EXPECT_GT(blurred.pixelColor(20, 20).red(), 0);
    EXPECT_GT(blurred.pixelColor(28, 20).red(), 0); // 8 away along an axis: inside
    EXPECT_EQ(blurred.pixelColor(29, 20).red(), 0); // 9 away: outside
    EXPECT_EQ(blurred.pixelColor(26, 26).red(), 0); // 8.5 away diagonally: outside
    EXPECT_EQ(blurred.pixelColor(20, 20), blurred.pixelColor(20, 12)); // every disc pixel weighs the same
}

TEST(Reflection, MirrorFadesBelowTheImage)
{
    QImage image(20, 40, QImage::Format_RGB32);
    image.fill(Qt::red);
    for (int x = 0; x < 20; ++x)
        image.setPixelColor(x, 39, Qt::blue); // bottom row, the first one mirrored
    const QImage reflected = imageWithReflection(image, 0.25);
    ASSERT_EQ(reflected.size(), QSize(20, 50));
    EXPECT_EQ(reflected.pixelColor(5, 0), QColor(Qt::red));
    EXPECT_EQ(reflected.pixelColor(5, 39), QColor(Qt::blue));
    const QColor join = reflected.pixelColor(5, 40);
    const QColor end = reflected.pixelColor(5, 49);
    EXPECT_GT(join.blue(), join.red()); // the bottom row appears first, mirrored
    EXPECT_NEAR(join.alphaF(), 0.7, 0.1);
    EXPECT_LT(end.alphaF(), 0.15);
}

TEST(SlateComposition, NeedsFourImagesAndACanvas)
{
    const QImage frame = pattern(160, 90, Qt::darkGreen);
    EXPECT_TRUE(KLVCleanImageManager::slateImageForSourcePath("/a.mov", "a", "00:00:01", "h264", "160x90", "25.00",
                                                              QSize(160, 90), {frame, frame, frame})
                    .isNull());
    EXPECT_TRUE(KLVCleanImageManager::slateImageForSourcePath("/a.mov", "a", "00:00:01", "h264", "160x90", "25.00",
                                                              QSize(0, 90), {frame, frame, frame, frame})
                    .isNull());
}

TEST(SlateComposition, RendersTextAndFramesOnTheCanvas)
{
    const QImage frame = pattern(1280, 720, Qt::darkGreen);
    const QString longTitle = QString(300, QLatin1Char('W'));
    const QImage slate = KLVCleanImageManager::slateImageForSourcePath(
        QStringLiteral("/media/clips/") + longTitle + QStringLiteral(".mov"), longTitle, QStringLiteral("00:01:40"),
        QStringLiteral("h264"), QStringLiteral("1280x720"), QStringLiteral("25.00"), QSize(1280, 720),
        {frame, frame, frame, frame});
    ASSERT_EQ(slate.size(), QSize(1280, 720));
    const SlateLayout l = slateLayout(1280, 720);
    // A frame's centre shows the pattern, undimmed.
    const QRectF first = toTopLeft(l.frames[0], 720);
    EXPECT_EQ(slate.pixelColor(first.center().toPoint()), frame.pixelColor(640, 360));
    // The panel is darker than the dimmed background around it, and holds white title pixels.
    int whiteInTitle = 0;
    for (int y = int(720 - l.textTop); y < int(720 - l.textTop + 60); ++y)
        for (int x = int(l.textLeft); x < int(l.textLeft + 400); ++x)
            whiteInTitle += slate.pixelColor(x, y).lightness() > 230;
    EXPECT_GT(whiteInTitle, 50);
    // The background is the blurred first frame, darkened: no pixel stays fully transparent.
    EXPECT_EQ(slate.pixelColor(2, 2).alpha(), 255);
    EXPECT_EQ(slate.pixelColor(1277, 717).alpha(), 255);
}

TEST(SlateComposition, WritesPngAtomicallyAndCreatesFolders)
{
    testsupport::TempFolder temp;
    const QImage image = pattern(30, 20, Qt::blue);
    const QString nested = temp.filePath(QStringLiteral("a/b/c/pic.png"));
    ASSERT_TRUE(KLVCleanImageManager::writeImage(image, nested));
    EXPECT_EQ(pngSize(nested), QSize(30, 20));

    // Over an existing file: replaced whole.
    ASSERT_TRUE(KLVCleanImageManager::writeImage(pattern(8, 6, Qt::red), nested));
    EXPECT_EQ(pngSize(nested), QSize(8, 6));

    // A folder that cannot be made (a file is in the way): nothing written, and said so.
    temp.writeFile(QStringLiteral("blocker"), "x");
    EXPECT_FALSE(KLVCleanImageManager::writeImage(image, temp.filePath(QStringLiteral("blocker/pic.png"))));
    EXPECT_FALSE(KLVCleanImageManager::writeImage(QImage(), temp.filePath(QStringLiteral("empty.png"))));
    EXPECT_FALSE(QFile::exists(temp.filePath(QStringLiteral("empty.png"))));
}

TEST(FrameImages, SlateAndThumbnailOfARealClip)
{
    ssMediaDecoder3Light decoder;
    ASSERT_EQ(decoder.Open(helperClipPath(HelperClip::Square1080p).toStdString()), 0);
    const QImage thumb = clipwright::_thumb(decoder, std::nan(""));
    EXPECT_EQ(thumb.size(), QSize(114, 64));
    const QImage slate = clipwright::_slate(decoder, helperClipPath(HelperClip::Square1080p), std::nan(""), 0);
    EXPECT_EQ(slate.size(), QSize(1920, 1080));
}

TEST(FrameImages, NonSquarePixelsAreShownAtTheDisplaySize)
{
    ssMediaDecoder3Light decoder;
    ASSERT_EQ(decoder.Open(helperClipPath(HelperClip::Anamorphic480).toStdString()), 0);
    EXPECT_EQ(clipwright::_thumb(decoder, 1.0).size(), QSize(93, 70));
    EXPECT_EQ(clipwright::_slate(decoder, QStringLiteral("/x/anamorphic.mp4"), 0, 4).size(), QSize(640, 480));
}

TEST(FrameImages, ClosedDecoderGivesNoImages)
{
    ssMediaDecoder3Light decoder;
    EXPECT_TRUE(clipwright::_thumb(decoder, 3.0).isNull());
    EXPECT_TRUE(clipwright::_slate(decoder, QStringLiteral("/x.mov"), 0, 10).isNull());
}
