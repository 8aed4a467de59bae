#pragma once
// The local addresses the machine's sockets (of the current network namespace) are bound to on
// a port, as the kernel lists them in /proc/net: what `ss -ltn` / `ss -lun` would show.

#include <QString>
#include <QStringList>

#include <cstdint>

namespace testsupport {

enum class SocketKind { TcpListening, Udp };

// Each bound local address on `port`, as text ("127.0.0.1", "0.0.0.0", "::"), IPv4 then IPv6.
QStringList boundAddresses(SocketKind kind, std::uint16_t port);

} // namespace testsupport
