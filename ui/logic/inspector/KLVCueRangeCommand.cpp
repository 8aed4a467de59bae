#include "ui/logic/inspector/KLVCueRangeCommand.h"

#include <QCoreApplication>

KLVCueRangeCommand::KLVCueRangeCommand(const NodePtr& node, double beforeIn, double beforeOut, double afterIn,
                                       double afterOut, Restore restore)
    : QUndoCommand(QCoreApplication::translate("Localizable", "Set In and Out Points")), node_(node),
      beforeIn_(beforeIn), beforeOut_(beforeOut), afterIn_(afterIn), afterOut_(afterOut), restore_(std::move(restore))
{
}

void KLVCueRangeCommand::undo()
{
    if (const NodePtr node = node_.lock(); node && restore_)
        restore_(node, beforeIn_, beforeOut_);
}

void KLVCueRangeCommand::redo()
{
    if (!pushed_) {
        pushed_ = true;
        return;
    }
    if (const NodePtr node = node_.lock(); node && restore_)
        restore_(node, afterIn_, afterOut_);
}
