#include "tests/support/LoopbackPorts.h"

#include <arpa/inet.h>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {
namespace {

std::uint16_t freePort(int type)
{
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    std::uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

// The lowest port the system hands out for port 0.
int ephemeralLow()
{
    std::ifstream range("/proc/sys/net/ipv4/ip_local_port_range");
    int low = 0;
    int high = 0;
    if (!(range >> low >> high) || low <= 1024)
        return 32768;
    return low;
}

} // namespace

RefusingTcpPort::RefusingTcpPort()
{
    // Processes running beside each other start their search at different ports.
    const int top = ephemeralLow() - 1;
    const int span = top - 1024;
    if (span <= 0)
        return;
    const int start = int(::getpid() * 97 % span);
    for (int i = 0; i < span && fd_ < 0; ++i) {
        const int port = top - (start + i) % span;
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(std::uint16_t(port));
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            fd_ = fd;
            port_ = std::uint16_t(port);
        } else {
            ::close(fd);
        }
    }
}

void RefusingTcpPort::release()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

std::uint16_t freeTcpPort()
{
    return freePort(SOCK_STREAM);
}

std::uint16_t freeUdpPort()
{
    return freePort(SOCK_DGRAM);
}

} // namespace testsupport
