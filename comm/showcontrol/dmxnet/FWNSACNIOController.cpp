#include "comm/showcontrol/dmxnet/FWNSACNIOController.h"

#include "comm/showcontrol/dmxnet/FWNError.h"
#include "comm/showcontrol/dmxnet/FWNSockAddress.h"

using platform::net::AsyncUdpSocket;

namespace {

constexpr long kSendTag = 0;
std::atomic<quint16> sacnPort{FWNSACNIOController::kDefaultPort};

void logError(const QString& message)
{
    fwnmx::log(message, platform::LogLevel::Error);
}

} // namespace

quint16 FWNSACNIOController::port()
{
    return sacnPort.load();
}

void FWNSACNIOController::setPort(quint16 port)
{
    sacnPort.store(port);
}

FWNSACNIOController::FWNSACNIOController(const QString& multicastInterface)
    : multicastInterface_(multicastInterface)
    , sockets_(QStringLiteral("sacn"), this)
{
    sockets_.receiveSocket().setReceiveFilter([this](const QByteArray& data, const QHostAddress&, quint16) {
        if (!FWNSACNPacket::validatePacketData(data)) {
            logError(QStringLiteral("Invalid sACN Packet"));
            return false;
        }
        // A valid draft packet shorter than the packet minimum cannot be read as one.
        if (data.size() < FWNSACNPacket::kMinLength)
            return false;
        if (waiting_.load() >= kMaxWaiting) {
            ++droppedPackets_;
            return false;
        }
        return true;
    });
    setupReceiveSocket();
}

FWNSACNIOController::~FWNSACNIOController()
{
    sockets_.shutdown();
}

FWNSACNIOController& FWNSACNIOController::sharedIOController()
{
    static FWNSACNIOController* instance = new FWNSACNIOController(); // lives for the process
    return *instance;
}

void FWNSACNIOController::setupReceiveSocket()
{
    const auto bind = FWNSockAddressIPv4::fromData(FWNSACNIOCOntrollerCWrapper::bindAddressData());
    QString why;
    // Several receivers on one machine share the port.
    if (!sockets_.receiveSocket().bindToPort(bind->port(), QString(), true, &why))
        logError(QStringLiteral("Error binding! %1").arg(why));
    if (!sockets_.receiveSocket().beginReceiving(&why))
        logError(QStringLiteral("Can\u2019t start receiving!"));
}

bool FWNSACNIOController::joinGroup(std::uint16_t universe)
{
    QString why;
    if (sockets_.receiveSocket().joinMulticastGroup(wrapper_.multicastGroup(universe), multicastInterface_, &why))
        return true;
    logError(QStringLiteral("Failed to join multicast group: %1").arg(why));
    return false;
}

bool FWNSACNIOController::subscribeToUniverse(std::uint16_t universe)
{
    if (!joinGroup(universe))
        return false;
    std::lock_guard lock(universesMutex_);
    universes_.insert(universe);
    return true;
}

FWNSACNIOControllerDelegate* FWNSACNIOController::delegate() const
{
    std::lock_guard lock(delegateMutex_);
    return delegate_;
}

void FWNSACNIOController::setDelegate(FWNSACNIOControllerDelegate* delegate)
{
    std::lock_guard lock(delegateMutex_);
    delegate_ = delegate;
}

void FWNSACNIOController::sendPacket(const FWNSACNPacket& packet)
{
    QByteArray to = packet.address();
    if (to.isEmpty())
        to = multicastAddressForUniverse(packet.universe());
    const auto address = FWNSockAddress::sockAddressWithData(to);
    if (!address) {
        logError(QStringLiteral("Failed to send data: %1").arg(QStringLiteral("no destination address")));
        return;
    }
    sockets_.sendSocket().sendData(packet.data(), address->hostAddress(), address->port(), -1, kSendTag);
}

void FWNSACNIOController::sendDMX(const QByteArray& dmx, std::uint16_t universe, std::uint8_t sequence)
{
    sendPacket(FWNSACNPacket::withDMX(dmx, FWNSACNIdentity::identityWithUniverse(universe), 100, sequence,
                                      QStringLiteral("FWNMX"), FWNSACNIOCOntrollerCWrapper::startCode()));
}

void FWNSACNIOController::closeReceiveSocket()
{
    sockets_.receiveSocket().close();
}

void FWNSACNIOController::udpSocketDidReceiveData(AsyncUdpSocket*, const QByteArray& data, const QHostAddress& from, quint16 port)
{
    const auto packet = FWNSACNPacket::withData(data, FWNSockAddress::dataWithHostAddress(from, port));
    if (!packet)
        return;
    ++waiting_;
    sockets_.queue().async([this, packet = *packet] { deliver(packet); });
}

void FWNSACNIOController::deliver(const FWNSACNPacket& packet)
{
    {
        std::lock_guard lock(delegateMutex_);
        if (delegate_)
            delegate_->receivedPacket(packet);
    }
    --waiting_;
}

void FWNSACNIOController::udpSocketDidConnectToAddress(AsyncUdpSocket*, const QHostAddress&, quint16)
{
    fwnmx::log(QStringLiteral("Did connect"));
}

void FWNSACNIOController::udpSocketDidNotSendDataWithTag(AsyncUdpSocket*, long, const QString& error)
{
    logError(QStringLiteral("Failed to send data: %1").arg(error));
}

void FWNSACNIOController::udpSocketDidNotConnect(AsyncUdpSocket*, const QString& error)
{
    logError(QStringLiteral("Failed to connect: %1").arg(error));
}

void FWNSACNIOController::udpSocketDidClose(AsyncUdpSocket* socket, const QString& error)
{
    if (sockets_.isShuttingDown())
        return;
    fwnmx::log(QStringLiteral("%1 Closed: %2").arg(socket->objectName().isEmpty() ? QStringLiteral("(null)") : socket->objectName(),
                                                    error.isEmpty() ? QStringLiteral("(null)") : error));
    if (socket != &sockets_.receiveSocket())
        return;
    // Set up again on the sACN queue (this runs inside the socket's own close), with every group
    // joined before.
    sockets_.queue().async([this] {
        if (sockets_.isShuttingDown())
            return;
        setupReceiveSocket();
        std::set<std::uint16_t> universes;
        {
            std::lock_guard lock(universesMutex_);
            universes = universes_;
        }
        for (const std::uint16_t universe : universes)
            joinGroup(universe);
    });
}
