#include "tests/support/LoopbackPorts.h"
#include "tests/support/PrivateNetwork.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdlib>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace testsupport;

namespace {

ino_t networkNamespace()
{
    struct stat info {};
    return ::stat("/proc/thread-self/ns/net", &info) == 0 ? info.st_ino : 0;
}

std::vector<std::string> interfaces()
{
    std::vector<std::string> names;
    if (struct if_nameindex* list = ::if_nameindex()) {
        for (auto* entry = list; entry->if_index != 0; ++entry)
            names.emplace_back(entry->if_name);
        ::if_freenameindex(list);
    }
    return names;
}

sockaddr_in address(const char* ip, std::uint16_t port)
{
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = htons(port);
    ::inet_pton(AF_INET, ip, &in.sin_addr);
    return in;
}

bool bindable(int type, std::uint16_t port)
{
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    const sockaddr_in in = address("127.0.0.1", port);
    const bool ok = ::bind(fd, reinterpret_cast<const sockaddr*>(&in), sizeof in) == 0;
    ::close(fd);
    return ok;
}

// One datagram to `group` with the default route for multicast, received by a member of the
// group on lo.
bool multicastReachesLoopback(const char* group)
{
    const int receiver = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in any = address("0.0.0.0", 0);
    ::bind(receiver, reinterpret_cast<sockaddr*>(&any), sizeof any);
    socklen_t length = sizeof any;
    ::getsockname(receiver, reinterpret_cast<sockaddr*>(&any), &length);
    ip_mreqn membership{};
    ::inet_pton(AF_INET, group, &membership.imr_multiaddr);
    ::inet_pton(AF_INET, "127.0.0.1", &membership.imr_address);
    const bool joined = ::setsockopt(receiver, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) == 0;

    const int sender = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const sockaddr_in destination = address(group, ntohs(any.sin_port));
    const bool sent = ::sendto(sender, "ping", 4, 0, reinterpret_cast<const sockaddr*>(&destination),
                               sizeof destination) == 4;
    pollfd p{receiver, POLLIN, 0};
    char buffer[8] = {};
    const bool received = ::poll(&p, 1, 5000) == 1 && ::recv(receiver, buffer, sizeof buffer, 0) == 4;
    ::close(sender);
    ::close(receiver);
    return joined && sent && received;
}

} // namespace

TEST(LoopbackPorts, AreFreeOnLoopback)
{
    const std::uint16_t tcp = freeTcpPort();
    const std::uint16_t udp = freeUdpPort();
    ASSERT_NE(tcp, 0);
    ASSERT_NE(udp, 0);
    EXPECT_TRUE(bindable(SOCK_STREAM, tcp));
    EXPECT_TRUE(bindable(SOCK_DGRAM, udp));
}

TEST(PrivateNetwork, HasOnlyLoopbackWithMulticastAndIsLeftCleanly)
{
    const ino_t original = networkNamespace();
    ino_t inside = 0;
    ino_t threadInside = 0;
    const NetworkIsolation isolation = runInPrivateNetwork([&](NetworkIsolation mode) {
        inside = networkNamespace();
        std::thread([&] { threadInside = networkNamespace(); }).join();
        if (mode != NetworkIsolation::PrivateNamespace)
            return;
        EXPECT_EQ(interfaces(), std::vector<std::string>{"lo"});
        EXPECT_TRUE(multicastReachesLoopback("239.255.42.99"));
        EXPECT_TRUE(bindable(SOCK_STREAM, freeTcpPort()));
    });
    std::cerr << "isolation used: " << toString(isolation) << "\n";
    EXPECT_EQ(networkNamespace(), original);
    EXPECT_EQ(threadInside, inside); // threads started inside share the namespace
    if (isolation == NetworkIsolation::PrivateNamespace)
        EXPECT_NE(inside, original);
    else
        EXPECT_EQ(inside, original);
}

TEST(PrivateNetwork, FallsBackToLoopbackPinnedWhenNamespacesAreRefused)
{
    const ino_t original = networkNamespace();
    ::setenv("KLV_TEST_NO_NETNS", "1", 1);
    {
        PrivateNetwork network;
        EXPECT_EQ(network.isolation(), NetworkIsolation::LoopbackPinned);
        EXPECT_EQ(networkNamespace(), original);
        EXPECT_TRUE(bindable(SOCK_DGRAM, freeUdpPort()));
    }
    ::unsetenv("KLV_TEST_NO_NETNS");
    EXPECT_EQ(networkNamespace(), original);
}
