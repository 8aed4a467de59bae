// The drag-and-drop archive of a cue: a keyed CBOR map (pictures as PNG bytes). Unlike a new
// cue, a decoded one keeps the UUID it was dragged with.

#include "app/document/KLVPlaylistNode.h"

#include "app/util/KLVUtilities.h"

#include <QBuffer>
#include <QCborMap>
#include <QCborValue>

namespace {

QByteArray pngBytes(const QImage& image)
{
    if (image.isNull())
        return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QImage imageFrom(const QCborValue& value)
{
    if (!value.isByteArray())
        return {};
    QImage image;
    image.loadFromData(value.toByteArray(), "PNG");
    return image;
}

std::optional<QString> textFrom(const QCborValue& value)
{
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

} // namespace

QByteArray KLVPlaylistNode::archivedData() const
{
    QCborMap map;
    auto text = [&](const char* key, const Text& value) {
        if (value)
            map.insert(QString::fromLatin1(key), *value);
    };
    auto picture = [&](const char* key, const QImage& image) {
        if (!image.isNull())
            map.insert(QString::fromLatin1(key), pngBytes(image));
    };
    text("name", plnName());
    text("source", plnSourcePath());
    map.insert(QStringLiteral("inPoint"), inPoint());
    map.insert(QStringLiteral("outPoint"), outPoint());
    map.insert(QStringLiteral("playbackBehavior"), double(playbackBehavior()));
    text("sizeString", sizeString());
    text("formatString", formatString());
    map.insert(QStringLiteral("fps"), fps());
    map.insert(QStringLiteral("duration"), duration());
    picture("thumbnail", thumbnail());
    picture("slate", slate());
    text("notes", notes());
    text("UUID", UUID());
    map.insert(QStringLiteral("offset"), offset());
    return QCborValue(map).toCbor();
}

std::shared_ptr<KLVPlaylistNode> KLVPlaylistNode::fromArchivedData(const QByteArray& data)
{
    QCborParserError error;
    const QCborValue root = QCborValue::fromCbor(data, &error);
    if (error.error != QCborError::NoError || !root.isMap())
        return nullptr;
    const QCborMap map = root.toMap();
    auto number = [&](const char* key) { return map.value(QString::fromLatin1(key)).toDouble(0.0); };

    // A bare cue: no new UUID, no placeholder thumbnail.
    auto node = std::make_shared<KLVPlaylistNode>(Bare{});
    node->plnName_ = textFrom(map.value(QStringLiteral("name")));
    node->plnSourcePath_ = textFrom(map.value(QStringLiteral("source")));
    node->inPoint_ = number("inPoint");
    node->outPoint_ = number("outPoint");
    const double behaviour = number("playbackBehavior");
    node->playbackBehavior_ = (behaviour >= -2147483648.0 && behaviour <= 2147483647.0) ? int(behaviour) : 0;
    node->sizeString_ = textFrom(map.value(QStringLiteral("sizeString")));
    node->formatString_ = textFrom(map.value(QStringLiteral("formatString")));
    node->fps_ = number("fps");
    node->duration_ = number("duration");
    node->thumbnail_ = imageFrom(map.value(QStringLiteral("thumbnail")));
    node->slate_ = imageFrom(map.value(QStringLiteral("slate")));
    node->notes_ = textFrom(map.value(QStringLiteral("notes")));
    node->uuid_ = textFrom(map.value(QStringLiteral("UUID")));
    node->setOffset(number("offset"));
    node->inPointString_ = KLVUtilities::formatCurrentTime(node->inPoint_, node->fps_);
    node->outPointString_ = KLVUtilities::formatCurrentTime(node->outPoint_, node->fps_);
    node->updateDuration();
    return node;
}
