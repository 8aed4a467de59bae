#include "platform/serial/SerialPort.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace platform::serial {

namespace {

constexpr tcflag_t kHardwareBits = CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS;

} // namespace

SerialPort::SerialPort(QObject* parent) : QObject(parent) {}

SerialPort::~SerialPort()
{
    close();
}

int SerialPort::open(const QString& path)
{
    close();
    const QByteArray native = path.toLocal8Bit();
    const int fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    if (::ioctl(fd, TIOCEXCL) != 0) {
        const int err = errno;
        ::close(fd);
        return err;
    }
    fd_ = fd;
    return 0;
}

int SerialPort::saveOriginalSettings()
{
    if (fd_ < 0)
        return EBADF;
    if (tcgetattr(fd_, &original_) != 0) {
        haveOriginal_ = false;
        return errno;
    }
    haveOriginal_ = true;
    return 0;
}

SerialPort::ApplyResult SerialPort::applySettings(const SerialLineSettings& settings)
{
    ApplyResult result;
    if (fd_ < 0) {
        result.error = EBADF;
        return result;
    }
    termios current{};
    if (tcgetattr(fd_, &current) != 0) {
        result.error = errno;
        return result;
    }
    const TermiosBuild build = buildTermios(current, settings);
    result.text = build.text;
    result.unsupportedFlowControl = build.unsupportedFlowControl;
    result.speedApplied = build.speedApplied || settings.speed < 0;
    if (tcsetattr(fd_, TCSANOW, &build.attrs) != 0) {
        result.error = errno;
        return result;
    }
    // tcsetattr succeeds when any one change took; what the line really uses is what reads back.
    termios actual{};
    if (tcgetattr(fd_, &actual) != 0) {
        result.error = errno;
        return result;
    }
    const bool rawOk = actual.c_iflag == build.attrs.c_iflag && actual.c_oflag == build.attrs.c_oflag
        && (actual.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) == 0;
    if (!rawOk) {
        result.error = EINVAL;
        return result;
    }
    result.readBackMatches = (actual.c_cflag & kHardwareBits) == (build.attrs.c_cflag & kHardwareBits)
        && cfgetospeed(&actual) == cfgetospeed(&build.attrs);
    return result;
}

void SerialPort::startReading()
{
    if (fd_ < 0 || readNotifier_)
        return;
    readNotifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(readNotifier_, &QSocketNotifier::activated, this, &SerialPort::onReadable);
}

void SerialPort::onReadable()
{
    char buffer[4096];
    for (;;) {
        if (fd_ < 0)
            return;
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n > 0) {
            emit dataRead(QByteArray(buffer, n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (n < 0) {
            hangUp(errno);
            return;
        }
        // With VMIN=VTIME=0 a read of 0 also means "nothing yet"; only a hang-up ends the line.
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
            hangUp(EIO);
        return;
    }
}

bool SerialPort::write(const QByteArray& data)
{
    if (fd_ < 0)
        return false;
    if (data.isEmpty())
        return true;
    if (queuedBytes_ + data.size() > kMaxQueuedBytes)
        return false;
    writeQueue_.push_back(data);
    queuedBytes_ += data.size();
    drainWriteQueue();
    return true;
}

void SerialPort::onWritable()
{
    drainWriteQueue();
}

void SerialPort::drainWriteQueue()
{
    while (fd_ >= 0 && !writeQueue_.empty()) {
        const QByteArray& front = writeQueue_.front();
        const ssize_t n = ::write(fd_, front.constData() + writeOffset_, size_t(front.size() - writeOffset_));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                break;
            const int err = errno;
            QByteArray lost;
            for (const QByteArray& chunk : writeQueue_)
                lost += chunk;
            lost.remove(0, writeOffset_);
            writeQueue_.clear();
            writeOffset_ = 0;
            queuedBytes_ = 0;
            emit writeFailed(err, lost);
            if (err == EIO || err == ENXIO)
                hangUp(err);
            return;
        }
        writeOffset_ += n;
        queuedBytes_ -= n;
        if (writeOffset_ == front.size()) {
            writeQueue_.pop_front();
            writeOffset_ = 0;
        }
    }
    const bool pending = fd_ >= 0 && !writeQueue_.empty();
    if (pending && !writeNotifier_) {
        writeNotifier_ = new QSocketNotifier(fd_, QSocketNotifier::Write, this);
        connect(writeNotifier_, &QSocketNotifier::activated, this, &SerialPort::onWritable);
    }
    if (writeNotifier_)
        writeNotifier_->setEnabled(pending);
}

void SerialPort::hangUp(int error)
{
    close();
    emit hungUp(error);
}

void SerialPort::dropNotifiers()
{
    // Notifiers are switched off before their descriptor closes; they are deleted later because
    // this may run inside one of their own signals.
    for (QSocketNotifier** n : {&readNotifier_, &writeNotifier_}) {
        if (*n) {
            (*n)->setEnabled(false);
            (*n)->deleteLater();
            *n = nullptr;
        }
    }
}

SerialPort::CloseResult SerialPort::close()
{
    CloseResult result;
    dropNotifiers();
    writeQueue_.clear();
    writeOffset_ = 0;
    queuedBytes_ = 0;
    if (fd_ < 0)
        return result;
    if (haveOriginal_ && tcsetattr(fd_, TCSANOW, &original_) != 0)
        result.restoreError = errno;
    haveOriginal_ = false;
    if (::close(fd_) != 0)
        result.closeError = errno;
    fd_ = -1;
    return result;
}

} // namespace platform::serial
