#include "tests/support/PseudoTerminal.h"

#include <QDeadlineTimer>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace testsupport {
namespace {

void makeRaw(int fd)
{
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0)
        return;
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    ::tcsetattr(fd, TCSANOW, &settings);
}

bool writeFd(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN) {
                pollfd p{fd, POLLOUT, 0};
                ::poll(&p, 1, 100);
                continue;
            }
            return false;
        }
        data += n;
        left -= n;
    }
    return true;
}

// poll() first, so a blocking descriptor never blocks past the deadline.
QByteArray readFd(int fd, int count, int timeoutMs)
{
    QByteArray bytes;
    if (fd < 0)
        return bytes;
    QDeadlineTimer deadline(timeoutMs);
    while (bytes.size() < count) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(deadline.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || !(p.revents & POLLIN))
            break; // time-out, or hang-up with nothing left to read
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, std::min<qsizetype>(sizeof buffer, count - bytes.size()));
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            break;
        bytes.append(buffer, n);
    }
    return bytes;
}

} // namespace

PseudoTerminal::PseudoTerminal(bool nonBlocking)
{
    char name[256] = {};
    if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0 || ::ptsname_r(master_, name, sizeof name) != 0) {
        if (master_ >= 0)
            ::close(master_);
        if (slave_ >= 0)
            ::close(slave_);
        master_ = slave_ = -1;
        return;
    }
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    slavePath_ = QString::fromLocal8Bit(name);
    makeRaw(slave_);
    makeRaw(master_);
    if (nonBlocking)
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PseudoTerminal::~PseudoTerminal()
{
    closeSlave();
    if (master_ >= 0)
        ::close(master_);
}

void PseudoTerminal::closeSlave()
{
    if (slave_ >= 0)
        ::close(slave_);
    slave_ = -1;
}

bool PseudoTerminal::write(const QByteArray& bytes)
{
    return master_ >= 0 && writeFd(master_, bytes);
}

QByteArray PseudoTerminal::read(int count, int timeoutMs)
{
    return readFd(master_, count, timeoutMs);
}

QByteArray PseudoTerminal::readAvailable()
{
    return readFd(master_, 1 << 20, 0);
}

bool PseudoTerminal::writeSlave(const QByteArray& bytes)
{
    return slave_ >= 0 && writeFd(slave_, bytes);
}

QByteArray PseudoTerminal::readSlave(int count, int timeoutMs)
{
    return readFd(slave_, count, timeoutMs);
}

} // namespace testsupport
