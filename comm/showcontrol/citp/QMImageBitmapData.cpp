#include "comm/showcontrol/citp/QMImageBitmapData.h"

#include <QBuffer>
#include <QImageWriter>

#include <algorithm>

namespace {

QByteArray encoded(const QImage& image, const char* format, float quality)
{
    if (image.isNull())
        return {};
    const float clamped = std::clamp(quality, 0.0f, 1.0f);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(int(clamped * 100.0f + 0.5f));
    if (!writer.write(image))
        return {};
    return bytes;
}

QByteArray rawPixels(const QImage& image, bool bgr)
{
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        return {};
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    const int width = rgb.width();
    QByteArray out;
    out.resize(qsizetype(width) * rgb.height() * 3);
    char* to = out.data();
    for (int y = 0; y < rgb.height(); ++y) {
        const uchar* from = rgb.constScanLine(y);
        for (int x = 0; x < width; ++x, from += 3, to += 3) {
            to[0] = char(from[bgr ? 2 : 0]);
            to[1] = char(from[1]);
            to[2] = char(from[bgr ? 0 : 2]);
        }
    }
    return out;
}

} // namespace

namespace NSImageBitmapData {

QByteArray jpegRepresentationWithQuality(const QImage& image, float quality)
{
    return encoded(image, "jpeg", quality);
}

QByteArray pngRepresentationWithQuality(const QImage& image, float quality)
{
    return encoded(image, "png", quality);
}

QByteArray RGB8Representation(const QImage& image)
{
    return rawPixels(image, false);
}

QByteArray BGR8Representation(const QImage& image)
{
    return rawPixels(image, true);
}

} // namespace NSImageBitmapData
