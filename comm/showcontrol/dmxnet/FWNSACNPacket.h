#pragma once
// E1.31 data packets. Built in the ratified layout (root vector 4); read in it and in the earlier
// draft layout (root vector 3). All multi-byte fields are big-endian.
//   0 preamble 0x0010 | 2 post-amble 0 | 4 "ASC-E1.17\0\0\0" | 16 root flags+length | 18 vector 4
//   22 CID | 38 framing flags+length | 40 vector 2 | 44 source name (64) | 108 priority
//   109 synchronisation address (reserved before 2016; always 0 here) | 111 sequence | 112 options | 113 universe | 115 DMP flags+length | 117 vector 2
//   118 0xA1 | 119 first address 0 | 121 increment 1 | 123 count n+1 | 125 START code | 126 slots
#include "comm/showcontrol/dmxnet/FWNMXPacket.h"
#include "comm/showcontrol/dmxnet/FWNSACNIdentity.h"

#include <QString>

#include <cstdint>

class FWNSACNPacket : public FWNMXPacket {
public:
    static constexpr qsizetype kMinLength = 126;
    static constexpr qsizetype kMaxSlots = 512;
    static constexpr qsizetype kSourceNameLength = 64;

    // Addressed to the identity's address. A frame above 512 slots is cut to 512; a source name
    // is cut to 63 UTF-8 bytes at a character boundary.
    static FWNSACNPacket withDMX(const QByteArray& dmx, const FWNSACNIdentity& identity, std::uint8_t prioritiy,
                                 std::uint8_t sequence, const QString& sourceName, std::uint8_t startCode);
    // Nothing below 126 bytes.
    static std::optional<FWNSACNPacket> withData(const QByteArray& data, const QByteArray& address);
    static bool validatePacketData(const QByteArray& data);

    qsizetype minLength() const override { return kMinLength; }
    bool draft() const { return bigEndian32(18) == 3; }
    std::uint16_t universe() const;
    QByteArray CID() const { return data_.mid(22, 16); }
    std::uint8_t options() const { return draft() ? 0 : byteAt(112); }
    bool preview() const { return options() & 0x80; }
    bool streamTerminated() const { return options() & 0x40; }
    QString sourceName() const;
    std::uint8_t priority() const;
    std::uint8_t startCode() const { return byteAt(draft() ? 85 : 125); }
    // At most 512 slots, whatever the property value count says.
    qsizetype DMXLength() const;
    QByteArray DMX() const;
    // The universe a sender synchronises on (0 for none, and in the draft layout). Packets that
    // name one are read like any other: this layer does not hold data back for synchronisation.
    std::uint16_t synchronizationAddress() const;
    FWNSACNIdentity identity() const { return FWNSACNIdentity(universe(), CID(), preview(), address_); }

private:
    using FWNMXPacket::FWNMXPacket;
};
