#include "comm/core/QMTCPNetworkHardwareCommunicator.h"

#include "comm/core/QMCommLog.h"
#include "comm/core/QMParserProtocols.h"
#include "comm/core/QMProtocolParser.h"
#include "platform/foundation/StringValue.h"

#include <algorithm>

using platform::net::AsyncTcpSocket;

namespace {

class TcpClass final : public QMHardwareCommunicatorClassOf<QMTCPNetworkHardwareCommunicator> {
public:
    TcpClass() : QMHardwareCommunicatorClassOf(QStringLiteral("QMTCPNetworkHardwareCommunicator")) {}
    QString hardwareTypeName() const override { return QStringLiteral("Network (TCP)"); }
    QString setupViewNibName() const override { return QStringLiteral("QMNetworkConfigurationTCP"); }
    QList<QVariantMap> availableInterfaces() const override { return QMNetworkHardwareCommunicator::networkClass().availableInterfaces(); }
};

} // namespace

const QMHardwareCommunicatorClass& QMTCPNetworkHardwareCommunicator::tcpClass()
{
    static const TcpClass instance;
    return instance;
}

QMTCPNetworkHardwareCommunicator::QMTCPNetworkHardwareCommunicator()
    : queue_(std::make_unique<platform::net::DelegateQueue>(
        QStringLiteral("com.quenmark.CommunicationsModule.QMNetworkTCPClientHardwareCommunicator.delegateQueue")))
{
    socket_ = new AsyncTcpSocket(*queue_, this);
}

QMTCPNetworkHardwareCommunicator::~QMTCPNetworkHardwareCommunicator()
{
    // Sockets go on their own thread; no callback reaches this object afterwards. The last owner
    // may let go inside one of their callbacks, so they dispose of themselves.
    queue_->shutdown([this] {
        for (auto& entry : connectedSockets_)
            entry.second->dispose();
        connectedSockets_.clear();
        socket_->dispose();
        socket_ = nullptr;
    });
}

std::shared_ptr<QMHardwareCommunicator> QMTCPNetworkHardwareCommunicator::fromXML(const platform::XmlElement& element)
{
    auto communicator = std::make_shared<QMTCPNetworkHardwareCommunicator>();
    communicator->readConnectionProperties(element);
    return communicator;
}

void QMTCPNetworkHardwareCommunicator::readConnectionProperties(const platform::XmlElement& element)
{
    readNetworkAttributes(element);
    setSocketMode(platform::integerValue(element.attribute(QStringLiteral("mode"))));
    updateDisplayName();
}

std::optional<platform::XmlElement> QMTCPNetworkHardwareCommunicator::serializedConnectionProperties() const
{
    auto element = QMNetworkHardwareCommunicator::serializedConnectionProperties();
    element->setAttribute(QStringLiteral("mode"), QString::number(socketMode()));
    return element;
}

std::shared_ptr<QMTCPNetworkProtocolParser> QMTCPNetworkHardwareCommunicator::TCPParser() const
{
    return parserAs<QMTCPNetworkProtocolParser>();
}

QString QMTCPNetworkHardwareCommunicator::activeStateLabel() const
{
    if (!isActive())
        return QStringLiteral("Not Connected");
    if (socketMode() == QMSocketModeListen && connectionCount() == 0)
        return QStringLiteral("Listening");
    return QStringLiteral("Connected");
}

void QMTCPNetworkHardwareCommunicator::activate()
{
    if (isActive())
        return;
    const std::int64_t mode = socketMode();
    if (mode != QMSocketModeConnect && mode != QMSocketModeListen) {
        // Nothing is opened: showing the link active would report a failure as a success.
        const QString reason = QStringLiteral("Unknown action %1").arg(mode);
        qmcomm::logError(reason);
        setFailureReason(reason);
        return;
    }
    // Marked active before the attempt starts. A refusal reaches us from the delegate queue,
    // through work the attempt posts there, so its "inactive" always comes after this, whichever
    // thread runs first. A set-up that cannot even start is undone here.
    setActive(true);
    bool started = false;
    if (mode == QMSocketModeConnect) {
        started = connectToHost(hostname(), portNum(), interfaceString());
    } else {
        quint16 port = 0;
        if (validPort(portNum(), &port))
            started = acceptOnInterface(interfaceString(), port);
        else
            setFailureReason(QStringLiteral("port %1 is out of range").arg(portNum()));
    }
    if (!started)
        setActive(false);
}

bool QMTCPNetworkHardwareCommunicator::connectToHost(const QString& host, std::uint64_t port, const QString& interfaceName)
{
    QString error;
    quint16 p = 0;
    if (validPort(port, &p) && socket_->connectToHost(host, p, interfaceName, kConnectTimeout, &error))
        return true;
    qmcomm::logError(QStringLiteral("socket failed to connect to host %1 port %2 on interface %3\nerror:%4")
                         .arg(host).arg(port).arg(interfaceName, error));
    setFailureReason(error.isEmpty() ? QStringLiteral("port %1 is out of range").arg(port) : error);
    return false;
}

bool QMTCPNetworkHardwareCommunicator::acceptOnInterface(const QString& interfaceName, quint16 port)
{
    QString error;
    if (!socket_->acceptOnInterface(interfaceName, port, &error)) {
        qmcomm::logError(QStringLiteral("socket failed to accept to interface %1 port %2\nerror:%3").arg(interfaceName).arg(port).arg(error));
        setFailureReason(error);
        return false;
    }
    qmcomm::log(QStringLiteral("listening on port %1").arg(socket_->localPort()));
    if (const auto tcp = TCPParser())
        tcp->networkHardwareDidStartAccepting(this);
    return true;
}

void QMTCPNetworkHardwareCommunicator::disconnect()
{
    queue_->sync([this] {
        // Dropped connections close without a connectionClosed each: they are no longer stored.
        std::map<QString, AsyncTcpSocket*> accepted;
        accepted.swap(connectedSockets_);
        connectionCount_ = 0;
        for (auto& entry : accepted) {
            entry.second->disconnect();
            entry.second->deleteLater();
        }
        socket_->disconnect();
    });
    if (const auto tcp = TCPParser())
        tcp->networkHardwareDidDisconnect(this);
}

void QMTCPNetworkHardwareCommunicator::deactivate()
{
    if (!isActive())
        return;
    disconnect();
    setActive(false);
}

quint16 QMTCPNetworkHardwareCommunicator::localPort() const
{
    return socket_->localPort();
}

QString QMTCPNetworkHardwareCommunicator::identifierForSocket(AsyncTcpSocket* socket) const
{
    if (socket == socket_)
        return QString();
    if (socket->isConnected())
        return socket->connectedHost() + QLatin1Char(':') + QString::number(socket->connectedPort());
    for (const auto& entry : connectedSockets_) {
        if (entry.second == socket)
            return entry.first;
    }
    return QStringLiteral("");
}

AsyncTcpSocket* QMTCPNetworkHardwareCommunicator::socketForIdentifier(const QString& identifier) const
{
    if (identifier.isNull())
        return socket_;
    const auto it = connectedSockets_.find(identifier);
    return it == connectedSockets_.end() ? nullptr : it->second;
}

void QMTCPNetworkHardwareCommunicator::framedRead(AsyncTcpSocket* socket, double timeout, bool header)
{
    const long tag = header ? kHeaderTag : kPayloadTag;
    QByteArray delimiter;
    std::uint64_t length = 0;
    if (const auto tcp = TCPParser()) {
        const QMTCPFraming framing = tcp->networkFramingForNetworkHardware(this);
        delimiter = header ? framing.headerDelimiter : framing.payloadDelimiter;
        length = header ? framing.headerLength : framing.payloadLength;
    }
    if (!delimiter.isEmpty())
        socket->readDataToData(delimiter, timeout, tag);
    else if (length > 0)
        socket->readDataToLength(qsizetype(length), timeout, tag);
    else
        socket->readData(timeout, tag);
}

void QMTCPNetworkHardwareCommunicator::readHeaderFromSocket(AsyncTcpSocket* socket, double timeout)
{
    if (socket)
        framedRead(socket, timeout, true);
}

void QMTCPNetworkHardwareCommunicator::readPayloadFromSocket(AsyncTcpSocket* socket, double timeout)
{
    if (socket)
        framedRead(socket, timeout, false);
}

void QMTCPNetworkHardwareCommunicator::onQueue(std::function<void()> fn)
{
    // The parser asks for its next read from inside a read callback: carried out there and then,
    // which keeps the call order and saves a turn of the queue per frame.
    if (queue_->isCurrent())
        fn();
    else
        queue_->async(std::move(fn));
}

void QMTCPNetworkHardwareCommunicator::readHeaderOnConnection(const QString& identifier, double timeout)
{
    onQueue([this, identifier, timeout] { readHeaderFromSocket(socketForIdentifier(identifier), timeout); });
}

void QMTCPNetworkHardwareCommunicator::readPayloadOnConnection(const QString& identifier, double timeout)
{
    onQueue([this, identifier, timeout] { readPayloadFromSocket(socketForIdentifier(identifier), timeout); });
}

void QMTCPNetworkHardwareCommunicator::readPayloadOfLength(std::uint64_t length, const QString& identifier, double timeout)
{
    onQueue([this, length, identifier, timeout] {
        if (AsyncTcpSocket* socket = socketForIdentifier(identifier))
            socket->readDataToLength(qsizetype(length), timeout, kPayloadTag);
    });
}

void QMTCPNetworkHardwareCommunicator::readWithTimeout(double timeout)
{
    readPayloadOnConnection(QString(), timeout);
}

void QMTCPNetworkHardwareCommunicator::writeData(const QByteArray& data, const QString& identifier, double timeout)
{
    qmcomm::traceBytes(">>>>", data);
    onQueue([this, data, identifier, timeout] {
        if (AsyncTcpSocket* socket = socketForIdentifier(identifier))
            socket->writeData(data, timeout, kWriteTag);
    });
}

void QMTCPNetworkHardwareCommunicator::writeData(const QByteArray& data, double timeout)
{
    writeData(data, QString(), timeout);
}

void QMTCPNetworkHardwareCommunicator::socketDidAcceptNewSocket(AsyncTcpSocket*, AsyncTcpSocket* newSocket)
{
    const QString identifier = identifierForSocket(newSocket);
    const bool full = int(connectedSockets_.size()) >= kMaxAcceptedConnections && openConnectionCount() >= kMaxAcceptedConnections;
    if (full || connectedSockets_.count(identifier)) {
        qmcomm::logError(QStringLiteral("refusing connection %1: %2 connections are open").arg(identifier).arg(openConnectionCount()));
        newSocket->disconnect();
        newSocket->deleteLater();
        return;
    }
    connectedSockets_.emplace(identifier, newSocket);
    connectionCount_ = int(connectedSockets_.size());
    if (const auto tcp = TCPParser())
        tcp->networkHardwareAcceptedNewConnection(this, identifier);
    announceActiveStateLabel();
}

int QMTCPNetworkHardwareCommunicator::openConnectionCount() const
{
    // Connections closed by their peers stay stored until the queue has read up to the close,
    // which a burst of accepts can put off: they hold no peer, so they do not count.
    return int(std::count_if(connectedSockets_.begin(), connectedSockets_.end(), [](const auto& entry) { return !entry.second->peerHasClosed(); }));
}

void QMTCPNetworkHardwareCommunicator::socketDidConnectToHost(AsyncTcpSocket*, const QString&, quint16)
{
    if (const auto tcp = TCPParser())
        tcp->networkHardwareDidConnect(this);
    announceActiveStateLabel();
}

void QMTCPNetworkHardwareCommunicator::socketDidReadData(AsyncTcpSocket* socket, const QByteArray& data, long tag)
{
    qmcomm::traceBytes("<<<<", data);
    const auto tcp = TCPParser();
    if (!tcp)
        return;
    const QString identifier = identifierForSocket(socket);
    if (tag == kHeaderTag)
        tcp->networkHardwareReadHeaderFromConnection(this, data, identifier);
    else
        tcp->networkHardwareReadDataFromConnection(this, data, identifier);
}

double QMTCPNetworkHardwareCommunicator::socketShouldTimeoutReadWithTag(AsyncTcpSocket* socket, long, double, qsizetype)
{
    const auto tcp = TCPParser();
    const auto extension = tcp ? tcp->networkHardwareReadShouldTimeoutFromConnection(this, identifierForSocket(socket)) : std::nullopt;
    return extension.value_or(-1.0);
}

double QMTCPNetworkHardwareCommunicator::socketShouldTimeoutWriteWithTag(AsyncTcpSocket* socket, long, double, qsizetype)
{
    const auto tcp = TCPParser();
    const auto extension = tcp ? tcp->networkHardwareWriteShouldTimeoutFromConnection(this, identifierForSocket(socket)) : std::nullopt;
    return extension.value_or(-1.0);
}

void QMTCPNetworkHardwareCommunicator::socketDidDisconnect(AsyncTcpSocket* socket, const QString& error)
{
    const QString identifier = identifierForSocket(socket);
    const QString shown = identifier.isNull() ? QStringLiteral("(null)") : identifier;
    if (error.isEmpty())
        qmcomm::log(QStringLiteral("disconnected %1").arg(shown));
    else
        qmcomm::log(QStringLiteral("disconnected %1 with error %2").arg(shown, error));
    if (!identifier.isEmpty()) {
        connectedSockets_.erase(identifier);
        connectionCount_ = int(connectedSockets_.size());
        socket->deleteLater();
        if (const auto tcp = TCPParser())
            tcp->networkHardwareConnectionClosed(this, identifier);
    } else if (socket == socket_) {
        if (!error.isEmpty())
            setFailureReason(error);
        setActive(false);
    }
    announceActiveStateLabel();
}

QList<std::int64_t> QMTCPNetworkHardwareCommunicator::offeredSocketModes() const
{
    QList<std::int64_t> modes{QMSocketModeConnect, QMSocketModeListen};
    auto* self = const_cast<QMTCPNetworkHardwareCommunicator*>(this);
    if (const auto tcp = TCPParser()) {
        if (tcp->allowTCPSocketConnectToForNetworkHardware(self) == false)
            modes.removeAll(QMSocketModeConnect);
        if (tcp->allowTCPSocketAcceptFromForNetworkHardware(self) == false)
            modes.removeAll(QMSocketModeListen);
    }
    return modes;
}

void QMTCPNetworkHardwareCommunicator::prepareSetup()
{
    const auto tcp = TCPParser();
    if (tcp && portNum() == 0) {
        if (const auto port = tcp->preferredTCPPortForNetworkHardware(this))
            setPortNum(*port);
    }
    if (tcp && socketMode() == 0) {
        if (tcp->allowTCPSocketConnectToForNetworkHardware(this) == false)
            setSocketMode(QMSocketModeListen);
        else if (tcp->allowTCPSocketAcceptFromForNetworkHardware(this) == false)
            setSocketMode(QMSocketModeConnect);
    }
    const QList<std::int64_t> modes = offeredSocketModes();
    if (modes.size() == 1 && socketMode() == 0)
        setSocketMode(modes.first());
}

void QMTCPNetworkHardwareCommunicator::actionMenuItemAction(std::int64_t mode)
{
    setSocketMode(mode);
    if (mode == QMSocketModeListen)
        setHostname(QString());
}
