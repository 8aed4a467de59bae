#include "mediahelper/imaging/FrameImages.h"

#include "mediahelper/decoder/ssMediaDecoder3Light.h"
#include "mediahelper/imaging/KLVCleanImageManager.h"
#include "platform/foundation/Log.h"

#include <QFileInfo>
#include <QPainter>

#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>

namespace clipwright {

namespace {

constexpr const char* kSubsystem = "com.quenmark.clipwright";
constexpr const char* kCategory = "images";

// One decoded frame as an image of the clip's display size (its own copy of the pixels): none
// when the decoder failed, a null image when it gave an empty frame.
std::optional<QImage> grabFrame(ssMediaDecoder3Light& decoder, double seconds)
{
    int width = 0;
    int height = 0;
    std::unique_ptr<std::uint8_t[]> pixels;
    if (decoder.GetImageForTime(seconds, width, height, pixels) != 0)
        return std::nullopt;
    const QImage raw = KLVCleanImageManager::imageFromRawData(pixels.get(), width, height);
    if (raw.isNull())
        return QImage();
    const int displayWidth = decoder.GetWidthHeight().first;
    const int codedWidth = decoder.GetCodedWidth();
    int targetWidth = width;
    if (displayWidth > 0 && codedWidth > 0 && displayWidth != codedWidth)
        targetWidth = std::max(1, int(std::lround(double(width) * displayWidth / codedWidth)));
    if (targetWidth == width)
        return raw.convertToFormat(QImage::Format_RGB32); // a copy: the buffer goes away here
    return raw.scaled(targetWidth, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_RGB32);
}

} // namespace

QSize thumbnailSize(double displayWidth, double displayHeight)
{
    if (!(displayWidth > 0) || !(displayHeight > 0))
        return QSize(int(kThumbnailBoxWidth), int(kThumbnailBoxHeight));
    double s = std::min(kThumbnailBoxWidth / displayWidth, kThumbnailBoxHeight / displayHeight);
    if (!(s > 0))
        s = 1;
    return QSize(std::max(1, int(std::lround(displayWidth * s))), std::max(1, int(std::lround(displayHeight * s))));
}

QString slateDurationText(double seconds)
{
    const long total = (std::isfinite(seconds) && seconds > 0) ? long(seconds) : 0;
    return QString::asprintf("%02ld:%02ld:%02ld", total / 3600, (total / 60) % 60, total % 60);
}

QImage _thumb(ssMediaDecoder3Light& decoder, double seconds)
{
    if (std::isnan(seconds))
        seconds = kDefaultThumbnailTime;
    const std::optional<QImage> grabbed = grabFrame(decoder, seconds);
    if (!grabbed)
        return {};
    const QImage& frame = *grabbed;
    if (frame.isNull()) {
        QImage empty(int(kThumbnailBoxWidth), int(kThumbnailBoxHeight), QImage::Format_ARGB32_Premultiplied);
        empty.fill(Qt::transparent);
        return empty;
    }
    const QSize size = thumbnailSize(frame.width(), frame.height());
    QImage thumb(size, QImage::Format_RGB32);
    thumb.fill(Qt::black);
    QPainter painter(&thumb);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QRect(QPoint(0, 0), size), frame);
    painter.end();
    return thumb;
}

QImage _slate(ssMediaDecoder3Light& decoder, const QString& sourcePath, double inPoint, double outPoint)
{
    if (std::isnan(inPoint) || std::isnan(outPoint) || !(inPoint < outPoint)) {
        inPoint = 0;
        outPoint = decoder.GetDuration();
    }
    const double step = (outPoint - inPoint) / 5;
    QList<QImage> images;
    double t = inPoint + step;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const std::optional<QImage> frame = grabFrame(decoder, t);
        if (!frame)
            continue; // the next attempt tries the same time again
        if (!frame->isNull())
            images.append(*frame);
        t += step;
    }
    if (images.size() < 4) {
        platform::log(kSubsystem, kCategory, platform::LogLevel::Default,
                      QStringLiteral("Didn't get enough images for a slate. count - %1 \n(%2 images)")
                          .arg(images.size())
                          .arg(images.size()));
        return {};
    }
    const auto [width, height] = decoder.GetWidthHeight();
    const QString sizeText = width > 0 ? QStringLiteral("%1x%2").arg(width).arg(height) : QStringLiteral("Unknown");
    const QString fpsText = QString::asprintf("%.2f", decoder.GetFrameRate());
    const QString format = QString::fromStdString(decoder.GetFormatString());
    const QString title = QFileInfo(sourcePath).completeBaseName();
    return KLVCleanImageManager::slateImageForSourcePath(sourcePath, title, slateDurationText(decoder.GetDuration()),
                                                         format, sizeText, fpsText, QSize(width, height), images);
}

} // namespace clipwright
