#pragma once

#include <functional>

namespace testsupport {

enum class NetworkIsolation {
    PrivateNamespace, // a network namespace of the test's own: only lo, up, with a multicast route
    LoopbackPinned,   // namespaces not allowed here: the host's network, so bind and send to 127.0.0.1 only
};

const char* toString(NetworkIsolation isolation);

// While it lives, the calling thread is in a fresh network namespace whose only interface is lo
// (up, 127.0.0.1, broadcast 127.255.255.255, multicast 224.0.0.0/4 routed to lo). Sockets and
// threads created by this thread meanwhile live there too; threads started earlier do not. Join
// the threads you start before it ends: then the thread returns to its original namespace and
// the private one vanishes with its last socket.
//
// Where namespaces are not allowed (no CAP_SYS_ADMIN, or KLV_TEST_NO_NETNS=1 in the
// environment), nothing changes and isolation() says LoopbackPinned: the test must then keep to
// 127.0.0.1, which every test should do anyway. The mode is reported on stderr and recorded as the
// test property "network_isolation".
class PrivateNetwork {
public:
    PrivateNetwork();
    ~PrivateNetwork();
    PrivateNetwork(const PrivateNetwork&) = delete;
    PrivateNetwork& operator=(const PrivateNetwork&) = delete;

    NetworkIsolation isolation() const { return isolation_; }

private:
    int originalNamespace_ = -1;
    NetworkIsolation isolation_ = NetworkIsolation::LoopbackPinned;
};

// Runs body inside a PrivateNetwork and returns the isolation it had.
NetworkIsolation runInPrivateNetwork(const std::function<void(NetworkIsolation)>& body);

} // namespace testsupport
