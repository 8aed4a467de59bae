#include "tests/e2e/support/TcpPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace e2e {

namespace {

int connected(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

} // namespace

TcpPeer::~TcpPeer()
{
    close();
}

bool TcpPeer::connectTo(uint16_t port)
{
    close();
    fd_ = connected(port);
    return fd_ >= 0;
}

void TcpPeer::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool TcpPeer::send(const QByteArray& bytes)
{
    qsizetype done = 0;
    while (fd_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += n;
    }
    return fd_ >= 0;
}

QByteArray TcpPeer::receive(const std::function<bool(const QByteArray&)>& complete, int timeoutMs)
{
    QByteArray buffer;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char chunk[4096];
    while (fd_ >= 0 && !complete(buffer)) {
        // A zero timeout still looks once at what has arrived.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, int(std::max<int64_t>(left.count(), 0))) <= 0)
            break;
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0)
            break;
        buffer.append(chunk, qsizetype(n));
    }
    return buffer;
}

bool tcpAccepts(uint16_t port)
{
    const int fd = connected(port);
    if (fd >= 0)
        ::close(fd);
    return fd >= 0;
}

} // namespace e2e
