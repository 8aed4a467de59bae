#include "ui/logic/playlist/KLVPlaylistDragPayload.h"

#include "platform/foundation/Log.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QMimeData>

#include <limits>

namespace {

constexpr const char* kSubsystem = "com.quenmark.kalvanto";
constexpr const char* kCategory = "app";

std::optional<KLVPlaylistDragPayload> refuse(QString* error, const QString& reason)
{
    if (error)
        *error = reason;
    return std::nullopt;
}

} // namespace

QByteArray KLVPlaylistDragPayload::encode() const
{
    QCborArray nodes;
    for (const auto& node : draggedNodes)
        nodes.append(node->archivedData());
    QCborArray indexes;
    for (long row : draggedIndexes)
        indexes.append(qint64(row));
    QCborMap map;
    map.insert(QStringLiteral("version"), kVersion);
    map.insert(QStringLiteral("draggedNodes"), nodes);
    map.insert(QStringLiteral("draggedIndexes"), indexes);
    map.insert(QStringLiteral("oldChannelIndex"), qint64(oldChannelIndex));
    return QCborValue(map).toCbor();
}

std::optional<KLVPlaylistDragPayload> KLVPlaylistDragPayload::decode(const QByteArray& data, QString* error)
{
    QCborParserError parse;
    const QCborValue root = QCborValue::fromCbor(data, &parse);
    if (parse.error != QCborError::NoError)
        return refuse(error, parse.errorString());
    if (!root.isMap())
        return refuse(error, QStringLiteral("not a row drag"));
    const QCborMap map = root.toMap();
    if (map.value(QStringLiteral("version")).toInteger(-1) != kVersion)
        return refuse(error, QStringLiteral("unknown version"));
    const QCborValue nodes = map.value(QStringLiteral("draggedNodes"));
    const QCborValue indexes = map.value(QStringLiteral("draggedIndexes"));
    if (!nodes.isArray() || !indexes.isArray())
        return refuse(error, QStringLiteral("rows missing"));

    KLVPlaylistDragPayload payload;
    for (const QCborValue& value : nodes.toArray()) {
        auto node = value.isByteArray() ? KLVPlaylistNode::fromArchivedData(value.toByteArray()) : nullptr;
        if (!node)
            return refuse(error, QStringLiteral("a cue cannot be read"));
        payload.draggedNodes.push_back(std::move(node));
    }
    for (const QCborValue& value : indexes.toArray()) {
        if (!value.isInteger() || value.toInteger() < 0 || value.toInteger() > std::numeric_limits<int>::max())
            return refuse(error, QStringLiteral("a row is not a row number"));
        payload.draggedIndexes.push_back(long(value.toInteger()));
    }
    if (payload.draggedNodes.empty() || payload.draggedNodes.size() != payload.draggedIndexes.size())
        return refuse(error, QStringLiteral("rows and cues do not match"));
    payload.oldChannelIndex = long(map.value(QStringLiteral("oldChannelIndex")).toInteger(-1));
    return payload;
}

bool KLVPlaylistDragPayload::isOffered(const QMimeData& mime)
{
    return mime.hasFormat(QString::fromLatin1(kMimeType));
}

void KLVPlaylistDragPayload::writeTo(QMimeData& mime) const
{
    mime.setData(QString::fromLatin1(kMimeType), encode());
}

std::optional<KLVPlaylistDragPayload> KLVPlaylistDragPayload::readFrom(const QMimeData& mime)
{
    QString error;
    auto payload = decode(mime.data(QString::fromLatin1(kMimeType)), &error);
    if (!payload)
        platform::log(kSubsystem, kCategory, platform::LogLevel::Error,
                      QStringLiteral("error processing drag information. %1").arg(error));
    return payload;
}
