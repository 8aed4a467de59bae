// The Art-Net and sACN I/O controllers on real sockets, inside a private network namespace (or
// pinned to loopback where namespaces are refused). Multicast is joined and sent on lo only.
#include "comm/showcontrol/dmxnet/FWNArtNetIOController.h"
#include "comm/showcontrol/dmxnet/FWNSACNIOController.h"
#include "comm/showcontrol/dmxnet/FWNSockAddress.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/PrivateNetwork.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <QNetworkInterface>
#include <QUdpSocket>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

using testsupport::NetworkIsolation;
using testsupport::waitUntil;

namespace {

// The number a burst frame carries in its first four slots.
std::uint32_t frameNumber(const QByteArray& dmx)
{
    std::uint32_t n = 0;
    for (int b = 0; b < 4 && b < dmx.size(); ++b)
        n = n << 8 | std::uint8_t(dmx[b]);
    return n;
}

QByteArray artDmx(std::uint16_t portAddress, char fill, int count = 8)
{
    return FWNArtDMXPacket::withDMX(QByteArray(count, fill), FWNArtDMXIdentity(portAddress)).data();
}

class Recorder : public FWNArtNetIOControllerDelegate, public FWNArtNetIOControllerErrorDelegate {
public:
    void artNetIOControllerReceivedPacket(FWNArtNetIOController*, const FWNArtNetPacket& packet) override
    {
        std::lock_guard lock(mutex);
        packets.push_back(packet.data());
    }
    void artNetIOControllerReceivedArtDMXPacket(FWNArtNetIOController*, const FWNArtDMXPacket& packet) override
    {
        std::unique_lock lock(mutex);
        dmx.push_back(packet.DMX());
        portAddresses.push_back(packet.portAddress());
        if (packet.portAddress() == blockPortAddress && !released) {
            entered = true;
            changed.notify_all();
            changed.wait(lock, [this] { return released; });
        }
    }
    void artNetIOControllerDidError(FWNArtNetIOController*, const platform::Error& error) override
    {
        std::lock_guard lock(mutex);
        errors.push_back(error);
    }
    std::size_t dmxCount()
    {
        std::lock_guard lock(mutex);
        return dmx.size();
    }
    std::size_t packetCount()
    {
        std::lock_guard lock(mutex);
        return packets.size();
    }
    void release()
    {
        std::lock_guard lock(mutex);
        released = true;
        changed.notify_all();
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<QByteArray> packets;
    std::vector<QByteArray> dmx;
    std::vector<std::uint16_t> portAddresses;
    std::vector<platform::Error> errors;
    int blockPortAddress = -1;
    bool entered = false;
    bool released = false;
};

FWNArtNetIOController::Options ephemeral()
{
    FWNArtNetIOController::Options options;
    options.port = 0;
    return options;
}

void sendTo(QUdpSocket& from, const QByteArray& datagram, quint16 port)
{
    ASSERT_EQ(from.writeDatagram(datagram, QHostAddress::LocalHost, port), datagram.size());
}

} // namespace

TEST(FWNArtNetIOController, DeliversArtNetOnlyAndArtDmxTwice)
{
    testsupport::runInPrivateNetwork([](NetworkIsolation) {
        Recorder recorder;
        FWNArtNetIOController io(ephemeral());
        io.setDelegate(&recorder);
        platform::Error error;
        ASSERT_TRUE(io.beginReceiving(&error)) << error.toString().toStdString();
        EXPECT_TRUE(io.receiving());
        EXPECT_TRUE(io.beginReceiving());
        QUdpSocket console;
        const quint16 port = io.receivePort();

        QByteArray noId = artDmx(4, 'x');
        noId.replace(0, 8, QByteArray(8, 'Z'));
        sendTo(console, noId, port);                          // 0x5000 at offset 8, but not Art-Net
        sendTo(console, artDmx(4, 'x').left(17), port);       // too short for ArtDmx
        sendTo(console, QByteArray("Art-Net\0\0\x20", 10), port); // ArtPoll: a plain packet
        sendTo(console, QByteArray("Art-Net", 7), port);      // too short for anything
        sendTo(console, artDmx(4, '\x05'), port);
        ASSERT_TRUE(waitUntil([&] { return recorder.dmxCount() == 1; }));
        std::lock_guard lock(recorder.mutex);
        EXPECT_EQ(recorder.packets.size(), 2u);
        EXPECT_EQ(recorder.packets[0], QByteArray("Art-Net\0\0\x20", 10));
        EXPECT_EQ(recorder.dmx[0], QByteArray(8, '\x05'));
        EXPECT_EQ(recorder.portAddresses[0], 4);
        EXPECT_EQ(io.droppedPackets(), 0u);
    });
}

TEST(FWNArtNetIOController, WhileAUniverseIsDeliveredOnlyItsNewestPacketWaits)
{
    testsupport::runInPrivateNetwork([](NetworkIsolation) {
        Recorder recorder;
        recorder.blockPortAddress = 1;
        FWNArtNetIOController io(ephemeral());
        io.setDelegate(&recorder);
        ASSERT_TRUE(io.beginReceiving());
        QUdpSocket console;
        const quint16 port = io.receivePort();

        sendTo(console, artDmx(1, 'a'), port);
        {
            std::unique_lock lock(recorder.mutex);
            ASSERT_TRUE(recorder.changed.wait_for(lock, std::chrono::seconds(10), [&] { return recorder.entered; }));
        }
        sendTo(console, artDmx(1, 'b'), port); // same sender and universe: held behind 'a'
        ASSERT_TRUE(waitUntil([&] { return io.waitingCount() == 2; }));
        sendTo(console, artDmx(1, 'c'), port); // replaces 'b'
        ASSERT_TRUE(waitUntil([&] { return io.mergedPackets() == 1; }));
        sendTo(console, artDmx(2, 'd'), port); // another universe: accepted, waits its turn
        ASSERT_TRUE(waitUntil([&] { return io.waitingCount() == 3; }));
        recorder.release();
        ASSERT_TRUE(waitUntil([&] { return recorder.dmxCount() == 3; }));
        ASSERT_TRUE(waitUntil([&] { return io.waitingCount() == 0; }));
        EXPECT_EQ(io.droppedPackets(), 1u);
        EXPECT_EQ(io.mergedPackets(), 1u);
        sendTo(console, artDmx(1, 'e'), port); // delivered at once again
        ASSERT_TRUE(waitUntil([&] { return recorder.dmxCount() == 4; }));
        std::lock_guard lock(recorder.mutex);
        EXPECT_EQ(recorder.dmx[0], QByteArray(8, 'a'));
        EXPECT_EQ(recorder.dmx[1], QByteArray(8, 'd'));
        EXPECT_EQ(recorder.dmx[2], QByteArray(8, 'c'));
        EXPECT_EQ(recorder.dmx[3], QByteArray(8, 'e'));
        EXPECT_EQ(io.droppedPackets(), 1u);
    });
}

TEST(FWNArtNetIOController, ReceivesAgainAfterItsSocketClosedAndReportsBindFailures)
{
    testsupport::runInPrivateNetwork([](NetworkIsolation) {
        Recorder recorder;
        FWNArtNetIOController io(ephemeral());
        io.setDelegate(&recorder);
        ASSERT_TRUE(io.beginReceiving());
        const quint16 port = io.receivePort();
        QUdpSocket console;
        sendTo(console, artDmx(0, '1'), port);
        ASSERT_TRUE(waitUntil([&] { return recorder.dmxCount() == 1; }));

        io.closeReceiveSocket();
        // Datagrams keep coming until the socket is back on its port.
        ASSERT_TRUE(waitUntil([&] {
            sendTo(console, artDmx(0, '2'), port);
            testsupport::pumpEvents(20);
            return recorder.dmxCount() >= 2;
        }));
        EXPECT_EQ(io.receivePort(), port);

        // Another controller on a port taken without address reuse cannot bind.
        QUdpSocket taken;
        ASSERT_TRUE(taken.bind(QHostAddress::LocalHost, 0, QAbstractSocket::DontShareAddress));
        FWNArtNetIOController::Options options;
        options.port = taken.localPort();
        options.bindInterface = QStringLiteral("127.0.0.1");
        FWNArtNetIOController other(options);
        Recorder otherRecorder;
        other.setDelegate(&otherRecorder);
        platform::Error error;
        EXPECT_FALSE(other.beginReceiving(&error));
        EXPECT_EQ(error.code, 3);
        EXPECT_EQ(error.description, QStringLiteral("Can\u2019t bind to Art-Net port"));
        ASSERT_TRUE(error.underlying);
        std::lock_guard lock(otherRecorder.mutex);
        ASSERT_EQ(otherRecorder.errors.size(), 1u);
        EXPECT_EQ(otherRecorder.errors[0], error);
        EXPECT_FALSE(other.receiving());
    });
}

TEST(FWNArtNetIOController, SendsPacketsToTheirAddress)
{
    testsupport::runInPrivateNetwork([](NetworkIsolation) {
        QUdpSocket receiver;
        ASSERT_TRUE(receiver.bind(QHostAddress::LocalHost, 0));
        FWNArtNetIOController io(ephemeral());
        const QByteArray to = FWNSockAddressIPv4::sockAddressWithAddressString(QStringLiteral("127.0.0.1"), receiver.localPort())->data();
        io.sendDMX(QByteArray(512, '\x42'), FWNArtDMXIdentity(to, 18), 0);
        ASSERT_TRUE(waitUntil([&] { return receiver.hasPendingDatagrams(); }));
        QByteArray d(int(receiver.pendingDatagramSize()), 0);
        receiver.readDatagram(d.data(), d.size());
        EXPECT_EQ(d, FWNArtDMXPacket::withDMX(QByteArray(512, '\x42'), FWNArtDMXIdentity(18)).data());
    });
}

namespace {

class SACNRecorder : public FWNSACNIOControllerDelegate {
public:
    void receivedPacket(const FWNSACNPacket& packet) override
    {
        std::lock_guard lock(mutex);
        packets.push_back(packet);
    }
    std::size_t count()
    {
        std::lock_guard lock(mutex);
        return packets.size();
    }
    std::mutex mutex;
    std::vector<FWNSACNPacket> packets;
};

// Runs fn(io, recorder, port) with an sACN controller on lo subscribed to universe 1, inside a
// private network namespace (skipped where there is none), its CID in the test's own defaults.
template <class F>
void onUniverse1(F fn)
{
    testsupport::TempFolder home;
    platform::UserDefaults::setSharedFilePath(home.filePath(QStringLiteral("Kalvanto.conf")));
    testsupport::runInPrivateNetwork([&](NetworkIsolation isolation) {
        if (isolation != NetworkIsolation::PrivateNamespace)
            GTEST_SKIP() << "multicast is sent only inside a private network namespace";
        const quint16 port = testsupport::freeUdpPort();
        ASSERT_NE(port, 0);
        FWNSACNIOController::setPort(port);
        SACNRecorder recorder;
        FWNSACNIOController io(QStringLiteral("lo"));
        io.setDelegate(&recorder);
        ASSERT_TRUE(io.subscribeToUniverse(1));
        fn(io, recorder, port);
        FWNSACNIOController::setPort(FWNSACNIOController::kDefaultPort);
    });
}

} // namespace

TEST(FWNSACNIOController, MulticastPerUniverseOnLoopbackAndMembershipsSurviveASocketReset)
{
    onUniverse1([](FWNSACNIOController& io, SACNRecorder& recorder, quint16 port) {
        QByteArray frame(512, '\0');
        frame[0] = char(0xFF);

        io.sendDMX(QByteArray(512, '\x07'), 2, 1); // not subscribed
        io.sendDMX(frame, 1, 9);
        ASSERT_TRUE(waitUntil([&] { return recorder.count() == 1; }));
        {
            std::lock_guard lock(recorder.mutex);
            const FWNSACNPacket& p = recorder.packets[0];
            EXPECT_EQ(p.universe(), 1);
            EXPECT_EQ(p.DMX(), frame);
            EXPECT_EQ(p.data()[111], 9);
            EXPECT_EQ(p.sourceName(), QStringLiteral("FWNMX"));
            EXPECT_EQ(p.priority(), 100);
            EXPECT_EQ(p.CID(), FWNSACNIdentity::sharedCID());
        }
        // Invalid data is dropped at the filter.
        QUdpSocket junk;
        junk.writeDatagram(QByteArray(200, 'j'), QHostAddress(QStringLiteral("127.0.0.1")), port);

        io.closeReceiveSocket();
        ASSERT_TRUE(waitUntil([&] {
            io.sendDMX(frame, 1, 10);
            testsupport::pumpEvents(20);
            return recorder.count() >= 2;
        }));
        std::lock_guard lock(recorder.mutex);
        for (const FWNSACNPacket& p : recorder.packets)
            EXPECT_EQ(p.universe(), 1);
    });
}

TEST(FWNArtNetIOController, UnderABurstTheNewestFrameWinsAndEveryFrameIsCounted)
{
    testsupport::runInPrivateNetwork([](NetworkIsolation) {
        // A slow delegate: each delivery takes a while, so a burst piles up behind it.
        class Slow : public FWNArtNetIOControllerDelegate {
        public:
            void artNetIOControllerReceivedArtDMXPacket(FWNArtNetIOController*, const FWNArtDMXPacket& packet) override
            {
                std::this_thread::sleep_for(std::chrono::microseconds(50));
                last.store(frameNumber(packet.DMX()));
                ++delivered;
            }
            std::atomic<std::uint32_t> last{0};
            std::atomic<std::uint64_t> delivered{0};
        } slow;
        FWNArtNetIOController io(ephemeral());
        io.setDelegate(&slow);
        ASSERT_TRUE(io.beginReceiving());
        const quint16 port = io.receivePort();
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        constexpr std::uint32_t kFrames = 100000;
        QByteArray frame(512, '\0');
        QByteArray packet;
        for (std::uint32_t i = 0; i < kFrames; ++i) {
            for (int b = 0; b < 4; ++b)
                frame[b] = char(i >> (24 - 8 * b));
            FWNArtDMXPacket::build(packet, frame, 1, 0, 0);
            ::sendto(fd, packet.constData(), size_t(packet.size()), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
            // Paced so that the socket buffer never overflows: every frame reaches the filter.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (i % 64 == 63 && slow.delivered.load() + io.mergedPackets() + io.waitingCount() < i + 1) {
                ASSERT_LT(std::chrono::steady_clock::now(), deadline);
                std::this_thread::sleep_for(std::chrono::microseconds(20));
            }
        }
        ::close(fd);
        ASSERT_TRUE(waitUntil([&] { return slow.delivered.load() + io.mergedPackets() == kFrames && io.waitingCount() == 0; }, 60000));
        EXPECT_EQ(slow.last.load(), kFrames - 1) << "the lights end on the sender's last frame";
        EXPECT_GT(io.mergedPackets(), 0u);
        EXPECT_EQ(io.droppedPackets(), io.mergedPackets());
    });
}

TEST(FWNSACNIOController, SynchronisationAddressesAreHeardAndSlotsCapAt512)
{
    onUniverse1([](FWNSACNIOController&, SACNRecorder& recorder, quint16 port) {
        QUdpSocket source;
        ASSERT_TRUE(source.bind(QHostAddress::AnyIPv4, 0));
        source.setMulticastInterface(QNetworkInterface::interfaceFromName(QStringLiteral("lo")));
        source.setSocketOption(QAbstractSocket::MulticastLoopbackOption, 1);
        const auto send = [&](const QByteArray& datagram) {
            ASSERT_EQ(source.writeDatagram(datagram, QHostAddress(QStringLiteral("239.255.0.1")), port), datagram.size());
        };
        const QByteArray base = FWNSACNPacket::withDMX(QByteArray(512, '\x11'), FWNSACNIdentity(1, QByteArray(16, 'c')), 100, 1, {}, 0).data();

        QByteArray synchronised = base; // E1.31-2016: synchronisation on universe 7
        synchronised[109] = 0x00;
        synchronised[110] = 0x07;
        send(synchronised);
        ASSERT_TRUE(waitUntil([&] { return recorder.count() == 1; }));
        QByteArray oversized = base + QByteArray(88, '\x22'); // 600 slots, count 601
        oversized[123] = char(601 >> 8);
        oversized[124] = char(601 & 0xFF);
        send(oversized);
        ASSERT_TRUE(waitUntil([&] { return recorder.count() == 2; }));
        std::lock_guard lock(recorder.mutex);
        EXPECT_EQ(recorder.packets[0].synchronizationAddress(), 7);
        EXPECT_EQ(recorder.packets[0].DMX(), QByteArray(512, '\x11'));
        EXPECT_EQ(recorder.packets[1].DMXLength(), 512);
        EXPECT_EQ(recorder.packets[1].DMX(), QByteArray(512, '\x11'));
    });
}
