#pragma once
// The playlist table's model, the three undoable edits (insert, remove, replace) and the stub
// rows that keep a slave padded to its master's row count.

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class KLVChannelController;
class KLVPlaylistNode;

class KLVChannelTableEdits {
public:
    using NodePtr = std::shared_ptr<KLVPlaylistNode>;
    explicit KLVChannelTableEdits(KLVChannelController& channel) : channel_(channel) {}
    KLVChannelTableEdits(const KLVChannelTableEdits&) = delete;
    KLVChannelTableEdits& operator=(const KLVChannelTableEdits&) = delete;

    long playlistItemCount() const;
    // Pads the channel with stub cues up to count rows.
    void addStubItemsToPlaylist(long count);
    std::vector<NodePtr> stubsArrayWithCount(long count) const;
    void insertNodes(const std::vector<NodePtr>& nodes, const std::vector<long>& indexes);
    void removeNodesAtIndexes(const std::vector<long>& indexes);
    void replaceNodesAtIndexes(const std::vector<long>& indexes, const std::vector<NodePtr>& nodes);
    void reloadTable();
    void scrollToSelection();

private:
    KLVChannelController& channel_;
};
