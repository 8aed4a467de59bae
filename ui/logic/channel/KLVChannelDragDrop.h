#pragma once
// Drag and drop of cues within and between channels and of files into a channel. The table
// widget hands over the pasteboard data, the controller of the table the drag came from (null
// when it came from another program) and whether the user asked for a copy. Main thread.

#include "ui/logic/playlist/KLVPlaylistDropPlanner.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class KLVChannelController;
class KLVPlaylistNode;
class QMimeData;

class KLVChannelDragDrop {
public:
    using NodePtr = std::shared_ptr<KLVPlaylistNode>;
    explicit KLVChannelDragDrop(KLVChannelController& channel) : channel_(channel) {}
    KLVChannelDragDrop(const KLVChannelDragDrop&) = delete;
    KLVChannelDragDrop& operator=(const KLVChannelDragDrop&) = delete;

    // The pasteboard data for a drag of rows; null for a smart folder (its rows stay put).
    std::unique_ptr<QMimeData> mimeDataForRows(const std::vector<long>& rows);
    const std::vector<NodePtr>& draggedNodes() const { return draggedNodes_; }
    bool dragIsLocalReorder(const QMimeData& mime, const KLVChannelController* source) const;
    KLVDropValidation validateDrop(const QMimeData& mime, bool copyOnly) const;
    // row: the row the table proposes (between rows, or the row landed on for a slave).
    bool acceptDrop(const QMimeData& mime, KLVChannelController* source, long row, bool copy);
    // The importable files among the dropped file URLs.
    static QStringList playablePaths(const QMimeData& mime);

private:
    bool acceptLocalReorder(long row, bool copy);
    bool acceptRowsFromElsewhere(const QMimeData& mime, KLVChannelController* source, long row, bool copy);

    std::vector<NodePtr> draggedNodes_;
    KLVChannelController& channel_;
};
