#pragma once
// Sends and receives Art-Net over UDP. The receive socket lives on the filter queue, where every
// datagram is tested: per sender and universe one ArtDmx packet is being delivered and at most
// one newer packet is held behind it; a packet arriving meanwhile replaces the held one (merged,
// counted in mergedPackets and droppedPackets), so the newest frame always reaches the delegate
// and a flood or a slow delegate never builds a backlog. ArtDmx frames whose length field is 0,
// odd, above 512 or larger than the datagram are refused, as are those of a protocol revision
// below 14, and so are the controller's own datagrams (its
// send port, from one of this machine's addresses), which a broadcast brings back. Accepted
// packets reach the delegate on the Art-Net queue. The send socket (broadcast enabled) lives on
// the Art-Net queue.
#include "comm/showcontrol/dmxnet/FWNArtNetPacket.h"
#include "comm/showcontrol/dmxnet/FWNMXSocketPair.h"
#include "platform/foundation/Error.h"
#include "platform/net/AsyncUdpSocket.h"
#include "platform/net/DelegateQueue.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

class FWNArtNetIOController;

// Called on the Art-Net queue, never on the main thread.
class FWNArtNetIOControllerDelegate {
public:
    virtual ~FWNArtNetIOControllerDelegate() = default;
    // Every accepted packet.
    virtual void artNetIOControllerReceivedPacket(FWNArtNetIOController*, const FWNArtNetPacket&) {}
    // Accepted ArtDmx packets, after the call above.
    virtual void artNetIOControllerReceivedArtDMXPacket(FWNArtNetIOController*, const FWNArtDMXPacket&) {}
};

// Adopted by delegates that want the library's errors; the others never see them.
class FWNArtNetIOControllerErrorDelegate {
public:
    virtual ~FWNArtNetIOControllerErrorDelegate() = default;
    virtual void artNetIOControllerDidError(FWNArtNetIOController*, const platform::Error& error) = 0;
};

class FWNArtNetIOController : private platform::net::AsyncUdpSocketDelegate {
public:
    struct Options {
        quint16 port = FWNArtDMXIdentity::port(); // the port received on (0 = ephemeral)
        QString bindInterface;                     // empty = every interface
        // Packets waiting for delivery at most (distinct ArtDmx universes plus other packets).
        std::size_t maxWaiting = 4096;
    };

    FWNArtNetIOController();
    explicit FWNArtNetIOController(Options options);
    // Stops both queues; no delegate call runs after it returns.
    ~FWNArtNetIOController() override;
    FWNArtNetIOController(const FWNArtNetIOController&) = delete;
    FWNArtNetIOController& operator=(const FWNArtNetIOController&) = delete;

    static FWNArtNetIOController& sharedIOController();

    // Binds the receive socket and starts receiving. On failure: error 3 (through error and to
    // the delegate) and false. Receiving twice is harmless.
    bool beginReceiving(platform::Error* error = nullptr);
    // Sends the packet's bytes to its address.
    void sendPacket(const FWNMXPacket& packet);
    void sendDMX(const QByteArray& dmx, const FWNArtDMXIdentity& identity, std::uint8_t sequence = 0);

    FWNArtNetIOControllerDelegate* delegate() const;
    // Not retained. Waits for a delegate call in progress, so after setDelegate(nullptr) returns
    // the old delegate is never called again.
    void setDelegate(FWNArtNetIOControllerDelegate* delegate);
    // Packets never delivered: replaced by a newer one of their universe, or refused because the
    // waiting limit was reached.
    std::uint64_t droppedPackets() const { return droppedPackets_.load(); }
    // Of those, the ones a newer packet of the same universe replaced.
    std::uint64_t mergedPackets() const { return mergedPackets_.load(); }
    bool receiving() const { return receiving_.load(); }
    quint16 receivePort() const;
    // Packets accepted and not yet delivered.
    std::size_t waitingCount();

    // Closes the receive socket as a network failure would; it is set up again at once.
    void closeReceiveSocket();

private:
    bool setupReceivingSocket(platform::Error* error);
    void setupSendingSocket();
    bool receivePacket(const FWNArtNetPacket& packet);
    // Sent by this controller's own send socket (a broadcast it hears again).
    bool isOwnDatagram(const QHostAddress& from, quint16 port);
    void deliver(const FWNArtNetPacket& packet);
    platform::Error prepareError(int code, const QString& description, const platform::Error* underlying = nullptr) const;
    bool passErrorToDelegate(const platform::Error& error);
    QByteArray senderAddress(const QHostAddress& from, quint16 port);

    void udpSocketDidReceiveData(platform::net::AsyncUdpSocket* socket, const QByteArray& data, const QHostAddress& from, quint16 port) override;
    void udpSocketDidNotSendDataWithTag(platform::net::AsyncUdpSocket* socket, long tag, const QString& error) override;
    void udpSocketDidNotConnect(platform::net::AsyncUdpSocket* socket, const QString& error) override;
    void udpSocketDidClose(platform::net::AsyncUdpSocket* socket, const QString& error) override;
    void socketClosed(bool receiveSocket, const QString& error);

    Options options_;
    std::atomic<quint16> bindPort_;
    std::atomic<quint16> sendPort_{0}; // the send socket's port (the filter never touches that socket)
    FWNMXSocketPair sockets_; // the Art-Net queue and the filter queue
    std::atomic<bool> receiving_{false};
    mutable std::recursive_mutex delegateMutex_; // held while the delegate is called
    FWNArtNetIOControllerDelegate* delegate_ = nullptr;
    std::atomic<std::uint64_t> droppedPackets_{0};
    std::atomic<std::uint64_t> mergedPackets_{0};
    // The universes with a packet in delivery, each with the newest packet held behind it; and
    // the other packets waiting. The filter queue adds, the Art-Net queue takes.
    std::mutex waitingMutex_;
    std::unordered_map<FWNArtDMXIdentity, std::optional<FWNArtDMXPacket>> waitingUniverses_;
    std::size_t heldPackets_ = 0; // universes with a newer packet held
    std::size_t waitingOthers_ = 0;
    // Filter queue only.
    QHostAddress lastSender_;
    quint16 lastSenderPort_ = 0;
    QByteArray lastSenderAddress_;
};
