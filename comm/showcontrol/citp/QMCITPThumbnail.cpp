#include "comm/showcontrol/citp/QMCITPThumbnail.h"

#include "comm/core/QMCommLog.h"
#include "comm/showcontrol/citp/QMImageBitmapData.h"
#include "comm/showcontrol/citp/QMMSEXMessages.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr float kQuality = 0.8f;
// Attempts at a smaller size before a thumbnail that does not fit is given up.
constexpr int kShrinkAttempts = 8;
// The largest side drawn whatever a console asks: the size is its preference, and every pixel
// is drawn before the encoder can tell whether the result fits.
constexpr int kMaxThumbnailSide = 1024;

} // namespace

QSizeF QMCITPThumbnailTargetSize(const QSize& image, std::uint16_t width, std::uint16_t height, std::uint8_t flags)
{
    QSizeF target(width, height);
    if (flags == 1 && image.width() > 0 && image.height() > 0 && width > 0) {
        const double iw = image.width();
        const double ih = image.height();
        const double scale = double(height) / double(width) > ih / iw ? double(width) / iw : double(height) / ih;
        target = QSizeF(iw * scale, ih * scale);
    }
    return target;
}

QSize QMCITPBoundThumbnailSize(const QSize& requested, const QSize& held)
{
    const double maxWidth = std::min(held.width(), kMaxThumbnailSide);
    const double maxHeight = std::min(held.height(), kMaxThumbnailSide);
    if (requested.width() <= 0 || requested.height() <= 0 || maxWidth <= 0 || maxHeight <= 0)
        return requested;
    const double scale = std::min({1.0, maxWidth / requested.width(), maxHeight / requested.height()});
    if (scale >= 1.0)
        return requested;
    const auto side = [scale](int length, double most) { return std::clamp(qRound(length * scale), 1, int(most)); };
    return QSize(side(requested.width(), maxWidth), side(requested.height(), maxHeight));
}

QImage QMCITPRedrawImage(const QImage& image, const QSize& target)
{
    QImage out(target, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QPainter painter(&out);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setOpacity(1.0);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(QPoint(0, 0), target), image);
    painter.end();
    return out;
}

QByteArray QMCITPEncodeThumbnail(const QImage& image, std::uint32_t format, bool msex10)
{
    if (format == kMSEXFormatJPEG)
        return NSImageBitmapData::jpegRepresentationWithQuality(image, kQuality);
    if (format == kMSEXFormatPNG)
        return NSImageBitmapData::pngRepresentationWithQuality(image, kQuality);
    if (format == kMSEXFormatRGB8)
        return msex10 ? NSImageBitmapData::BGR8Representation(image) : NSImageBitmapData::RGB8Representation(image);
    return {};
}

std::optional<QMCITPThumbnail> QMCITPMakeThumbnail(const QImage& image, std::uint16_t width, std::uint16_t height,
                                                   std::uint8_t flags, std::uint32_t format, bool msex10)
{
    const QSizeF target = QMCITPThumbnailTargetSize(image.size(), width, height, flags);
    QSize size = QMCITPBoundThumbnailSize(QSize(int(target.width()), int(target.height())), image.size());
    if (size.width() <= 0 || size.height() <= 0) {
        if (size.width() <= 0 && size.height() <= 0)
            qmcomm::logError(QStringLiteral("zero size for %1x%2 thumbnail").arg(width).arg(height));
        return std::nullopt;
    }
    for (int attempt = 0; attempt <= kShrinkAttempts; ++attempt) {
        QMCITPThumbnail thumbnail;
        const QImage drawn = QMCITPRedrawImage(image, size);
        thumbnail.data = QMCITPEncodeThumbnail(drawn, format, msex10);
        thumbnail.width = drawn.width();
        thumbnail.height = drawn.height();
        if (thumbnail.data.size() <= QMMSEXEThnMessage::kMaxThumbnailBytes)
            return thumbnail;
        // Too big for the 16-bit buffer size: shrink both sides by the missing factor (and a
        // margin, since compressed sizes do not scale exactly).
        const double factor = std::sqrt(double(QMMSEXEThnMessage::kMaxThumbnailBytes) / double(thumbnail.data.size())) * 0.95;
        size = QSize(int(size.width() * factor), int(size.height() * factor));
        if (size.width() <= 0 || size.height() <= 0)
            break;
    }
    qmcomm::logError(QStringLiteral("thumbnail %1x%2 does not fit in 65535 bytes; skipped").arg(width).arg(height));
    return std::nullopt;
}
