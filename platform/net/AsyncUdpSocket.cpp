#include "platform/net/AsyncUdpSocket.h"

#include "platform/net/NetworkInterfaces.h"
#include "platform/net/SocketAddress.h"

#include <QHostInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform::net {

void AsyncUdpSocketDelegate::udpSocketDidConnectToAddress(AsyncUdpSocket*, const QHostAddress&, quint16) {}
void AsyncUdpSocketDelegate::udpSocketDidNotConnect(AsyncUdpSocket*, const QString&) {}
void AsyncUdpSocketDelegate::udpSocketDidSendDataWithTag(AsyncUdpSocket*, long) {}
void AsyncUdpSocketDelegate::udpSocketDidNotSendDataWithTag(AsyncUdpSocket*, long, const QString&) {}
void AsyncUdpSocketDelegate::udpSocketDidClose(AsyncUdpSocket*, const QString&) {}

namespace {

// The delegate of a disposed socket: it hears nothing.
class NoDelegate final : public AsyncUdpSocketDelegate {
public:
    void udpSocketDidReceiveData(AsyncUdpSocket*, const QByteArray&, const QHostAddress&, quint16) override {}
};

NoDelegate noDelegate;

} // namespace

AsyncUdpSocket::AsyncUdpSocket(DelegateQueue& queue, AsyncUdpSocketDelegate* delegate)
    : queue_(queue), delegate_(delegate)
{
    if (thread() != queue.thread())
        moveToThread(queue.thread());
}

AsyncUdpSocket::~AsyncUdpSocket()
{
    delete notifier_;
    const int fd = fd_.exchange(-1);
    if (fd >= 0)
        ::close(fd);
}

void AsyncUdpSocket::post(std::function<void()> fn)
{
    queue_.post(this, std::move(fn));
}

QHostAddress AsyncUdpSocket::connectedAddress() const
{
    std::unique_lock lock(mutex_);
    return peerAddress_;
}

bool AsyncUdpSocket::bindToPort(quint16 port, const QString& interfaceName, bool reuseAddress, QString* error)
{
    QString why;
    if (fd_.load() >= 0) {
        why = QStringLiteral("Cannot bind a socket more than once.");
    } else {
        const int fd = createBoundSocket(SOCK_DGRAM, interfaceName, port, reuseAddress, &why);
        if (fd >= 0) {
            int expected = -1;
            if (fd_.compare_exchange_strong(expected, fd)) {
                localPort_ = boundPort(fd);
                return true;
            }
            ::close(fd);
            why = QStringLiteral("Cannot bind a socket more than once.");
        }
    }
    if (error)
        *error = why;
    return false;
}

bool AsyncUdpSocket::ensureSocket(QString* error)
{
    if (fd_.load() >= 0)
        return true;
    return bindToPort(0, QString(), false, error);
}

bool AsyncUdpSocket::connectToHost(const QString& host, quint16 port, QString* error)
{
    bool expected = false;
    if (connected_.load() || !connecting_.compare_exchange_strong(expected, true)) {
        if (error)
            *error = QStringLiteral("Cannot connect a socket more than once.");
        return false;
    }
    post([this, host, port] { startConnect(host, port); });
    return true;
}

void AsyncUdpSocket::startConnect(const QString& host, quint16 port)
{
    QHostAddress address;
    if (!address.setAddress(host)) {
        const QHostInfo info = QHostInfo::fromName(host); // blocking, on the socket's own queue
        for (const QHostAddress& a : info.addresses()) {
            if (a.protocol() == QAbstractSocket::IPv4Protocol || address.isNull())
                address = a;
            if (a.protocol() == QAbstractSocket::IPv4Protocol)
                break;
        }
    }
    QString why;
    if (address.isNull())
        why = QStringLiteral("Unknown host %1").arg(host);
    else if (!ensureSocket(&why))
        ;
    else {
        const SockAddr to = toSockAddr(address, port);
        if (::connect(fd_.load(), to.get(), to.length) != 0)
            why = errnoText(errno);
    }
    connecting_ = false;
    if (!why.isEmpty()) {
        delegate_->udpSocketDidNotConnect(this, why);
        return;
    }
    {
        std::unique_lock lock(mutex_);
        peerAddress_ = plainAddress(address);
    }
    peerPort_ = port;
    localPort_ = boundPort(fd_.load());
    connected_ = true;
    if (receiving_.load())
        startNotifier();
    delegate_->udpSocketDidConnectToAddress(this, plainAddress(address), port);
}

bool AsyncUdpSocket::beginReceiving(QString* error)
{
    if (!ensureSocket(error))
        return false;
    if (!receiving_.exchange(true))
        post([this] { startNotifier(); });
    return true;
}

void AsyncUdpSocket::pauseReceiving()
{
    receiving_ = false;
    post([this] {
        if (notifier_)
            notifier_->setEnabled(false);
    });
}

void AsyncUdpSocket::setReceiveFilter(ReceiveFilter filter)
{
    std::unique_lock lock(mutex_);
    filter_ = std::move(filter);
}

void AsyncUdpSocket::startNotifier()
{
    const int fd = fd_.load();
    if (fd < 0 || !receiving_.load())
        return;
    if (!notifier_) {
        receiveBuffer_.resize(kMaxDatagram);
        notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &AsyncUdpSocket::onReadable);
    }
    notifier_->setEnabled(true);
}

void AsyncUdpSocket::onReadable()
{
    for (int i = 0; i < kReceiveBurst; ++i) {
        const int fd = fd_.load();
        if (fd < 0 || !receiving_.load())
            return;
        sockaddr_storage from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(fd, receiveBuffer_.data(), receiveBuffer_.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return;
            continue; // an ICMP error of an earlier send; the socket itself is fine
        }
        quint16 port = 0;
        const QHostAddress address = fromSockAddr(from, &port);
        const QByteArray data(receiveBuffer_.data(), n);
        ReceiveFilter filter;
        {
            std::unique_lock lock(mutex_);
            filter = filter_;
        }
        if (filter && !filter(data, address, port))
            continue;
        delegate_->udpSocketDidReceiveData(this, data, address, port);
    }
}

bool AsyncUdpSocket::joinMulticastGroup(const QString& group, const QString& interfaceName, QString* error)
{
    QString why;
    const int fd = fd_.load();
    QHostAddress groupAddress;
    bool unknown = false;
    const auto local = interfaceAddress(interfaceName, &unknown);
    if (fd < 0)
        why = QStringLiteral("Must bind a socket before joining a multicast group.");
    else if (!groupAddress.setAddress(group) || groupAddress.protocol() != QAbstractSocket::IPv4Protocol || !groupAddress.isMulticast())
        why = QStringLiteral("Invalid multicast group %1").arg(group);
    else if (unknown)
        why = QStringLiteral("Unknown interface %1").arg(interfaceName);
    else {
        ip_mreqn request{};
        request.imr_multiaddr.s_addr = htonl(groupAddress.toIPv4Address());
        if (local && local->address.protocol() == QAbstractSocket::IPv4Protocol)
            request.imr_address.s_addr = htonl(local->address.toIPv4Address());
        request.imr_ifindex = local ? local->index : 0;
        if (::setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) != 0)
            why = errnoText(errno);
        else if (local && ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &request, sizeof request) != 0)
            why = errnoText(errno);
    }
    if (why.isEmpty())
        return true;
    if (error)
        *error = why;
    return false;
}

bool AsyncUdpSocket::enableBroadcast(bool enable, QString* error)
{
    if (!ensureSocket(error))
        return false;
    const int flag = enable ? 1 : 0;
    if (::setsockopt(fd_.load(), SOL_SOCKET, SO_BROADCAST, &flag, sizeof flag) == 0)
        return true;
    if (error)
        *error = errnoText(errno);
    return false;
}

void AsyncUdpSocket::sendData(const QByteArray& data, double, long tag)
{
    post([this, data, tag] { sendNow(data, nullptr, 0, tag); });
}

void AsyncUdpSocket::sendData(const QByteArray& data, const QString& host, quint16 port, double timeout, long tag)
{
    QHostAddress address;
    if (address.setAddress(host)) {
        sendData(data, address, port, timeout, tag);
        return;
    }
    post([this, data, host, port, tag] {
        const QHostInfo info = QHostInfo::fromName(host);
        if (info.addresses().isEmpty()) {
            delegate_->udpSocketDidNotSendDataWithTag(this, tag, QStringLiteral("Unknown host %1").arg(host));
            return;
        }
        const QHostAddress resolved = info.addresses().constFirst();
        sendNow(data, &resolved, port, tag);
    });
}

void AsyncUdpSocket::sendData(const QByteArray& data, const QHostAddress& address, quint16 port, double, long tag)
{
    post([this, data, address, port, tag] { sendNow(data, &address, port, tag); });
}

void AsyncUdpSocket::sendNow(const QByteArray& data, const QHostAddress* address, quint16 port, long tag)
{
    QString why;
    if (data.size() > kMaxDatagram) {
        why = QStringLiteral("Datagram too large");
    } else if (!address) {
        if (!connected_.load())
            why = QStringLiteral("Socket not connected");
        else if (::send(fd_.load(), data.constData(), size_t(data.size()), MSG_NOSIGNAL) < 0)
            why = errnoText(errno);
    } else if (!ensureSocket(&why)) {
    } else if (connected_.load()) {
        why = QStringLiteral("Cannot send to an explicit address on a connected socket");
    } else {
        const SockAddr to = toSockAddr(*address, port);
        if (::sendto(fd_.load(), data.constData(), size_t(data.size()), MSG_NOSIGNAL, to.get(), to.length) < 0)
            why = errnoText(errno);
    }
    if (why.isEmpty())
        delegate_->udpSocketDidSendDataWithTag(this, tag);
    else
        delegate_->udpSocketDidNotSendDataWithTag(this, tag, why);
}

void AsyncUdpSocket::close()
{
    queue_.sync([this] { closeNow(QString()); });
}

void AsyncUdpSocket::dispose()
{
    // A receive loop on the stack ends on the closed descriptor; the delegate, perhaps already
    // gone, is never called again.
    delegate_ = &noDelegate;
    closeNow(QString());
    deleteLater();
}

void AsyncUdpSocket::closeNow(const QString& error)
{
    if (notifier_) {
        notifier_->setEnabled(false);
        notifier_->deleteLater();
        notifier_ = nullptr;
    }
    receiving_ = false;
    connected_ = false;
    connecting_ = false;
    peerPort_ = 0;
    const int fd = fd_.exchange(-1);
    if (fd < 0)
        return;
    ::close(fd);
    delegate_->udpSocketDidClose(this, error);
}

} // namespace platform::net
