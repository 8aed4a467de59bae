#pragma once
// The base of every packet of the library: its bytes and the socket address (canonical bytes,
// see FWNSockAddress) it came from or goes to. Packets are values sharing their bytes; a packet
// class refuses data shorter than its minimum length by answering nothing from its factory.
#include <QByteArray>
#include <QVariantMap>

#include <optional>

class FWNMXPacket {
public:
    static constexpr qsizetype kMinLength = 0;

    virtual ~FWNMXPacket() = default;
    FWNMXPacket(const FWNMXPacket&) = default;
    FWNMXPacket(FWNMXPacket&&) noexcept = default;
    FWNMXPacket& operator=(const FWNMXPacket&) = default;
    FWNMXPacket& operator=(FWNMXPacket&&) noexcept = default;

    static std::optional<FWNMXPacket> withData(const QByteArray& data, const QByteArray& address = {})
    {
        return FWNMXPacket(data, address);
    }

    const QByteArray& data() const { return data_; }
    const QByteArray& address() const { return address_; } // empty when not given
    virtual qsizetype minLength() const { return kMinLength; }

    // Archived under "data" and "address".
    QVariantMap archive() const
    {
        return {{QStringLiteral("data"), data_}, {QStringLiteral("address"), address_}};
    }

protected:
    FWNMXPacket(QByteArray data, QByteArray address) : data_(std::move(data)), address_(std::move(address)) {}

    // The byte at offset; 0 beyond the data (the factories already refuse data too short for
    // the class's fields).
    std::uint8_t byteAt(qsizetype offset) const
    {
        return offset >= 0 && offset < data_.size() ? std::uint8_t(data_.constData()[offset]) : 0;
    }
    std::uint16_t bigEndian16(qsizetype offset) const { return std::uint16_t(byteAt(offset) << 8 | byteAt(offset + 1)); }
    std::uint32_t bigEndian32(qsizetype offset) const
    {
        return std::uint32_t(bigEndian16(offset)) << 16 | bigEndian16(offset + 2);
    }

    QByteArray data_;
    QByteArray address_;
};
