#include "platform/privileged/SeqPacketSocket.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform::privileged {

namespace {

int makeAddress(const std::string& path, sockaddr_un& address, socklen_t& length)
{
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path
        || path.find('\0') != std::string::npos)
        return ENAMETOOLONG;
    std::memcpy(address.sun_path, path.data(), path.size());
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
    return 0;
}

UniqueFd newSocket()
{
    return UniqueFd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
}

} // namespace

int SeqPacketSocket::connectTo(const std::string& path, SeqPacketSocket& out)
{
    sockaddr_un address;
    socklen_t length = 0;
    if (int err = makeAddress(path, address, length))
        return err;
    UniqueFd fd = newSocket();
    if (!fd.valid())
        return errno;
    int rc;
    do {
        rc = ::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), length);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0)
        return errno;
    out = SeqPacketSocket(std::move(fd));
    return 0;
}

int SeqPacketSocket::listenAt(const std::string& path, mode_t mode, SeqPacketSocket& out)
{
    // Bound and listening under a temporary name first, then renamed into place: a client never
    // finds a socket file that refuses connections because listen() has not happened yet.
    const std::string temporary = path + ".tmp" + std::to_string(::getpid());
    sockaddr_un address;
    socklen_t length = 0;
    if (int err = makeAddress(temporary, address, length))
        return err;
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && !S_ISSOCK(st.st_mode))
        return EEXIST;
    ::unlink(temporary.c_str());
    UniqueFd fd = newSocket();
    if (!fd.valid())
        return errno;
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), length) < 0)
        return errno;
    if (::chmod(temporary.c_str(), mode) < 0 || ::listen(fd.get(), SOMAXCONN) < 0
        || ::rename(temporary.c_str(), path.c_str()) < 0) {
        int err = errno;
        ::unlink(temporary.c_str());
        return err;
    }
    out = SeqPacketSocket(std::move(fd));
    return 0;
}

int SeqPacketSocket::adoptListening(int fd, SeqPacketSocket& out)
{
    int value = 0;
    socklen_t size = sizeof value;
    if (::getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &value, &size) < 0)
        return errno;
    if (value != AF_UNIX)
        return EAFNOSUPPORT;
    size = sizeof value;
    if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &value, &size) < 0)
        return errno;
    if (value != SOCK_SEQPACKET)
        return EPROTOTYPE;
    size = sizeof value;
    if (::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &value, &size) < 0)
        return errno;
    if (!value)
        return EINVAL;
    out = SeqPacketSocket(UniqueFd(fd));
    return 0;
}

int SeqPacketSocket::accept(SeqPacketSocket& out) const
{
    int fd;
    do {
        fd = ::accept4(fd_.get(), nullptr, nullptr, SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return errno;
    out = SeqPacketSocket(UniqueFd(fd));
    return 0;
}

int SeqPacketSocket::send(std::string_view bytes) const
{
    ssize_t n;
    do {
        n = ::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return errno;
    return static_cast<std::size_t>(n) == bytes.size() ? 0 : EMSGSIZE;
}

ReceiveStatus SeqPacketSocket::receive(std::string& buffer, std::size_t maxSize, int timeoutMs,
                                       int* error) const
{
    if (error)
        *error = 0;
    if (timeoutMs >= 0) {
        pollfd p{fd_.get(), POLLIN, 0};
        int rc;
        do {
            rc = ::poll(&p, 1, timeoutMs);
        } while (rc < 0 && errno == EINTR);
        if (rc == 0)
            return ReceiveStatus::timedOut;
        if (rc < 0) {
            if (error)
                *error = errno;
            return ReceiveStatus::failed;
        }
    }
    buffer.resize(maxSize);
    iovec iov{buffer.data(), buffer.size()};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    ssize_t n;
    do {
        n = ::recvmsg(fd_.get(), &msg, MSG_CMSG_CLOEXEC);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        buffer.clear();
        if (errno == ECONNRESET || errno == EPIPE)
            return ReceiveStatus::closed;
        if (error)
            *error = errno;
        return ReceiveStatus::failed;
    }
    buffer.resize(static_cast<std::size_t>(n));
    if (n == 0)
        return ReceiveStatus::closed;
    return (msg.msg_flags & MSG_TRUNC) ? ReceiveStatus::truncated : ReceiveStatus::message;
}

void SeqPacketSocket::shutdown() const
{
    if (fd_.valid())
        ::shutdown(fd_.get(), SHUT_RDWR);
}

} // namespace platform::privileged
