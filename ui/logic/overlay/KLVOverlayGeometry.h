#pragma once
// The placement view's geometry, free of drawing: where the output area and the overlay are drawn,
// the part of the overlay that is visible, dragging in whole output pixels, arrow-key nudges and
// the position fields' limits. Everything is y-up (origin at the bottom left), in view points
// for the view and in output pixels for the overlay rectangle, as the document stores it.

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <optional>

class KLVOverlayGeometry {
public:
    void setViewSize(const QSizeF& size);
    void setOutputSize(const QSizeF& size);
    void setDisplayBounds(const QRectF& rect);
    void setImageSize(const QSizeF& size);
    QSizeF outputSize() const { return outputSize_; }
    QRectF displayBounds() const { return displayBounds_; }

    // The layout after the last change.
    QRectF outputFrame() const { return outputFrame_; }
    QRectF outputFrameBorder() const { return outputFrameBorder_; }
    QRectF imageDstRect() const { return imageDstRect_; }
    QRectF imageSrcRect() const { return imageSrcRect_; }
    double scale() const { return scale_; }
    bool drawsOutput() const { return !outputFrame_.isNull(); }

    // Dragging in view points. begin answers whether the press hit the drawn overlay; the moves
    // answer the overlay rectangle they lead to, or nothing when it does not change.
    bool beginDrag(const QPointF& point);
    bool isDragging() const { return dragging_; }
    std::optional<QRectF> continueDrag(const QPointF& point);
    std::optional<QRectF> endDrag(const QPointF& point);
    // The rectangle moved by whole output pixels (1, or 10 with Shift, by the caller).
    std::optional<QRectF> nudge(double dx, double dy) const;

    // The position fields: an origin that leaves part of the overlay on the output's raster (or
    // touching its left/bottom edge) and starts no further than its right/top edge.
    static bool acceptsX(double x, const QRectF& rect, const QSizeF& output);
    static bool acceptsY(double y, const QRectF& rect, const QSizeF& output);

    // Between the view's y-up points and a widget's y-down ones (height: the view's).
    static QPointF flipped(const QPointF& point, double height);
    static QRectF flipped(const QRectF& rect, double height);
    // The engine's overlay rectangle: output pixels from the raster's top left.
    static QRectF engineRect(const QRectF& displayBounds, const QSizeF& output);

private:
    void layout();
    std::optional<QRectF> changedTo(const QRectF& rect) const;
    std::optional<QRectF> moveTo(const QPointF& point);

    QSizeF viewSize_;
    QSizeF outputSize_;
    QSizeF imageSize_;
    QRectF displayBounds_;
    QRectF outputFrame_, outputFrameBorder_, imageDstRect_, imageSrcRect_;
    double scale_ = 1;
    QPointF dragBegin_;
    QRectF dragBeginBounds_;
    bool dragging_ = false;
};
