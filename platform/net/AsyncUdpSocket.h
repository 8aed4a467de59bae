#pragma once
// A UDP socket whose receiving and callbacks run on one DelegateQueue: bind on an interface and
// port, connect to a peer, receive continuously with the sender's address and an optional
// filter, join a multicast group on an interface, broadcast, send and send-to. Binding, joining
// and enabling broadcast happen before the call returns, so their failures are answered at once.
// Every public call is safe from any thread.
#include "platform/net/DelegateQueue.h"

#include <QByteArray>
#include <QHostAddress>
#include <mutex>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <vector>

class QSocketNotifier;

namespace platform::net {

class AsyncUdpSocket;

// Called on the socket's queue.
class AsyncUdpSocketDelegate {
public:
    virtual ~AsyncUdpSocketDelegate() = default;
    virtual void udpSocketDidConnectToAddress(AsyncUdpSocket* socket, const QHostAddress& address, quint16 port);
    virtual void udpSocketDidNotConnect(AsyncUdpSocket* socket, const QString& error);
    virtual void udpSocketDidSendDataWithTag(AsyncUdpSocket* socket, long tag);
    virtual void udpSocketDidNotSendDataWithTag(AsyncUdpSocket* socket, long tag, const QString& error);
    virtual void udpSocketDidReceiveData(AsyncUdpSocket* socket, const QByteArray& data, const QHostAddress& from, quint16 port) = 0;
    virtual void udpSocketDidClose(AsyncUdpSocket* socket, const QString& error);
};

class AsyncUdpSocket : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxDatagram = 65536;
    // Datagrams taken per wake-up before the queue serves its other work.
    static constexpr int kReceiveBurst = 64;

    // Answers false to drop the datagram before it reaches the delegate. Runs on the queue.
    using ReceiveFilter = std::function<bool(const QByteArray& data, const QHostAddress& from, quint16 port)>;

    AsyncUdpSocket(DelegateQueue& queue, AsyncUdpSocketDelegate* delegate);
    ~AsyncUdpSocket() override;

    // Binds to the interface (name or address; empty = any IPv4) and port (0 = ephemeral).
    bool bindToPort(quint16 port, const QString& interfaceName, bool reuseAddress, QString* error);
    // Resolves and connects on the queue; the result comes as udpSocketDidConnectToAddress or
    // udpSocketDidNotConnect. Answers false when a connection was already made or asked for.
    bool connectToHost(const QString& host, quint16 port, QString* error);
    bool beginReceiving(QString* error);
    void pauseReceiving();
    void setReceiveFilter(ReceiveFilter filter);
    // Joins the IPv4 group on the interface and sends multicast out of it.
    bool joinMulticastGroup(const QString& group, const QString& interfaceName, QString* error);
    bool enableBroadcast(bool enable, QString* error);

    void sendData(const QByteArray& data, double timeout, long tag);
    void sendData(const QByteArray& data, const QString& host, quint16 port, double timeout, long tag);
    void sendData(const QByteArray& data, const QHostAddress& address, quint16 port, double timeout, long tag);

    // Closes (waits for the queue when called from another thread); udpSocketDidClose follows
    // when the socket was open.
    void close();
    // On the queue: closes without a callback, calls its delegate no more and deletes itself once
    // the callback on the stack (if any) has returned, or with its thread. Safe from inside one of
    // its own callbacks, where a delete is not.
    void dispose();

    bool isConnected() const { return connected_.load(); }
    bool isClosed() const { return fd_.load() < 0; }
    quint16 localPort() const { return localPort_.load(); }
    QHostAddress connectedAddress() const;
    quint16 connectedPort() const { return peerPort_.load(); }

private:
    bool ensureSocket(QString* error);
    void post(std::function<void()> fn);
    void startConnect(const QString& host, quint16 port);
    void startNotifier();
    void onReadable();
    void sendNow(const QByteArray& data, const QHostAddress* address, quint16 port, long tag);
    void closeNow(const QString& error);

    DelegateQueue& queue_;
    AsyncUdpSocketDelegate* delegate_;
    std::atomic<int> fd_{-1};
    std::atomic<bool> connected_{false};
    std::atomic<bool> connecting_{false};
    std::atomic<bool> receiving_{false};
    std::atomic<quint16> localPort_{0};
    std::atomic<quint16> peerPort_{0};
    mutable std::mutex mutex_; // peer address and filter
    QHostAddress peerAddress_;
    ReceiveFilter filter_;
    QSocketNotifier* notifier_ = nullptr;
    std::vector<char> receiveBuffer_;
};

} // namespace platform::net
