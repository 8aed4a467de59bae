#pragma once
// A table cell that draws its text right-aligned and centred vertically (the numeric columns of
// the playlist table).

#include <QRectF>
#include <QSizeF>
#include <QStyledItemDelegate>

class MiddleRightAlignedTextFieldCell : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Where the text goes: vertically centred, and kept up to 4 points clear of the right edge
    // when the text leaves that room.
    static QRectF titleRectForBounds(const QRectF& bounds, const QSizeF& textSize);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
