#pragma once
// A channel's playlist table: shows the channel's table model and shares its selection, sends
// deletes, clicks and row actions to the channel, drags rows out, takes rows and files in, and
// follows the scrolling of its master. The selection stays when the user clicks outside rows.

#include <QPointer>
#include <QTableView>

class KLVChannelController;
class KLVPlaylistCellDelegate;

class KLVPlaylistTableView : public QTableView {
    Q_OBJECT
public:
    explicit KLVPlaylistTableView(KLVChannelController& channel, QWidget* parent = nullptr);

    KLVChannelController& channel() const { return channel_; }
    // The row a drop at pos lands on: between rows ("above" the result) for a channel without a
    // master, the row itself for a slave; the row count below the last row.
    int dropRowAt(const QPoint& pos) const;

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
    // The drop's action when the channel takes it (Qt::IgnoreAction when not).
    Qt::DropAction validate(QDropEvent* event) const;
    static KLVChannelController* sourceChannel(QDropEvent* event);

    KLVChannelController& channel_;
    KLVPlaylistCellDelegate* cells_;
    int dropRow_ = -1;
};
