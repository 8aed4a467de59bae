#pragma once
// The pasteboard form of dragged playlist rows: a versioned CBOR map holding each cue's own
// archive (pictures as PNG), the dragged rows and the source channel's column position. Reading
// refuses anything that is not a complete payload of a known version.

#include "app/document/KLVPlaylistNode.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class QMimeData;

struct KLVPlaylistDragPayload {
    static constexpr const char* kMimeType = "application/x-kalvanto.KLVTableViewControllerReorderDragType";
    static constexpr int kVersion = 1;

    std::vector<std::shared_ptr<KLVPlaylistNode>> draggedNodes;
    std::vector<long> draggedIndexes;
    long oldChannelIndex = -1;

    QByteArray encode() const;
    // Empty (and the reason in error) for truncated, foreign or inconsistent data.
    static std::optional<KLVPlaylistDragPayload> decode(const QByteArray& data, QString* error = nullptr);

    static bool isOffered(const QMimeData& mime);
    void writeTo(QMimeData& mime) const;
    // Logs "error processing drag information. <reason>" when the data cannot be read.
    static std::optional<KLVPlaylistDragPayload> readFrom(const QMimeData& mime);
};
