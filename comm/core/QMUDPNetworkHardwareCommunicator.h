#pragma once
// A UDP communicator: connects to a peer, listens on an interface and port, joins a multicast
// group to send to it (reading what the group carries, its own datagrams included), or broadcasts. Its socket lives on its own delegate queue, where every
// parser callback runs. In listen mode it answers the sender of the last datagram received.
#include "comm/core/QMNetworkHardwareCommunicator.h"
#include "platform/net/AsyncUdpSocket.h"
#include "platform/net/DelegateQueue.h"

#include <QHostAddress>

#include <memory>

class QMUDPNetworkProtocolParser;

class QMUDPNetworkHardwareCommunicator : public QMNetworkHardwareCommunicator,
                                         private platform::net::AsyncUdpSocketDelegate {
    Q_OBJECT
public:
    static constexpr long kWriteTag = 0;

    QMUDPNetworkHardwareCommunicator();
    ~QMUDPNetworkHardwareCommunicator() override;

    static const QMHardwareCommunicatorClass& udpClass();
    static std::shared_ptr<QMHardwareCommunicator> fromXML(const platform::XmlElement& element);
    void readConnectionProperties(const platform::XmlElement& element) override;

    const QMHardwareCommunicatorClass& communicatorClass() const override { return udpClass(); }
    std::optional<platform::XmlElement> serializedConnectionProperties() const override;
    QString activeStateLabel() const override;
    void activate() override;
    void deactivate() override;

    std::shared_ptr<QMUDPNetworkProtocolParser> UDPParser() const;

    bool connectToHostAndPort();
    bool listenOnInterfaceAndPort();
    bool joinMulticastGroup();
    bool enableBroadcast();
    void close();
    void writeData(const QByteArray& data, double timeout);

    std::int64_t socketMode() const { return socketMode_.load(); }
    void setSocketMode(std::int64_t mode) { socketMode_.store(mode); }

    QList<std::int64_t> offeredSocketModes() const;
    void prepareSetup();
    void actionMenuItemAction(std::int64_t mode);
    void interfaceMenuItemAction(const QString& name) override;
    void goButtonAction() { activate(); }

    quint16 localPort() const;
    platform::net::DelegateQueue& delegateQueue() { return *queue_; }

private:
    bool bindForMode(bool reuseAddress, const QString& bindInterface);
    void udpSocketDidConnectToAddress(platform::net::AsyncUdpSocket*, const QHostAddress&, quint16) override;
    void udpSocketDidNotConnect(platform::net::AsyncUdpSocket*, const QString& error) override;
    void udpSocketDidReceiveData(platform::net::AsyncUdpSocket*, const QByteArray& data, const QHostAddress& from, quint16 port) override;
    void udpSocketDidNotSendDataWithTag(platform::net::AsyncUdpSocket*, long tag, const QString& error) override;
    void udpSocketDidClose(platform::net::AsyncUdpSocket*, const QString& error) override;

    std::unique_ptr<platform::net::DelegateQueue> queue_;
    platform::net::AsyncUdpSocket* socket_ = nullptr; // lives on the queue
    std::atomic<std::int64_t> socketMode_{0};
    mutable std::mutex senderMutex_;
    QHostAddress lastSender_;
    quint16 lastSenderPort_ = 0;
};
