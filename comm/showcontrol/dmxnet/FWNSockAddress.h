#pragma once
// Immutable socket addresses kept in one canonical byte form whatever the host system: the BSD
// layout with its length byte at 0 and family byte at 1 (2 for IPv4, 30 for IPv6), port and
// address in network order. Addresses travel and are compared in this form (identities, packets,
// archives); they become the system's own sockaddr only at a system call (nativeSockAddr).
// Bytes live inline in the object.
#include "platform/foundation/Error.h"
#include "platform/net/SocketAddress.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QVariantMap>

#include <array>
#include <cstdint>
#include <optional>

struct sockaddr;
struct sockaddr_in;
struct sockaddr_in6;

class FWNSockAddress {
public:
    static constexpr std::uint8_t kFamilyIPv4 = 2;
    static constexpr std::uint8_t kFamilyIPv6 = 30;
    static constexpr int kIPv4Length = 16;
    static constexpr int kIPv6Length = 28;

    // From a system socket address: IPv4 or IPv6, nothing for another family.
    static std::optional<FWNSockAddress> sockAddressWithSockAddr(const sockaddr* address);
    // From canonical bytes: nothing below 16 bytes, for another family, or IPv6 below 28 bytes.
    static std::optional<FWNSockAddress> sockAddressWithData(const QByteArray& data);
    // The canonical bytes from a system address (empty for another family).
    static QByteArray dataWithHostAddress(const QHostAddress& address, quint16 port);

    const std::uint8_t* sockaddr() const { return bytes_.data(); }
    int length() const { return length_; }
    std::uint8_t family() const { return bytes_[1]; }
    bool isIPv4() const { return family() == kFamilyIPv4; }
    QByteArray data() const { return QByteArray(reinterpret_cast<const char*>(bytes_.data()), length_); }
    quint16 port() const { return quint16(bytes_[2] << 8 | bytes_[3]); }
    QString addressString() const;
    // The address for a system call, and as a QHostAddress for the socket layer.
    platform::net::SockAddr nativeSockAddr() const;
    QHostAddress hostAddress() const;

    // Archived as the canonical bytes under "data"; reading back behaves as sockAddressWithData.
    QVariantMap archive() const;
    static std::optional<FWNSockAddress> unarchive(const QVariantMap& archive);

    bool operator==(const FWNSockAddress& other) const { return data() == other.data(); }

protected:
    FWNSockAddress(const void* bytes, int length);

    std::array<std::uint8_t, kIPv6Length> bytes_{};
    std::uint8_t length_ = 0;
};

class FWNSockAddressIPv4 : public FWNSockAddress {
public:
    // Nothing below 16 bytes or for another family.
    static std::optional<FWNSockAddressIPv4> withBytes(const void* bytes, qsizetype length);
    static std::optional<FWNSockAddressIPv4> fromAddress(const FWNSockAddress& address);
    static std::optional<FWNSockAddressIPv4> fromData(const QByteArray& data) { return withBytes(data.constData(), data.size()); }
    static FWNSockAddressIPv4 sockAddressWithSockAddrIn(const sockaddr_in& address);
    // address in network order, port in host order.
    static FWNSockAddressIPv4 sockAddressWithAddress(std::uint32_t address, quint16 port);
    static std::optional<FWNSockAddressIPv4> sockAddressWithAddressString(const QString& text, quint16 port);
    // The address in network order; code 10 (user info "String") for text that is no address,
    // 11 when the conversion itself fails.
    static std::optional<std::uint32_t> addressWithString(const QString& text, platform::Error* error);

    // Bytes 4-7 as stored (network order).
    std::uint32_t addressNumber() const;
    const std::uint8_t* addressPointer() const { return bytes_.data() + 4; }
    // Dotted text, or empty when the conversion fails.
    QString addressString() const;

private:
    using FWNSockAddress::FWNSockAddress;
};

class FWNSockAddressIPv6 : public FWNSockAddress {
public:
    using Address = std::array<std::uint8_t, 16>;

    static std::optional<FWNSockAddressIPv6> withBytes(const void* bytes, qsizetype length);
    static std::optional<FWNSockAddressIPv6> fromAddress(const FWNSockAddress& address);
    static FWNSockAddressIPv6 sockAddressWithSockAddrIn6(const sockaddr_in6& address);
    static std::optional<Address> addressWithString(const QString& text, platform::Error* error);

    Address addressStruct() const;
    const std::uint8_t* addressPointer() const { return bytes_.data() + 8; }
    std::uint32_t flowinfo() const; // bytes 4-7 as stored
    std::uint32_t scope() const;    // bytes 24-27 as stored
    QString addressString() const;

private:
    using FWNSockAddress::FWNSockAddress;
};
