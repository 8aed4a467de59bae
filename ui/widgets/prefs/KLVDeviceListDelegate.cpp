#include "ui/widgets/prefs/KLVDeviceListDelegate.h"

#include "comm/core/interpreter/QMConnectionWrapperListModel.h"
#include "ui/logic/prefs/KLVDeviceListText.h"

#include <QApplication>
#include <QPainter>

namespace {

constexpr int kMargin = 6;
constexpr int kLight = 10;

} // namespace

KLVDeviceListDelegate::KLVDeviceListDelegate(const QMConnectionWrapperListModel& model, QObject* parent)
    : QStyledItemDelegate(parent)
    , model_(model)
{
}

void KLVDeviceListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QMCommModuleConnectionWrapper* wrapper = model_.at(index.row());
    if (!wrapper)
        return;
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    opt.text.clear();
    QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QRect r = opt.rect.adjusted(kMargin, kMargin, -kMargin, -kMargin);
    const QFontMetrics fm(opt.font);
    const QRect light(r.left(), r.top() + (fm.height() - kLight) / 2, kLight, kLight);
    painter->setPen(Qt::NoPen);
    const QColor off = KLVDeviceListText::failed(*wrapper) ? QColor(0xd0, 0x30, 0x30) : QColor(0x80, 0x80, 0x80);
    painter->setBrush(wrapper->isConnected() ? QColor(0x3c, 0xb0, 0x4a) : off);
    painter->drawEllipse(light);

    const bool selected = opt.state & QStyle::State_Selected;
    const QPalette::ColorRole role = selected ? QPalette::HighlightedText : QPalette::Text;
    const QRect text = r.adjusted(kLight + kMargin, 0, 0, 0);
    QFont bold = opt.font;
    bold.setBold(true);
    painter->setFont(bold);
    painter->setPen(opt.palette.color(role));
    painter->drawText(QRect(text.left(), text.top(), text.width(), fm.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetrics(bold).elidedText(KLVDeviceListText::title(*wrapper), Qt::ElideRight, text.width()));
    painter->setFont(opt.font);
    QColor detail = opt.palette.color(role);
    if (!selected)
        detail.setAlphaF(0.75f);
    painter->setPen(detail);
    painter->drawText(QRect(text.left(), text.top() + fm.height() + 2, text.width(), fm.height()),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      fm.elidedText(KLVDeviceListText::detail(*wrapper), Qt::ElideRight, text.width()));
    painter->restore();
}

QSize KLVDeviceListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    const QFontMetrics fm(option.font);
    return {fm.averageCharWidth() * 40, 2 * fm.height() + 2 + 2 * kMargin};
}
