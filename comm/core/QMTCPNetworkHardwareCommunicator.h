#pragma once
// A TCP client or server. Every socket of the communicator lives on its own delegate queue, and
// every parser callback runs there. Reads are asked for by the parser one frame at a time with
// the framing it declares; each accepted connection is named "host:port" and the parser answers
// on it by that name. Delimiter reads are capped, so a peer that never sends the delimiter is
// disconnected instead of growing memory.
#include "comm/core/QMNetworkHardwareCommunicator.h"
#include "platform/net/AsyncTcpSocket.h"
#include "platform/net/DelegateQueue.h"

#include <functional>
#include <map>
#include <memory>

class QMTCPNetworkProtocolParser;

class QMTCPNetworkHardwareCommunicator : public QMNetworkHardwareCommunicator,
                                         private platform::net::AsyncTcpSocketDelegate {
    Q_OBJECT
public:
    // Read tags.
    static constexpr long kHeaderTag = 1;
    static constexpr long kPayloadTag = 2;
    static constexpr long kWriteTag = 0;
    static constexpr double kConnectTimeout = 5.0;
    // Accepted connections beyond this many open ones are closed at once: each holds a
    // descriptor and buffers. Connections whose peer has already gone do not count.
    static constexpr int kMaxAcceptedConnections = 256;

    QMTCPNetworkHardwareCommunicator();
    ~QMTCPNetworkHardwareCommunicator() override;

    static const QMHardwareCommunicatorClass& tcpClass();
    static std::shared_ptr<QMHardwareCommunicator> fromXML(const platform::XmlElement& element);
    void readConnectionProperties(const platform::XmlElement& element) override;

    const QMHardwareCommunicatorClass& communicatorClass() const override { return tcpClass(); }
    std::optional<platform::XmlElement> serializedConnectionProperties() const override;
    QString activeStateLabel() const override;
    void activate() override;
    void deactivate() override;

    std::shared_ptr<QMTCPNetworkProtocolParser> TCPParser() const;

    bool connectToHost(const QString& host, std::uint64_t port, const QString& interfaceName);
    bool acceptOnInterface(const QString& interfaceName, quint16 port);
    void disconnect();

    // On the delegate queue (the parser's callbacks run there).
    QString identifierForSocket(platform::net::AsyncTcpSocket* socket) const;
    platform::net::AsyncTcpSocket* socketForIdentifier(const QString& identifier) const;
    void readHeaderFromSocket(platform::net::AsyncTcpSocket* socket, double timeout);
    void readPayloadFromSocket(platform::net::AsyncTcpSocket* socket, double timeout);

    // From any thread; carried out on the delegate queue in call order (at once when called on
    // it, as the parser does from its read callbacks). A null identifier names
    // the communicator's own socket; an unknown one reads and writes nowhere.
    void readHeaderOnConnection(const QString& identifier, double timeout);
    void readPayloadOnConnection(const QString& identifier, double timeout);
    void readPayloadOfLength(std::uint64_t length, const QString& identifier, double timeout);
    void readWithTimeout(double timeout);
    void writeData(const QByteArray& data, const QString& identifier, double timeout);
    void writeData(const QByteArray& data, double timeout);

    std::int64_t socketMode() const { return socketMode_.load(); }
    void setSocketMode(std::int64_t mode) { socketMode_.store(mode); }

    // Setup: the modes the parser allows, in menu order, and what the view does before it shows.
    QList<std::int64_t> offeredSocketModes() const;
    void prepareSetup();
    void actionMenuItemAction(std::int64_t mode);
    void goButtonAction() { activate(); }

    // The bound port while listening (useful with port 0).
    quint16 localPort() const;
    int connectionCount() const { return connectionCount_.load(); }
    platform::net::DelegateQueue& delegateQueue() { return *queue_; }

private:
    void socketDidAcceptNewSocket(platform::net::AsyncTcpSocket* listener, platform::net::AsyncTcpSocket* newSocket) override;
    void socketDidConnectToHost(platform::net::AsyncTcpSocket* socket, const QString& host, quint16 port) override;
    void socketDidReadData(platform::net::AsyncTcpSocket* socket, const QByteArray& data, long tag) override;
    double socketShouldTimeoutReadWithTag(platform::net::AsyncTcpSocket* socket, long tag, double elapsed, qsizetype done) override;
    double socketShouldTimeoutWriteWithTag(platform::net::AsyncTcpSocket* socket, long tag, double elapsed, qsizetype done) override;
    void socketDidDisconnect(platform::net::AsyncTcpSocket* socket, const QString& error) override;
    void framedRead(platform::net::AsyncTcpSocket* socket, double timeout, bool header);
    // Accepted connections whose peer is still there (queue only).
    int openConnectionCount() const;
    void onQueue(std::function<void()> fn);

    std::unique_ptr<platform::net::DelegateQueue> queue_;
    platform::net::AsyncTcpSocket* socket_ = nullptr; // lives on the queue
    std::map<QString, platform::net::AsyncTcpSocket*> connectedSockets_; // queue only
    std::atomic<int> connectionCount_{0};
    std::atomic<std::int64_t> socketMode_{0};
};
