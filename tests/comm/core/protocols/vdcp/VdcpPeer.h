#pragma once
// The controller's side of VDCP, written from the byte layout: frames are STX, BC (CMD1 to the
// last data byte), CMD1, CMD2, data, and a checksum that makes CMD1 + ... + CS zero modulo 256.
// Replies are a bare ACK (04), a NAK (05 and a reason byte) or a frame.
#include <QByteArray>

#include <cstdint>
#include <optional>

namespace vdcppeer {

inline char checksum(const QByteArray& body)
{
    std::uint8_t sum = 0;
    for (const char b : body)
        sum = std::uint8_t(sum + std::uint8_t(b));
    return char(std::uint8_t(0x100 - sum));
}

inline QByteArray frame(std::uint8_t cmd1, std::uint8_t cmd2, const QByteArray& data = {})
{
    QByteArray body;
    body.append(char(cmd1)).append(char(cmd2)).append(data);
    QByteArray out;
    out.append(char(0x02)).append(char(body.size())).append(body).append(checksum(body));
    return out;
}

struct Reply {
    enum Kind { Ack, Nak, Data, Malformed } kind = Malformed;
    std::uint8_t nakReason = 0;
    std::uint8_t cmd1 = 0;
    std::uint8_t cmd2 = 0;
    QByteArray data; // after CMD2, without the checksum
    QByteArray raw;

    bool isData(std::uint8_t c2) const { return kind == Data && cmd2 == c2; }
};

// Takes one reply off the front of stream; nullopt while it is incomplete.
inline std::optional<Reply> takeReply(QByteArray& stream)
{
    if (stream.isEmpty())
        return std::nullopt;
    Reply r;
    const auto b0 = std::uint8_t(stream.at(0));
    if (b0 == 0x04) {
        r.kind = Reply::Ack;
        r.raw = stream.left(1);
    } else if (b0 == 0x05) {
        if (stream.size() < 2)
            return std::nullopt;
        r.kind = Reply::Nak;
        r.nakReason = std::uint8_t(stream.at(1));
        r.raw = stream.left(2);
    } else if (b0 == 0x02) {
        if (stream.size() < 2 || stream.size() < std::uint8_t(stream.at(1)) + 3)
            return std::nullopt;
        const int bc = std::uint8_t(stream.at(1));
        r.raw = stream.left(bc + 3);
        const QByteArray body = r.raw.mid(2, bc);
        r.kind = (bc >= 2 && checksum(body) == r.raw.back()) ? Reply::Data : Reply::Malformed;
        r.cmd1 = body.isEmpty() ? 0 : std::uint8_t(body.at(0));
        r.cmd2 = body.size() < 2 ? 0 : std::uint8_t(body.at(1));
        r.data = body.mid(2);
    } else {
        r.raw = stream.left(1);
    }
    stream.remove(0, r.raw.size());
    return r;
}

// True when stream holds at least n complete replies.
inline bool holdsReplies(QByteArray stream, int n)
{
    for (int i = 0; i < n; ++i)
        if (!takeReply(stream))
            return false;
    return true;
}

} // namespace vdcppeer
