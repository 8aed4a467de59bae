#include "ui/logic/playlist/KLVPlaylistUndoCommands.h"

#include <QCoreApplication>

QString klvNodeActionName(const char* verb, size_t count)
{
    return QCoreApplication::translate("Localizable", verb)
        .arg(count >= 2 ? QStringLiteral("s") : QString());
}

KLVInsertNodesCommand::KLVInsertNodesCommand(KLVPlaylistTableModel* model, KLVPlaylistEditHooks hooks,
                                             NodeList nodes, std::vector<long> rows)
    : KLVPlaylistCommand(model, std::move(hooks), klvNodeActionName("Insert Node%1", nodes.size())),
      nodes_(std::move(nodes)), rows_(std::move(rows))
{
}

void KLVInsertNodesCommand::redo()
{
    if (!model_)
        return;
    const bool first = firstRun();
    arrived(nodes_);
    model_->insertNodes(nodes_, rows_);
    if (!first)
        replayed();
}

void KLVInsertNodesCommand::undo()
{
    if (!model_)
        return;
    model_->removeNodes(nodes_, rows_);
    replayed();
}

KLVRemoveNodesCommand::KLVRemoveNodesCommand(KLVPlaylistTableModel* model, KLVPlaylistEditHooks hooks,
                                             std::vector<long> rows)
    : KLVPlaylistCommand(model, std::move(hooks), klvNodeActionName("Delete Node%1", rows.size())),
      rows_(std::move(rows))
{
}

void KLVRemoveNodesCommand::redo()
{
    if (!model_)
        return;
    if (!done_) {
        done_ = true;
        for (long row : rows_)
            if (NodePtr node = model_->nodeAt(row))
                nodes_.push_back(node);
    }
    rows_ = model_->removeNodes(nodes_, rows_);
    if (!firstRun())
        replayed();
}

void KLVRemoveNodesCommand::undo()
{
    if (!model_)
        return;
    // Their cached pictures may have been deleted with them.
    arrived(nodes_);
    model_->insertNodes(nodes_, rows_);
    replayed();
}

KLVReplaceNodesCommand::KLVReplaceNodesCommand(KLVPlaylistTableModel* model, KLVPlaylistEditHooks hooks,
                                               std::vector<long> rows, NodeList nodes)
    : KLVPlaylistCommand(model, std::move(hooks), klvNodeActionName("Insert Node%1", rows.size())),
      rows_(std::move(rows)), new_(std::move(nodes))
{
}

void KLVReplaceNodesCommand::redo()
{
    if (!model_)
        return;
    arrived(new_);
    if (!done_) {
        done_ = true;
        const long size = model_->rowCount();
        old_ = model_->replaceRows(rows_, new_, &padding_);
        new_.resize(old_.size());
        for (size_t i = 0; i < padding_.size(); ++i)
            paddingRows_.push_back(size + long(i));
    } else {
        model_->insertNodes(padding_, paddingRows_);
        model_->replaceByIdentity(old_, new_, rows_);
    }
    replacedOut(old_);
    if (!firstRun())
        replayed();
}

void KLVReplaceNodesCommand::undo()
{
    if (!model_)
        return;
    arrived(old_);
    model_->replaceByIdentity(new_, old_, rows_);
    model_->removeNodes(padding_, paddingRows_);
    replacedOut(new_);
    replayed();
}
