#pragma once
// The playlist table's model and selection, the three undoable edits (insert, remove, replace)
// on the main window's undo stack, the delete commands, the row actions and the stub rows that
// keep a slave padded to its master's row count. Main thread.

#include "ui/logic/playlist/KLVPlaylistTableModel.h"
#include "ui/logic/playlist/KLVPlaylistUndoCommands.h"

#include <QItemSelectionModel>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class KLVChannel;
class KLVChannelController;
class KLVPlaylistNode;
class KLVTimer;

class KLVChannelTableEdits : public QObject {
    Q_OBJECT
public:
    using NodePtr = std::shared_ptr<KLVPlaylistNode>;
    using NodeList = std::vector<NodePtr>;
    explicit KLVChannelTableEdits(KLVChannelController& channel);
    ~KLVChannelTableEdits() override;
    KLVChannelTableEdits(const KLVChannelTableEdits&) = delete;
    KLVChannelTableEdits& operator=(const KLVChannelTableEdits&) = delete;

    KLVPlaylistTableModel& model() { return model_; }
    QItemSelectionModel& selectionModel() { return selection_; }

    long playlistItemCount() const;
    // Pads the channel with stub cues up to count rows (or drops its trailing stubs down to
    // count; a real cue is never dropped), then its own slaves. No undo.
    void addStubItemsToPlaylist(long count);
    std::vector<NodePtr> stubsArrayWithCount(long count) const;

    // --- the undoable edits (linked channels are the caller's business) ---
    void insertNodes(const std::vector<NodePtr>& nodes, const std::vector<long>& indexes);
    // Returns the cues removed.
    NodeList removeNodesAtIndexes(const std::vector<long>& indexes);
    // Rows past the end are first made as stubs. Returns the cues replaced.
    NodeList replaceNodesAtIndexes(const std::vector<long>& indexes, const std::vector<NodePtr>& nodes);

    // --- deleting ---
    // The delete key or command. fromTable: sent by this channel's own table (anything else, or a
    // smart folder, only beeps).
    void deleteSelection(bool fromTable);
    // The row context menu: the selection when it has two or more rows, else the clicked row.
    void deleteCueMenu(long clickedRow);

    // --- row actions (rows outside the list do nothing) ---
    void revealCueInFinder(long row);
    void inspectCue(long row);
    void showInspectorForPlaylistNode(const NodePtr& node);
    void setPlaybackBehavior(long row, long behaviorIndex);
    // Opens a panel for the moved file of a row.
    void findMissingSource(long row);
    // A click or double click in the table (clickedRow -1: outside the rows).
    void tableViewAction(long clickedRow, bool fromKeyboard);
    void selectionDidChange();

    // --- selection ---
    std::vector<long> selectedRows() const;
    // The row the selection ends on (-1 when none).
    long selectedRow() const;
    NodeList selectedNodes() const;
    void selectRows(const std::vector<long>& rows);
    void selectNodes(const NodeList& nodes);
    void deselectRows(const std::vector<long>& rows);

    // --- reloading ---
    void reloadTable();
    void reloadTablePreservingSelectionIfPossible();
    void reloadRows(const std::vector<long>& rows, int column);
    // Reloads a second from now (after row animations).
    void reloadLater();
    void removePlaylistNodeWithName(const QString& name);
    void scrollToSelection();

    // --- scroll following: a master tells its slaves where it scrolled to ---
    void boundsDidChange(int y);
    void scrollTableToPoint(int y);

    // The undo stack forgets every edit (a new document, a smart folder replaced the cues).
    void clearUndo();
    KLVPlaylistEditHooks editHooks();

signals:
    void beep();
    void scrollRequested(int y);
    void scrollToSelectionRequested();

private:
    void channelShown();
    void deleteRows(const std::vector<long>& rows, const QString& actionName);
    // An undo or redo changed the list: the document is saved once the step is done.
    void saveAfterReplay();
    std::vector<long> validRows(const std::vector<long>& rows) const;
    QString localized(const char* key) const;

    KLVChannelController& channel_;
    KLVPlaylistTableModel model_;
    QItemSelectionModel selection_;
    std::weak_ptr<KLVChannel> shown_;
    std::unique_ptr<KLVTimer> reloadTimer_;
    bool savePending_ = false;
};
