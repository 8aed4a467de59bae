#pragma once
// The other end of a 9-pin line, written from the packet layout: CMD1 (group in the high
// nibble, data count in the low one), CMD2, the data, then the low 8 bits of the sum of the
// bytes before it.
#include <QByteArray>

#include <cstdint>
#include <optional>

namespace ninepin {

inline char checksum(const QByteArray& bytes)
{
    std::uint8_t sum = 0;
    for (const char b : bytes)
        sum = std::uint8_t(sum + std::uint8_t(b));
    return char(sum);
}

// group is the high nibble of CMD1 (0x20 for transport); the count nibble comes from data.
inline QByteArray packet(std::uint8_t group, std::uint8_t cmd2, const QByteArray& data = {})
{
    QByteArray out;
    out.append(char((group & 0xF0) | (data.size() & 0x0F))).append(char(cmd2)).append(data);
    out.append(checksum(out));
    return out;
}

struct Packet {
    std::uint8_t cmd1 = 0;
    std::uint8_t cmd2 = 0;
    QByteArray data;
    QByteArray raw;
    bool checksumOk = false;
};

inline std::optional<Packet> takePacket(QByteArray& stream)
{
    if (stream.isEmpty())
        return std::nullopt;
    const int length = (std::uint8_t(stream.at(0)) & 0x0F) + 3;
    if (stream.size() < length)
        return std::nullopt;
    Packet p;
    p.raw = stream.left(length);
    p.cmd1 = std::uint8_t(p.raw.at(0));
    p.cmd2 = std::uint8_t(p.raw.at(1));
    p.data = p.raw.mid(2, length - 3);
    p.checksumOk = checksum(p.raw.left(length - 1)) == p.raw.back();
    stream.remove(0, length);
    return p;
}

inline bool holdsPackets(QByteArray stream, int n)
{
    for (int i = 0; i < n; ++i)
        if (!takePacket(stream))
            return false;
    return true;
}

inline const QByteArray kAck("\x10\x01\x11", 3);
// NAK with reason bit 0, undefined command.
inline const QByteArray kNak("\x11\x12\x01\x24", 4);
inline const QByteArray kChecksumNak("\x11\x12\x04\x27", 4);

} // namespace ninepin
