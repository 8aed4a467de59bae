#include "ui/widgets/common/MiddleRightAlignedTextFieldCell.h"

#include <QApplication>
#include <QPainter>

#include <algorithm>

namespace {
// The inset a plain text cell keeps on either side.
constexpr double kCellInset = 2.0;
}

QRectF MiddleRightAlignedTextFieldCell::titleRectForBounds(const QRectF& bounds, const QSizeF& textSize)
{
    QRectF r = bounds.adjusted(kCellInset, 0, -kCellInset, 0);
    r.moveTop((bounds.height() - textSize.height()) / 2 + bounds.y() - 0.5);
    r.setHeight(textSize.height());
    r.setWidth(r.width() - std::min(4.0, std::max(0.0, r.width() - textSize.width())));
    return r;
}

void MiddleRightAlignedTextFieldCell::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                            const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    const QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);

    const QFontMetricsF metrics(opt.font);
    const QRectF r = titleRectForBounds(opt.rect, QSizeF(metrics.horizontalAdvance(text), metrics.height()));
    painter->save();
    painter->setFont(opt.font);
    const bool selected = opt.state.testFlag(QStyle::State_Selected);
    painter->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(r, Qt::AlignRight | Qt::AlignVCenter,
                      metrics.elidedText(text, opt.textElideMode, r.width()));
    painter->restore();
}
