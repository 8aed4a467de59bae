#include "app/smartfolder/KLVSmartFolder.h"

#include "app/util/KLVUtilities.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Paths.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>

KLVSmartFolder::KLVSmartFolder(std::shared_ptr<KLVChannel> channel, QObject* parent)
    : QObject(parent), channel_(std::move(channel))
{
    connect(&watcher_, &KLVDirectoryWatcher::changed, this,
            &KLVSmartFolder::runSmartFolderDirectoryListComparison);
    QPointer<KLVSmartFolder> self(this);
    channelWatch_ = channel_->observers().subscribe([this, self](const QString& key, bool before) {
        if (before || key != QLatin1String("smartDirectory"))
            return;
        if (QThread::currentThread() == thread())
            directoryChanged();
        else
            QMetaObject::invokeMethod(this, [self] { if (self) self->directoryChanged(); }, Qt::QueuedConnection);
    });
    if (channel_->isSmart() && channel_->smartDirectory())
        setupDirectoryMonitoring();
}

KLVSmartFolder::~KLVSmartFolder()
{
    channelWatch_.reset();
    watcher_.stop();
    if (worker_.joinable())
        worker_.join();
}

QString KLVSmartFolder::expandedDirectory() const
{
    const auto dir = channel_->smartDirectory();
    return dir && !dir->isEmpty() ? platform::stringByExpandingTildeInPath(*dir) : QString();
}

void KLVSmartFolder::setLatencyMs(int ms)
{
    latencyMs_ = ms;
    if (watcher_.isWatching())
        watcher_.start(watcher_.path(), latencyMs_, forcePolling_);
}

void KLVSmartFolder::setForcePolling(bool poll)
{
    forcePolling_ = poll;
    if (watcher_.isWatching())
        watcher_.start(watcher_.path(), latencyMs_, forcePolling_);
}

void KLVSmartFolder::directoryChanged()
{
    if (channel_->isSmart() && !expandedDirectory().isEmpty())
        setupDirectoryMonitoring();
}

void KLVSmartFolder::setupDirectoryMonitoring()
{
    const QString dir = expandedDirectory();
    if (dir.isEmpty() || (watcher_.isWatching() && watcher_.path() == dir))
        return;
    // A new folder replaces the old watch rather than leaving it on the folder chosen first.
    watcher_.start(dir, latencyMs_, forcePolling_);
}

void KLVSmartFolder::tearDownDirectoryMonitoring()
{
    if (!watcher_.isWatching())
        return;
    watcher_.stop();
    channel_->setPlaylistItems({});
    channel_->setType(0);
}

void KLVSmartFolder::runSmartFolderDirectoryListComparison()
{
    const QString dir = expandedDirectory();
    if (dir.isEmpty())
        return;
    if (running_) {
        again_ = true;
        return;
    }
    running_ = true;
    const NodeList snapshot = channel_->playlistItems();
    QPointer<KLVSmartFolder> self(this);
    if (worker_.joinable())
        worker_.join(); // it has posted its result already
    worker_ = std::thread([self, snapshot, dir] {
        const QStringList files = KLVUtilities::validFilesFromImport({QVariant(dir)});
        KLVSmartFolderMatch match = klvMatchFolderFiles(snapshot, files);
        // Through our own main queue, whose lock orders the hand-over of the match.
        platform::dispatchMain([self, match = std::move(match)] {
            if (self)
                self->apply(match);
        });
    });
}

void KLVSmartFolder::apply(const KLVSmartFolderMatch& match)
{
    NodeList cues = match.kept;
    if (nodesForPaths && !match.newPaths.isEmpty()) {
        const NodeList fresh = nodesForPaths(match.newPaths);
        cues.insert(cues.end(), fresh.begin(), fresh.end());
    }
    klvSortCuesByName(cues);
    running_ = false;
    // Switched off while the listing ran: the channel is no longer a mirror.
    if (channel_->isSmart()) {
        channel_->setPlaylistItems(cues);
        emit dataUpdated();
    }
    if (std::exchange(again_, false))
        runSmartFolderDirectoryListComparison();
}
