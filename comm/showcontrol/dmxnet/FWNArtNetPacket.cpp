#include "comm/showcontrol/dmxnet/FWNArtNetPacket.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char kArtNetID[8] = {'A', 'r', 't', '-', 'N', 'e', 't', '\0'};

} // namespace

QByteArray FWNArtNetPacket::artNetID()
{
    return QByteArray(kArtNetID, sizeof kArtNetID);
}

std::optional<FWNArtNetPacket> FWNArtNetPacket::packetWithData(const QByteArray& data, const QByteArray& address)
{
    if (data.size() < kMinLength)
        return std::nullopt;
    return FWNArtNetPacket(data, address);
}

bool FWNArtNetPacket::validatePacketData(const QByteArray& data)
{
    return data.size() >= kMinLength && std::memcmp(data.constData(), kArtNetID, sizeof kArtNetID) == 0;
}

std::optional<FWNArtDMXPacket> FWNArtNetPacket::artDMXPacket() const
{
    if (opCode() != kOpDmx)
        return std::nullopt;
    return FWNArtDMXPacket::withData(data_, address_);
}

std::optional<FWNArtDMXPacket> FWNArtDMXPacket::withData(const QByteArray& data, const QByteArray& address)
{
    if (data.size() < kMinLength)
        return std::nullopt;
    return FWNArtDMXPacket(data, address);
}

void FWNArtDMXPacket::build(QByteArray& out, const QByteArray& dmx, std::uint16_t portAddress,
                            std::uint8_t sequence, std::uint8_t physical)
{
    qsizetype n = std::clamp<qsizetype>(dmx.size(), 2, kMaxSlots);
    n += n & 1;
    out.resize(kHeaderLength + n);
    auto* p = reinterpret_cast<std::uint8_t*>(out.data());
    std::memset(p, 0, size_t(out.size()));
    std::memcpy(p, kArtNetID, sizeof kArtNetID);
    p[8] = kOpDmx & 0xFF;
    p[9] = kOpDmx >> 8;
    p[10] = 0;
    p[11] = kProtocolVersion;
    p[12] = sequence;
    p[13] = physical;
    p[14] = portAddress & 0xFF;
    p[15] = portAddress >> 8;
    p[16] = std::uint8_t(n >> 8);
    p[17] = std::uint8_t(n);
    std::memcpy(p + kHeaderLength, dmx.constData(), size_t(std::min(n, dmx.size())));
}

FWNArtDMXPacket FWNArtDMXPacket::withDMX(const QByteArray& dmx, const FWNArtDMXIdentity& identity,
                                         std::uint8_t sequence, std::uint8_t physical)
{
    QByteArray bytes;
    build(bytes, dmx, identity.portAddress(), sequence, physical);
    return FWNArtDMXPacket(std::move(bytes), identity.address());
}

FWNArtDMXPacket FWNArtDMXPacket::withPacket(const FWNArtDMXPacket& packet, const QByteArray& dmx, std::uint8_t sequence)
{
    return withDMX(dmx, packet.identity(), sequence, packet.physical());
}

qsizetype FWNArtDMXPacket::DMXLength() const
{
    return std::min<qsizetype>({qsizetype(bigEndian16(16)), data_.size() - kHeaderLength, kMaxSlots});
}

bool FWNArtDMXPacket::hasValidLength() const
{
    const qsizetype length = bigEndian16(16);
    return length > 0 && length % 2 == 0 && length <= kMaxSlots && length <= data_.size() - kHeaderLength;
}

QByteArray FWNArtDMXPacket::DMX() const
{
    return data_.mid(kHeaderLength, DMXLength());
}
