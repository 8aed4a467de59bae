#include "ui/logic/overlay/KLVOverlayGeometry.h"

#include "app/util/KLVUtilities.h"

#include <cmath>

void KLVOverlayGeometry::setViewSize(const QSizeF& size)
{
    viewSize_ = size;
    layout();
}

void KLVOverlayGeometry::setOutputSize(const QSizeF& size)
{
    outputSize_ = size;
    layout();
}

void KLVOverlayGeometry::setDisplayBounds(const QRectF& rect)
{
    displayBounds_ = rect;
    layout();
}

void KLVOverlayGeometry::setImageSize(const QSizeF& size)
{
    imageSize_ = size;
    layout();
}

void KLVOverlayGeometry::layout()
{
    outputFrame_ = outputFrameBorder_ = imageDstRect_ = imageSrcRect_ = QRectF();
    scale_ = 1;
    if (outputSize_.isEmpty() || viewSize_.width() < 4 || viewSize_.height() < 4)
        return;
    const QRectF inset(2, 2, viewSize_.width() - 4, viewSize_.height() - 4);
    outputFrame_ = KLVUtilities::centerAndScaleSize(outputSize_, inset);
    outputFrameBorder_ = outputFrame_.adjusted(-1, -1, 1, 1);
    if (imageSize_.isEmpty())
        return;
    scale_ = outputFrame_.width() / outputSize_.width();
    const QRectF placed(outputFrame_.x() + displayBounds_.x() * scale_, outputFrame_.y() + displayBounds_.y() * scale_,
                        displayBounds_.width() * scale_, displayBounds_.height() * scale_);
    imageDstRect_ = outputFrame_.intersected(placed);
    imageSrcRect_ = QRectF(QPointF(0, 0), outputSize_)
                        .intersected(displayBounds_)
                        .translated(-displayBounds_.x(), -displayBounds_.y());
}

bool KLVOverlayGeometry::beginDrag(const QPointF& point)
{
    dragging_ = !imageDstRect_.isEmpty() && imageDstRect_.contains(point);
    dragBegin_ = dragging_ ? point : QPointF();
    dragBeginBounds_ = dragging_ ? displayBounds_ : QRectF();
    return dragging_;
}

std::optional<QRectF> KLVOverlayGeometry::moveTo(const QPointF& point)
{
    const double x = std::floor((point.x() - dragBegin_.x()) / scale_ + dragBeginBounds_.x());
    const double y = std::floor((point.y() - dragBegin_.y()) / scale_ + dragBeginBounds_.y());
    return changedTo(QRectF(QPointF(x, y), dragBeginBounds_.size()));
}

std::optional<QRectF> KLVOverlayGeometry::continueDrag(const QPointF& point)
{
    if (!dragging_)
        return std::nullopt;
    return moveTo(point);
}

std::optional<QRectF> KLVOverlayGeometry::endDrag(const QPointF& point)
{
    if (!dragging_)
        return std::nullopt;
    const auto rect = moveTo(point);
    dragging_ = false;
    dragBegin_ = QPointF();
    dragBeginBounds_ = QRectF();
    return rect;
}

std::optional<QRectF> KLVOverlayGeometry::nudge(double dx, double dy) const
{
    return changedTo(displayBounds_.translated(dx, dy));
}

std::optional<QRectF> KLVOverlayGeometry::changedTo(const QRectF& rect) const
{
    if (rect == displayBounds_)
        return std::nullopt;
    return rect;
}

bool KLVOverlayGeometry::acceptsX(double x, const QRectF& rect, const QSizeF& output)
{
    return std::isfinite(x) && x + rect.width() >= 0 && x <= output.width();
}

bool KLVOverlayGeometry::acceptsY(double y, const QRectF& rect, const QSizeF& output)
{
    return std::isfinite(y) && y + rect.height() >= 0 && y <= output.height();
}

QPointF KLVOverlayGeometry::flipped(const QPointF& point, double height)
{
    return {point.x(), height - point.y()};
}

QRectF KLVOverlayGeometry::flipped(const QRectF& rect, double height)
{
    return {rect.x(), height - rect.y() - rect.height(), rect.width(), rect.height()};
}

QRectF KLVOverlayGeometry::engineRect(const QRectF& displayBounds, const QSizeF& output)
{
    return flipped(displayBounds, output.height());
}
