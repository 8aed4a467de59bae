#include "ui/widgets/common/QMProgressView.h"

#include "ui/widgets/common/QMProgressColors.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {

// The thin frame drawn around a bar: only for bars big enough to have an inside.
QRectF frameFor(const QRectF& r)
{
    if (r.width() > 0.5 && r.height() > 0.5)
        return r.adjusted(0.25, 0.25, -0.25, -0.25);
    return {};
}

constexpr double kHitSlop = 5.0;
constexpr double kKnobWidth = 8.0;

} // namespace

QMProgressView::QMProgressView(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    updateAllDrawingMetrics();
}

QMProgressView::~QMProgressView() = default;

void QMProgressView::setType(long type)
{
    type_ = type;
    updateAllDrawingMetrics();
}

void QMProgressView::setMaxValue(double v)
{
    maxValue_ = v;
    updateInOutDrawingMetrics();
    update();
}

void QMProgressView::setInValue(double v)
{
    inValue_ = v;
    updateInOutDrawingMetrics();
}

void QMProgressView::setOutValue(double v)
{
    outValue_ = v;
    updateInOutDrawingMetrics();
}

void QMProgressView::setDoubleValue(double v)
{
    // The position is set ten times a second while a cue is loaded: a still one repaints nothing.
    if (v == doubleValue_)
        return;
    doubleValue_ = v;
    updateProgressDrawingMetrics();
}

void QMProgressView::setIsDragging(bool dragging)
{
    if (dragging == isDragging_)
        return;
    isDragging_ = dragging;
    update(knobRect_.toAlignedRect().adjusted(-1, -1, 1, 1));
}

const QMProgressView& QMProgressView::synced() const
{
    const_cast<QMProgressView*>(this)->followedResize();
    return *this;
}

bool QMProgressView::followedResize()
{
    if (size() == metricsSize_)
        return false;
    updateAllDrawingMetrics();
    return true;
}

void QMProgressView::updateAllDrawingMetrics()
{
    metricsSize_ = size();
    const double w = width();
    const double h = height();
    knobSize_ = QSizeF(kKnobWidth, h - 2);
    backgroundBarRect_ = QRectF(5, 2, w - 10, h - 4);
    backgroundBarFrameRect_ = frameFor(backgroundBarRect_);
    updateInOutDrawingMetrics();
    update();
}

void QMProgressView::updateInOutDrawingMetrics()
{
    if (followedResize())
        return;
    const QRectF& bar = backgroundBarRect_;
    // A zero maximum gives no meaningful handle positions: no handles then.
    if (drawsInOutPoints() && maxValue_ > 0) {
        inPoint_ = inValue_ / maxValue_ * bar.width();
        if (outValue_ == 0)
            outValue_ = maxValue_;
        outPoint_ = outValue_ / maxValue_ * bar.width();
        inPointRect_ = QRectF(bar.x() + inPoint_ - 1, bar.y(), 2, bar.height());
        outPointRect_ = QRectF(bar.x() + outPoint_ - 1, bar.y(), 2, bar.height());
    } else {
        inPoint_ = 0;
        outPoint_ = 0;
        inPointRect_ = QRectF();
        outPointRect_ = QRectF();
    }
    updateProgressDrawingMetrics();
    update();
}

void QMProgressView::updateProgressDrawingMetrics()
{
    if (followedResize())
        return;
    const QRectF& bar = backgroundBarRect_;
    if (maxValue_ > 0) {
        double p;
        if (drawsInOutPoints()) {
            p = doubleValue_ / maxValue_ * bar.width();
            const double limit = outPointRect_.x() - (inPointRect_.x() + 2);
            const double width = std::max(0.0, std::min(p - (inPoint_ + 1), limit));
            progressBarRect_ = QRectF(bar.x() + inPoint_ + 1, bar.y(), width, bar.height());
        } else {
            // Without handles the value is absolute and the maximum is the range's length.
            p = std::clamp((doubleValue_ - inValue_) / maxValue_, 0.0, 1.0) * bar.width();
            progressBarRect_ = QRectF(bar.x(), bar.y(), p, bar.height());
        }
        progressBarFrameRect_ = frameFor(progressBarRect_);
        knobRect_ = QRectF(bar.x() + p - kKnobWidth / 2, (height() - knobSize_.height()) / 2, kKnobWidth,
                           knobSize_.height());
    } else {
        progressBarRect_ = QRectF();
        progressBarFrameRect_ = QRectF();
        knobRect_ = QRectF();
    }
    update();
}

void QMProgressView::paintEvent(QPaintEvent*)
{
    using namespace QMProgressColors;
    synced();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(backgroundBarRect_, progressControlBackground());
    p.setPen(QPen(progressControlBorder(), 0.5));
    p.setBrush(Qt::NoBrush);
    if (!backgroundBarFrameRect_.isNull())
        p.drawRect(backgroundBarFrameRect_);
    if (!progressBarRect_.isNull()) {
        p.fillRect(progressBarRect_, progressControlAccent());
        p.setPen(QPen(progressControlAccentBorder(), 0.5));
        if (!progressBarFrameRect_.isNull())
            p.drawRect(progressBarFrameRect_);
    }
    if (!inPointRect_.isNull())
        p.fillRect(inPointRect_, progressInPoint());
    if (!outPointRect_.isNull())
        p.fillRect(outPointRect_, progressOutPoint());
    if (drawsControlKnob() && !knobRect_.isNull()) {
        const bool active = isDragging_ && handle_ == Knob;
        p.setBrush(active ? progressKnobActiveFill() : progressKnobInactiveFill());
        p.setPen(QPen(progressKnobBorder(), 1.0));
        p.drawRoundedRect(knobRect_, 2, 2);
    }
}

void QMProgressView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    updateAllDrawingMetrics();
}

double QMProgressView::percentProgressAtPoint(double x) const
{
    const QRectF& bar = backgroundBarRect_;
    if (bar.width() <= 0)
        return 0;
    return std::clamp((x - bar.x()) / bar.width(), 0.0, 1.0);
}

QMProgressView::Handle QMProgressView::handleAtLocation(QPointF point) const
{
    const auto grown = [](const QRectF& r) { return r.adjusted(-kHitSlop, -kHitSlop, kHitSlop, kHitSlop); };
    if (!knobRect_.isNull() && grown(knobRect_).contains(point))
        return Knob;
    if (drawsInOutPoints()) {
        if (!inPointRect_.isNull() && grown(inPointRect_).contains(point))
            return InHandle;
        if (!outPointRect_.isNull() && grown(outPointRect_).contains(point))
            return OutHandle;
    }
    return None;
}

void QMProgressView::continueDragToLocation(QPointF point)
{
    updateDelegateForDragToPercent(percentProgressAtPoint(point.x()));
}

void QMProgressView::updateDelegateForDragToPercent(double fraction)
{
    switch (handle_) {
    case None:
    case Knob: {
        double v = fraction * maxValue_;
        if (!drawsInOutPoints())
            v += inValue_;
        else if (v < 0 || v > maxValue_)
            return;
        setDoubleValue(v);
        if (delegate_) {
            delegate_->pauseForSeek();
            delegate_->seek(v, optionHeld_);
        }
        break;
    }
    case InHandle:
        setInValue(fraction * maxValue_);
        if (delegate_)
            delegate_->updateInOutPoints(*this);
        break;
    case OutHandle:
        setOutValue(fraction * maxValue_);
        if (delegate_)
            delegate_->updateInOutPoints(*this);
        break;
    }
}

void QMProgressView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    synced();
    optionHeld_ = event->modifiers().testFlag(Qt::AltModifier);
    mouseDownLocation_ = event->position();
    handle_ = handleAtLocation(mouseDownLocation_);
    if (handle_ == None) {
        continueDragToLocation(mouseDownLocation_);
        handle_ = Knob;
    }
    setIsDragging(true);
    update();
}

void QMProgressView::mouseMoveEvent(QMouseEvent* event)
{
    if (!isDragging_)
        return;
    optionHeld_ = event->modifiers().testFlag(Qt::AltModifier);
    continueDragToLocation(event->position());
}

void QMProgressView::mouseReleaseEvent(QMouseEvent* event)
{
    if (!isDragging_ || event->button() != Qt::LeftButton)
        return;
    setIsDragging(false);
    handle_ = None;
    mouseDownLocation_ = QPointF();
    if (delegate_)
        delegate_->playFromSeek();
    update();
}
