#include "ui/widgets/playlist/KLVPlaylistCellDelegate.h"

#include "ui/logic/playlist/KLVPlaylistTableModel.h"

#include <QApplication>
#include <QComboBox>
#include <QMouseEvent>
#include <QPainter>

namespace {

bool locateShown(const QModelIndex& index)
{
    return index.column() == KLVPlaylistTableModel::InPointColumn
        && index.data(KLVPlaylistTableModel::FileMissingRole).toBool();
}

bool infoShown(const QModelIndex& index)
{
    return index.column() == KLVPlaylistTableModel::NameColumn
        && !index.data(KLVPlaylistTableModel::IsStubRole).toBool()
        && !index.data(KLVPlaylistTableModel::FileMissingRole).toBool();
}

} // namespace

QRect KLVPlaylistCellDelegate::infoButtonRect(const QRect& cell)
{
    const int side = std::min(cell.height() - 8, 18);
    return QRect(cell.right() - side - 4, cell.center().y() - side / 2, side, side);
}

void KLVPlaylistCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const
{
    if (index.column() == KLVPlaylistTableModel::ThumbnailColumn) {
        QStyleOptionViewItem o = option;
        initStyleOption(&o, index);
        o.icon = {};
        o.features &= ~QStyleOptionViewItem::HasDecoration;
        QApplication::style()->drawControl(QStyle::CE_ItemViewItem, &o, painter, o.widget);
        const QImage image = index.data(Qt::DecorationRole).value<QImage>();
        if (!image.isNull()) {
            const QRect r = option.rect.adjusted(2, 2, -2, -2);
            const QSize size = image.size().scaled(r.size(), Qt::KeepAspectRatio);
            painter->drawImage(QRect(r.center() - QPoint(size.width() / 2, size.height() / 2), size), image);
        }
        return;
    }
    QStyleOptionViewItem o = option;
    if (infoShown(index))
        o.rect.setRight(infoButtonRect(option.rect).left() - 2);
    QStyledItemDelegate::paint(painter, o, index);
    if (infoShown(index)) {
        const QRect r = infoButtonRect(option.rect);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(option.palette.color(QPalette::Text));
        painter->drawEllipse(r.adjusted(1, 1, -1, -1));
        painter->drawText(r, Qt::AlignCenter, QStringLiteral("i"));
        painter->restore();
    }
    if (locateShown(index)) {
        QStyleOptionButton button;
        button.rect = option.rect.adjusted(2, 4, -2, -4);
        button.text = tr("Locate\u2026");
        button.state = QStyle::State_Enabled;
        QApplication::style()->drawControl(QStyle::CE_PushButton, &button, painter, option.widget);
    }
}

QSize KLVPlaylistCellDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(std::max(size.height(), kRowHeight));
    if (index.column() == KLVPlaylistTableModel::ThumbnailColumn)
        size.setWidth(kThumbnailWidth);
    return size;
}

QWidget* KLVPlaylistCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                               const QModelIndex& index) const
{
    if (index.column() != KLVPlaylistTableModel::BehaviorColumn)
        return QStyledItemDelegate::createEditor(parent, option, index);
    auto* combo = new QComboBox(parent);
    for (int b = 0; b < 3; ++b)
        combo->addItem(KLVPlaylistTableModel::behaviorTitle(b));
    // The choice is taken as soon as it is made.
    connect(combo, &QComboBox::activated, this, [this, combo] {
        emit const_cast<KLVPlaylistCellDelegate*>(this)->commitData(combo);
        emit const_cast<KLVPlaylistCellDelegate*>(this)->closeEditor(combo);
    });
    return combo;
}

void KLVPlaylistCellDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    if (auto* combo = qobject_cast<QComboBox*>(editor))
        combo->setCurrentIndex(index.data(Qt::EditRole).toInt());
    else
        QStyledItemDelegate::setEditorData(editor, index);
}

void KLVPlaylistCellDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const
{
    if (auto* combo = qobject_cast<QComboBox*>(editor))
        model->setData(index, combo->currentIndex(), Qt::EditRole);
    else
        QStyledItemDelegate::setModelData(editor, model, index);
}

bool KLVPlaylistCellDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                          const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        if (locateShown(index) && locateClicked && option.rect.contains(at)) {
            locateClicked(index.row());
            return true;
        }
        if (infoShown(index) && infoClicked && infoButtonRect(option.rect).contains(at)) {
            infoClicked(index.row());
            return true;
        }
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}
