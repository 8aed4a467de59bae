#include "ui/widgets/overlay/KLVGraphicOverlayEditorView.h"

#include "ui/widgets/overlay/KLVOverlayColors.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

KLVGraphicOverlayEditorView::KLVGraphicOverlayEditorView(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    geometry_.setViewSize(size());
}

void KLVGraphicOverlayEditorView::setOverlayImage(const QImage& image)
{
    image_ = image;
    geometry_.setImageSize(image.size());
    update();
}

void KLVGraphicOverlayEditorView::setOutputSize(const QSizeF& size)
{
    if (size == geometry_.outputSize())
        return;
    geometry_.setOutputSize(size);
    update();
}

void KLVGraphicOverlayEditorView::setDisplayBounds(const QRectF& rect)
{
    if (rect == geometry_.displayBounds())
        return;
    geometry_.setDisplayBounds(rect);
    update();
}

void KLVGraphicOverlayEditorView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    geometry_.setViewSize(size());
}

QPointF KLVGraphicOverlayEditorView::viewPoint(const QPointF& widgetPoint) const
{
    return KLVOverlayGeometry::flipped(widgetPoint, height());
}

void KLVGraphicOverlayEditorView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const double h = height();
    p.fillRect(rect(), KLVOverlayColors::backgroundFill());
    p.setPen(KLVOverlayColors::backgroundBorder());
    p.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    if (!geometry_.drawsOutput())
        return;
    const QRectF output = KLVOverlayGeometry::flipped(geometry_.outputFrame(), h);
    p.fillRect(output, KLVOverlayColors::outputFill());
    p.setPen(KLVOverlayColors::outputBorder());
    p.drawRect(KLVOverlayGeometry::flipped(geometry_.outputFrameBorder(), h));
    p.setClipRect(output);
    if (geometry_.imageDstRect().isEmpty() || image_.isNull())
        return;
    // The source rectangle is y-up in the overlay's own pixels; the image's rows run top down.
    const QRectF bounds = geometry_.displayBounds();
    const double sx = bounds.width() > 0 ? image_.width() / bounds.width() : 1;
    const double sy = bounds.height() > 0 ? image_.height() / bounds.height() : 1;
    const QRectF src = KLVOverlayGeometry::flipped(geometry_.imageSrcRect(), bounds.height());
    const QRectF source(src.x() * sx, src.y() * sy, src.width() * sx, src.height() * sy);
    const QRectF target = KLVOverlayGeometry::flipped(geometry_.imageDstRect(), h);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.drawImage(target, image_, source);
    p.setPen(KLVOverlayColors::imageBorder());
    p.drawRect(target);
}

void KLVGraphicOverlayEditorView::setOverlayRect(const std::optional<QRectF>& rect)
{
    if (!rect)
        return;
    setDisplayBounds(*rect);
    if (onChangeOverlayBounds)
        onChangeOverlayBounds(*rect);
}

void KLVGraphicOverlayEditorView::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    geometry_.beginDrag(viewPoint(event->position()));
}

void KLVGraphicOverlayEditorView::mouseMoveEvent(QMouseEvent* event)
{
    if (geometry_.isDragging())
        setOverlayRect(geometry_.continueDrag(viewPoint(event->position())));
}

void KLVGraphicOverlayEditorView::mouseReleaseEvent(QMouseEvent* event)
{
    if (geometry_.isDragging())
        setOverlayRect(geometry_.endDrag(viewPoint(event->position())));
}

void KLVGraphicOverlayEditorView::keyPressEvent(QKeyEvent* event)
{
    const double delta = event->modifiers().testFlag(Qt::ShiftModifier) ? 10.0 : 1.0;
    switch (event->key()) {
    case Qt::Key_Up: setOverlayRect(geometry_.nudge(0, delta)); break;
    case Qt::Key_Down: setOverlayRect(geometry_.nudge(0, -delta)); break;
    case Qt::Key_Left: setOverlayRect(geometry_.nudge(-delta, 0)); break;
    case Qt::Key_Right: setOverlayRect(geometry_.nudge(delta, 0)); break;
    default: QWidget::keyPressEvent(event); return;
    }
}
