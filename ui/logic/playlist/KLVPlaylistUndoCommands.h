#pragma once
// The three undoable playlist edits. Each finds its cues again by identity when it is undone or
// redone, so edits made in between without undo (unplayable files removed, stubs added) never
// make it touch the wrong rows; a cue that is gone is skipped. A command whose table has gone
// away does nothing.

#include "ui/logic/playlist/KLVPlaylistTableModel.h"

#include <QPointer>
#include <QUndoCommand>

#include <functional>
#include <utility>

// What an edit asks of its channel besides changing the rows.
struct KLVPlaylistEditHooks {
    using NodeList = KLVPlaylistTableModel::NodeList;
    // Cues that (re)enter the list: their thumbnails and slates are asked for.
    std::function<void(const NodeList&)> nodesArrived;
    // Cues a replace pushed out: their cached pictures are deleted.
    std::function<void(const NodeList&)> nodesReplacedOut;
    // The list changed by an undo or a redo (not by the edit's own first run, whose caller
    // saves): the document is saved as after the edit.
    std::function<void()> replayed;
};

// "Insert Node" / "Delete Node" / "Move Node" with "s" for two or more cues.
QString klvNodeActionName(const char* verb, size_t count);

class KLVPlaylistCommand : public QUndoCommand {
public:
    using NodeList = KLVPlaylistTableModel::NodeList;
    using NodePtr = KLVPlaylistTableModel::NodePtr;
    KLVPlaylistCommand(KLVPlaylistTableModel* model, KLVPlaylistEditHooks hooks, const QString& text)
        : QUndoCommand(text), model_(model), hooks_(std::move(hooks)) {}

protected:
    void arrived(const NodeList& nodes) const
    {
        if (hooks_.nodesArrived && !nodes.empty())
            hooks_.nodesArrived(nodes);
    }
    void replacedOut(const NodeList& nodes) const
    {
        if (hooks_.nodesReplacedOut && !nodes.empty())
            hooks_.nodesReplacedOut(nodes);
    }
    // True once: the edit's own first run, made when it is pushed.
    bool firstRun() { return !std::exchange(ran_, true); }
    void replayed() const
    {
        if (hooks_.replayed)
            hooks_.replayed();
    }
    QPointer<KLVPlaylistTableModel> model_;
    KLVPlaylistEditHooks hooks_;

private:
    bool ran_ = false;
};

class KLVInsertNodesCommand final : public KLVPlaylistCommand {
public:
    KLVInsertNodesCommand(KLVPlaylistTableModel* model, KLVPlaylistEditHooks hooks, NodeList nodes,
                          std::vector<long> rows);
    void redo() override;
    void undo() override;

private:
    NodeList nodes_;
    std::vector<long> rows_;
};

class KLVRemoveNodesCommand final : public KLVPlaylistCommand {
public:
    KLVRemoveNodesCommand(KLVPlaylistTableModel* model, KLVPlaylistEditHooks hooks, std::vector<long> rows);
    void redo() override;
    void undo() override;
    const NodeList& removed() const { return nodes_; }

private:
    std::vector<long> rows_;
    NodeList nodes_; // known after the first redo
    bool done_ = false;
};

class KLVReplaceNodesCommand final : public KLVPlaylistCommand {
public:
    KLVReplaceNodesCommand(KLVPlaylistTableModel* model, KLVPlaylistEditHooks hooks, std::vector<long> rows,
                           NodeList nodes);
    void redo() override;
    void undo() override;
    const NodeList& replaced() const { return old_; }

private:
    std::vector<long> rows_;
    NodeList new_;
    NodeList old_; // known after the first redo
    NodeList padding_; // stubs made below the end of the list, gone again on undo
    std::vector<long> paddingRows_;
    bool done_ = false;
};
