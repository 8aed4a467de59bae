#pragma once
// What the kernel's table of UDP sockets (of the calling thread's network namespace) says about
// the sockets bound to one local port: the bytes waiting to be read and the datagrams dropped.
#include <QtGlobal>

#include <cstdint>
#include <optional>

namespace testsupport {

struct UdpSocketBacklog {
    std::uint64_t queuedBytes = 0;
    std::uint64_t drops = 0;
};

// Summed over every socket bound to the port; nullopt when none is.
std::optional<UdpSocketBacklog> udpSocketBacklog(quint16 port);

} // namespace testsupport
