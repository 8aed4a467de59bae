#pragma once
// A channel's playlist table: shows the channel's table model and shares its selection, sends
// deletes, clicks and row actions to the channel, drags rows out, takes rows and files in, and
// follows the scrolling of its master. The selection stays when the user clicks outside rows.

#include <QPointer>
#include <QTableView>

#include <memory>
#include <vector>

class KLVChannelController;
class KLVPlaylistCellDelegate;
class QMenu;
class QPainter;

class KLVPlaylistTableView : public QTableView {
    Q_OBJECT
public:
    explicit KLVPlaylistTableView(KLVChannelController& channel, QWidget* parent = nullptr);

    KLVChannelController& channel() const { return channel_; }
    // The row a drop at pos lands on: between rows ("above" the result) for a channel without a
    // master, the row itself for a slave; the row count below the last row.
    int dropRowAt(const QPoint& pos) const;
    // The row's context menu (without Delete on a smart channel).
    std::unique_ptr<QMenu> rowMenu(int row);
    // While files from another program are dragged over the table: one row per playable file,
    // drawn at the drop position as it will arrive (its name, zero times, the blank picture).
    // The drag's own picture belongs to the program it comes from.
    struct FileDragRow {
        QString name;
        QString inText;
        QString outText;
    };
    const std::vector<FileDragRow>& fileDragRows() const { return fileDragRows_; }
    int dropRow() const { return dropRow_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void sizeColumnsToTheirTexts();
    // The drop's action when the channel takes it (Qt::IgnoreAction when not).
    Qt::DropAction validate(QDropEvent* event) const;
    static KLVChannelController* sourceChannel(QDropEvent* event);
    void paintFileDragRows(QPainter& painter, int top);

    KLVChannelController& channel_;
    KLVPlaylistCellDelegate* cells_;
    int dropRow_ = -1;
    std::vector<FileDragRow> fileDragRows_;
};
