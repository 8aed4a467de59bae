#include "ui/logic/channel/KLVChannelImport.h"

#include "app/defaults/KLVDefaultsKeys.h"
#include "app/document/KLVChannel.h"
#include "app/document/KLVPlaylistNode.h"
#include "app/imagecache/KLVImageManager.h"
#include "app/moviecontroller/KLVMovieController.h"
#include "app/ports/KLVFilePicker.h"
#include "app/ports/KLVPrompter.h"
#include "app/ports/KLVTimerSource.h"
#include "app/smartfolder/KLVSmartFolder.h"
#include "app/util/KLVUtilities.h"
#include "platform/foundation/UserDefaults.h"
#include "resources/strings/KLVLocalized.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelControllerDelegate.h"
#include "ui/logic/channel/KLVChannelOutput.h"
#include "ui/logic/channel/KLVChannelTableEdits.h"
#include "ui/logic/channel/KLVChannelTransport.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QThread>
#include <QUndoStack>

#include <algorithm>

namespace {

bool onMainThread()
{
    return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

QString lastPathComponent(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

QString withoutExtension(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot <= 0 ? name : name.left(dot);
}

bool isDictionary(const QVariant& v)
{
    return v.typeId() == QMetaType::QVariantMap || v.typeId() == QMetaType::QVariantHash;
}

QImage imageAt(const QString& path)
{
    return QImage(path);
}

std::vector<long> rowRange(long first, size_t count)
{
    std::vector<long> rows;
    for (size_t i = 0; i < count; ++i)
        rows.push_back(first + long(i));
    return rows;
}

} // namespace

KLVChannelImport::KLVChannelImport(KLVChannelController& channel) : channel_(channel)
{
    connect(&channel_, &KLVChannelController::playlistChanged, this, &KLVChannelImport::channelShown);
}

KLVChannelImport::~KLVChannelImport() = default;

void KLVChannelImport::later(int ms, std::function<void()> fn)
{
    const long id = nextTimer_++;
    timers_[id] = channel_.delegate().timers().schedule(ms, false, [this, id, fn = std::move(fn)]() mutable {
        KLVChannelImport* self = this;
        const long key = id;
        auto task = std::move(fn);
        self->timers_.erase(key); // the timer (and this closure) goes; task is ours now
        task();
    });
}

void KLVChannelImport::playbackSlaves(const std::function<void(KLVChannelController&)>& fn) const
{
    for (KLVChannelController* slave : channel_.linkedControllers())
        if (slave->operationMode() == 0)
            fn(*slave);
}

void KLVChannelImport::channelShown()
{
    const std::shared_ptr<KLVChannel> channel = channel_.channel();
    if (smartFolder_ && smartFolder_->channel() == channel)
        return;
    smartFolder_.reset();
    if (!channel)
        return;
    smartFolder_ = std::make_unique<KLVSmartFolder>(channel);
    smartFolder_->nodesForPaths = [this](const QStringList& paths) { return nodesForPaths(paths); };
    connect(smartFolder_.get(), &KLVSmartFolder::dataUpdated, this, &KLVChannelImport::smartPlaylistDataChanged);
    smartToggleOn_ = channel->isSmart();
    emit smartToggleChanged(smartToggleOn_);
    // The cues the document came with; asked about once the channel is set up and the media
    // helper can be asked (cues imported since have their own requests).
    NodeList unmeasured;
    for (const NodePtr& node : channel->playlistItems())
        if (!node->hasLength())
            unmeasured.push_back(node);
    if (unmeasured.empty())
        return;
    QPointer<KLVChannelImport> self(this);
    QMetaObject::invokeMethod(this, [self, channel, unmeasured] {
        if (self && self->channel_.channel() == channel)
            self->measureCuesWithoutLength(unmeasured);
    }, Qt::QueuedConnection);
}

void KLVChannelImport::measureCuesWithoutLength(const NodeList& nodes)
{
    const std::shared_ptr<KLVChannel> channel = channel_.channel();
    if (!channel)
        return;
    const NodeList items = channel->playlistItems();
    for (const NodePtr& node : nodes) {
        // Stubs, cues without a source and missing files have nothing to measure; a pipe, device
        // or socket is never opened.
        if (node->hasLength() || node->plnSourcePath().value_or(QString()).isEmpty()
            || std::find(items.begin(), items.end(), node) == items.end() || !node->sourceFileProblem().isEmpty()
            || !measuringAgain_.insert(node).second)
            continue;
        ++outstandingMetadataRequests_;
        requestMetadataForNode(node, 0);
    }
}

// --- import ---

void KLVChannelImport::addPlaylistItem()
{
    auto& defaults = platform::UserDefaults::sharedDefaults();
    const QString key = QString::fromLatin1(KLVDefaultsKeys::kLastMediaDirectory);
    KLVOpenPanelOptions options;
    options.canChooseFiles = true;
    options.canChooseDirectories = true;
    options.allowsMultipleSelection = true;
    options.fileExtensions = KLVUtilities::movieFileTypes();
    for (const QString& type : KLVUtilities::movieFileTypes())
        options.fileExtensions.append(type.toUpper());
    options.directory = defaults.stringForKey(key);
    const QStringList chosen = channel_.delegate().filePicker().runOpenPanel(options);
    if (chosen.isEmpty())
        return;

    QStringList files;
    QStringList folders;
    for (const QString& path : chosen) {
        if (QFileInfo(path).isDir())
            folders.append(path);
        else
            files.append(path);
    }
    for (const QString& folder : folders)
        files.append(KLVUtilities::recursiveFileListForDirectory(folder));
    const QFileInfo first(chosen.first());
    defaults.setObject(first.isDir() ? QFileInfo(first.absoluteFilePath()).absolutePath() : first.absolutePath(), key);

    QVariantList items;
    for (const QString& f : files)
        items.append(f);
    importFilesWithPaths(KLVUtilities::validFilesFromImport(items));
}

void KLVChannelImport::importFilesWithPaths(const QStringList& paths)
{
    importFilesWithPaths(paths, channel_.table().playlistItemCount(), false);
}

void KLVChannelImport::importFilesWithPaths(const QStringList& chosen, long insertAtRow, bool replace)
{
    // Pipes, devices and sockets never become cues: opening one can wait for ever. The user is
    // told which were left out and why.
    QStringList paths;
    QStringList refused;
    for (const QString& path : chosen) {
        auto probe = KLVPlaylistNode::create();
        probe->setPlnSourcePath(path);
        const QString problem = probe->sourceFileProblem();
        if (problem.isEmpty() || !QFileInfo::exists(path))
            paths.append(path);
        else
            refused.append(problem);
    }
    if (!refused.isEmpty()) {
        QPointer<KLVChannelImport> self(this);
        later(0, [self, refused] {
            if (!self)
                return;
            KLVAlert alert;
            alert.messageText = KLVLocalized::text("QM_FILE_IMPORT_FAILED");
            alert.informativeText = refused.join(QLatin1Char('\n'));
            alert.buttons = {KLVLocalized::text("QM_OK")};
            self->channel_.delegate().prompter().runModal(alert);
        });
    }
    showProgress();
    const NodeList nodes = nodesForPaths(paths);
    const std::vector<long> rows = rowRange(insertAtRow, nodes.size());
    if (!nodes.empty()) {
        QUndoStack* stack = channel_.delegate().undoManager();
        if (stack)
            stack->beginMacro(klvNodeActionName("Insert Node%1", nodes.size()));
        if (replace) {
            channel_.table().replaceNodesAtIndexes(rows, nodes);
        } else {
            channel_.table().insertNodes(nodes, rows);
            // Linked playlists keep their row alignment.
            playbackSlaves([&](KLVChannelController& slave) {
                slave.table().insertNodes(slave.table().stubsArrayWithCount(long(nodes.size())), rows);
            });
        }
        if (stack)
            stack->endMacro();
    }
    channel_.delegate().saveLocalData();
    hideProgress();
}

KLVChannelImport::NodeList KLVChannelImport::makeNodesForPaths(const QStringList& paths)
{
    NodeList nodes;
    nodes.reserve(size_t(paths.size()));
    for (const QString& path : paths) {
        auto node = KLVPlaylistNode::create();
        node->setPlnSourcePath(path);
        node->setPlnName(withoutExtension(lastPathComponent(path)));
        node->setDuration(-1.0);
        nodes.push_back(std::move(node));
    }
    return nodes;
}

KLVChannelImport::NodeList KLVChannelImport::nodesForPaths(const QStringList& paths)
{
    NodeList nodes = makeNodesForPaths(paths);
    QPointer<KLVChannelImport> self(this);
    auto ask = [self, nodes] {
        if (!self)
            return;
        for (const NodePtr& node : nodes) {
            ++self->outstandingMetadataRequests_;
            self->requestMetadataForNode(node, 0);
        }
    };
    // The counts and the media helper belong to the main thread.
    if (onMainThread())
        ask();
    else
        QMetaObject::invokeMethod(this, ask, Qt::QueuedConnection);
    return nodes;
}

// --- media helper ---

void KLVChannelImport::requestMetadataForNode(const NodePtr& node, unsigned attempt)
{
    QPointer<KLVChannelImport> self(this);
    if (!onMainThread()) {
        QMetaObject::invokeMethod(this, [self, node, attempt] {
            if (self)
                self->requestMetadataForNode(node, attempt);
        }, Qt::QueuedConnection);
        return;
    }
    if (!node->isStub() && QFileInfo::exists(node->plnSourcePath().value_or(QString()))
        && !node->sourceIsPlayableFile()) {
        // A pipe, device or socket (a smart folder may hold one): the helper is not asked to open
        // it; the cue shows why it cannot play.
        metadataRequestReturned();
        return;
    }
    channel_.delegate().requestMetadataForNode(node, [self, node, attempt](const platform::Error&, const QVariant& r) {
        if (self)
            self->metadataReplied(node, attempt, r);
    });
}

void KLVChannelImport::metadataReplied(const NodePtr& node, unsigned attempt, const QVariant& response)
{
    if (isDictionary(response)) {
        const KLVMediaMetadata metadata = KLVMediaMetadata::fromResponse(response);
        node->setSizeString(metadata.size);
        node->setFormatString(metadata.format);
        node->setMeasuredLength(metadata.duration, metadata.fps);
        // A cue measured again keeps its place whatever the answer: it was imported before.
        if (!metadata.validFormat && !measuringAgain_.contains(node))
            invalidNodes_.push_back(node);
        measuringAgain_.erase(node);
        metadataRequestReturned();
        channel_.delegate().saveLocalData();
        return;
    }
    if (attempt < kMetadataLastAttempt) {
        QPointer<KLVChannelImport> self(this);
        later(kMetadataRetryMs, [self, node, attempt] {
            if (self)
                self->requestMetadataForNode(node, attempt + 1);
        });
        return;
    }
    // Given up: the cue stays with an unknown duration, and the run still completes.
    measuringAgain_.erase(node);
    metadataRequestReturned();
}

void KLVChannelImport::metadataRequestReturned()
{
    if (--outstandingMetadataRequests_ > 0)
        return;
    outstandingMetadataRequests_ = 0;
    channel_.table().reloadTablePreservingSelectionIfPossible();
    if (!invalidNodes_.empty())
        handleNodesWithBadCodec(std::exchange(invalidNodes_, {}));
}

QString KLVChannelImport::unreadableFilesText(const NodeList& nodes)
{
    if (nodes.empty())
        return {};
    // The helper marks a file invalid when the decoder cannot open it at all (it decodes every
    // codec it can open), so the file is damaged or no movie; a codec list would mislead.
    const QString name = lastPathComponent(nodes.back()->plnSourcePath().value_or(QString()));
    const long others = long(nodes.size()) - 1;
    if (others == 0)
        return KLVLocalized::text("QM_FILE_UNREADABLE", {name});
    if (others == 1)
        return KLVLocalized::text("QM_FILE_AND_ONE_OTHER_UNREADABLE", {name});
    return KLVLocalized::text("QM_FILE_AND_OTHERS_UNREADABLE", {name, QString::number(others)});
}

void KLVChannelImport::handleNodesWithBadCodec(const NodeList& nodes)
{
    QPointer<KLVChannelImport> self(this);
    later(0, [self, nodes] {
        if (!self)
            return;
        // Not undoable, and slaves keep their rows: undo entries find their cues by identity.
        self->channel_.table().model().removeNodes(nodes);
        self->channel_.table().reloadTablePreservingSelectionIfPossible();
        KLVAlert alert;
        alert.messageText = KLVLocalized::text("QM_FILE_IMPORT_FAILED");
        alert.informativeText = unreadableFilesText(nodes);
        alert.buttons = {KLVLocalized::text("QM_OK")};
        self->channel_.delegate().prompter().runModal(alert);
    });
}

void KLVChannelImport::createThumbnailsForNodes(const NodeList& nodes)
{
    QPointer<KLVChannelImport> self(this);
    for (const NodePtr& node : nodes) {
        if (!node || node->isStub())
            continue;
        QString path;
        if (KLVImageManager::thumbnailImageExistsForPlaylistNode(*node, &path)) {
            node->setThumbnail(imageAt(path));
            channel_.table().reloadRows({channel_.table().model().rowOf(node)}, KLVPlaylistTableModel::ThumbnailColumn);
            continue;
        }
        node->setThumbnailIsLoading(true);
        if (channel_.delegate().shouldSurpressFilePathThumbnailGenerator(node->plnSourcePath().value_or(QString()))) {
            // Being recorded: a black picture, and no request while the file grows. The loading
            // mark stays so the table does not ask again.
            QImage black(120, 80, QImage::Format_RGB32);
            black.fill(Qt::black);
            node->setThumbnail(black);
            continue;
        }
        ++outstandingThumbnailRequests_;
        channel_.delegate().requestThumbForNode(node, [self, node](const platform::Error& error, const QVariant&) {
            if (!self)
                return;
            QString cached;
            if (error.isNull() && KLVImageManager::thumbnailImageExistsForPlaylistNode(*node, &cached))
                node->setThumbnail(imageAt(cached));
            const long row = self->channel_.table().model().rowOf(node);
            self->thumbnailRequestReturnedForIndexes(row >= 0 ? std::optional(std::vector<long>{row}) : std::nullopt);
            node->setThumbnailIsLoading(false);
        });
    }
}

void KLVChannelImport::thumbnailRequestReturnedForIndexes(const std::optional<std::vector<long>>& rows)
{
    --outstandingThumbnailRequests_;
    if (rows)
        channel_.table().reloadRows(*rows, KLVPlaylistTableModel::ThumbnailColumn);
    else
        channel_.table().reloadTablePreservingSelectionIfPossible();
    if (outstandingThumbnailRequests_ <= 0) {
        outstandingThumbnailRequests_ = 0;
        hideProgress();
    }
}

void KLVChannelImport::createSlatesForNodes(const NodeList& nodes, std::function<void()> completion)
{
    QPointer<KLVChannelImport> self(this);
    for (const NodePtr& node : nodes) {
        if (!node || node->isStub())
            continue;
        QString path;
        if (KLVImageManager::slateImageExistsForPlaylistNode(*node, &path)) {
            node->setSlate(imageAt(path));
            continue;
        }
        ++outstandingSlateRequests_;
        channel_.delegate().requestSlateForNode(node, [self, node, completion](const platform::Error& error,
                                                                             const QVariant&) {
            if (!self)
                return;
            QString cached;
            if (error.isNull() && KLVImageManager::slateImageExistsForPlaylistNode(*node, &cached))
                node->setSlate(imageAt(cached));
            if (completion)
                self->later(0, completion);
            self->slateRequestReturned();
        });
    }
}

void KLVChannelImport::slateRequestReturned()
{
    if (--outstandingSlateRequests_ > 0)
        return;
    outstandingSlateRequests_ = 0;
    channel_.table().reloadTablePreservingSelectionIfPossible();
}

// --- smart folder ---

void KLVChannelImport::selectSmartFolder()
{
    KLVOpenPanelOptions options;
    options.title = KLVLocalized::text("QM_SELECT_DIRECTORY_TITLE");
    options.canChooseFiles = false;
    options.canChooseDirectories = true;
    const QStringList chosen = channel_.delegate().filePicker().runOpenPanel(options);
    const std::shared_ptr<KLVChannel> channel = channel_.channel();
    if (chosen.isEmpty() || !channel)
        return;
    channel->setSmartDirectory(chosen.first());
    if (smartToggleOn_) {
        showProgress();
        channel->setType(1);
        if (smartFolder_) {
            smartFolder_->setupDirectoryMonitoring();
            smartFolder_->runSmartFolderDirectoryListComparison();
        }
    }
}

void KLVChannelImport::toggleSmartPlaylist(bool on)
{
    const std::shared_ptr<KLVChannel> channel = channel_.channel();
    if (!channel || !smartFolder_)
        return;
    smartToggleOn_ = on;
    if (on) {
        channel->setType(1);
        const auto dir = channel->smartDirectory();
        if (dir && !dir->isEmpty()) {
            showProgress();
            smartFolder_->setupDirectoryMonitoring();
            smartFolder_->runSmartFolderDirectoryListComparison();
        } else {
            selectSmartFolder();
        }
    } else {
        if (smartFolder_->isMonitoring()) {
            KLVImageManager::removeImagesForNodes(channel->playlistItems());
            smartFolder_->tearDownDirectoryMonitoring();
        }
        // Also when no folder was ever chosen: the switch turns the mode off in every case.
        channel->setType(0);
        channel_.table().reloadTable();
        const long count = channel_.table().playlistItemCount();
        playbackSlaves([&](KLVChannelController& slave) { slave.table().addStubItemsToPlaylist(count); });
    }
    emit smartToggleChanged(smartToggleOn_);
}

void KLVChannelImport::smartPlaylistDataChanged()
{
    QPointer<KLVChannelImport> self(this);
    later(0, [self] {
        if (!self)
            return;
        KLVChannelController& c = self->channel_;
        // The cues were replaced: recorded edits would reach cues that are gone.
        c.table().clearUndo();
        c.table().reloadTablePreservingSelectionIfPossible();
        const NodeList nodes = c.channel() ? c.channel()->playlistItems() : NodeList{};
        self->createThumbnailsForNodes(nodes);
        self->createSlatesForNodes(nodes, {});
        const long count = c.table().playlistItemCount();
        self->playbackSlaves([&](KLVChannelController& slave) { slave.table().addStubItemsToPlaylist(count); });
        c.delegate().saveLocalData();
        self->hideProgress();
    });
}

// --- progress ---

void KLVChannelImport::showProgress()
{
    progressShown_ = true;
    emit progressChanged(true);
}

void KLVChannelImport::hideProgress()
{
    progressShown_ = false;
    emit progressChanged(false);
}

// --- selection ---

long KLVChannelImport::selectedIndex() const
{
    return channel_.table().selectedRow();
}

void KLVChannelImport::selectPlaylistItemAtIndex(long index)
{
    if (index < 0 || index >= channel_.table().playlistItemCount())
        return;
    channel_.table().selectRows({index});
    doTableViewActionAllowingSlateScreen(true);
}

void KLVChannelImport::reselectPlaylistItem()
{
    selectPlaylistItemAtIndex(channel_.table().selectedRow());
    shouldReselectPlaylistItem_ = false;
}

KLVChannelImport::NodePtr KLVChannelImport::nodeWithName(const QString& name) const
{
    for (const NodePtr& node : channel_.table().model().nodes())
        if (node->plnName() == name)
            return node;
    return nullptr;
}

void KLVChannelImport::doTableViewActionAllowingSlateScreen(bool allowSlate)
{
    KLVChannelTableEdits& table = channel_.table();
    const long row = table.selectedRow();
    const std::vector<long> selected = table.selectedRows();
    if (channel_.isMaster() && channel_.isPlaying())
        channel_.pauseMaster(nullptr);
    const NodePtr node = table.model().nodeAt(row);
    if (!node)
        return;
    auto deselectMissing = [&] {
        std::vector<long> missing;
        for (long r : selected)
            if (const NodePtr n = table.model().nodeAt(r); n->isStub() || !n->sourceIsPlayableFile())
                missing.push_back(r);
        table.deselectRows(missing);
    };
    if (node->isStub()) {
        deselectMissing();
        channel_.movie().stop();
        if (channel_.output().deviceEnabled())
            channel_.transport().loadNode(node, allowSlate);
    } else if (node->sourceIsPlayableFile()) {
        deselectMissing();
        if (channel_.output().deviceEnabled())
            channel_.transport().loadNode(node, allowSlate);
        playbackSlaves([&](KLVChannelController& slave) { slave.import().selectPlaylistItemAtIndex(row); });
    } else {
        table.reloadTable();
        table.selectRows({row});
    }
}
