#pragma once

#include <cstdint>

namespace testsupport {

// A port on 127.0.0.1 that was free a moment ago. Another process may take it before the test
// binds it: prefer handing port 0 to the code under test and asking it which port it got. Use
// these only where a port must be known before anything binds (a peer's configuration, say).
// Returns 0 when no socket could be bound.
std::uint16_t freeTcpPort();
std::uint16_t freeUdpPort();

// A TCP port on 127.0.0.1 that refuses connections while this lives: bound, never listening, and
// below the system's ephemeral range, so no socket bound to port 0 (in this process or another
// running beside it) is given it meanwhile, and a connection to it cannot be made from itself.
class RefusingTcpPort {
public:
    RefusingTcpPort();
    ~RefusingTcpPort() { release(); }
    RefusingTcpPort(const RefusingTcpPort&) = delete;
    RefusingTcpPort& operator=(const RefusingTcpPort&) = delete;

    // 0 when no port could be held.
    std::uint16_t port() const { return port_; }
    // Lets the port go, for the test to listen on it itself.
    void release();

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

} // namespace testsupport
