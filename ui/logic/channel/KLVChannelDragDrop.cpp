#include "ui/logic/channel/KLVChannelDragDrop.h"

#include "app/document/KLVChannel.h"
#include "app/document/KLVPlaylistNode.h"
#include "app/util/KLVUtilities.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelControllerDelegate.h"
#include "ui/logic/channel/KLVChannelImport.h"
#include "ui/logic/channel/KLVChannelTableEdits.h"
#include "ui/logic/playlist/KLVPlaylistDragPayload.h"

#include <QMimeData>
#include <QUndoStack>
#include <QUrl>

namespace {

bool isSmart(const KLVChannelController& c)
{
    return c.channel() && c.channel()->isSmart();
}

// One undo step for the whole drop.
class UndoGroup {
public:
    UndoGroup(QUndoStack* stack, size_t count) : stack_(stack)
    {
        if (stack_)
            stack_->beginMacro(klvNodeActionName("Move Node%1", count));
    }
    ~UndoGroup()
    {
        if (stack_)
            stack_->endMacro();
    }
    UndoGroup(const UndoGroup&) = delete;
    UndoGroup& operator=(const UndoGroup&) = delete;

private:
    QUndoStack* stack_;
};

} // namespace

std::unique_ptr<QMimeData> KLVChannelDragDrop::mimeDataForRows(const std::vector<long>& rows)
{
    draggedNodes_.clear();
    if (isSmart(channel_) || rows.empty())
        return nullptr;
    KLVChannelTableEdits& table = channel_.table();
    if (rows.back() < table.playlistItemCount())
        for (long row : rows)
            if (NodePtr node = table.model().nodeAt(row))
                draggedNodes_.push_back(node);
    if (draggedNodes_.size() != rows.size()) {
        draggedNodes_.clear();
        return nullptr;
    }
    KLVPlaylistDragPayload payload;
    payload.draggedNodes = draggedNodes_;
    payload.draggedIndexes = rows;
    payload.oldChannelIndex = long(channel_.delegate().channelControllers().indexOf(&channel_));
    auto mime = std::make_unique<QMimeData>();
    payload.writeTo(*mime);
    return mime;
}

bool KLVChannelDragDrop::dragIsLocalReorder(const QMimeData& mime, const KLVChannelController* source) const
{
    return source == &channel_ && !draggedNodes_.empty() && KLVPlaylistDragPayload::isOffered(mime);
}

QStringList KLVChannelDragDrop::playablePaths(const QMimeData& mime)
{
    if (!mime.hasUrls())
        return {};
    QVariantList items;
    for (const QUrl& url : mime.urls())
        if (url.isLocalFile())
            items.append(url.toLocalFile());
    return KLVUtilities::validFilesFromImport(items);
}

KLVDropValidation KLVChannelDragDrop::validateDrop(const QMimeData& mime, bool copyOnly) const
{
    const bool rows = KLVPlaylistDragPayload::isOffered(mime);
    const int files = rows ? 0 : int(playablePaths(mime).size());
    return klvValidateDrop(isSmart(channel_), channel_.linkedController() != nullptr, rows, copyOnly, files);
}

bool KLVChannelDragDrop::acceptDrop(const QMimeData& mime, KLVChannelController* source, long row, bool copy)
{
    if (isSmart(channel_))
        return false;
    KLVChannelTableEdits& table = channel_.table();
    if (!KLVPlaylistDragPayload::isOffered(mime)) {
        const QStringList paths = playablePaths(mime);
        if (paths.isEmpty())
            return false;
        const long count = table.playlistItemCount();
        channel_.import().importFilesWithPaths(paths, (row < 0 || row > count) ? count : row,
                                               channel_.linkedController() != nullptr);
        return true;
    }

    const auto previouslySelected = table.selectedNodes();
    const bool accepted = dragIsLocalReorder(mime, source) ? acceptLocalReorder(row, copy)
                                                           : acceptRowsFromElsewhere(mime, source, row, copy);
    if (!accepted)
        return false;
    table.selectNodes(previouslySelected);
    const long count = table.playlistItemCount();
    for (KLVChannelController* slave : channel_.linkedControllers())
        if (slave->operationMode() == 0)
            slave->table().addStubItemsToPlaylist(count);
    channel_.delegate().saveLocalData();
    return true;
}

bool KLVChannelDragDrop::acceptLocalReorder(long row, bool copy)
{
    KLVChannelTableEdits& table = channel_.table();
    // Only the dragged cues still in the list take part.
    KLVDropRequest request;
    request.from = table.model().rowsOf(draggedNodes_);
    if (request.from.empty())
        return false;
    std::vector<NodePtr> dragged;
    for (long r : request.from)
        dragged.push_back(table.model().nodeAt(r));
    request.rowCount = table.playlistItemCount();
    request.dropRow = row;
    request.count = long(dragged.size());
    request.local = true;
    request.copy = copy;
    request.destinationIsSlave = channel_.linkedController() != nullptr;
    const KLVDropPlan plan = klvPlanDrop(request);

    std::vector<NodePtr> moving = dragged;
    if (copy)
        for (NodePtr& node : moving)
            node = node->duplicate();
    UndoGroup group(channel_.delegate().undoManager(), dragged.size());
    if (!plan.stubRows.empty())
        table.replaceNodesAtIndexes(plan.stubRows, table.stubsArrayWithCount(long(plan.stubRows.size())));
    if (!plan.replaceRows.empty())
        table.replaceNodesAtIndexes(plan.replaceRows, moving);
    if (!plan.removeRows.empty())
        table.removeNodesAtIndexes(plan.removeRows);
    if (!plan.insertRows.empty())
        table.insertNodes(moving, plan.insertRows);
    return true;
}

bool KLVChannelDragDrop::acceptRowsFromElsewhere(const QMimeData& mime, KLVChannelController* source, long row,
                                                 bool copy)
{
    auto payload = KLVPlaylistDragPayload::readFrom(mime);
    if (!payload)
        return false;
    // From another program there is no table to give the rows up: always a copy.
    if (!source)
        copy = true;
    std::vector<NodePtr> nodes = payload->draggedNodes;
    if (copy) {
        // A copy is a cue of its own: a shared UUID would share (and delete) cached pictures.
        for (NodePtr& node : nodes)
            node = node->copy();
    }

    // The source gives up only rows that still hold the dragged cues.
    std::vector<long> sourceRows;
    if (!copy) {
        for (size_t i = 0; i < payload->draggedIndexes.size(); ++i) {
            const NodePtr there = source->table().model().nodeAt(payload->draggedIndexes[i]);
            if (there && there->UUID() == payload->draggedNodes[i]->UUID())
                sourceRows.push_back(payload->draggedIndexes[i]);
        }
    }

    KLVChannelTableEdits& table = channel_.table();
    KLVDropRequest request;
    request.rowCount = table.playlistItemCount();
    request.dropRow = row;
    request.count = long(nodes.size());
    request.copy = copy;
    request.destinationIsSlave = channel_.linkedController() != nullptr;
    request.from = sourceRows;
    request.sourceIsLinked = source && (source->isMaster() || source->linkedController());
    const KLVDropPlan plan = klvPlanDrop(request);

    UndoGroup group(channel_.delegate().undoManager(), nodes.size());
    if (!plan.sourceStubRows.empty())
        source->table().replaceNodesAtIndexes(plan.sourceStubRows,
                                              table.stubsArrayWithCount(long(plan.sourceStubRows.size())));
    if (!plan.sourceRemoveRows.empty())
        source->table().removeNodesAtIndexes(plan.sourceRemoveRows);
    if (!plan.replaceRows.empty())
        table.replaceNodesAtIndexes(plan.replaceRows, nodes);
    if (!plan.insertRows.empty())
        table.insertNodes(nodes, plan.insertRows);
    return true;
}
