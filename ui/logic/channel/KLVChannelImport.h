#pragma once
// Media import into the channel (pickers and dropped files), the metadata, thumbnail and slate
// requests with their retries, unplayable files, the smart-folder switch and updates, and cue
// selection. Main thread: work that starts elsewhere (a smart-folder listing) comes here through
// the main loop, and every media-helper request is sent from the main thread.

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

class KLVChannelController;
class KLVPlaylistNode;
class KLVSmartFolder;
class KLVTimer;

class KLVChannelImport : public QObject {
    Q_OBJECT
public:
    using NodePtr = std::shared_ptr<KLVPlaylistNode>;
    using NodeList = std::vector<NodePtr>;
    static constexpr int kMetadataRetryMs = 5000;
    static constexpr unsigned kMetadataLastAttempt = 4; // five asks in all

    explicit KLVChannelImport(KLVChannelController& channel);
    ~KLVChannelImport() override;
    KLVChannelImport(const KLVChannelImport&) = delete;
    KLVChannelImport& operator=(const KLVChannelImport&) = delete;

    // --- import ---
    // The open panel: files and folders, several at once.
    void addPlaylistItem();
    void importFilesWithPaths(const QStringList& paths);
    void importFilesWithPaths(const QStringList& paths, long insertAtRow, bool replace);
    // New cues for the files, each with its metadata request sent (main thread).
    NodeList nodesForPaths(const QStringList& paths);
    // Cues for the files with nothing asked yet (any thread).
    static NodeList makeNodesForPaths(const QStringList& paths);

    // --- media helper ---
    void requestMetadataForNode(const NodePtr& node, unsigned attempt);
    // Asks the media helper again about those of the cues, still in the channel, that have no
    // length (imported, and the program ended before the answer came); each answer is saved. Runs
    // for the cues a document channel came with whenever the channel is given one. A cue the
    // helper cannot read stays.
    void measureCuesWithoutLength(const NodeList& nodes);
    void metadataRequestReturned();
    // Removes the cues (no undo; slaves keep their rows) and shows one alert for all of them.
    void handleNodesWithBadCodec(const NodeList& nodes);
    static QString unreadableFilesText(const NodeList& nodes);
    void createThumbnailsForNodes(const NodeList& nodes);
    // rows: the rows to redraw; none: the node had left the list.
    void thumbnailRequestReturnedForIndexes(const std::optional<std::vector<long>>& rows);
    void createSlatesForNodes(const NodeList& nodes, std::function<void()> completion);
    void slateRequestReturned();
    long outstandingMetadataRequests() const { return outstandingMetadataRequests_; }
    long outstandingThumbnailRequests() const { return outstandingThumbnailRequests_; }
    long outstandingSlateRequests() const { return outstandingSlateRequests_; }

    // --- smart folder ---
    void selectSmartFolder();
    void toggleSmartPlaylist(bool on);
    bool smartToggleOn() const { return smartToggleOn_; }
    void smartPlaylistDataChanged();
    KLVSmartFolder* smartFolder() const { return smartFolder_.get(); }

    // --- progress ---
    void showProgress();
    void hideProgress();
    bool progressShown() const { return progressShown_; }

    // --- selection ---
    void selectPlaylistItemAtIndex(long index);
    void reselectPlaylistItem();
    bool shouldReselectPlaylistItem() const { return shouldReselectPlaylistItem_; }
    void setShouldReselectPlaylistItem(bool v) { shouldReselectPlaylistItem_ = v; }
    // The first cue whose name equals the string, or null.
    NodePtr nodeWithName(const QString& name) const;
    long selectedIndex() const;
    // Loads the selected row.
    void doTableViewActionAllowingSlateScreen(bool allowSlate);

signals:
    void progressChanged(bool shown);
    void smartToggleChanged(bool on);

private:
    void channelShown();
    void metadataReplied(const NodePtr& node, unsigned attempt, const QVariant& response);
    // Runs fn on the main loop later (a timer of the channel's source), dropped once this is gone.
    void later(int ms, std::function<void()> fn);
    void playbackSlaves(const std::function<void(KLVChannelController&)>& fn) const;

    KLVChannelController& channel_;
    long outstandingMetadataRequests_ = 0;
    long outstandingThumbnailRequests_ = 0;
    long outstandingSlateRequests_ = 0;
    NodeList invalidNodes_;
    std::set<NodePtr> measuringAgain_;
    bool shouldReselectPlaylistItem_ = false;
    bool smartToggleOn_ = false;
    bool progressShown_ = false;
    std::unique_ptr<KLVSmartFolder> smartFolder_;
    std::map<long, std::unique_ptr<KLVTimer>> timers_;
    long nextTimer_ = 1;
};
