#include "comm/showcontrol/dmxnet/FWNArtNetIOController.h"

#include "comm/showcontrol/dmxnet/FWNError.h"
#include "comm/showcontrol/dmxnet/FWNNetworkInterface.h"
#include "comm/showcontrol/dmxnet/FWNSockAddress.h"

#include <memory>

using platform::net::AsyncUdpSocket;

namespace {

constexpr long kSendTag = 0;

platform::Error socketError(const QString& text)
{
    return platform::Error(QStringLiteral("AsyncUdpSocketErrorDomain"), 0, text);
}

} // namespace

FWNArtNetIOController::FWNArtNetIOController()
    : FWNArtNetIOController(Options())
{
}

FWNArtNetIOController::FWNArtNetIOController(Options options)
    : options_(std::move(options))
    , bindPort_(options_.port)
    , sockets_(QStringLiteral("art-net"), this)
{
    setupSendingSocket();
}

FWNArtNetIOController::~FWNArtNetIOController()
{
    sockets_.shutdown();
}

FWNArtNetIOController& FWNArtNetIOController::sharedIOController()
{
    static FWNArtNetIOController* instance = new FWNArtNetIOController(); // lives for the process
    return *instance;
}

FWNArtNetIOControllerDelegate* FWNArtNetIOController::delegate() const
{
    std::lock_guard lock(delegateMutex_);
    return delegate_;
}

void FWNArtNetIOController::setDelegate(FWNArtNetIOControllerDelegate* delegate)
{
    std::lock_guard lock(delegateMutex_);
    delegate_ = delegate;
}

quint16 FWNArtNetIOController::receivePort() const
{
    return sockets_.receiveSocket().localPort();
}

std::size_t FWNArtNetIOController::waitingCount()
{
    std::lock_guard lock(waitingMutex_);
    return waitingUniverses_.size() + heldPackets_ + waitingOthers_;
}

platform::Error FWNArtNetIOController::prepareError(int code, const QString& description, const platform::Error* underlying) const
{
    platform::Error error(QString::fromLatin1(FWNMXErrorDomain), code, description);
    if (underlying && !underlying->isNull())
        error.underlying = std::make_shared<platform::Error>(*underlying);
    return error;
}

bool FWNArtNetIOController::passErrorToDelegate(const platform::Error& error)
{
    std::lock_guard lock(delegateMutex_);
    auto* target = dynamic_cast<FWNArtNetIOControllerErrorDelegate*>(delegate_);
    if (!target)
        return false;
    target->artNetIOControllerDidError(this, error);
    return true;
}

void FWNArtNetIOController::setupSendingSocket()
{
    QString why;
    if (!sockets_.sendSocket().enableBroadcast(true, &why)) {
        const platform::Error underlying = socketError(why);
        passErrorToDelegate(prepareError(FWNMXErrorBroadcastFailed, QStringLiteral("Failed to enable broadcasting"), &underlying));
    }
    // Enabling broadcast binds the socket; the filter knows its own datagrams by this port.
    sendPort_ = sockets_.sendSocket().localPort();
}

bool FWNArtNetIOController::setupReceivingSocket(platform::Error* error)
{
    // Several programs on one machine may listen to Art-Net.
    QString why;
    if (!sockets_.receiveSocket().bindToPort(bindPort_.load(), options_.bindInterface, true, &why)) {
        platform::setError(error, socketError(why));
        return false;
    }
    // Set up again after a close, the socket listens on the same port.
    bindPort_ = sockets_.receiveSocket().localPort();
    sockets_.receiveSocket().setReceiveFilter([this](const QByteArray& data, const QHostAddress& from, quint16 port) {
        if (isOwnDatagram(from, port))
            return false;
        const auto packet = FWNArtNetPacket::packetWithData(data, senderAddress(from, port));
        return packet && receivePacket(*packet);
    });
    return true;
}

bool FWNArtNetIOController::beginReceiving(platform::Error* error)
{
    if (receiving_.load())
        return true;
    platform::Error made;
    platform::Error underlying;
    if (!setupReceivingSocket(&underlying)) {
        made = prepareError(FWNMXErrorCannotReceive, QStringLiteral("Can\u2019t bind to Art-Net port"), &underlying);
    } else {
        QString why;
        if (!sockets_.receiveSocket().beginReceiving(&why)) {
            underlying = socketError(why);
            made = prepareError(FWNMXErrorCannotReceive, QStringLiteral("Can\u2019t start receiving"), &underlying);
        }
    }
    if (!made.isNull()) {
        platform::setError(error, made);
        passErrorToDelegate(made);
        return false;
    }
    receiving_ = true;
    return true;
}

QByteArray FWNArtNetIOController::senderAddress(const QHostAddress& from, quint16 port)
{
    // A console sends from one address: keep its canonical bytes rather than making them anew
    // for every datagram.
    if (port != lastSenderPort_ || from != lastSender_) {
        lastSender_ = from;
        lastSenderPort_ = port;
        lastSenderAddress_ = FWNSockAddress::dataWithHostAddress(from, port);
    }
    return lastSenderAddress_;
}

bool FWNArtNetIOController::isOwnDatagram(const QHostAddress& from, quint16 port)
{
    if (port == 0 || port != sendPort_.load())
        return false;
    if (from.isLoopback())
        return true;
    // Rare: another host that sends from the same port number as this controller.
    const auto interfaces = FWNNetworkInterfaceManager::allInterfaces();
    if (!interfaces)
        return false;
    for (const FWNNetworkInterface& interface : *interfaces) {
        for (const FWNIPv4Config& config : interface.IPv4Configs()) {
            const auto address = FWNSockAddress::sockAddressWithData(config.address());
            if (address && address->hostAddress().isEqual(from, QHostAddress::ConvertV4MappedToIPv4))
                return true;
        }
    }
    return false;
}

bool FWNArtNetIOController::receivePacket(const FWNArtNetPacket& packet)
{
    // Not Art-Net at all, whatever the OpCode says.
    if (!FWNArtNetPacket::validatePacketData(packet.data()))
        return false;
    std::lock_guard lock(waitingMutex_);
    const bool full = waitingUniverses_.size() + heldPackets_ + waitingOthers_ >= options_.maxWaiting;
    if (packet.opCode() != FWNArtNetPacket::kOpDmx) {
        if (full) {
            ++droppedPackets_;
            return false;
        }
        ++waitingOthers_;
        return true;
    }
    auto dmx = packet.artDMXPacket();
    // Too short for ArtDmx, a length the protocol does not allow, or a sender older than the
    // protocol revision receivers are to answer.
    if (!dmx || !dmx->hasValidLength() || dmx->protocolVersion() < FWNArtDMXPacket::kProtocolVersion)
        return false;
    const FWNArtDMXIdentity identity = dmx->identity();
    const auto it = waitingUniverses_.find(identity);
    if (it != waitingUniverses_.end()) {
        // Its universe is being delivered: hold it as the newest, replacing an older one held.
        if (it->second) {
            ++mergedPackets_;
            ++droppedPackets_;
        } else if (full) {
            ++droppedPackets_;
            return false;
        } else {
            ++heldPackets_;
        }
        it->second = std::move(*dmx);
        return false;
    }
    if (full) {
        ++droppedPackets_;
        return false;
    }
    waitingUniverses_.emplace(identity, std::nullopt);
    return true;
}

void FWNArtNetIOController::udpSocketDidReceiveData(AsyncUdpSocket*, const QByteArray& data, const QHostAddress& from, quint16 port)
{
    // The filter accepted it a moment ago on this queue.
    const auto packet = FWNArtNetPacket::packetWithData(data, senderAddress(from, port));
    if (!packet)
        return;
    sockets_.queue().async([this, packet = *packet] { deliver(packet); });
}

void FWNArtNetIOController::deliver(const FWNArtNetPacket& packet)
{
    const auto dmx = packet.artDMXPacket();
    {
        std::lock_guard lock(delegateMutex_);
        if (delegate_) {
            delegate_->artNetIOControllerReceivedPacket(this, packet);
            if (dmx)
                delegate_->artNetIOControllerReceivedArtDMXPacket(this, *dmx);
        }
    }
    std::optional<FWNArtNetPacket> next;
    {
        std::lock_guard lock(waitingMutex_);
        if (!dmx) {
            if (waitingOthers_ > 0)
                --waitingOthers_;
            return;
        }
        const auto it = waitingUniverses_.find(dmx->identity());
        if (it == waitingUniverses_.end())
            return;
        if (!it->second) {
            waitingUniverses_.erase(it);
            return;
        }
        // The newest packet that arrived meanwhile goes next; its universe stays in delivery.
        next = std::move(*it->second);
        it->second.reset();
        --heldPackets_;
    }
    sockets_.queue().async([this, next = std::move(*next)] { deliver(next); });
}

void FWNArtNetIOController::sendPacket(const FWNMXPacket& packet)
{
    const auto address = FWNSockAddress::sockAddressWithData(packet.address());
    if (!address) {
        fwnmx::log(QStringLiteral("Failed to send data: %1").arg(QStringLiteral("no destination address")), platform::LogLevel::Error);
        return;
    }
    sockets_.sendSocket().sendData(packet.data(), address->hostAddress(), address->port(), -1, kSendTag);
}

void FWNArtNetIOController::sendDMX(const QByteArray& dmx, const FWNArtDMXIdentity& identity, std::uint8_t sequence)
{
    sendPacket(FWNArtDMXPacket::withDMX(dmx, identity, sequence, 0));
}

void FWNArtNetIOController::closeReceiveSocket()
{
    sockets_.receiveSocket().close();
}

void FWNArtNetIOController::udpSocketDidNotSendDataWithTag(AsyncUdpSocket*, long, const QString& error)
{
    fwnmx::log(QStringLiteral("Failed to send data: %1").arg(error), platform::LogLevel::Error);
}

void FWNArtNetIOController::udpSocketDidNotConnect(AsyncUdpSocket*, const QString& error)
{
    fwnmx::log(QStringLiteral("Failed to connect: %1").arg(error), platform::LogLevel::Error);
}

void FWNArtNetIOController::udpSocketDidClose(AsyncUdpSocket* socket, const QString& error)
{
    if (sockets_.isShuttingDown())
        return;
    const bool receive = socket == &sockets_.receiveSocket();
    // Socket events reach the delegate on the Art-Net queue.
    sockets_.queue().async([this, receive, error] { socketClosed(receive, error); });
}

void FWNArtNetIOController::socketClosed(bool receiveSocket, const QString& error)
{
    if (sockets_.isShuttingDown())
        return;
    fwnmx::log(QStringLiteral("%1 Closed: %2").arg(receiveSocket ? QStringLiteral("Receiving") : QStringLiteral("Sending"),
                                                    error.isEmpty() ? QStringLiteral("(null)") : error));
    const platform::Error underlying = socketError(error);
    if (!receiveSocket) {
        if (!error.isEmpty())
            passErrorToDelegate(prepareError(FWNMXErrorSendFailed, QStringLiteral("Failed to send packet"), &underlying));
        setupSendingSocket();
        return;
    }
    if (!error.isEmpty())
        passErrorToDelegate(prepareError(FWNMXErrorReceiveFailed, QStringLiteral("Failed to receive packet"), &underlying));
    platform::Error setup;
    if (!setupReceivingSocket(&setup)) {
        passErrorToDelegate(prepareError(FWNMXErrorCannotReceive, QStringLiteral("Can\u2019t bind to Art-Net port"), &setup));
        return;
    }
    // A controller that was receiving keeps receiving on the new socket.
    if (receiving_.load()) {
        QString why;
        if (!sockets_.receiveSocket().beginReceiving(&why)) {
            const platform::Error cause = socketError(why);
            passErrorToDelegate(prepareError(FWNMXErrorCannotReceive, QStringLiteral("Can\u2019t start receiving"), &cause));
        }
    }
}
