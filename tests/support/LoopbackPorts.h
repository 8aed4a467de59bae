#pragma once

#include <cstdint>

namespace testsupport {

// A port on 127.0.0.1 that was free a moment ago. Another process may take it before the test
// binds it: prefer handing port 0 to the code under test and asking it which port it got. Use
// these only where a port must be known before anything binds (a peer's configuration, say).
// Returns 0 when no socket could be bound.
std::uint16_t freeTcpPort();
std::uint16_t freeUdpPort();

} // namespace testsupport
