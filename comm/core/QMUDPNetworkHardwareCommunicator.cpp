#include "comm/core/QMUDPNetworkHardwareCommunicator.h"

#include "comm/core/QMCommLog.h"
#include "comm/core/QMParserProtocols.h"
#include "comm/core/QMProtocolParser.h"
#include "platform/foundation/StringValue.h"

using platform::net::AsyncUdpSocket;

namespace {

class UdpClass final : public QMHardwareCommunicatorClassOf<QMUDPNetworkHardwareCommunicator> {
public:
    UdpClass() : QMHardwareCommunicatorClassOf(QStringLiteral("QMUDPNetworkHardwareCommunicator")) {}
    QString hardwareTypeName() const override { return QStringLiteral("Network (UDP)"); }
    QString setupViewNibName() const override { return QStringLiteral("QMNetworkConfigurationUDP"); }
    QList<QVariantMap> availableInterfaces() const override { return QMNetworkHardwareCommunicator::networkClass().availableInterfaces(); }
};

} // namespace

const QMHardwareCommunicatorClass& QMUDPNetworkHardwareCommunicator::udpClass()
{
    static const UdpClass instance;
    return instance;
}

QMUDPNetworkHardwareCommunicator::QMUDPNetworkHardwareCommunicator()
    : queue_(std::make_unique<platform::net::DelegateQueue>(
        QStringLiteral("com.quenmark.CommunicationsModule.QMNetworkUDPClientHardwareCommunicator.delegateQueue")))
{
    socket_ = new AsyncUdpSocket(*queue_, this);
}

QMUDPNetworkHardwareCommunicator::~QMUDPNetworkHardwareCommunicator()
{
    // The last owner may let go inside a callback of the socket: it disposes of itself.
    queue_->shutdown([this] {
        socket_->dispose();
        socket_ = nullptr;
    });
}

std::shared_ptr<QMHardwareCommunicator> QMUDPNetworkHardwareCommunicator::fromXML(const platform::XmlElement& element)
{
    auto communicator = std::make_shared<QMUDPNetworkHardwareCommunicator>();
    communicator->readConnectionProperties(element);
    return communicator;
}

void QMUDPNetworkHardwareCommunicator::readConnectionProperties(const platform::XmlElement& element)
{
    readNetworkAttributes(element);
    if (element.name() == udpClass().className()) {
        setSocketMode(platform::integerValue(element.attribute(QStringLiteral("mode"))));
        updateDisplayName();
    }
}

std::optional<platform::XmlElement> QMUDPNetworkHardwareCommunicator::serializedConnectionProperties() const
{
    auto element = QMNetworkHardwareCommunicator::serializedConnectionProperties();
    if (socketMode() == QMSocketModeListen)
        element->removeAttribute(QStringLiteral("address"));
    element->setAttribute(QStringLiteral("mode"), QString::number(socketMode()));
    return element;
}

std::shared_ptr<QMUDPNetworkProtocolParser> QMUDPNetworkHardwareCommunicator::UDPParser() const
{
    return parserAs<QMUDPNetworkProtocolParser>();
}

QString QMUDPNetworkHardwareCommunicator::activeStateLabel() const
{
    if (!isActive())
        return QStringLiteral("Not Connected");
    const std::int64_t mode = socketMode();
    if (mode == QMSocketModeListen || mode == QMSocketModeMulticastListen)
        return socket_->isConnected() ? QStringLiteral("Connected") : QStringLiteral("Listening");
    if (mode == QMSocketModeBroadcast)
        return QStringLiteral("Broadcast");
    return QStringLiteral("Connected");
}

void QMUDPNetworkHardwareCommunicator::activate()
{
    if (isActive())
        return;
    const std::int64_t mode = socketMode();
    if (qmcomm::debugEnabled())
        qmcomm::log(QStringLiteral("activating socketMode:%1 host:%2 port:%3 interface:%4").arg(mode).arg(hostname()).arg(portNum()).arg(interfaceString()));
    switch (mode) {
    case QMSocketModeConnect: connectToHostAndPort(); break;
    case QMSocketModeListen: listenOnInterfaceAndPort(); break;
    case QMSocketModeMulticastListen: joinMulticastGroup(); break;
    case QMSocketModeBroadcast: enableBroadcast(); break;
    default:
        qmcomm::logError(QStringLiteral("Unknown socket mode %1").arg(mode));
        setFailureReason(QStringLiteral("Unknown socket mode %1").arg(mode));
        break;
    }
}

bool QMUDPNetworkHardwareCommunicator::connectToHostAndPort()
{
    QString error;
    quint16 port = 0;
    if (!validPort(portNum(), &port) || !socket_->connectToHost(hostname(), port, &error)) {
        qmcomm::logError(QStringLiteral("socket failed to connect to host %1 port %2\nerror:%3").arg(hostname()).arg(portNum()).arg(error));
        setFailureReason(error);
        return false;
    }
    setActive(true);
    return true;
}

bool QMUDPNetworkHardwareCommunicator::bindForMode(bool reuseAddress, const QString& bindInterface)
{
    QString error;
    quint16 port = 0;
    if (!validPort(portNum(), &port) || !socket_->bindToPort(port, bindInterface, reuseAddress, &error)) {
        qmcomm::logError(QStringLiteral("socket failed to bind on interface %1 to port %2\nerror:%3").arg(interfaceString()).arg(portNum()).arg(error));
        setFailureReason(error);
        return false;
    }
    return true;
}

bool QMUDPNetworkHardwareCommunicator::listenOnInterfaceAndPort()
{
    if (!bindForMode(false, interfaceString()))
        return false;
    QString error;
    if (!socket_->beginReceiving(&error)) {
        qmcomm::logError(QStringLiteral("failed to begin receiving %1").arg(error));
        setFailureReason(error);
        socket_->close();
        return false;
    }
    setActive(true);
    return true;
}

bool QMUDPNetworkHardwareCommunicator::joinMulticastGroup()
{
    // Several receivers of a group share its port. Bound to no address of its own: a socket bound
    // to the interface's address would never be handed the group's datagrams; the interface
    // is named where the group is joined, and announcements leave through it.
    if (!bindForMode(true, QString()))
        return false;
    QString error;
    if (!socket_->joinMulticastGroup(hostname(), interfaceString(), &error)) {
        qmcomm::logError(QStringLiteral("socket failed to join multicast group %1 to interface %2\nerror:%3").arg(hostname(), interfaceString(), error));
        setFailureReason(error);
        socket_->close();
        return false;
    }
    // A member of the group is sent everything the group hears, this socket's own datagrams
    // included: they are read and handed to the parser (which may ignore them) rather than left
    // to fill the socket's buffer.
    if (!socket_->beginReceiving(&error)) {
        qmcomm::logError(QStringLiteral("failed to begin receiving %1").arg(error));
        setFailureReason(error);
        socket_->close();
        return false;
    }
    setActive(true);
    return true;
}

bool QMUDPNetworkHardwareCommunicator::enableBroadcast()
{
    QString error;
    if (!socket_->enableBroadcast(true, &error)) {
        qmcomm::logError(QStringLiteral("failed to enable broadcast %1").arg(error));
        setFailureReason(error);
        return false;
    }
    setActive(true);
    return true;
}

void QMUDPNetworkHardwareCommunicator::close()
{
    socket_->close();
}

void QMUDPNetworkHardwareCommunicator::deactivate()
{
    if (!isActive())
        return;
    close();
    setActive(false);
}

quint16 QMUDPNetworkHardwareCommunicator::localPort() const
{
    return socket_->localPort();
}

void QMUDPNetworkHardwareCommunicator::writeData(const QByteArray& data, double timeout)
{
    const std::int64_t mode = socketMode();
    if (mode == QMSocketModeConnect) {
        socket_->sendData(data, timeout, kWriteTag);
    } else if (mode == QMSocketModeListen) {
        // A listening socket is not connected: answer whoever sent the last datagram.
        QHostAddress to;
        quint16 port = 0;
        {
            std::unique_lock lock(senderMutex_);
            to = lastSender_;
            port = lastSenderPort_;
        }
        if (to.isNull())
            qmcomm::logError(QStringLiteral("no datagram received yet: nobody to answer"));
        else
            socket_->sendData(data, to, port, timeout, kWriteTag);
    } else if (mode == QMSocketModeMulticastListen || mode == QMSocketModeBroadcast) {
        quint16 port = 0;
        if (validPort(portNum(), &port))
            socket_->sendData(data, hostname(), port, timeout, kWriteTag);
    }
    qmcomm::traceBytes(">>>>", data);
}

void QMUDPNetworkHardwareCommunicator::udpSocketDidConnectToAddress(AsyncUdpSocket*, const QHostAddress&, quint16)
{
    setActive(true);
    announceActiveStateLabel();
    if (const auto udp = UDPParser())
        udp->udpDidConnectForNetworkHardware(this);
}

void QMUDPNetworkHardwareCommunicator::udpSocketDidNotConnect(AsyncUdpSocket*, const QString& error)
{
    qmcomm::logError(QStringLiteral("socket failed to connect to host %1 port %2\nerror:%3").arg(hostname()).arg(portNum()).arg(error));
    setFailureReason(error);
    setActive(false);
    announceActiveStateLabel();
    if (const auto udp = UDPParser())
        udp->udpDidDisconnectForNetworkHardware(this);
}

void QMUDPNetworkHardwareCommunicator::udpSocketDidReceiveData(AsyncUdpSocket*, const QByteArray& data, const QHostAddress& from, quint16 port)
{
    {
        std::unique_lock lock(senderMutex_);
        lastSender_ = from;
        lastSenderPort_ = port;
    }
    qmcomm::traceBytes("<<<<", data);
    if (const auto udp = UDPParser())
        udp->networkHardwareReadData(this, data);
}

void QMUDPNetworkHardwareCommunicator::udpSocketDidNotSendDataWithTag(AsyncUdpSocket*, long, const QString& error)
{
    qmcomm::logError(QStringLiteral("UDP send failed: %1").arg(error));
}

void QMUDPNetworkHardwareCommunicator::udpSocketDidClose(AsyncUdpSocket*, const QString& error)
{
    qmcomm::log(QStringLiteral("UDP disconnected %1").arg(error.isEmpty() ? displayName() : error));
    {
        std::unique_lock lock(senderMutex_);
        lastSender_.clear();
        lastSenderPort_ = 0;
    }
    setActive(false);
    announceActiveStateLabel();
    if (const auto udp = UDPParser())
        udp->udpDidDisconnectForNetworkHardware(this);
}

QList<std::int64_t> QMUDPNetworkHardwareCommunicator::offeredSocketModes() const
{
    QList<std::int64_t> modes{QMSocketModeConnect, QMSocketModeListen, QMSocketModeMulticastListen, QMSocketModeBroadcast};
    auto* self = const_cast<QMUDPNetworkHardwareCommunicator*>(this);
    if (const auto udp = UDPParser()) {
        if (udp->allowUDPSocketConnectForNetworkHardware(self) == false)
            modes.removeAll(QMSocketModeConnect);
        if (udp->allowUDPSocketListenForNetworkHardware(self) == false)
            modes.removeAll(QMSocketModeListen);
        if (udp->allowUDPSocketMulticastListenForNetworkHardware(self) == false)
            modes.removeAll(QMSocketModeMulticastListen);
        if (udp->allowUDPSocketBroadcastForNetworkHardware(self) == false)
            modes.removeAll(QMSocketModeBroadcast);
    }
    return modes;
}

void QMUDPNetworkHardwareCommunicator::prepareSetup()
{
    const auto udp = UDPParser();
    if (udp && portNum() == 0) {
        if (const auto port = udp->preferredUDPPortForNetworkHardware(this))
            setPortNum(*port);
    }
    const QList<std::int64_t> modes = offeredSocketModes();
    std::int64_t mode = socketMode();
    if (modes.size() <= 1)
        mode = modes.isEmpty() ? 0 : modes.first();
    actionMenuItemAction(mode);
}

void QMUDPNetworkHardwareCommunicator::actionMenuItemAction(std::int64_t mode)
{
    setSocketMode(mode);
    if (mode != QMSocketModeListen && mode != QMSocketModeMulticastListen)
        setInterfaceString(QString());
    updateDisplayName();
}

void QMUDPNetworkHardwareCommunicator::interfaceMenuItemAction(const QString& name)
{
    setInterfaceString(name);
    updateDisplayName();
}
