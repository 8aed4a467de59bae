#pragma once
// Conversions between QHostAddress and BSD socket addresses, and the descriptor set-up shared by
// the TCP listener and the UDP socket (created on the caller's thread so that failures are
// answered at once).
#include <QHostAddress>
#include <QString>

#include <sys/socket.h>

namespace platform::net {

struct SockAddr {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family() const { return storage.ss_family; }
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
    sockaddr* get() { return reinterpret_cast<sockaddr*>(&storage); }
};

SockAddr toSockAddr(const QHostAddress& address, quint16 port);
// Address and port of a socket address (IPv4-mapped addresses as plain IPv4).
QHostAddress fromSockAddr(const sockaddr_storage& storage, quint16* port);

// A non-blocking, close-on-exec socket bound to `interfaceName` (name or literal address; empty =
// any, dual-stack for TCP where IPv6 exists) and `port`. Answers the descriptor or -1 with *error.
int createBoundSocket(int type, const QString& interfaceName, quint16 port, bool reuseAddress, QString* error);

quint16 boundPort(int fd);

QString errnoText(int error);

} // namespace platform::net
