#pragma once
// Media import into the channel (pickers and dropped files), the metadata, thumbnail and slate
// requests with their retries, unplayable files, smart-folder updates and cue selection.

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class KLVChannelController;
class KLVPlaylistNode;

class KLVChannelImport {
public:
    using NodePtr = std::shared_ptr<KLVPlaylistNode>;
    explicit KLVChannelImport(KLVChannelController& channel) : channel_(channel) {}
    KLVChannelImport(const KLVChannelImport&) = delete;
    KLVChannelImport& operator=(const KLVChannelImport&) = delete;

    void importFilesWithPaths(const QStringList& paths, long insertAtRow, bool replace);
    void selectPlaylistItemAtIndex(long index);
    void reselectPlaylistItem();
    // The first cue whose name equals the string, or null.
    NodePtr nodeWithName(const QString& name) const;
    long selectedIndex() const { return selectedIndex_; }
    // Loads the selected row.
    void doTableViewActionAllowingSlateScreen(bool allowSlate);

private:
    long selectedIndex_ = -1;
    KLVChannelController& channel_;
};
