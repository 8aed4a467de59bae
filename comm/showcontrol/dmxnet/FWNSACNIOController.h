#pragma once
// Sends and receives sACN (E1.31) over UDP with one multicast group per universe. The receive
// socket lives on the filter queue, where datagrams are validated; valid packets reach the
// delegate on the sACN queue. There is no per-universe or per-source filtering, priority,
// sequence or stream-termination handling here: the delegate gets every valid packet of every
// joined group. Deliveries waiting at once are capped; the excess is dropped and counted.
#include "comm/showcontrol/dmxnet/FWNMXSocketPair.h"
#include "comm/showcontrol/dmxnet/FWNSACNAddress.h"
#include "comm/showcontrol/dmxnet/FWNSACNPacket.h"
#include "platform/net/AsyncUdpSocket.h"
#include "platform/net/DelegateQueue.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <set>

// Called on the sACN queue, never on the main thread.
class FWNSACNIOControllerDelegate {
public:
    virtual ~FWNSACNIOControllerDelegate() = default;
    virtual void receivedPacket(const FWNSACNPacket& packet) = 0;
};

class FWNSACNIOController : private platform::net::AsyncUdpSocketDelegate {
public:
    static constexpr quint16 kDefaultPort = 5568;
    static constexpr std::size_t kMaxWaiting = 4096;

    // multicastInterface: the interface groups are joined on (empty = the system's choice).
    explicit FWNSACNIOController(const QString& multicastInterface = {});
    // Stops both queues; no delegate call runs after it returns.
    ~FWNSACNIOController() override;
    FWNSACNIOController(const FWNSACNIOController&) = delete;
    FWNSACNIOController& operator=(const FWNSACNIOController&) = delete;

    static FWNSACNIOController& sharedIOController();

    // The sACN UDP port: 5568 unless a process-wide replacement is set (tests).
    static quint16 port();
    static void setPort(quint16 port);
    static QByteArray multicastAddressForUniverse(std::uint16_t universe)
    {
        return FWNSACNIOCOntrollerCWrapper::mutlicastAddressForUniverse(universe);
    }

    // To the packet's address, or the multicast group of its universe when it has none.
    void sendPacket(const FWNSACNPacket& packet);
    // Priority 100, source name "FWNMX", START code 0, the shared CID, no preview.
    void sendDMX(const QByteArray& dmx, std::uint16_t universe, std::uint8_t sequence);
    // Joins the universe's group; kept and joined again whenever the socket is set up anew.
    bool subscribeToUniverse(std::uint16_t universe);

    FWNSACNIOControllerDelegate* delegate() const;
    // Not retained; waits for a delegate call in progress.
    void setDelegate(FWNSACNIOControllerDelegate* delegate);
    std::uint64_t droppedPackets() const { return droppedPackets_.load(); }

    // Closes the receive socket as a network failure would; it is set up again at once.
    void closeReceiveSocket();

private:
    void setupReceiveSocket();
    bool joinGroup(std::uint16_t universe);
    void deliver(const FWNSACNPacket& packet);

    void udpSocketDidReceiveData(platform::net::AsyncUdpSocket* socket, const QByteArray& data, const QHostAddress& from, quint16 port) override;
    void udpSocketDidConnectToAddress(platform::net::AsyncUdpSocket* socket, const QHostAddress& address, quint16 port) override;
    void udpSocketDidNotSendDataWithTag(platform::net::AsyncUdpSocket* socket, long tag, const QString& error) override;
    void udpSocketDidNotConnect(platform::net::AsyncUdpSocket* socket, const QString& error) override;
    void udpSocketDidClose(platform::net::AsyncUdpSocket* socket, const QString& error) override;

    QString multicastInterface_;
    FWNMXSocketPair sockets_; // the sACN queue and the filter queue
    FWNSACNIOCOntrollerCWrapper wrapper_;
    mutable std::recursive_mutex delegateMutex_;
    FWNSACNIOControllerDelegate* delegate_ = nullptr;
    std::mutex universesMutex_;
    std::set<std::uint16_t> universes_;
    std::atomic<std::size_t> waiting_{0};
    std::atomic<std::uint64_t> droppedPackets_{0};
};
