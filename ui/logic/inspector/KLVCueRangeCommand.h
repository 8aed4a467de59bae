#pragma once
// One undo step of the cue inspector: a cue's in and out points before and after an edit. The
// edit is already made when the step is pushed, so its first redo does nothing; undo and later
// redos put a range back through `restore`. A cue that is gone makes the step do nothing.

#include <QUndoCommand>

#include <functional>
#include <memory>

class KLVPlaylistNode;

class KLVCueRangeCommand final : public QUndoCommand {
public:
    using NodePtr = std::shared_ptr<KLVPlaylistNode>;
    using Restore = std::function<void(const NodePtr& node, double in, double out)>;

    KLVCueRangeCommand(const NodePtr& node, double beforeIn, double beforeOut, double afterIn, double afterOut,
                       Restore restore);
    void undo() override;
    void redo() override;

private:
    std::weak_ptr<KLVPlaylistNode> node_;
    double beforeIn_, beforeOut_, afterIn_, afterOut_;
    Restore restore_;
    bool pushed_ = false;
};
