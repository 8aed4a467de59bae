#include "ui/widgets/playlist/KLVPlaylistTableView.h"

#include "app/document/KLVPlaylistNode.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelDragDrop.h"
#include "ui/logic/channel/KLVChannelTableEdits.h"
#include "ui/logic/playlist/KLVPlaylistDragPayload.h"
#include "ui/logic/playlist/KLVPlaylistTableModel.h"
#include "ui/widgets/playlist/KLVPlaylistCellDelegate.h"

#include <algorithm>

#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDrag>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>

KLVPlaylistTableView::KLVPlaylistTableView(KLVChannelController& channel, QWidget* parent)
    : QTableView(parent), channel_(channel), cells_(new KLVPlaylistCellDelegate(this))
{
    KLVChannelTableEdits& table = channel_.table();
    setModel(&table.model());
    setSelectionModel(&table.selectionModel());
    setItemDelegate(cells_);
    cells_->locateClicked = [this](int row) { channel_.table().findMissingSource(row); };
    cells_->infoClicked = [this](int row) { channel_.table().inspectCue(row); };
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(false); // drawn here: the indicator follows the channel's drop position
    setShowGrid(false);
    setAlternatingRowColors(true);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(KLVPlaylistCellDelegate::kRowHeight);
    horizontalHeader()->setSectionResizeMode(KLVPlaylistTableModel::NameColumn, QHeaderView::Stretch);
    horizontalHeader()->resizeSection(KLVPlaylistTableModel::ThumbnailColumn, KLVPlaylistCellDelegate::kThumbnailWidth);
    sizeColumnsToTheirTexts();

    // A click on a row loads it (the table's action).
    connect(this, &QAbstractItemView::clicked, this,
            [this](const QModelIndex& index) { channel_.table().tableViewAction(index.row(), false); });
    connect(&table, &KLVChannelTableEdits::beep, this, [] { QApplication::beep(); });
    connect(&table, &KLVChannelTableEdits::scrollToSelectionRequested, this, [this] {
        if (selectionModel()->currentIndex().isValid())
            scrollTo(selectionModel()->currentIndex());
    });
    // A master's scrolling is followed by its slaves.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this](int y) { channel_.table().boundsDidChange(y); });
    connect(&table, &KLVChannelTableEdits::scrollRequested, this, [this](int y) {
        if (verticalScrollBar()->value() != y)
            verticalScrollBar()->setValue(y);
    });
}

void KLVPlaylistTableView::sizeColumnsToTheirTexts()
{
    // The times and the End are as wide as their longest text; the name takes what is left of a
    // column a quarter of the window wide, which the header's default widths left it none of.
    const QFontMetrics metrics(font());
    constexpr int kPadding = 10; // the item view's text margins
    const int time = metrics.horizontalAdvance(QStringLiteral("00:00:00;00")) + kPadding;
    horizontalHeader()->resizeSection(KLVPlaylistTableModel::InPointColumn, time);
    horizontalHeader()->resizeSection(KLVPlaylistTableModel::OutPointColumn, time);
    int end = 0;
    for (long behavior = 0; behavior <= 2; ++behavior)
        end = std::max(end, metrics.horizontalAdvance(KLVPlaylistTableModel::behaviorTitle(behavior)));
    horizontalHeader()->resizeSection(KLVPlaylistTableModel::BehaviorColumn, end + kPadding);
}

void KLVPlaylistTableView::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Delete) || event->key() == Qt::Key_Backspace) {
        channel_.table().deleteSelection(true);
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        channel_.table().tableViewAction(-1, true);
        return;
    }
    QTableView::keyPressEvent(event);
}

void KLVPlaylistTableView::mousePressEvent(QMouseEvent* event)
{
    // A click below the rows keeps the selection.
    if (!indexAt(event->position().toPoint()).isValid())
        return;
    QTableView::mousePressEvent(event);
}

void KLVPlaylistTableView::contextMenuEvent(QContextMenuEvent* event)
{
    const int row = indexAt(event->pos()).row();
    if (row < 0)
        return;
    std::unique_ptr<QMenu> menu = rowMenu(row);
    menu->exec(event->globalPos());
}

std::unique_ptr<QMenu> KLVPlaylistTableView::rowMenu(int row)
{
    KLVChannelTableEdits& table = channel_.table();
    auto menu = std::make_unique<QMenu>(this);
    // A smart channel's rows are its folder's files: they go when the files go.
    const auto data = channel_.channel();
    if (!data || !data->isSmart())
        menu->addAction(tr("Delete"), this, [&table, row] { table.deleteCueMenu(row); });
    menu->addAction(tr("Show in File Browser"), this, [&table, row] { table.revealCueInFinder(row); });
    menu->addAction(tr("Inspect\u2026"), this, [&table, row] { table.inspectCue(row); });
    return menu;
}

void KLVPlaylistTableView::startDrag(Qt::DropActions)
{
    const std::vector<long> rows = channel_.table().selectedRows();
    std::unique_ptr<QMimeData> mime = channel_.dragDrop().mimeDataForRows(rows);
    if (!mime)
        return;
    auto* drag = new QDrag(this);
    const QRect first = visualRect(model()->index(int(rows.front()), 0))
                            .united(visualRect(model()->index(int(rows.front()), model()->columnCount() - 1)));
    if (first.isValid()) {
        drag->setPixmap(viewport()->grab(first));
        drag->setHotSpot(QPoint(int(first.width() * 0.6), first.height() / 2));
    }
    drag->setMimeData(mime.release());
    // The channels do the move themselves on drop; nothing is removed here afterwards.
    drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
}

KLVChannelController* KLVPlaylistTableView::sourceChannel(QDropEvent* event)
{
    auto* view = qobject_cast<KLVPlaylistTableView*>(event->source());
    return view ? &view->channel() : nullptr;
}

Qt::DropAction KLVPlaylistTableView::validate(QDropEvent* event) const
{
    // The user holds the copy modifier, or the source offers nothing but a copy.
    const bool copy = event->modifiers().testFlag(Qt::ControlModifier) || event->possibleActions() == Qt::CopyAction;
    const KLVDropValidation v = channel_.dragDrop().validateDrop(*event->mimeData(), copy);
    switch (v.operation) {
    case KLVDropOperation::None: return Qt::IgnoreAction;
    case KLVDropOperation::Copy: return Qt::CopyAction;
    case KLVDropOperation::Any: break;
    }
    if (copy || !KLVPlaylistDragPayload::isOffered(*event->mimeData()))
        return Qt::CopyAction;
    return Qt::MoveAction;
}

int KLVPlaylistTableView::dropRowAt(const QPoint& pos) const
{
    const int count = model()->rowCount();
    const QModelIndex index = indexAt(pos);
    if (!index.isValid())
        return count;
    if (channel_.linkedController())
        return index.row();
    const QRect r = visualRect(index);
    return pos.y() > r.center().y() ? index.row() + 1 : index.row();
}

void KLVPlaylistTableView::dragEnterEvent(QDragEnterEvent* event)
{
    fileDragRows_.clear();
    const Qt::DropAction action = validate(event);
    if (action == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    if (event->source() != this && !KLVPlaylistDragPayload::isOffered(*event->mimeData())) {
        const QString zero = QCoreApplication::translate("Localizable", "QM_ZERO_TIME_PLACEHOLDER");
        for (const QString& path : KLVChannelDragDrop::playablePaths(*event->mimeData()))
            fileDragRows_.push_back({QFileInfo(path).completeBaseName(), zero, zero});
    }
    event->setDropAction(action);
    event->accept();
}

void KLVPlaylistTableView::dragMoveEvent(QDragMoveEvent* event)
{
    const Qt::DropAction action = validate(event);
    if (action == Qt::IgnoreAction) {
        event->ignore();
        dropRow_ = -1;
    } else {
        event->setDropAction(action);
        event->accept();
        dropRow_ = dropRowAt(event->position().toPoint());
    }
    viewport()->update();
}

void KLVPlaylistTableView::dragLeaveEvent(QDragLeaveEvent* event)
{
    dropRow_ = -1;
    fileDragRows_.clear();
    viewport()->update();
    QTableView::dragLeaveEvent(event);
}

void KLVPlaylistTableView::dropEvent(QDropEvent* event)
{
    dropRow_ = -1;
    fileDragRows_.clear();
    viewport()->update();
    const Qt::DropAction action = validate(event);
    if (action == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    const int row = dropRowAt(event->position().toPoint());
    if (channel_.dragDrop().acceptDrop(*event->mimeData(), sourceChannel(event), row, action == Qt::CopyAction)) {
        // The source is not to remove anything itself: the channels already did.
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void KLVPlaylistTableView::paintEvent(QPaintEvent* event)
{
    QTableView::paintEvent(event);
    if (dropRow_ < 0)
        return;
    QPainter painter(viewport());
    painter.setPen(QPen(palette().highlight(), 2));
    const int count = model()->rowCount();
    if (channel_.linkedController() && dropRow_ < count) {
        const QRect r = visualRect(model()->index(dropRow_, 0)).united(
            visualRect(model()->index(dropRow_, model()->columnCount() - 1)));
        painter.drawRect(r.adjusted(1, 1, -1, -1));
        paintFileDragRows(painter, r.top());
        return;
    }
    const int y = dropRow_ < count ? visualRect(model()->index(dropRow_, 0)).top()
                                   : (count ? visualRect(model()->index(count - 1, 0)).bottom() : 0);
    painter.drawLine(0, y, viewport()->width(), y);
    paintFileDragRows(painter, y);
}

void KLVPlaylistTableView::paintFileDragRows(QPainter& painter, int top)
{
    if (fileDragRows_.empty())
        return;
    const int height = verticalHeader()->defaultSectionSize();
    const auto columnRect = [this, height](int column, int y) {
        return QRect(columnViewportPosition(column), y, columnWidth(column), height);
    };
    static const QImage blank = KLVPlaylistNode::blankThumbnail();
    painter.save();
    int y = top;
    for (const FileDragRow& row : fileDragRows_) {
        if (y > viewport()->height())
            break;
        // The coming rows cover the ones below them while the drag lasts, as they will push them.
        painter.setOpacity(1.0);
        painter.fillRect(QRect(0, y, viewport()->width(), height), palette().base());
        painter.setOpacity(0.8);
        const QRect thumb = columnRect(KLVPlaylistTableModel::ThumbnailColumn, y).adjusted(2, 2, -2, -2);
        painter.drawImage(QRect(thumb.topLeft(), blank.size().scaled(thumb.size(), Qt::KeepAspectRatio)), blank);
        painter.setPen(palette().color(QPalette::Text));
        const int flags = Qt::AlignVCenter | Qt::TextSingleLine;
        painter.drawText(columnRect(KLVPlaylistTableModel::NameColumn, y).adjusted(4, 0, -4, 0), flags | Qt::AlignLeft,
                         row.name);
        painter.drawText(columnRect(KLVPlaylistTableModel::InPointColumn, y).adjusted(4, 0, -4, 0),
                         flags | Qt::AlignRight, row.inText);
        painter.drawText(columnRect(KLVPlaylistTableModel::OutPointColumn, y).adjusted(4, 0, -4, 0),
                         flags | Qt::AlignRight, row.outText);
        y += height;
    }
    painter.setOpacity(1.0);
    painter.setPen(QPen(palette().highlight(), 1, Qt::DashLine));
    painter.drawRect(QRect(0, top, viewport()->width() - 1, y - top - 1));
    painter.restore();
}
