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

    const std::uint8_t* bytes() const { return reinterpret_cast<const std::uint8_t*>(data_.constData()); }
    std::uint16_t bigEndian16(qsizetype offset) const { return std::uint16_t(bytes()[offset] << 8 | bytes()[offset + 1]); }
    std::uint32_t bigEndian32(qsizetype offset) const
    {
        return std::uint32_t(bytes()[offset]) << 24 | std::uint32_t(bytes()[offset + 1]) << 16
            | std::uint32_t(bytes()[offset + 2]) << 8 | bytes()[offset + 3];
    }

    QByteArray data_;
    QByteArray address_;
};
