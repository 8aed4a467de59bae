#include "ui/logic/channel/KLVChannelTableEdits.h"

#include "app/defaults/KLVDefaultsKeys.h"
#include "app/document/KLVChannel.h"
#include "app/document/KLVPlaylistNode.h"
#include "app/imagecache/KLVImageManager.h"
#include "app/moviecontroller/KLVMovieController.h"
#include "app/ports/KLVFilePicker.h"
#include "app/ports/KLVTimerSource.h"
#include "app/util/KLVUtilities.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/UserDefaults.h"
#include "resources/strings/KLVLocalized.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelControllerDelegate.h"
#include "ui/logic/channel/KLVChannelImport.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QUndoStack>
#include <QUrl>

#include <algorithm>
#include <set>

namespace {

// A command goes on the main window's stack (which runs it); without a stack it just runs.
template <class Command>
void run(QUndoStack* stack, std::unique_ptr<Command>& command)
{
    if (stack)
        stack->push(command.get());
    else
        command->redo();
}

template <class Command>
void release(QUndoStack* stack, std::unique_ptr<Command>& command)
{
    if (stack)
        (void)command.release(); // the stack owns it now
}

QString lastMediaDirectory()
{
    return platform::UserDefaults::sharedDefaults().stringForKey(
        QString::fromLatin1(KLVDefaultsKeys::kLastMediaDirectory));
}

} // namespace

KLVChannelTableEdits::KLVChannelTableEdits(KLVChannelController& channel)
    : channel_(channel), selection_(&model_)
{
    model_.thumbnailWanted = [this](const NodePtr& node) { channel_.import().createThumbnailsForNodes({node}); };
    model_.behaviorEdited = [this] { channel_.delegate().saveLocalData(); };
    connect(&channel_, &KLVChannelController::playlistChanged, this, &KLVChannelTableEdits::channelShown);
}

KLVChannelTableEdits::~KLVChannelTableEdits() = default;

QString KLVChannelTableEdits::localized(const char* key) const
{
    return KLVLocalized::text(key);
}

void KLVChannelTableEdits::channelShown()
{
    const std::shared_ptr<KLVChannel> channel = channel_.channel();
    const std::shared_ptr<KLVChannel> before = shown_.lock();
    if (channel == model_.channel())
        return;
    const bool replacing = before != nullptr;
    shown_ = channel;
    selection_.clear();
    model_.setChannel(channel);
    // Edits recorded against the previous document would reach cues that are no longer shown.
    if (replacing)
        clearUndo();
}

void KLVChannelTableEdits::clearUndo()
{
    if (QUndoStack* stack = channel_.delegate().undoManager())
        stack->clear();
}

KLVPlaylistEditHooks KLVChannelTableEdits::editHooks()
{
    QPointer<KLVChannelTableEdits> self(this);
    KLVPlaylistEditHooks hooks;
    hooks.nodesArrived = [self](const NodeList& nodes) {
        if (!self)
            return;
        self->channel_.import().createThumbnailsForNodes(nodes);
        self->channel_.import().createSlatesForNodes(nodes, {});
    };
    hooks.nodesReplacedOut = [](const NodeList& nodes) { KLVImageManager::removeImagesForNodes(nodes); };
    hooks.replayed = [self] {
        if (self)
            self->saveAfterReplay();
    };
    return hooks;
}

void KLVChannelTableEdits::saveAfterReplay()
{
    // One save for every edit a single undo or redo replays (a step may hold several), made as
    // soon as the step is done.
    if (savePending_)
        return;
    savePending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            savePending_ = false;
            channel_.delegate().saveLocalData();
        },
        Qt::QueuedConnection);
}

long KLVChannelTableEdits::playlistItemCount() const
{
    return long(model_.nodes().size());
}

std::vector<KLVChannelTableEdits::NodePtr> KLVChannelTableEdits::stubsArrayWithCount(long count) const
{
    std::vector<NodePtr> stubs;
    for (long i = 0; i < count; ++i)
        stubs.push_back(KLVPlaylistNode::create());
    return stubs;
}

void KLVChannelTableEdits::addStubItemsToPlaylist(long count)
{
    const std::shared_ptr<KLVChannel> channel = channel_.channel();
    if (channel && !channel->isSmart()) {
        const long own = playlistItemCount();
        if (count > own) {
            std::vector<long> rows;
            for (long r = own; r < count; ++r)
                rows.push_back(r);
            model_.insertNodes(stubsArrayWithCount(count - own), rows);
        } else if (count < own) {
            // Only stubs leave: a cue of the channel's own is never dropped to match a shorter
            // master.
            NodeList trailing;
            for (long r = own - 1; r >= count && model_.nodeAt(r)->isStub(); --r)
                trailing.push_back(model_.nodeAt(r));
            model_.removeNodes(trailing);
        }
    }
    for (KLVChannelController* slave : channel_.linkedControllers())
        if (slave->operationMode() == 0)
            slave->table().addStubItemsToPlaylist(count);
    reloadTablePreservingSelectionIfPossible();
}

std::vector<long> KLVChannelTableEdits::validRows(const std::vector<long>& rows) const
{
    std::set<long> unique;
    for (long row : rows)
        if (row >= 0 && row < playlistItemCount())
            unique.insert(row);
    return {unique.begin(), unique.end()};
}

void KLVChannelTableEdits::insertNodes(const std::vector<NodePtr>& nodes, const std::vector<long>& indexes)
{
    if (nodes.empty())
        return;
    QUndoStack* stack = channel_.delegate().undoManager();
    auto command = std::make_unique<KLVInsertNodesCommand>(&model_, editHooks(), nodes, indexes);
    run(stack, command);
    release(stack, command);
}

KLVChannelTableEdits::NodeList KLVChannelTableEdits::removeNodesAtIndexes(const std::vector<long>& indexes)
{
    const std::vector<long> rows = validRows(indexes);
    if (rows.empty())
        return {};
    QUndoStack* stack = channel_.delegate().undoManager();
    auto command = std::make_unique<KLVRemoveNodesCommand>(&model_, editHooks(), rows);
    run(stack, command);
    NodeList removed = command->removed();
    release(stack, command);
    return removed;
}

KLVChannelTableEdits::NodeList KLVChannelTableEdits::replaceNodesAtIndexes(const std::vector<long>& indexes,
                                                                           const std::vector<NodePtr>& nodes)
{
    std::vector<long> rows;
    std::vector<NodePtr> replacing;
    for (size_t i = 0; i < std::min(indexes.size(), nodes.size()); ++i) {
        if (indexes[i] < 0)
            continue;
        rows.push_back(indexes[i]);
        replacing.push_back(nodes[i]);
    }
    if (rows.empty())
        return {};
    QUndoStack* stack = channel_.delegate().undoManager();
    auto command = std::make_unique<KLVReplaceNodesCommand>(&model_, editHooks(), rows, replacing);
    run(stack, command);
    NodeList replaced = command->replaced();
    release(stack, command);
    return replaced;
}

void KLVChannelTableEdits::deleteSelection(bool fromTable)
{
    const std::shared_ptr<KLVChannel> channel = channel_.channel();
    if (!fromTable || !channel || channel->isSmart()) {
        emit beep();
        return;
    }
    const std::vector<long> rows = selectedRows();
    if (rows.empty())
        return;
    deleteRows(rows, klvNodeActionName("Delete Node%1", rows.size()));
    reloadLater();
}

void KLVChannelTableEdits::deleteCueMenu(long clickedRow)
{
    if (clickedRow < 0 || clickedRow >= playlistItemCount())
        return;
    std::vector<long> rows = selectedRows();
    if (rows.size() < 2)
        rows = {clickedRow};
    deleteRows(rows, localized("QM_DELETE_NODE"));
}

void KLVChannelTableEdits::deleteRows(const std::vector<long>& rows, const QString& actionName)
{
    NodeList nodes;
    for (long row : rows)
        nodes.push_back(model_.nodeAt(row));
    // One undo step under the delete's own name, whatever the edits inside are called.
    QUndoStack* stack = channel_.delegate().undoManager();
    if (stack)
        stack->beginMacro(actionName);
    if (channel_.linkedController()) {
        // A slave keeps its rows aligned with the master: the cues become stubs.
        replaceNodesAtIndexes(rows, stubsArrayWithCount(long(rows.size())));
    } else {
        removeNodesAtIndexes(rows);
        // Slaves lose the same rows, as far as they reach.
        for (KLVChannelController* slave : channel_.linkedControllers())
            if (slave->operationMode() == 0)
                KLVImageManager::removeImagesForNodes(slave->table().removeNodesAtIndexes(rows));
    }
    if (stack)
        stack->endMacro();
    KLVImageManager::removeImagesForNodes(nodes);
    channel_.delegate().saveLocalData();
}

void KLVChannelTableEdits::revealCueInFinder(long row)
{
    const NodePtr node = model_.nodeAt(row);
    if (!node)
        return;
    const QString path = platform::stringByExpandingTildeInPath(node->plnSourcePath().value_or(QString()));
    KLVUtilities::selectFileInFinder({QUrl::fromLocalFile(path)});
}

void KLVChannelTableEdits::inspectCue(long row)
{
    if (const NodePtr node = model_.nodeAt(row))
        showInspectorForPlaylistNode(node);
}

void KLVChannelTableEdits::showInspectorForPlaylistNode(const NodePtr& node)
{
    channel_.delegate().showInspectorForPlaylistNode(node, channel_.showSlate());
}

void KLVChannelTableEdits::setPlaybackBehavior(long row, long behaviorIndex)
{
    const NodePtr node = model_.nodeAt(row);
    if (!node)
        return;
    if (behaviorIndex >= 0 && behaviorIndex < 3)
        node->setPlaybackBehavior(behaviorIndex);
    model_.reloadRows({row}, KLVPlaylistTableModel::BehaviorColumn);
    channel_.delegate().saveLocalData();
}

void KLVChannelTableEdits::findMissingSource(long row)
{
    const NodePtr node = model_.nodeAt(row);
    if (!node)
        return;
    KLVOpenPanelOptions options;
    options.directory = lastMediaDirectory();
    options.canChooseFiles = true;
    options.canChooseDirectories = false;
    const QStringList chosen = channel_.delegate().filePicker().runOpenPanel(options);
    if (chosen.isEmpty())
        return;
    const QString path = chosen.first();
    if (QFileInfo::exists(path)) {
        if (!path.isEmpty()) {
            node->setPlnSourcePath(path);
            reloadTablePreservingSelectionIfPossible();
        }
        channel_.delegate().saveLocalData();
    }
    platform::UserDefaults::sharedDefaults().setObject(QFileInfo(path).absolutePath(),
                                                       QString::fromLatin1(KLVDefaultsKeys::kLastMediaDirectory));
}

void KLVChannelTableEdits::tableViewAction(long clickedRow, bool fromKeyboard)
{
    if (fromKeyboard || clickedRow >= 0)
        channel_.import().doTableViewActionAllowingSlateScreen(true);
}

void KLVChannelTableEdits::selectionDidChange()
{
    if (channel_.isMaster())
        channel_.pauseMaster(nullptr);
    else
        channel_.movie().pause();
}

std::vector<long> KLVChannelTableEdits::selectedRows() const
{
    std::set<long> rows;
    for (const QModelIndex& index : selection_.selectedIndexes())
        rows.insert(index.row());
    return {rows.begin(), rows.end()};
}

long KLVChannelTableEdits::selectedRow() const
{
    const QModelIndex current = selection_.currentIndex();
    if (current.isValid() && selection_.isRowSelected(current.row()))
        return current.row();
    const std::vector<long> rows = selectedRows();
    return rows.empty() ? -1 : rows.back();
}

KLVChannelTableEdits::NodeList KLVChannelTableEdits::selectedNodes() const
{
    NodeList nodes;
    for (long row : selectedRows())
        nodes.push_back(model_.nodeAt(row));
    return nodes;
}

void KLVChannelTableEdits::selectRows(const std::vector<long>& rows)
{
    QItemSelection selection;
    for (long row : validRows(rows))
        selection.select(model_.index(int(row), 0), model_.index(int(row), KLVPlaylistTableModel::ColumnCount - 1));
    selection_.select(selection, QItemSelectionModel::ClearAndSelect);
    if (!rows.empty() && rows.back() >= 0 && rows.back() < playlistItemCount())
        selection_.setCurrentIndex(model_.index(int(rows.back()), 0), QItemSelectionModel::NoUpdate);
}

void KLVChannelTableEdits::selectNodes(const NodeList& nodes)
{
    selectRows(model_.rowsOf(nodes));
}

void KLVChannelTableEdits::deselectRows(const std::vector<long>& rows)
{
    for (long row : validRows(rows))
        selection_.select(model_.index(int(row), 0),
                          QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
}

void KLVChannelTableEdits::reloadTable()
{
    model_.reload();
}

void KLVChannelTableEdits::reloadTablePreservingSelectionIfPossible()
{
    const NodeList noted = selectedNodes();
    model_.reload();
    selectNodes(noted);
}

void KLVChannelTableEdits::reloadRows(const std::vector<long>& rows, int column)
{
    model_.reloadRows(rows, column);
}

void KLVChannelTableEdits::reloadLater()
{
    QPointer<KLVChannelTableEdits> self(this);
    reloadTimer_ = channel_.delegate().timers().schedule(1000, false, [self] {
        if (self)
            self->reloadTablePreservingSelectionIfPossible();
    });
}

void KLVChannelTableEdits::removePlaylistNodeWithName(const QString& name)
{
    if (const std::shared_ptr<KLVChannel> channel = channel_.channel()) {
        const NodeList noted = selectedNodes();
        channel->removePlaylistNodeWithName(name);
        model_.reload();
        selectNodes(noted);
    }
}

void KLVChannelTableEdits::scrollToSelection()
{
    emit scrollToSelectionRequested();
}

void KLVChannelTableEdits::boundsDidChange(int y)
{
    if (!channel_.isMaster())
        return;
    for (KLVChannelController* slave : channel_.linkedControllers())
        slave->table().scrollTableToPoint(y);
}

void KLVChannelTableEdits::scrollTableToPoint(int y)
{
    emit scrollRequested(y);
}
