#pragma once
// Keeps one smart-folder channel in step with its folder: the watch, and the comparison of the
// folder's media files with the channel's cues. The listing and matching run on a worker
// thread over a snapshot of the cues; the result is applied on the main thread, where new cues
// are made (nodesForPaths, which also sends their metadata requests) and the cue list replaced
// in one step; then dataUpdated() is emitted. One comparison at a time: a request made while
// one runs is run again once it has been applied, so no change is lost.
//
// A smart channel read from a document starts its watch as soon as it is given to a mirror.
// Main thread (the worker touches no UI object and no channel but its own snapshot).

#include "app/document/KLVChannel.h"
#include "app/smartfolder/KLVDirectoryWatcher.h"
#include "app/smartfolder/KLVSmartFolderMatch.h"
#include "platform/foundation/ObserverList.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>
#include <thread>

class KLVSmartFolder : public QObject {
    Q_OBJECT
public:
    using NodeList = KLVChannel::NodeList;
    // The name the channel's observers know the replacement by.
    static constexpr const char* kDataUpdatedNotification = "QMKLVSmartPlaylistDataUpdated";

    explicit KLVSmartFolder(std::shared_ptr<KLVChannel> channel, QObject* parent = nullptr);
    ~KLVSmartFolder() override;

    // New cues for files (main thread); none are made while unset.
    std::function<NodeList(const QStringList& paths)> nodesForPaths;
    // Both apply to a watch already running, too.
    void setLatencyMs(int ms);
    void setForcePolling(bool poll);

    std::shared_ptr<KLVChannel> channel() const { return channel_; }
    // Starts the watch of the channel's folder ("~" expanded) unless it already runs there.
    void setupDirectoryMonitoring();
    // With a watch running: stops it, empties the cue list and makes the channel ordinary.
    void tearDownDirectoryMonitoring();
    bool isMonitoring() const { return watcher_.isWatching(); }
    void runSmartFolderDirectoryListComparison();
    bool isComparing() const { return running_; }
    KLVDirectoryWatcher& watcher() { return watcher_; }

signals:
    void dataUpdated();

private:
    void directoryChanged();
    void apply(const KLVSmartFolderMatch& match);
    QString expandedDirectory() const;

    std::shared_ptr<KLVChannel> channel_;
    KLVDirectoryWatcher watcher_;
    std::thread worker_; // the comparison in progress (joined before the next one starts)
    platform::Subscription channelWatch_;
    int latencyMs_ = KLVDirectoryWatcher::kDefaultLatencyMs;
    bool forcePolling_ = false;
    bool running_ = false;
    bool again_ = false;
};
