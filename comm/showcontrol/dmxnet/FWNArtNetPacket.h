#pragma once
// Art-Net datagrams: the generic packet (ID and OpCode) and ArtDmx (OpCode 0x5000), built and
// read byte for byte:
//   0 ID "Art-Net\0" | 8 OpCode LE | 10 ProtVerHi 0 | 11 ProtVerLo 14 | 12 Sequence | 13 Physical
//   14 port address LE | 16 length BE (even, 2-512) | 18 slots
#include "comm/showcontrol/dmxnet/FWNArtDMXIdentity.h"
#include "comm/showcontrol/dmxnet/FWNMXPacket.h"

#include <cstdint>

class FWNArtDMXPacket;

class FWNArtNetPacket : public FWNMXPacket {
public:
    static constexpr qsizetype kMinLength = 10;
    static constexpr std::uint16_t kOpDmx = 0x5000;

    // The 8 bytes "Art-Net" and NUL.
    static QByteArray artNetID();
    // Nothing below 10 bytes. The ID is not checked here: receivers check it with
    // validatePacketData.
    static std::optional<FWNArtNetPacket> packetWithData(const QByteArray& data, const QByteArray& address);
    // At least 10 bytes beginning with the ID.
    static bool validatePacketData(const QByteArray& data);

    qsizetype minLength() const override { return kMinLength; }
    const QByteArray& packet() const { return data_; }
    std::uint16_t opCode() const { return std::uint16_t(byteAt(8) | byteAt(9) << 8); }
    // ArtDmx when the OpCode says so and the data holds its header; nothing otherwise.
    std::optional<FWNArtDMXPacket> artDMXPacket() const;

protected:
    using FWNMXPacket::FWNMXPacket;
};

class FWNArtDMXPacket : public FWNArtNetPacket {
public:
    static constexpr qsizetype kMinLength = 18;
    static constexpr qsizetype kHeaderLength = 18;
    static constexpr qsizetype kMaxSlots = 512;
    static constexpr std::uint8_t kProtocolVersion = 14;

    // Nothing below 18 bytes.
    static std::optional<FWNArtDMXPacket> withData(const QByteArray& data, const QByteArray& address);
    // Builds the packet for the identity's port address, addressed to the identity's address.
    static FWNArtDMXPacket withDMX(const QByteArray& dmx, const FWNArtDMXIdentity& identity,
                                   std::uint8_t sequence = 0, std::uint8_t physical = 0);
    // The given packet's identity and physical value with a new frame and sequence.
    static FWNArtDMXPacket withPacket(const FWNArtDMXPacket& packet, const QByteArray& dmx, std::uint8_t sequence);
    // The bytes alone: writes into out (resized to 18 + n), reusing its buffer.
    static void build(QByteArray& out, const QByteArray& dmx, std::uint16_t portAddress,
                      std::uint8_t sequence, std::uint8_t physical);

    qsizetype minLength() const override { return kMinLength; }
    std::uint8_t sequence() const { return byteAt(12); }
    std::uint8_t physical() const { return byteAt(13); }
    std::uint8_t version() const { return byteAt(11); }
    // ProtVerHi and ProtVerLo as one number: Art-Net asks receivers to ignore anything below 14.
    std::uint16_t protocolVersion() const { return std::uint16_t(byteAt(10) << 8 | byteAt(11)); }
    std::uint16_t portAddress() const { return std::uint16_t(byteAt(14) | byteAt(15) << 8); }
    // The smallest of the length field, the bytes present after the header and 512.
    qsizetype DMXLength() const;
    // The length field as the protocol allows it: even, 2 to 512, and no more than the bytes
    // present. A frame that breaks it is refused on receipt, never cut to fit.
    bool hasValidLength() const;
    QByteArray DMX() const;
    FWNArtDMXIdentity identity() const { return FWNArtDMXIdentity(address_, portAddress()); }

private:
    friend class FWNArtNetPacket;
    using FWNArtNetPacket::FWNArtNetPacket;
};
