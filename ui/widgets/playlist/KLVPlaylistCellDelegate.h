#pragma once
// Draws the cells of the playlist table: the thumbnail, the in and out texts, the end-of-clip
// pop-up (a combo box while edited), and for a cue whose file went away a locate button in place
// of its times. A stub row shows its label and the blank picture only.

#include <QStyledItemDelegate>

#include <functional>

class KLVPlaylistCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit KLVPlaylistCellDelegate(QObject* parent = nullptr) : QStyledItemDelegate(parent) {}

    // The locate button of a row was clicked.
    std::function<void(int row)> locateClicked;
    // The info button (at the end of the name cell of a playable cue) was clicked.
    std::function<void(int row)> infoClicked;
    static QRect infoButtonRect(const QRect& cell);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

    static constexpr int kThumbnailWidth = 57;
    static constexpr int kRowHeight = 38;
};
