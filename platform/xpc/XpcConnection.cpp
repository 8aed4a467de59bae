#include "platform/xpc/XpcConnection.h"

#include <QSocketNotifier>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

void setNonBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

} // namespace

void ignoreSigpipe()
{
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGPIPE, &action, nullptr);
}

XpcConnection::XpcConnection(int fd, QObject* parent)
    : QObject(parent)
    , fd_(fd)
{
    static const int registered = qRegisterMetaType<platform::XpcEnvelope>();
    (void)registered;
    ignoreSigpipe();
    setNonBlocking(fd_);
    readNotifier_ = new QSocketNotifier(qintptr(fd_), QSocketNotifier::Read, this);
    writeNotifier_ = new QSocketNotifier(qintptr(fd_), QSocketNotifier::Write, this);
    writeNotifier_->setEnabled(false);
    connect(readNotifier_, &QSocketNotifier::activated, this, [this] { onReadable(); });
    connect(writeNotifier_, &QSocketNotifier::activated, this, [this] { onWritable(); });
}

XpcConnection::~XpcConnection()
{
    std::lock_guard lock(mutex_);
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool XpcConnection::isOpen() const
{
    std::lock_guard lock(mutex_);
    return fd_ >= 0;
}

bool XpcConnection::send(const XpcEnvelope& envelope)
{
    const QByteArray frame = encodeXpcFrame(envelope);
    if (frame.isEmpty())
        return false;
    bool failed = false;
    bool pending = false;
    {
        std::lock_guard lock(mutex_);
        if (fd_ < 0)
            return false;
        outbox_.append(frame);
        failed = !flushLocked();
        pending = !failed && outboxOffset_ < outbox_.size();
    }
    if (failed || pending) {
        // Notifiers and the closed() signal belong to the owner thread.
        auto onOwner = [this, failed] {
            if (failed)
                finish(QStringLiteral("write failed"));
            else if (writeNotifier_ && isOpen())
                writeNotifier_->setEnabled(true);
        };
        if (QThread::currentThread() == thread())
            onOwner();
        else
            QMetaObject::invokeMethod(this, onOwner, Qt::QueuedConnection);
    }
    return !failed;
}

bool XpcConnection::flushLocked()
{
    while (outboxOffset_ < outbox_.size()) {
        const ssize_t n = ::send(fd_, outbox_.constData() + outboxOffset_, std::size_t(outbox_.size() - outboxOffset_),
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            outboxOffset_ += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        outbox_.clear();
        outboxOffset_ = 0;
        return false;
    }
    outbox_.clear();
    outboxOffset_ = 0;
    return true;
}

void XpcConnection::onWritable()
{
    bool failed = false;
    bool done = false;
    {
        std::lock_guard lock(mutex_);
        if (fd_ < 0)
            return;
        failed = !flushLocked();
        done = outboxOffset_ >= outbox_.size();
    }
    if (failed)
        finish(QStringLiteral("write failed"));
    else if (done)
        writeNotifier_->setEnabled(false);
}

void XpcConnection::onReadable()
{
    char chunk[kReadChunk];
    for (;;) {
        int fd;
        {
            std::lock_guard lock(mutex_);
            fd = fd_;
        }
        if (fd < 0)
            return;
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n == 0) {
            finish(QStringLiteral("end of file"));
            return;
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return;
            finish(QStringLiteral("read failed: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
            return;
        }
        reader_.append(chunk, std::size_t(n));
        XpcEnvelope envelope;
        for (;;) {
            const auto status = reader_.next(envelope);
            if (status == XpcFrameReader::Status::NeedMore)
                break;
            if (status == XpcFrameReader::Status::Malformed) {
                finish(QStringLiteral("malformed frame: %1").arg(reader_.error()));
                return;
            }
            emit envelopeReceived(envelope);
            if (!isOpen()) // a receiver closed the connection
                return;
        }
    }
}

void XpcConnection::close()
{
    finish(QString());
}

void XpcConnection::finish(const QString& reason)
{
    if (readNotifier_)
        readNotifier_->setEnabled(false);
    if (writeNotifier_)
        writeNotifier_->setEnabled(false);
    {
        std::lock_guard lock(mutex_);
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
        outbox_.clear();
        outboxOffset_ = 0;
    }
    if (closedSignalled_)
        return;
    closedSignalled_ = true;
    emit closed(reason);
}

} // namespace platform
