#pragma once
// The wire format: a 4-byte big-endian length, then that many bytes of one CBOR map, the
// envelope {"v": version, "id": request number, "kind": "request"|"message"|"reply", "body": map}.
// A frame longer than kXpcMaxFrameSize, a body that is not CBOR or an envelope of the wrong
// shape is malformed: the reader stops for good and the connection is closed. A body nested
// deeper than kXpcMaxNesting levels is not decoded: the envelope comes through without it, with
// the reason, so that the request can still be answered.

#include <QByteArray>
#include <QCborMap>
#include <QString>

#include <cstdint>
#include <optional>

namespace platform {

inline constexpr std::uint32_t kXpcMaxFrameSize = 1024 * 1024;
inline constexpr std::int64_t kXpcVersion = 1;
// Levels of arrays, maps and tags in one frame, the envelope's own map included. Our messages
// use four at most; the decoder recurses once per level.
inline constexpr int kXpcMaxNesting = 32;

enum class XpcKind {
    Request, // wants exactly one reply with the same id
    Message, // wants no reply
    Reply,
};

struct XpcEnvelope {
    std::int64_t id = 0;
    XpcKind kind = XpcKind::Message;
    QCborMap body;
    QString refusal; // why the body was left out (empty when it was decoded)
};

// The whole frame (length prefix included). Empty when the encoded envelope would exceed
// kXpcMaxFrameSize.
QByteArray encodeXpcFrame(const XpcEnvelope& envelope);

// Collects bytes as they arrive and cuts them into envelopes.
class XpcFrameReader {
public:
    enum class Status { NeedMore, Frame, Malformed };

    void append(const char* data, std::size_t size);
    // The next complete envelope (Frame), NeedMore, or Malformed (sticky; error() says why).
    Status next(XpcEnvelope& out);
    const QString& error() const { return error_; }
    std::size_t buffered() const { return std::size_t(buffer_.size()) - offset_; }

private:
    Status fail(QString why);

    QByteArray buffer_;
    std::size_t offset_ = 0;
    bool malformed_ = false;
    QString error_;
};

} // namespace platform
