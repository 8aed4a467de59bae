#include "mediahelper/imaging/KLVCleanImageManager.h"

#include "mediahelper/imaging/DiscBlur.h"
#include "mediahelper/imaging/SlateLayout.h"

#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QSaveFile>

#include <cmath>

namespace {

const QString kFontFamily = QStringLiteral("DejaVu Sans");
// 72 dots per inch: a point is a pixel, as the layout assumes.
constexpr int kDotsPerMeterAt72Dpi = 2835;

QImage newCanvas(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.setDotsPerMeterX(kDotsPerMeterAt72Dpi);
    image.setDotsPerMeterY(kDotsPerMeterAt72Dpi);
    image.fill(Qt::transparent);
    return image;
}

QFont font(double size, QFont::Weight weight)
{
    QFont f(kFontFamily);
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(size > 0 ? size : 1);
    f.setWeight(weight);
    return f;
}

// Draws text with its bounding line's lower left corner at (x, y) of the layout (origin lower left).
void drawTextAt(QPainter& painter, const QFont& f, const QColor& color, const QString& text, double x, double y,
                double canvasHeight)
{
    const QFontMetricsF metrics(f, painter.device());
    painter.setFont(f);
    painter.setPen(color);
    painter.drawText(QPointF(x, canvasHeight - y - metrics.height() + metrics.ascent()), text);
}

// Lowers the size one point at a time while text is wider than maxWidth (and the size above 0).
double fittedSize(const QString& text, double start, double maxWidth, QFont (*make)(double), QPaintDevice* device)
{
    double size = start;
    while (size > 0 && QFontMetricsF(make(size), device).horizontalAdvance(text) > maxWidth)
        size -= 1;
    return size;
}

} // namespace

QFont KLVCleanImageManager::titleFont(double size)
{
    return font(size, QFont::Bold);
}

QFont KLVCleanImageManager::durationFont(double size)
{
    return font(size, QFont::Light);
}

QFont KLVCleanImageManager::infoFont(double size)
{
    return font(size, QFont::Normal);
}

QImage KLVCleanImageManager::imageFromRawData(const std::uint8_t* data, std::int32_t width, std::int32_t height)
{
    if (!data || width <= 0 || height <= 0)
        return {};
    return QImage(data, width, height, qsizetype(width) * 3, QImage::Format_RGB888);
}

QImage imageWithReflection(const QImage& image, double fraction)
{
    const int w = image.width();
    const int h = image.height();
    const int strip = int(std::lround(fraction * h));
    QImage out(w, h + strip, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    if (image.isNull())
        return out;
    QPainter painter(&out);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // The strip sits below the image; its gradient is strongest at the join.
    QLinearGradient gradient(0, h, 0, h + strip);
    gradient.setColorAt(0, QColor::fromRgbF(1, 1, 1, 0.7));
    gradient.setColorAt(1, Qt::transparent);
    painter.fillRect(QRectF(0, h, w, strip), gradient);
    // The mirror image takes the gradient's alpha.
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.save();
    painter.setClipRect(QRectF(0, h, w, strip));
    painter.translate(0, 2.0 * h);
    painter.scale(1, -1);
    painter.drawImage(QRectF(0, 0, w, h), image);
    painter.restore();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(QRectF(0, 0, w, h), image);
    painter.end();
    return out;
}

QImage KLVCleanImageManager::slateImageForSourcePath(const QString& sourcePath, const QString& title,
                                                     const QString& duration, const QString& format,
                                                     const QString& size, const QString& fps, QSize withImageSize,
                                                     const QList<QImage>& images)
{
    if (images.size() != 4 || withImageSize.width() <= 0 || withImageSize.height() <= 0)
        return {};
    for (const QImage& image : images)
        if (image.isNull())
            return {};
    const double W = withImageSize.width();
    const double H = withImageSize.height();
    const SlateLayout layout = slateLayout(W, H);

    const QImage& first = images[0];
    const double s = std::min(W / first.width(), H / first.height());
    const int bw = std::max(1, int(std::floor(first.width() * s)));
    const int bh = std::max(1, int(std::floor(first.height() * s)));
    const QImage background = first.scaled(bw, bh, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);

    QImage canvas = newCanvas(withImageSize.width(), withImageSize.height());
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    painter.drawImage(toTopLeft(layout.background, H), discBlur(background, int(layout.blurRadius)));
    // Darken only what is painted.
    painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    painter.fillRect(QRectF(0, 0, W, H), QColor::fromRgbF(0, 0, 0, layout.darkeningAlpha));

    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    const int fw = std::max(1, int(std::lround(layout.frameWidth)));
    const int fh = std::max(1, int(std::lround(layout.frameHeight)));
    for (int k = 0; k < 3; ++k) {
        const QImage frame = images[k + 1].scaled(fw, fh, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        painter.drawImage(toTopLeft(layout.framesWithReflection[std::size_t(k)], H),
                          imageWithReflection(frame, layout.reflectionFraction));
    }

    painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    painter.fillRect(toTopLeft(layout.panel, H), QColor::fromRgbF(0, 0, 0, layout.darkeningAlpha));
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);

    const QColor white(Qt::white);
    const QColor grey = QColor::fromRgbF(2.0 / 3, 2.0 / 3, 2.0 / 3);
    const double titleSize = fittedSize(title, layout.titleFontSize, layout.textMaxWidth, &titleFont, &canvas);
    double titleHeight = 0;
    if (titleSize > 0) {
        const QFont f = titleFont(titleSize);
        titleHeight = QFontMetricsF(f, &canvas).height();
        drawTextAt(painter, f, white, title, layout.textLeft, layout.textTop - titleHeight, H);
    }
    if (layout.durationFontSize > 0) {
        const QFont f = durationFont(layout.durationFontSize);
        const double height = QFontMetricsF(f, &canvas).height();
        drawTextAt(painter, f, white, duration, layout.textLeft, layout.textTop - titleHeight - height, H);
    }

    double y = layout.rightColumnBottom;
    auto rightLine = [&](const QString& text, double fontSize) {
        if (fontSize <= 0)
            return;
        const QFont f = infoFont(fontSize);
        const QFontMetricsF metrics(f, &canvas);
        drawTextAt(painter, f, grey, text, layout.rightEdge - metrics.horizontalAdvance(text), y, H);
        y += metrics.height();
    };
    rightLine(sourcePath, fittedSize(sourcePath, layout.infoFontSize, layout.textMaxWidth, &infoFont, &canvas));
    rightLine(format, layout.infoFontSize);
    rightLine(QStringLiteral("%1 @ %2").arg(size, fps), layout.infoFontSize);
    painter.end();

    if (bw == canvas.width() && bh == canvas.height())
        return canvas;
    return canvas.scaled(bw, bh, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

bool KLVCleanImageManager::writeImage(const QImage& image, const QString& toDisk)
{
    if (image.isNull() || toDisk.isEmpty())
        return false;
    const QString folder = QFileInfo(toDisk).absolutePath();
    if (!QDir().mkpath(folder))
        return false;
    QSaveFile file(toDisk);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (!image.save(&file, "PNG")) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
