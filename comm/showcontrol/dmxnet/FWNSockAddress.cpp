#include "comm/showcontrol/dmxnet/FWNSockAddress.h"

#include "comm/showcontrol/dmxnet/FWNError.h"

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>

FWNSockAddress::FWNSockAddress(const void* bytes, int length)
    : length_(std::uint8_t(length))
{
    std::memcpy(bytes_.data(), bytes, size_t(length));
}

std::optional<FWNSockAddress> FWNSockAddress::sockAddressWithSockAddr(const struct sockaddr* address)
{
    if (!address)
        return std::nullopt;
    if (address->sa_family == AF_INET)
        return FWNSockAddressIPv4::sockAddressWithSockAddrIn(*reinterpret_cast<const sockaddr_in*>(address));
    if (address->sa_family == AF_INET6)
        return FWNSockAddressIPv6::sockAddressWithSockAddrIn6(*reinterpret_cast<const sockaddr_in6*>(address));
    return std::nullopt;
}

std::optional<FWNSockAddress> FWNSockAddress::sockAddressWithData(const QByteArray& data)
{
    if (data.size() < kIPv4Length)
        return std::nullopt;
    if (std::uint8_t(data[1]) == kFamilyIPv4)
        return FWNSockAddressIPv4::withBytes(data.constData(), data.size());
    if (std::uint8_t(data[1]) == kFamilyIPv6)
        return FWNSockAddressIPv6::withBytes(data.constData(), data.size());
    return std::nullopt;
}

QByteArray FWNSockAddress::dataWithHostAddress(const QHostAddress& address, quint16 port)
{
    const platform::net::SockAddr native = platform::net::toSockAddr(address, port);
    const auto canonical = sockAddressWithSockAddr(native.get());
    return canonical ? canonical->data() : QByteArray();
}

QString FWNSockAddress::addressString() const
{
    if (const auto v4 = FWNSockAddressIPv4::fromAddress(*this))
        return v4->addressString();
    if (const auto v6 = FWNSockAddressIPv6::fromAddress(*this))
        return v6->addressString();
    return {};
}

platform::net::SockAddr FWNSockAddress::nativeSockAddr() const
{
    platform::net::SockAddr out;
    if (family() == kFamilyIPv4) {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&out.storage);
        in4->sin_family = AF_INET;
        std::memcpy(&in4->sin_port, bytes_.data() + 2, 2);
        std::memcpy(&in4->sin_addr, bytes_.data() + 4, 4);
        out.length = sizeof(sockaddr_in);
    } else if (family() == kFamilyIPv6) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&out.storage);
        in6->sin6_family = AF_INET6;
        std::memcpy(&in6->sin6_port, bytes_.data() + 2, 2);
        std::memcpy(&in6->sin6_flowinfo, bytes_.data() + 4, 4);
        std::memcpy(&in6->sin6_addr, bytes_.data() + 8, 16);
        std::memcpy(&in6->sin6_scope_id, bytes_.data() + 24, 4);
        out.length = sizeof(sockaddr_in6);
    }
    return out;
}

QHostAddress FWNSockAddress::hostAddress() const
{
    const platform::net::SockAddr native = nativeSockAddr();
    if (native.length == 0)
        return {};
    return platform::net::fromSockAddr(native.storage, nullptr);
}

QVariantMap FWNSockAddress::archive() const
{
    return {{QStringLiteral("data"), data()}};
}

std::optional<FWNSockAddress> FWNSockAddress::unarchive(const QVariantMap& archive)
{
    return sockAddressWithData(archive.value(QStringLiteral("data")).toByteArray());
}

// --- IPv4 ---

std::optional<FWNSockAddressIPv4> FWNSockAddressIPv4::withBytes(const void* bytes, qsizetype length)
{
    if (!bytes || length < kIPv4Length || static_cast<const std::uint8_t*>(bytes)[1] != kFamilyIPv4)
        return std::nullopt;
    return FWNSockAddressIPv4(bytes, kIPv4Length);
}

std::optional<FWNSockAddressIPv4> FWNSockAddressIPv4::fromAddress(const FWNSockAddress& address)
{
    return withBytes(address.sockaddr(), address.length());
}

FWNSockAddressIPv4 FWNSockAddressIPv4::sockAddressWithSockAddrIn(const sockaddr_in& address)
{
    std::uint8_t bytes[kIPv4Length] = {kIPv4Length, kFamilyIPv4};
    std::memcpy(bytes + 2, &address.sin_port, 2);
    std::memcpy(bytes + 4, &address.sin_addr, 4);
    return FWNSockAddressIPv4(bytes, kIPv4Length);
}

FWNSockAddressIPv4 FWNSockAddressIPv4::sockAddressWithAddress(std::uint32_t address, quint16 port)
{
    std::uint8_t bytes[kIPv4Length] = {kIPv4Length, kFamilyIPv4, std::uint8_t(port >> 8), std::uint8_t(port)};
    std::memcpy(bytes + 4, &address, 4);
    return FWNSockAddressIPv4(bytes, kIPv4Length);
}

std::optional<FWNSockAddressIPv4> FWNSockAddressIPv4::sockAddressWithAddressString(const QString& text, quint16 port)
{
    const auto address = addressWithString(text, nullptr);
    if (!address)
        return std::nullopt;
    return sockAddressWithAddress(*address, port);
}

namespace {

platform::Error notAnAddress(const QString& text)
{
    platform::Error error(QString::fromLatin1(FWNMXErrorDomain), FWNMXErrorNotAnAddress,
                          QStringLiteral("Not an address"));
    error.failureReason = text; // the offending text (user info "String")
    return error;
}

template <class Out>
std::optional<Out> presentationToNetwork(int family, const QString& text, platform::Error* error)
{
    Out out{};
    const QByteArray ascii = text.toLatin1();
    const int result = ::inet_pton(family, ascii.constData(), &out);
    if (result == 1 && ascii.size() == text.size()) {
        platform::setError(error, platform::Error());
        return out;
    }
    if (result < 0)
        platform::setError(error, platform::Error(QString::fromLatin1(FWNMXErrorDomain), FWNMXErrorAddressConversion,
                                                  QStringLiteral("Address conversion failed")));
    else
        platform::setError(error, notAnAddress(text));
    return std::nullopt;
}

} // namespace

std::optional<std::uint32_t> FWNSockAddressIPv4::addressWithString(const QString& text, platform::Error* error)
{
    return presentationToNetwork<std::uint32_t>(AF_INET, text, error);
}

std::uint32_t FWNSockAddressIPv4::addressNumber() const
{
    std::uint32_t value = 0;
    std::memcpy(&value, bytes_.data() + 4, 4);
    return value;
}

QString FWNSockAddressIPv4::addressString() const
{
    char text[INET_ADDRSTRLEN] = {};
    if (!::inet_ntop(AF_INET, bytes_.data() + 4, text, sizeof text))
        return QStringLiteral("");
    return QString::fromLatin1(text);
}

// --- IPv6 ---

std::optional<FWNSockAddressIPv6> FWNSockAddressIPv6::withBytes(const void* bytes, qsizetype length)
{
    if (!bytes || length < kIPv6Length || static_cast<const std::uint8_t*>(bytes)[1] != kFamilyIPv6)
        return std::nullopt;
    return FWNSockAddressIPv6(bytes, kIPv6Length);
}

std::optional<FWNSockAddressIPv6> FWNSockAddressIPv6::fromAddress(const FWNSockAddress& address)
{
    return withBytes(address.sockaddr(), address.length());
}

FWNSockAddressIPv6 FWNSockAddressIPv6::sockAddressWithSockAddrIn6(const sockaddr_in6& address)
{
    std::uint8_t bytes[kIPv6Length] = {kIPv6Length, kFamilyIPv6};
    std::memcpy(bytes + 2, &address.sin6_port, 2);
    std::memcpy(bytes + 4, &address.sin6_flowinfo, 4);
    std::memcpy(bytes + 8, &address.sin6_addr, 16);
    std::memcpy(bytes + 24, &address.sin6_scope_id, 4);
    return FWNSockAddressIPv6(bytes, kIPv6Length);
}

std::optional<FWNSockAddressIPv6::Address> FWNSockAddressIPv6::addressWithString(const QString& text, platform::Error* error)
{
    return presentationToNetwork<Address>(AF_INET6, text, error);
}

FWNSockAddressIPv6::Address FWNSockAddressIPv6::addressStruct() const
{
    Address out{};
    std::memcpy(out.data(), bytes_.data() + 8, 16);
    return out;
}

std::uint32_t FWNSockAddressIPv6::flowinfo() const
{
    std::uint32_t value = 0;
    std::memcpy(&value, bytes_.data() + 4, 4);
    return value;
}

std::uint32_t FWNSockAddressIPv6::scope() const
{
    std::uint32_t value = 0;
    std::memcpy(&value, bytes_.data() + 24, 4);
    return value;
}

QString FWNSockAddressIPv6::addressString() const
{
    char text[INET6_ADDRSTRLEN] = {};
    if (!::inet_ntop(AF_INET6, bytes_.data() + 8, text, sizeof text))
        return QStringLiteral("");
    return QString::fromLatin1(text);
}
