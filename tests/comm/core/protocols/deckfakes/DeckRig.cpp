#include "tests/comm/core/protocols/deckfakes/DeckRig.h"

#include "comm/core/QMNetworkHardwareCommunicator.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/support/WaitUntil.h"

QByteArray PeerLink::receiveUntil(const std::function<bool(const QByteArray&)>& complete, int timeoutMs)
{
    testsupport::waitUntil(
        [&] {
            pending_ += takeAvailable();
            return complete(pending_);
        },
        timeoutMs);
    QByteArray got;
    got.swap(pending_);
    return got;
}

QByteArray PeerLink::receive(qsizetype count, int timeoutMs)
{
    testsupport::waitUntil(
        [&] {
            pending_ += takeAvailable();
            return pending_.size() >= count;
        },
        timeoutMs);
    const QByteArray got = pending_.left(count);
    pending_.remove(0, got.size());
    return got;
}

QByteArray PeerLink::quietFor(int ms)
{
    testsupport::pumpEvents(ms);
    pending_ += takeAvailable();
    QByteArray got;
    got.swap(pending_);
    return got;
}

TcpPeer::TcpPeer(quint16 port)
{
    socket_.connectToHost(QHostAddress::LocalHost, port);
    socket_.waitForConnected(5000);
}

bool TcpPeer::send(const QByteArray& bytes)
{
    const bool ok = socket_.write(bytes) == bytes.size();
    socket_.flush();
    return ok;
}

QByteArray TcpPeer::takeAvailable()
{
    return socket_.readAll();
}

QString TcpPeer::identifier() const
{
    return QStringLiteral("127.0.0.1:%1").arg(socket_.localPort());
}

void TcpPeer::close()
{
    socket_.disconnectFromHost();
}

UdpPeer::UdpPeer(quint16 port) : port_(port)
{
    socket_.bind(QHostAddress::LocalHost, 0);
}

bool UdpPeer::send(const QByteArray& bytes)
{
    return socket_.writeDatagram(bytes, QHostAddress::LocalHost, port_) == bytes.size();
}

QByteArray UdpPeer::takeAvailable()
{
    QByteArray got;
    while (socket_.hasPendingDatagrams()) {
        QByteArray datagram(qsizetype(socket_.pendingDatagramSize()), '\0');
        socket_.readDatagram(datagram.data(), datagram.size());
        got += datagram;
    }
    return got;
}

DeckRig::DeckRig(std::shared_ptr<QMProtocolParser> p, std::uint64_t behavior, bool ownFolder) : parser(std::move(p))
{
    if (ownFolder) {
        folder = std::make_unique<testsupport::TempFolder>();
        platform::UserDefaults::setSharedFilePath(folder->filePath(QStringLiteral("Kalvanto.conf")));
    }
    controller.setCommandInterpreter(interpreter);
    parser->setDelegate(&controller);
    parser->setBehavior(behavior);
}

DeckRig::~DeckRig()
{
    if (communicator)
        communicator->deactivate();
    // Hand-offs already queued for the main thread find the parser gone or idle.
    testsupport::pumpEvents(5);
    parser->setDelegate(nullptr);
}

void DeckRig::attach(std::shared_ptr<QMHardwareCommunicator> c)
{
    communicator = std::move(c);
    parser->setHardwareCommunicator(communicator);
    communicator->setParser(parser);
}

std::shared_ptr<QMTCPNetworkHardwareCommunicator> DeckRig::listenTcp()
{
    auto tcp = std::make_shared<QMTCPNetworkHardwareCommunicator>();
    attach(tcp);
    tcp->setInterfaceString(QStringLiteral("lo"));
    tcp->setPortNum(0);
    tcp->setSocketMode(QMSocketModeListen);
    tcp->activate();
    return tcp;
}

std::shared_ptr<QMUDPNetworkHardwareCommunicator> DeckRig::listenUdp()
{
    auto udp = std::make_shared<QMUDPNetworkHardwareCommunicator>();
    attach(udp);
    udp->setInterfaceString(QStringLiteral("lo"));
    udp->setPortNum(0);
    udp->setSocketMode(QMSocketModeListen);
    udp->activate();
    return udp;
}

std::shared_ptr<QMSerialHardwareCommunicator> DeckRig::openSerial()
{
    pty = std::make_unique<testsupport::PseudoTerminal>(true);
    auto serial = std::make_shared<QMSerialHardwareCommunicator>();
    attach(serial);
    serial->setDevicePath(pty->slavePath());
    serial->activate();
    pty->closeSlave();
    return serial;
}

quint16 DeckRig::port() const
{
    if (auto tcp = std::dynamic_pointer_cast<QMTCPNetworkHardwareCommunicator>(communicator))
        return tcp->localPort();
    if (auto udp = std::dynamic_pointer_cast<QMUDPNetworkHardwareCommunicator>(communicator))
        return udp->localPort();
    return 0;
}

std::unique_ptr<TcpPeer> DeckRig::tcpPeer()
{
    return std::make_unique<TcpPeer>(port());
}

std::unique_ptr<UdpPeer> DeckRig::udpPeer()
{
    return std::make_unique<UdpPeer>(port());
}

std::unique_ptr<PtyPeer> DeckRig::ptyPeer()
{
    return std::make_unique<PtyPeer>(*pty);
}
