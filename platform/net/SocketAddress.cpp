#include "platform/net/SocketAddress.h"

#include "platform/net/NetworkInterfaces.h"

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <unistd.h>

namespace platform::net {

SockAddr toSockAddr(const QHostAddress& address, quint16 port)
{
    SockAddr out;
    const QHostAddress plain = plainAddress(address);
    if (plain.protocol() == QAbstractSocket::IPv6Protocol) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&out.storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = plain.toIPv6Address();
        std::memcpy(&in6->sin6_addr, &bytes, sizeof in6->sin6_addr);
        in6->sin6_scope_id = uint32_t(plain.scopeId().toUInt());
        out.length = sizeof(sockaddr_in6);
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&out.storage);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(port);
        in4->sin_addr.s_addr = htonl(plain.toIPv4Address());
        out.length = sizeof(sockaddr_in);
    }
    return out;
}

QHostAddress fromSockAddr(const sockaddr_storage& storage, quint16* port)
{
    QHostAddress address;
    quint16 p = 0;
    if (storage.ss_family == AF_INET) {
        const auto* in4 = reinterpret_cast<const sockaddr_in*>(&storage);
        address = QHostAddress(ntohl(in4->sin_addr.s_addr));
        p = ntohs(in4->sin_port);
    } else if (storage.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&storage);
        address = plainAddress(QHostAddress(reinterpret_cast<const quint8*>(&in6->sin6_addr)));
        p = ntohs(in6->sin6_port);
    }
    if (port)
        *port = p;
    return address;
}

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

namespace {

int openBound(int family, int type, const SockAddr& addr, bool dualStack, bool reuseAddress, QString* error)
{
    const int fd = ::socket(family, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = errnoText(errno);
        return -1;
    }
    const int one = 1;
    const int zero = 0;
    if (reuseAddress)
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (family == AF_INET6)
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, dualStack ? &zero : &one, sizeof one);
    if (::bind(fd, addr.get(), addr.length) != 0) {
        *error = errnoText(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

int createBoundSocket(int type, const QString& interfaceName, quint16 port, bool reuseAddress, QString* error)
{
    bool unknown = false;
    const auto local = interfaceAddress(interfaceName, &unknown);
    if (unknown) {
        *error = QStringLiteral("Unknown interface %1").arg(interfaceName);
        return -1;
    }
    if (local) {
        const SockAddr addr = toSockAddr(local->address, port);
        return openBound(addr.family(), type, addr, false, reuseAddress, error);
    }
    if (type == SOCK_STREAM) {
        const int fd = openBound(AF_INET6, type, toSockAddr(QHostAddress(QHostAddress::AnyIPv6), port), true, reuseAddress, error);
        if (fd >= 0)
            return fd;
    }
    return openBound(AF_INET, type, toSockAddr(QHostAddress(QHostAddress::AnyIPv4), port), false, reuseAddress, error);
}

quint16 boundPort(int fd)
{
    SockAddr addr;
    addr.length = sizeof addr.storage;
    if (::getsockname(fd, addr.get(), &addr.length) != 0)
        return 0;
    quint16 port = 0;
    fromSockAddr(addr.storage, &port);
    return port;
}

} // namespace platform::net
