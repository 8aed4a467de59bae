// Thumbnail sizes, encodings and the 65535-byte limit.
#include "comm/showcontrol/citp/QMCITPThumbnail.h"
#include "comm/showcontrol/citp/QMImageBitmapData.h"
#include "comm/showcontrol/citp/QMMSEXMessages.h"

#include <gtest/gtest.h>

namespace {

QImage solid(int w, int h, QColor colour)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

} // namespace

TEST(Thumbnails, RawPixelsInBothOrdersAndClampedQuality)
{
    QImage pair(2, 1, QImage::Format_RGB32);
    pair.setPixel(0, 0, qRgb(255, 0, 10));
    pair.setPixel(1, 0, qRgb(0, 128, 255));
    EXPECT_EQ(NSImageBitmapData::RGB8Representation(pair), QByteArray::fromHex("ff000a0080ff"));
    EXPECT_EQ(NSImageBitmapData::BGR8Representation(pair), QByteArray::fromHex("0a00ffff8000"));
    EXPECT_TRUE(NSImageBitmapData::RGB8Representation(QImage()).isEmpty());

    const QImage picture = solid(64, 48, QColor(10, 200, 30));
    EXPECT_EQ(NSImageBitmapData::jpegRepresentationWithQuality(picture, 1.7f), NSImageBitmapData::jpegRepresentationWithQuality(picture, 1.0f));
    EXPECT_EQ(NSImageBitmapData::jpegRepresentationWithQuality(picture, -0.5f), NSImageBitmapData::jpegRepresentationWithQuality(picture, 0.0f));
    const QImage png = QImage::fromData(NSImageBitmapData::pngRepresentationWithQuality(picture, 0.8f), "PNG");
    EXPECT_EQ(png.size(), picture.size());
}

TEST(Thumbnails, AspectRatioIsKeptOnlyWhenAskedFor)
{
    const QImage hd = solid(1920, 1080, Qt::red);
    auto kept = QMCITPMakeThumbnail(hd, 128, 128, 1, kMSEXFormatJPEG, false);
    ASSERT_TRUE(kept.has_value());
    EXPECT_EQ(QSize(kept->width, kept->height), QSize(128, 72));
    EXPECT_EQ(QImage::fromData(kept->data, "JPEG").size(), QSize(128, 72));

    auto stretched = QMCITPMakeThumbnail(hd, 128, 128, 0, kMSEXFormatRGB8, false);
    ASSERT_TRUE(stretched.has_value());
    EXPECT_EQ(stretched->data.size(), 128 * 128 * 3);
    EXPECT_EQ(stretched->data.left(3), QByteArray::fromHex("ff0000"));
    EXPECT_EQ(QMCITPMakeThumbnail(hd, 4, 4, 0, kMSEXFormatRGB8, true)->data.left(3), QByteArray::fromHex("0000ff"));

    // Unknown formats get an empty buffer; a zero size gets nothing.
    EXPECT_TRUE(QMCITPMakeThumbnail(hd, 8, 8, 0, CITPFourCC("GIF "), false)->data.isEmpty());
    EXPECT_FALSE(QMCITPMakeThumbnail(hd, 0, 0, 0, kMSEXFormatJPEG, false).has_value());
    EXPECT_FALSE(QMCITPMakeThumbnail(hd, 100, 0, 0, kMSEXFormatJPEG, false).has_value());
}

TEST(Thumbnails, ThumbnailsTooBigForTheSizeFieldAreDrawnSmaller)
{
    // 400 x 300 raw pixels are 360000 bytes: redrawn smaller until they fit in 65535.
    auto shrunk = QMCITPMakeThumbnail(solid(800, 600, Qt::blue), 400, 300, 1, kMSEXFormatRGB8, false);
    ASSERT_TRUE(shrunk.has_value());
    EXPECT_LE(shrunk->data.size(), 65535);
    EXPECT_EQ(shrunk->data.size(), qsizetype(shrunk->width) * shrunk->height * 3);
    EXPECT_GT(shrunk->width, 100);
    EXPECT_NEAR(double(shrunk->width) / shrunk->height, 4.0 / 3.0, 0.05);
}

TEST(Thumbnails, AskingForMoreThanTheServerHoldsGetsWhatItHolds)
{
    // The requested size is a preference: never drawn larger than the held thumbnail.
    const QImage held = solid(160, 90, Qt::green);
    auto kept = QMCITPMakeThumbnail(held, 1000, 1000, 1, kMSEXFormatJPEG, false);
    ASSERT_TRUE(kept.has_value());
    EXPECT_EQ(QSize(kept->width, kept->height), QSize(160, 90));
    auto stretched = QMCITPMakeThumbnail(held, 1000, 500, 0, kMSEXFormatPNG, false);
    ASSERT_TRUE(stretched.has_value());
    EXPECT_EQ(QSize(stretched->width, stretched->height), QSize(160, 80)) << "the requested shape, within what is held";
    EXPECT_EQ(QImage::fromData(stretched->data, "PNG").size(), QSize(160, 80));

    // The largest request a console can make, of a large held picture: a fixed ceiling.
    EXPECT_EQ(QMCITPBoundThumbnailSize(QSize(65535, 65535), QSize(8000, 6000)), QSize(1024, 1024));
    EXPECT_EQ(QMCITPBoundThumbnailSize(QSize(65535, 32767), QSize(8000, 6000)), QSize(1024, 512));
    EXPECT_EQ(QMCITPBoundThumbnailSize(QSize(64, 48), QSize(8000, 6000)), QSize(64, 48));
}
