#include "tests/support/PrivateNetwork.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {
namespace {

sockaddr_in ipv4(const char* address)
{
    sockaddr_in in{};
    in.sin_family = AF_INET;
    ::inet_pton(AF_INET, address, &in.sin_addr);
    return in;
}

// Brings lo up and routes multicast to it, as `ip link set lo up` and
// `ip route add 224.0.0.0/4 dev lo` would.
bool configureLoopback()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool ok = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags |= IFF_UP | IFF_RUNNING;
    ok = ok && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;

    rtentry route{};
    const sockaddr_in destination = ipv4("224.0.0.0");
    const sockaddr_in mask = ipv4("240.0.0.0");
    std::memcpy(&route.rt_dst, &destination, sizeof destination);
    std::memcpy(&route.rt_genmask, &mask, sizeof mask);
    route.rt_flags = RTF_UP;
    char device[] = "lo";
    route.rt_dev = device;
    ok = ok && (::ioctl(fd, SIOCADDRT, &route) == 0 || errno == EEXIST);
    ::close(fd);
    return ok;
}

void report(NetworkIsolation isolation, const char* why)
{
    std::fprintf(stderr, "network isolation: %s%s%s\n", toString(isolation), why ? " - " : "", why ? why : "");
    if (::testing::UnitTest::GetInstance()->current_test_info())
        ::testing::Test::RecordProperty("network_isolation", toString(isolation));
}

} // namespace

const char* toString(NetworkIsolation isolation)
{
    return isolation == NetworkIsolation::PrivateNamespace ? "private network namespace" : "loopback-pinned";
}

PrivateNetwork::PrivateNetwork()
{
    const char* disabled = std::getenv("KLV_TEST_NO_NETNS");
    if (disabled && *disabled && std::strcmp(disabled, "0") != 0) {
        report(isolation_, "KLV_TEST_NO_NETNS is set");
        return;
    }
    originalNamespace_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (originalNamespace_ < 0) {
        report(isolation_, std::strerror(errno));
        return;
    }
    if (::unshare(CLONE_NEWNET) != 0) {
        const int error = errno;
        ::close(originalNamespace_);
        originalNamespace_ = -1;
        report(isolation_, std::strerror(error));
        return;
    }
    if (!configureLoopback()) {
        const int error = errno;
        ::setns(originalNamespace_, CLONE_NEWNET);
        ::close(originalNamespace_);
        originalNamespace_ = -1;
        report(isolation_, std::strerror(error));
        return;
    }
    isolation_ = NetworkIsolation::PrivateNamespace;
    report(isolation_, nullptr);
}

PrivateNetwork::~PrivateNetwork()
{
    if (originalNamespace_ < 0)
        return;
    if (::setns(originalNamespace_, CLONE_NEWNET) != 0)
        std::fprintf(stderr, "cannot return to the original network namespace: %s\n", std::strerror(errno));
    ::close(originalNamespace_);
}

NetworkIsolation runInPrivateNetwork(const std::function<void(NetworkIsolation)>& body)
{
    PrivateNetwork network;
    body(network.isolation());
    return network.isolation();
}

} // namespace testsupport
