#pragma once
// The transport bar of a channel column and of the cue inspector: the played part, a position
// knob and, with type 1, the in and out handles. Clicks and drags scrub the position or move a
// handle and are reported to the delegate (the movie controller). Main thread only.

#include "app/moviecontroller/KLVTransportViews.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QWidget>

class QMProgressView final : public QWidget, public QMProgressBar {
    Q_OBJECT
public:
    // What a running drag moves.
    enum Handle { None = 0, Knob = 1, InHandle = 2, OutHandle = 3 };

    explicit QMProgressView(QWidget* parent = nullptr);
    ~QMProgressView() override;

    // 1 draws the in/out handles and limits scrubbing to the bar; other values draw none.
    long type() const { return type_; }
    void setType(long type);
    bool drawsInOutPoints() const { return type_ == 1; }
    bool drawsControlKnob() const { return true; }

    // --- QMProgressBar ---
    void setDelegate(QMProgressViewDelegate* delegate) override { delegate_ = delegate; }
    double maxValue() const override { return maxValue_; }
    void setMaxValue(double v) override;
    double inValue() const override { return inValue_; }
    void setInValue(double v) override;
    double outValue() const override { return outValue_; }
    void setOutValue(double v) override;
    double doubleValue() const override { return doubleValue_; }
    void setDoubleValue(double v) override;

    QMProgressViewDelegate* delegate() const { return delegate_; }
    bool isDragging() const { return isDragging_; }
    void setIsDragging(bool dragging);
    Handle handle() const { return handle_; }

    // Drawing geometry, in widget coordinates.
    QRectF backgroundBarRect() const { return synced().backgroundBarRect_; }
    QRectF backgroundBarFrameRect() const { return synced().backgroundBarFrameRect_; }
    QRectF progressBarRect() const { return synced().progressBarRect_; }
    QRectF progressBarFrameRect() const { return synced().progressBarFrameRect_; }
    QRectF inPointRect() const { return synced().inPointRect_; }
    QRectF outPointRect() const { return synced().outPointRect_; }
    QRectF knobRect() const { return synced().knobRect_; }
    QSizeF knobSize() const { return synced().knobSize_; }

    QSize sizeHint() const override { return {208, 16}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // A hidden widget gets no resize event, so the geometry follows the size lazily as well.
    const QMProgressView& synced() const;
    // Redoes all of the geometry when the size changed since it was last worked out.
    bool followedResize();
    void updateAllDrawingMetrics();
    void updateInOutDrawingMetrics();
    void updateProgressDrawingMetrics();
    double percentProgressAtPoint(double x) const;
    Handle handleAtLocation(QPointF point) const;
    void continueDragToLocation(QPointF point);
    void updateDelegateForDragToPercent(double fraction);

    long type_ = 0;
    double doubleValue_ = 0;
    double maxValue_ = 100.0;
    double inValue_ = 0;
    double outValue_ = 100.0;
    bool isDragging_ = false;
    bool optionHeld_ = false;
    QMProgressViewDelegate* delegate_ = nullptr;
    Handle handle_ = None;
    QPointF mouseDownLocation_;
    QRectF backgroundBarRect_;
    QRectF backgroundBarFrameRect_;
    QRectF progressBarRect_;
    QRectF progressBarFrameRect_;
    QRectF inPointRect_;
    QRectF outPointRect_;
    QRectF knobRect_;
    double inPoint_ = 0;
    double outPoint_ = 0;
    QSizeF knobSize_;
    QSize metricsSize_;
};
