#include "platform/net/AsyncTcpSocket.h"

#include "platform/net/NetworkInterfaces.h"
#include "platform/net/SocketAddress.h"

#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform::net {

void AsyncTcpSocketDelegate::socketDidConnectToHost(AsyncTcpSocket*, const QString&, quint16) {}
void AsyncTcpSocketDelegate::socketDidWriteData(AsyncTcpSocket*, long) {}
double AsyncTcpSocketDelegate::socketShouldTimeoutReadWithTag(AsyncTcpSocket*, long, double, qsizetype) { return 0; }
double AsyncTcpSocketDelegate::socketShouldTimeoutWriteWithTag(AsyncTcpSocket*, long, double, qsizetype) { return 0; }

namespace {

// The delegate of a disposed socket: it hears nothing, and a connection accepted on the way out
// goes with it.
class NoDelegate final : public AsyncTcpSocketDelegate {
public:
    void socketDidAcceptNewSocket(AsyncTcpSocket*, AsyncTcpSocket* newSocket) override { newSocket->dispose(); }
    void socketDidReadData(AsyncTcpSocket*, const QByteArray&, long) override {}
    void socketDidDisconnect(AsyncTcpSocket*, const QString&) override {}
};

NoDelegate noDelegate;

int toMilliseconds(double seconds)
{
    const double ms = seconds * 1000.0;
    return ms > 2.0e9 ? 2000000000 : int(ms);
}

} // namespace

AsyncTcpSocket::AsyncTcpSocket(DelegateQueue& queue, AsyncTcpSocketDelegate* delegate)
    : queue_(queue), delegate_(delegate)
{
    connectTimer_ = new QTimer(this);
    readTimer_ = new QTimer(this);
    writeTimer_ = new QTimer(this);
    eofTimer_ = new QTimer(this);
    for (QTimer* t : {connectTimer_, readTimer_, writeTimer_, eofTimer_})
        t->setSingleShot(true);
    connect(connectTimer_, &QTimer::timeout, this, [this] { finish(QStringLiteral("Attempt to connect to host timed out")); });
    connect(readTimer_, &QTimer::timeout, this, &AsyncTcpSocket::onReadTimeout);
    connect(writeTimer_, &QTimer::timeout, this, &AsyncTcpSocket::onWriteTimeout);
    connect(eofTimer_, &QTimer::timeout, this, [this] { finish(QStringLiteral("Socket closed by remote peer")); });
    if (thread() != queue.thread())
        moveToThread(queue.thread());
}

AsyncTcpSocket::AsyncTcpSocket(DelegateQueue& queue, AsyncTcpSocketDelegate* delegate, QTcpSocket* accepted)
    : AsyncTcpSocket(queue, delegate)
{
    attach(accepted);
    setPeer(addressText(accepted->peerAddress()), accepted->peerPort());
    localPort_ = accepted->localPort();
    state_ = Connected;
}

AsyncTcpSocket::~AsyncTcpSocket()
{
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
    }
    if (server_)
        server_->close();
}

void AsyncTcpSocket::post(std::function<void()> fn)
{
    queue_.post(this, std::move(fn));
}

void AsyncTcpSocket::run(std::function<void()> fn)
{
    // Already on the queue (a delegate asking for its next read or answering at once): carried
    // out now, which is the same order as queueing it; a hop would cost a turn of the loop.
    if (queue_.isCurrent())
        fn();
    else
        post(std::move(fn));
}

QString AsyncTcpSocket::connectedHost() const
{
    std::unique_lock lock(peerMutex_);
    return peerHost_;
}

void AsyncTcpSocket::setPeer(const QString& host, quint16 port)
{
    {
        std::unique_lock lock(peerMutex_);
        peerHost_ = host;
    }
    peerPort_ = port;
}

bool AsyncTcpSocket::acceptOnInterface(const QString& interfaceName, quint16 port, QString* error)
{
    QString why;
    int expected = Idle;
    if (!state_.compare_exchange_strong(expected, Listening)) {
        why = QStringLiteral("Attempting to accept while connected or accepting connections. Disconnect first.");
    } else {
        const int fd = createBoundSocket(SOCK_STREAM, interfaceName, port, true, &why);
        if (fd >= 0 && ::listen(fd, kListenBacklog) != 0) {
            why = errnoText(errno);
            ::close(fd);
        } else if (fd >= 0) {
            localPort_ = boundPort(fd);
            post([this, fd] { adoptListener(fd); });
            return true;
        }
        state_ = Idle;
    }
    if (error)
        *error = why;
    return false;
}

void AsyncTcpSocket::adoptListener(int fd)
{
    remoteClosed_ = false;
    server_ = new QTcpServer(this);
    server_->setMaxPendingConnections(kListenBacklog);
    server_->setProxy(QNetworkProxy::NoProxy);
    if (!server_->setSocketDescriptor(fd)) {
        ::close(fd);
        delete server_;
        server_ = nullptr;
        finish(QStringLiteral("Failed to take the listening socket"));
        return;
    }
    connect(server_, &QTcpServer::newConnection, this, &AsyncTcpSocket::onNewConnection);
}

void AsyncTcpSocket::onNewConnection()
{
    while (server_ && server_->hasPendingConnections()) {
        QTcpSocket* s = server_->nextPendingConnection();
        if (!s)
            break;
        s->setParent(nullptr);
        auto* accepted = new AsyncTcpSocket(queue_, delegate_, s);
        delegate_->socketDidAcceptNewSocket(this, accepted);
    }
}

bool AsyncTcpSocket::connectToHost(const QString& host, quint16 port, const QString& interfaceName, double timeout, QString* error)
{
    QString why;
    bool unknown = false;
    const auto local = interfaceAddress(interfaceName, &unknown);
    int expected = Idle;
    if (host.isEmpty())
        why = QStringLiteral("Invalid host parameter (nil or \"\"). Should be a domain name or IP address string.");
    else if (unknown)
        why = QStringLiteral("Unknown interface %1").arg(interfaceName);
    else if (!state_.compare_exchange_strong(expected, Connecting))
        why = QStringLiteral("Attempting to connect while connected or accepting connections. Disconnect first.");
    if (!why.isEmpty()) {
        if (error)
            *error = why;
        return false;
    }
    const QHostAddress localAddress = local ? local->address : QHostAddress();
    post([this, host, port, localAddress, timeout] { startConnect(host, port, localAddress, timeout); });
    return true;
}

void AsyncTcpSocket::startConnect(const QString& host, quint16 port, const QHostAddress& local, double timeout)
{
    if (state_.load() != Connecting)
        return; // disconnected before the attempt began
    remoteClosed_ = false;
    auto* s = new QTcpSocket;
    // Device control goes straight to the device, never through a system proxy.
    s->setProxy(QNetworkProxy::NoProxy);
    attach(s);
    connect(s, &QTcpSocket::connected, this, &AsyncTcpSocket::onConnected);
    if (!local.isNull() && !s->bind(local, 0)) {
        finish(s->errorString());
        return;
    }
    if (timeout >= 0)
        connectTimer_->start(toMilliseconds(timeout));
    s->connectToHost(host, port);
}

void AsyncTcpSocket::attach(QTcpSocket* s)
{
    socket_ = s;
    s->setParent(this);
    // Bounded: Qt stops reading from the kernel when this fills, so a peer that sends faster
    // than the parser asks is held back by TCP itself.
    s->setReadBufferSize(kMaxDelimitedRead);
    connect(s, &QTcpSocket::readyRead, this, &AsyncTcpSocket::onReadyRead);
    connect(s, &QTcpSocket::bytesWritten, this, &AsyncTcpSocket::onBytesWritten);
    connect(s, &QTcpSocket::disconnected, this, &AsyncTcpSocket::onRemoteClosed);
    // Control protocols exchange small commands and acknowledgements: never hold one back to
    // coalesce it with the next (Nagle), or a pipelined controller waits on delayed ACKs.
    if (s->state() == QAbstractSocket::ConnectedState)
        s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(s, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        if (e == QAbstractSocket::RemoteHostClosedError)
            onRemoteClosed();
        else if (socket_)
            finish(socket_->errorString());
    });
}

void AsyncTcpSocket::onConnected()
{
    connectTimer_->stop();
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    setPeer(addressText(socket_->peerAddress()), socket_->peerPort());
    localPort_ = socket_->localPort();
    state_ = Connected;
    delegate_->socketDidConnectToHost(this, connectedHost(), connectedPort());
    processReads();
    startWriteTimer();
}

void AsyncTcpSocket::readDataToData(const QByteArray& delimiter, double timeout, long tag)
{
    if (delimiter.isEmpty())
        return;
    run([this, r = ReadRequest{ReadKind::Delimiter, delimiter, 0, timeout, tag}] () mutable { enqueueRead(std::move(r)); });
}

void AsyncTcpSocket::readDataToLength(qsizetype length, double timeout, long tag)
{
    if (length <= 0)
        return;
    run([this, r = ReadRequest{ReadKind::Length, {}, length, timeout, tag}] () mutable { enqueueRead(std::move(r)); });
}

void AsyncTcpSocket::readData(double timeout, long tag)
{
    run([this, r = ReadRequest{ReadKind::Any, {}, 0, timeout, tag}] () mutable { enqueueRead(std::move(r)); });
}

void AsyncTcpSocket::enqueueRead(ReadRequest request)
{
    if (state_.load() == Idle || state_.load() == Listening)
        return;
    reads_.push_back(std::move(request));
    if (reads_.size() == 1)
        startReadTimer();
    // Asked for from inside a delivery: the loop already running serves it next.
    if (!processing_)
        processReads();
}

void AsyncTcpSocket::startReadTimer()
{
    readTimer_->stop();
    if (reads_.empty() || state_.load() != Connected)
        return;
    readClock_.start();
    if (reads_.front().timeout >= 0)
        readTimer_->start(toMilliseconds(reads_.front().timeout));
}

void AsyncTcpSocket::pull()
{
    if (!socket_)
        return;
    qsizetype limit = kMaxDelimitedRead;
    if (!reads_.empty() && reads_.front().kind == ReadKind::Length)
        limit = std::max(limit, reads_.front().length);
    if (remoteClosed_)
        limit = buffer_.size() + socket_->bytesAvailable();
    const qsizetype room = limit - buffer_.size();
    const qint64 available = socket_->bytesAvailable();
    if (room > 0 && available > 0)
        buffer_.append(socket_->read(std::min<qint64>(room, available)));
}

void AsyncTcpSocket::processReads()
{
    if (state_.load() != Connected || processing_)
        return;
    processing_ = true;
    serveReads();
    processing_ = false;
    if (!socket_ || !remoteClosed_)
        return;
    // The peer has closed: what is buffered is still served to reads asked for later (a parser
    // often asks from another thread after handling the previous frame). Once nothing is left,
    // or no read comes within the grace time, the socket is done.
    if (buffer_.isEmpty() || !reads_.empty())
        finish(QStringLiteral("Socket closed by remote peer"));
    else if (!eofTimer_->isActive())
        eofTimer_->start(kClosedPeerGraceMs);
}

void AsyncTcpSocket::serveReads()
{
    while (socket_) {
        pull();
        if (reads_.empty())
            break;
        const ReadRequest& head = reads_.front();
        qsizetype take = 0;
        if (head.kind == ReadKind::Delimiter) {
            const qsizetype at = buffer_.indexOf(head.delimiter);
            if (at >= 0) {
                take = at + head.delimiter.size();
            } else if (buffer_.size() >= kMaxDelimitedRead) {
                finish(QStringLiteral("Read maximum length reached without finding the delimiter"));
                return;
            }
        } else if (head.kind == ReadKind::Length) {
            if (buffer_.size() >= head.length)
                take = head.length;
        } else {
            take = buffer_.size();
        }
        if (take == 0)
            break;
        const QByteArray data = buffer_.left(take);
        buffer_.remove(0, take);
        const long tag = head.tag;
        reads_.pop_front();
        startReadTimer();
        delegate_->socketDidReadData(this, data, tag);
    }
}

bool AsyncTcpSocket::peerHasClosed() const
{
    if (!socket_ || state_.load() != Connected || remoteClosed_)
        return true;
    const qintptr fd = socket_->socketDescriptor();
    if (fd < 0)
        return true;
    // The kernel knows of the peer's FIN before the event loop has read up to it.
    pollfd p{int(fd), POLLRDHUP, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL));
}

void AsyncTcpSocket::onReadyRead()
{
    processReads();
}

void AsyncTcpSocket::onRemoteClosed()
{
    if (!socket_ || remoteClosed_)
        return;
    if (state_.load() != Connected) {
        finish(socket_->errorString());
        return;
    }
    remoteClosed_ = true;
    processReads();
}

void AsyncTcpSocket::writeData(const QByteArray& data, double timeout, long tag)
{
    if (data.isEmpty())
        return;
    run([this, data, timeout, tag] {
        if (!socket_ || state_.load() == Idle)
            return;
        writes_.push_back(WriteRequest{data.size(), data.size(), timeout, tag});
        socket_->write(data);
        if (writes_.size() == 1)
            startWriteTimer();
    });
}

void AsyncTcpSocket::startWriteTimer()
{
    writeTimer_->stop();
    if (writes_.empty() || state_.load() != Connected)
        return;
    writeClock_.start();
    if (writes_.front().timeout >= 0)
        writeTimer_->start(toMilliseconds(writes_.front().timeout));
}

void AsyncTcpSocket::onBytesWritten(qint64 bytes)
{
    while (bytes > 0 && !writes_.empty()) {
        WriteRequest& head = writes_.front();
        const qint64 used = std::min<qint64>(bytes, head.remaining);
        head.remaining -= used;
        bytes -= used;
        if (head.remaining == 0) {
            const long tag = head.tag;
            writes_.pop_front();
            startWriteTimer();
            delegate_->socketDidWriteData(this, tag);
        }
    }
}

void AsyncTcpSocket::onReadTimeout()
{
    if (reads_.empty())
        return;
    const ReadRequest& head = reads_.front();
    const double extension = delegate_->socketShouldTimeoutReadWithTag(this, head.tag, readClock_.elapsed() / 1000.0, buffer_.size());
    if (extension > 0)
        readTimer_->start(toMilliseconds(extension));
    else
        finish(QStringLiteral("Read operation timed out"));
}

void AsyncTcpSocket::onWriteTimeout()
{
    if (writes_.empty())
        return;
    const WriteRequest& head = writes_.front();
    const double extension = delegate_->socketShouldTimeoutWriteWithTag(this, head.tag, writeClock_.elapsed() / 1000.0, head.total - head.remaining);
    if (extension > 0)
        writeTimer_->start(toMilliseconds(extension));
    else
        finish(QStringLiteral("Write operation timed out"));
}

void AsyncTcpSocket::disconnect()
{
    queue_.sync([this] {
        if (state_.load() != Idle || socket_ || server_)
            finish(QString());
    });
}

void AsyncTcpSocket::dispose()
{
    // The loops of a callback that may be on the stack end on the cleared state, and the
    // delegate, perhaps already gone, is never called again.
    delegate_ = &noDelegate;
    finish(QString());
    deleteLater();
}

void AsyncTcpSocket::finish(const QString& error)
{
    connectTimer_->stop();
    readTimer_->stop();
    writeTimer_->stop();
    eofTimer_->stop();
    reads_.clear();
    writes_.clear();
    buffer_.clear();
    remoteClosed_ = false;
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
        socket_->deleteLater();
        socket_ = nullptr;
    }
    if (server_) {
        server_->close();
        server_->deleteLater();
        server_ = nullptr;
    }
    const bool wasOpen = state_.exchange(Idle) != Idle;
    if (wasOpen)
        delegate_->socketDidDisconnect(this, error);
}

} // namespace platform::net
