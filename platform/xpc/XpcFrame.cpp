#include "platform/xpc/XpcFrame.h"

#include "platform/xpc/CborNesting.h"

#include <QCborValue>

namespace platform {

namespace {

const QString kVersionKey = QStringLiteral("v");
const QString kIdKey = QStringLiteral("id");
const QString kKindKey = QStringLiteral("kind");
const QString kBodyKey = QStringLiteral("body");

QString kindName(XpcKind kind)
{
    switch (kind) {
    case XpcKind::Request:
        return QStringLiteral("request");
    case XpcKind::Reply:
        return QStringLiteral("reply");
    case XpcKind::Message:
        break;
    }
    return QStringLiteral("message");
}

std::optional<XpcKind> kindFromName(const QString& name)
{
    if (name == QLatin1String("request"))
        return XpcKind::Request;
    if (name == QLatin1String("reply"))
        return XpcKind::Reply;
    if (name == QLatin1String("message"))
        return XpcKind::Message;
    return std::nullopt;
}

} // namespace

QByteArray encodeXpcFrame(const XpcEnvelope& envelope)
{
    QCborMap map;
    map.insert(kVersionKey, qint64(kXpcVersion));
    map.insert(kIdKey, qint64(envelope.id));
    map.insert(kKindKey, kindName(envelope.kind));
    map.insert(kBodyKey, envelope.body);
    const QByteArray payload = map.toCborValue().toCbor();
    if (payload.isEmpty() || std::uint64_t(payload.size()) > kXpcMaxFrameSize)
        return {};
    const auto size = std::uint32_t(payload.size());
    QByteArray frame;
    frame.reserve(4 + payload.size());
    frame.append(char((size >> 24) & 0xff));
    frame.append(char((size >> 16) & 0xff));
    frame.append(char((size >> 8) & 0xff));
    frame.append(char(size & 0xff));
    frame.append(payload);
    return frame;
}

void XpcFrameReader::append(const char* data, std::size_t size)
{
    if (malformed_ || size == 0)
        return;
    // Drop what was consumed before growing, so the buffer stays near one frame.
    if (offset_ > 0) {
        buffer_.remove(0, qsizetype(offset_));
        offset_ = 0;
    }
    buffer_.append(data, qsizetype(size));
}

XpcFrameReader::Status XpcFrameReader::fail(QString why)
{
    malformed_ = true;
    error_ = std::move(why);
    buffer_.clear();
    offset_ = 0;
    return Status::Malformed;
}

XpcFrameReader::Status XpcFrameReader::next(XpcEnvelope& out)
{
    if (malformed_)
        return Status::Malformed;
    if (buffered() < 4)
        return Status::NeedMore;
    const auto* p = reinterpret_cast<const unsigned char*>(buffer_.constData()) + offset_;
    const std::uint32_t size = (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16)
                               | (std::uint32_t(p[2]) << 8) | std::uint32_t(p[3]);
    if (size == 0 || size > kXpcMaxFrameSize)
        return fail(QStringLiteral("frame length %1 out of range").arg(size));
    if (buffered() < 4 + std::size_t(size))
        return Status::NeedMore;

    const QByteArrayView bytes(p + 4, qsizetype(size));
    // A frame nested too deeply is read without its nested values: the envelope's own fields are
    // plain values, enough to answer the request.
    const bool tooDeep = !cborNestsWithin(bytes, kXpcMaxNesting);
    const QByteArray payload = tooDeep ? cborMapWithoutNestedValues(bytes) : bytes.toByteArray();
    if (payload.isEmpty())
        return fail(QStringLiteral("frame nested deeper than %1 levels").arg(kXpcMaxNesting));
    QCborParserError parseError;
    const QCborValue value = QCborValue::fromCbor(payload, &parseError);
    if (parseError.error != QCborError::NoError)
        return fail(QStringLiteral("frame is not CBOR: %1").arg(parseError.errorString()));
    if (!value.isMap())
        return fail(QStringLiteral("frame is not a map"));
    const QCborMap map = value.toMap();
    const QCborValue version = map.value(kVersionKey);
    const QCborValue id = map.value(kIdKey);
    const QCborValue kindValue = map.value(kKindKey);
    const QCborValue body = map.value(kBodyKey);
    if (!version.isInteger() || version.toInteger() != kXpcVersion)
        return fail(QStringLiteral("unsupported envelope version"));
    if (!id.isInteger() || !kindValue.isString() || !(body.isMap() || (tooDeep && body.isNull())))
        return fail(QStringLiteral("envelope fields missing or of the wrong type"));
    const auto kind = kindFromName(kindValue.toString());
    if (!kind)
        return fail(QStringLiteral("unknown envelope kind"));

    out.id = id.toInteger();
    out.kind = *kind;
    out.body = tooDeep ? QCborMap() : body.toMap();
    out.refusal = tooDeep ? QStringLiteral("nested deeper than %1 levels").arg(kXpcMaxNesting) : QString();
    offset_ += 4 + std::size_t(size);
    return Status::Frame;
}

} // namespace platform
