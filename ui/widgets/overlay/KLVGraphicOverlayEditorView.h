#pragma once
// The overlay placement view: the output area fitted into the view, the overlay drawn where it
// sits, dragged with the mouse in whole output pixels and nudged with the arrow keys (1 pixel,
// 10 with Shift). The geometry is y-up (KLVOverlayGeometry); this view only flips it for Qt.

#include "ui/logic/overlay/KLVOverlayGeometry.h"

#include <QImage>
#include <QWidget>

#include <functional>

class KLVGraphicOverlayEditorView final : public QWidget {
    Q_OBJECT
public:
    explicit KLVGraphicOverlayEditorView(QWidget* parent = nullptr);

    void setOverlayImage(const QImage& image);
    void setOutputSize(const QSizeF& size);
    void setDisplayBounds(const QRectF& rect);
    QRectF displayBounds() const { return geometry_.displayBounds(); }
    const KLVOverlayGeometry& geometry() const { return geometry_; }
    QSize sizeHint() const override { return {480, 270}; }

    // editorView:didChangeOverlayBounds:
    std::function<void(const QRectF&)> onChangeOverlayBounds;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPointF viewPoint(const QPointF& widgetPoint) const;
    void setOverlayRect(const std::optional<QRectF>& rect);

    KLVOverlayGeometry geometry_;
    QImage image_;
};
