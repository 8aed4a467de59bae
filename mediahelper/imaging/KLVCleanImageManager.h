#pragma once
// Drawing and writing of the helper's images: the slate title card, frames wrapped as images,
// reflections, PNG files. Fonts are DejaVu Sans (through fontconfig); text is measured and drawn
// at one pixel per point. Needs a QGuiApplication (the offscreen platform will do). Each call
// works on its own images, so calls from several worker threads may overlap.

#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

#include <cstdint>

class KLVCleanImageManager {
public:
    KLVCleanImageManager() = delete;

    // The slate for a canvas of imageSize (the clip's display size): the first image, blurred,
    // as background, the other three in a row with reflections, title and duration at the upper
    // left, path, format and "size @ fps" at the right. Null without exactly four images or with
    // an empty canvas.
    static QImage slateImageForSourcePath(const QString& sourcePath, const QString& title, const QString& duration,
                                          const QString& format, const QString& size, const QString& fps,
                                          QSize withImageSize, const QList<QImage>& images);

    // Writes image as PNG at path, atomically (the complete file or none), creating missing
    // folders. False when nothing was written.
    static bool writeImage(const QImage& image, const QString& toDisk);

    // An image of width x height over RGB24 bytes (rows of width x 3), without copying them: the
    // buffer must outlive the image. Null for a non-positive size or no buffer.
    static QImage imageFromRawData(const std::uint8_t* data, std::int32_t width, std::int32_t height);

    // The fonts of the slate at a size in points.
    static QFont titleFont(double size);
    static QFont durationFont(double size);
    static QFont infoFont(double size);
};

// The image with a fading mirror image of fraction x its height below it (alpha 0.7 at the
// join, clear at the bottom).
QImage imageWithReflection(const QImage& image, double fraction);
