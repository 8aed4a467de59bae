#include "comm/showcontrol/dmxnet/FWNSACNPacket.h"

#include "comm/showcontrol/dmxnet/FWNSACNAddress.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char kPacketIdentifier[12] = {'A', 'S', 'C', '-', 'E', '1', '.', '1', '7', '\0', '\0', '\0'};
constexpr qsizetype kDraftSlots = 90;

void put16(std::uint8_t* p, unsigned value)
{
    p[0] = std::uint8_t(value >> 8);
    p[1] = std::uint8_t(value);
}

void put32(std::uint8_t* p, std::uint32_t value)
{
    put16(p, value >> 16);
    put16(p + 2, value & 0xFFFF);
}

// Flags (vector, header and data) and the layer's length: two bytes below 4096, else three with
// the length flag set. Answers the bytes written.
int putFlagsAndLength(std::uint8_t* p, std::uint32_t length)
{
    if (length < 0x1000) {
        put16(p, 0x7000 | length);
        return 2;
    }
    p[0] = std::uint8_t(0xF0 | ((length >> 16) & 0x0F));
    put16(p + 1, length & 0xFFFF);
    return 3;
}

// The name's UTF-8 bytes, at most max, never ending inside a character.
QByteArray utf8Prefix(const QString& text, qsizetype max)
{
    QByteArray utf8 = text.toUtf8();
    if (utf8.size() <= max)
        return utf8;
    qsizetype cut = max;
    while (cut > 0 && (std::uint8_t(utf8[cut]) & 0xC0) == 0x80)
        --cut;
    return utf8.left(cut);
}

} // namespace

FWNSACNPacket FWNSACNPacket::withDMX(const QByteArray& dmx, const FWNSACNIdentity& identity, std::uint8_t prioritiy,
                                     std::uint8_t sequence, const QString& sourceName, std::uint8_t startCode)
{
    const qsizetype n = std::min(dmx.size(), kMaxSlots);
    QByteArray bytes(kMinLength + n, '\0');
    auto* p = reinterpret_cast<std::uint8_t*>(bytes.data());
    std::memcpy(p + kMinLength, dmx.constData(), size_t(n));

    const QByteArray name = utf8Prefix(sourceName, kSourceNameLength - 1); // byte 107 stays NUL
    std::memcpy(p + 44, name.constData(), size_t(name.size()));

    put16(p + 0, 0x0010);
    put16(p + 2, 0x0000);
    std::memcpy(p + 4, kPacketIdentifier, sizeof kPacketIdentifier);
    putFlagsAndLength(p + 16, std::uint32_t(110 + n));
    put32(p + 18, 4);
    const FWNACN::CID cid = FWNACN::CID::fromData(identity.CID());
    std::memcpy(p + 22, cid.bytes.data(), cid.bytes.size());

    putFlagsAndLength(p + 38, std::uint32_t(88 + n));
    put32(p + 40, 2);
    p[108] = prioritiy;
    put16(p + 113, identity.universe());

    putFlagsAndLength(p + 115, std::uint32_t(11 + n));
    p[117] = 0x02;
    p[118] = 0xA1;
    put16(p + 119, 0x0000);
    put16(p + 121, 0x0001);
    put16(p + 123, unsigned(n + 1));
    p[125] = startCode;

    p[111] = sequence;
    if (identity.preview())
        p[112] |= 0x80;
    return FWNSACNPacket(std::move(bytes), identity.address());
}

std::optional<FWNSACNPacket> FWNSACNPacket::withData(const QByteArray& data, const QByteArray& address)
{
    if (data.size() < kMinLength)
        return std::nullopt;
    return FWNSACNPacket(data, address);
}

bool FWNSACNPacket::validatePacketData(const QByteArray& data)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(data.constData());
    const qsizetype length = data.size();
    auto be16 = [p](qsizetype o) { return unsigned(p[o] << 8 | p[o + 1]); };
    auto be32 = [&](qsizetype o) { return std::uint32_t(be16(o)) << 16 | be16(o + 2); };
    if (length < 22)
        return false;
    const bool common = be16(0) == 0x0010 && std::memcmp(p + 4, kPacketIdentifier, sizeof kPacketIdentifier) == 0;
    const std::uint32_t rootVector = be32(18);
    if (rootVector == 4) {
        if (length < kMinLength || !common)
            return false;
        const unsigned count = be16(123);
        return be32(40) == 2 && p[109] == 0 && p[110] == 0 && p[117] == 0x02 && p[118] == 0xA1 && be16(119) == 0
            && be16(121) == 1 && count >= 1 && length >= 125 + qsizetype(count);
    }
    if (rootVector == 3) {
        if (length < kDraftSlots || !common)
            return false;
        return be32(40) == 2 && p[82] == 0x02 && p[83] == 0xA1 && be16(86) == 1 && length >= kDraftSlots + qsizetype(be16(88));
    }
    return false;
}

std::uint16_t FWNSACNPacket::universe() const
{
    return bigEndian16(draft() ? 78 : 113);
}

QString FWNSACNPacket::sourceName() const
{
    const qsizetype size = draft() ? 32 : kSourceNameLength;
    const char* start = data_.constData() + 44;
    return QString::fromUtf8(start, qsizetype(strnlen(start, size_t(size))));
}

std::uint8_t FWNSACNPacket::priority() const
{
    if (!draft())
        return byteAt(108);
    const std::uint8_t priority = byteAt(76);
    return priority == 0 ? 100 : priority;
}

qsizetype FWNSACNPacket::DMXLength() const
{
    // The draft layout has no START code among its property values: every value is a slot.
    // A universe has 512 slots, whatever count a sender writes.
    if (draft())
        return std::max<qsizetype>(0, std::min<qsizetype>({bigEndian16(88), data_.size() - kDraftSlots, kMaxSlots}));
    return std::max<qsizetype>(0, std::min<qsizetype>({qsizetype(bigEndian16(123)) - 1, data_.size() - kMinLength, kMaxSlots}));
}

QByteArray FWNSACNPacket::DMX() const
{
    return data_.mid(draft() ? kDraftSlots : kMinLength, DMXLength());
}
