// The Art-Net DMX device end to end: a console broadcasts ArtDmx on loopback (127.255.255.255),
// the device reports slot changes and broadcasts whole universes back. Inside a private network
// namespace where allowed; the interface list is the test's own, so every address is on lo.
#include "comm/showcontrol/dmxnet/FWNArtDMXIdentity.h"
#include "platform/foundation/Log.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/comm/showcontrol/dmx/DMXTestSupport.h"
#include "tests/comm/showcontrol/dmxnet/FakeInterfaces.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/PrivateNetwork.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>

#include <QRegularExpression>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

using namespace dmxtest;
using testsupport::NetworkIsolation;
using testsupport::waitUntil;

namespace {

const QHostAddress kLoopbackBroadcast(QStringLiteral("127.255.255.255"));

// The Art-Net port of this test, and lo as the only (broadcast-capable) interface.
class ArtNetDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port_ = testsupport::freeUdpPort();
        ASSERT_NE(port_, 0);
        FWNArtDMXIdentity::setPort(port_);
    }
    void TearDown() override { FWNArtDMXIdentity::setPort(FWNArtDMXIdentity::kDefaultPort); }

    static void configure(QMDMXArtnetHardwareCommunicator& c, int universe, int subnet, int net)
    {
        c.setInterfaceString(QStringLiteral("lo"));
        c.setUniverseNum(universe);
        c.setSubnetNum(subnet);
        c.setNetNum(net);
    }
    // Universe 2, sub-net 1: port address 18.
    static void activateFor18(DMXDevice& device)
    {
        configure(*device.communicator, 2, 1, 0);
        device.communicator->activate();
    }
    void broadcast(QUdpSocket& console, const QByteArray& frame, std::uint16_t portAddress)
    {
        const QByteArray packet = FWNArtDMXPacket::withDMX(frame, FWNArtDMXIdentity(portAddress)).data();
        ASSERT_EQ(console.writeDatagram(packet, kLoopbackBroadcast, port_), packet.size());
    }

    // A first broadcast-capable interface that is not the chosen one (its "broadcast" address is
    // on loopback too, so nothing ever leaves the machine), then lo.
    FakeInterfaces interfaces_{FWNNetworkInterfaceManager::Entries{
        entry("dummy9", FWNNetworkInterface::kFlagUp | FWNNetworkInterface::kFlagBroadcast, "127.0.0.3", "127.0.0.2"),
        broadcastLoopback()}};
    quint16 port_ = 0;
};

// An ArtDmx datagram as a console writes it, with any length field.
QByteArray rawArtDmx(std::uint16_t portAddress, std::uint16_t lengthField, const QByteArray& slotValues)
{
    QByteArray d("Art-Net\0\x00\x50\x00\x0e\x00\x00", 14);
    d.append(char(portAddress & 0xFF)).append(char(portAddress >> 8));
    d.append(char(lengthField >> 8)).append(char(lengthField & 0xFF));
    return d + slotValues;
}

// Datagrams the kernel dropped on the UDP sockets bound to a port (its own table's last column).
std::uint64_t kernelDrops(quint16 port)
{
    std::ifstream table("/proc/net/udp");
    std::string line;
    std::getline(table, line);
    std::uint64_t drops = 0;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, skip;
        fields >> slot >> local;
        for (int i = 0; i < 10; ++i)
            fields >> skip;
        std::uint64_t d = 0;
        fields >> d;
        if (local.size() > 5 && std::stoul(local.substr(local.find(':') + 1), nullptr, 16) == port)
            drops += d;
    }
    return drops;
}

QByteArray slotsWith(qsizetype count, std::initializer_list<std::pair<int, int>> values)
{
    QByteArray out(count, '\0');
    for (const auto& [slot, value] : values)
        out[slot] = char(value);
    return out;
}

} // namespace

TEST_F(ArtNetDeviceTest, BroadcastForPortAddress18GivesTheChangedSlotsAndOthersAreIgnored)
{
    testsupport::runInPrivateNetwork([&](NetworkIsolation) {
        DMXDevice device;
        configure(*device.communicator, 2, 1, 0);
        device.communicator->activate();
        ASSERT_TRUE(device.communicator->isActive());
        EXPECT_EQ(device.communicator->portNumber(), 18);
        EXPECT_EQ(device.communicator->activeStateLabel(), QStringLiteral("Connected"));

        QUdpSocket console;
        QByteArray frame(512, '\0');
        broadcast(console, frame, 18); // all zeros: nothing changed
        // (A second frame for the universe arriving before this one is through would be dropped.)
        ASSERT_TRUE(waitUntil([&] { return device.parser->lastFrame() == frame; }));
        QByteArray other(512, '\x33');
        broadcast(console, other, 19); // another port address
        frame[9] = char(128);
        frame[10] = char(64);
        // A frame arriving while the previous one is still being delivered is dropped by design, so
        // send as a console does: again and again. Repeats of the same frame change nothing.
        const auto resendUntil = [&](const QByteArray& data, int commands) {
            for (int attempt = 0; attempt < 100; ++attempt) {
                broadcast(console, data, 18);
                if (waitUntil([&] { return device.recorder.commands() == commands; }, 100))
                    return true;
            }
            return false;
        };
        ASSERT_TRUE(resendUntil(frame, 1));
        EXPECT_EQ(device.recorder.lastChanges(), changes({{9, 128}, {10, 64}}));
        testsupport::pumpEvents(50);
        EXPECT_EQ(device.recorder.commands(), 1);

        // Stopped and started again, the device hears the console again.
        device.communicator->deactivate();
        EXPECT_EQ(device.communicator->ioController(), nullptr);
        device.communicator->activate();
        ASSERT_TRUE(device.communicator->isActive());
        frame[9] = 0;
        ASSERT_TRUE(resendUntil(frame, 2));
        EXPECT_EQ(device.recorder.lastChanges(), changes({{9, 0}}));
    });
}

TEST_F(ArtNetDeviceTest, UnsetNumbersListenToPortAddressZeroAndSayso)
{
    testsupport::runInPrivateNetwork([&](NetworkIsolation) {
        DMXDevice device;
        device.communicator->activate();
        EXPECT_EQ(device.communicator->portNumber(), 0);
        // No interface chosen: the first broadcast-capable interface's address.
        EXPECT_EQ(device.communicator->destinationAddress(), ipv4("127.0.0.2", port_));
        platform::LogCapture log;
        QUdpSocket console;
        broadcast(console, QByteArray(4, '\x09'), 5);
        broadcast(console, QByteArray(4, '\x01'), 0);
        ASSERT_TRUE(waitUntil([&] { return device.recorder.commands() == 1; }));
        EXPECT_EQ(device.recorder.lastChanges(), changes({{0, 1}, {1, 1}, {2, 1}, {3, 1}}));
        EXPECT_TRUE(log.contains("unexpectedly got packet at port 5"));
        EXPECT_TRUE(log.contains("unexpectedly got packet at port 0"));
    });
}

TEST_F(ArtNetDeviceTest, CommandsGoOutAsWhole512SlotUniversesToTheInterfaceBroadcast)
{
    testsupport::runInPrivateNetwork([&](NetworkIsolation) {
        QUdpSocket receiver;
        ASSERT_TRUE(receiver.bind(QHostAddress::AnyIPv4, port_, QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint));
        DMXDevice device;
        configure(*device.communicator, 2, 1, 0);
        device.communicator->activate();
        // The chosen interface's broadcast address, not the first interface's.
        EXPECT_EQ(device.communicator->destinationAddress(), ipv4("127.255.255.255", port_));

        platform::LogCapture log;
        const QVariantList slotList{
            QVariantMap{{QLatin1String(QMProtocolCommandDMXChannel), 0}, {QLatin1String(QMProtocolCommandDMXValue), 255}},
            QVariantMap{{QLatin1String(QMProtocolCommandDMXChannel), 511}, {QLatin1String(QMProtocolCommandDMXValue), 0x1FE}},
            QVariantMap{{QLatin1String(QMProtocolCommandDMXChannel), 512}, {QLatin1String(QMProtocolCommandDMXValue), 9}},
            QVariantMap{{QLatin1String(QMProtocolCommandDMXChannel), -1}, {QLatin1String(QMProtocolCommandDMXValue), 9}},
        };
        device.parser->sendProtocolCommand({{QLatin1String(QMProtocolCommandDMXChannelArray), slotList}});
        ASSERT_TRUE(waitUntil([&] { return receiver.hasPendingDatagrams(); }));
        const QNetworkDatagram datagram = receiver.receiveDatagram();
        QByteArray expected(512, '\0');
        expected[0] = char(255);
        expected[511] = char(0xFE); // an unsigned char keeps the low byte
        EXPECT_EQ(datagram.data(), FWNArtDMXPacket::withDMX(expected, FWNArtDMXIdentity(18), 0).data());
        EXPECT_EQ(datagram.data().mid(16, 2), QByteArray::fromHex("0200"));
        if (datagram.destinationAddress().protocol() == QAbstractSocket::IPv4Protocol) {
            EXPECT_EQ(datagram.destinationAddress(), kLoopbackBroadcast);
        }
        EXPECT_TRUE(log.contains("DMX channel 512 skipped"));
        EXPECT_TRUE(log.contains("DMX channel -1 skipped"));

        // One slot alone, and a command without slots still sends a (dark) universe.
        device.parser->sendProtocolCommand({{QLatin1String(QMProtocolCommandDMXChannel), 3}, {QLatin1String(QMProtocolCommandDMXValue), 7}});
        device.parser->sendProtocolCommand({});
        for (const QByteArray& slotValues : {QByteArray(3, '\0') + '\x07' + QByteArray(508, '\0'), QByteArray(512, '\0')}) {
            ASSERT_TRUE(waitUntil([&] { return receiver.hasPendingDatagrams(); }));
            EXPECT_EQ(receiver.receiveDatagram().data().mid(18), slotValues);
        }
    });
}

TEST_F(ArtNetDeviceTest, AFloodLeavesTheMainThreadResponsiveAndAtMostOnePacketWaiting)
{
    testsupport::runInPrivateNetwork([&](NetworkIsolation) {
        DMXDevice device;
        configure(*device.communicator, 2, 1, 0);
        device.communicator->activate();
        ASSERT_TRUE(device.communicator->isActive());

        int ticks = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(1);
        std::atomic<bool> done{false};
        std::atomic<int> ticksDuringFlood{-1};
        const quint16 port = port_;
        std::thread console([&] {
            const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
            const int one = 1;
            ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(port);
            to.sin_addr.s_addr = htonl(0x7FFFFFFF);
            QByteArray frame(512, '\0');
            QByteArray packet;
            for (int i = 0; i < 100000; ++i) {
                frame[i % 512] = char(i);
                FWNArtDMXPacket::build(packet, frame, 18, std::uint8_t(i), 0);
                ::sendto(fd, packet.constData(), size_t(packet.size()), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
            }
            ::close(fd);
            done = true;
        });
        std::size_t mostWaiting = 0;
        ASSERT_TRUE(waitUntil([&] {
            mostWaiting = std::max(mostWaiting, device.communicator->ioController()->waitingCount());
            return done.load();
        }, 120000));
        ticksDuringFlood = ticks;
        console.join();

        // The main thread kept its timer going while the flood ran.
        EXPECT_GT(ticksDuringFlood.load(), 0);
        // One console, one universe: never more than the packet in delivery and the newest one
        // held behind it. That bound is what keeps memory flat under the flood: nothing else
        // queues packets.
        EXPECT_LE(mostWaiting, 2u);

        // And the device still follows the console.
        QUdpSocket last;
        QByteArray final(512, '\x5A');
        ASSERT_TRUE(waitUntil([&] {
            broadcast(last, final, 18);
            testsupport::pumpEvents(20);
            return device.parser->lastFrame() == final;
        }));
        EXPECT_GT(device.recorder.commands(), 0);
    });
}

TEST_F(ArtNetDeviceTest, ShortFramesKeepTheSlotsTheyDoNotCarryAndBadLengthsAreRefused)
{
    testsupport::runInPrivateNetwork([&](NetworkIsolation) {
        DMXDevice device;
        activateFor18(device);
        QUdpSocket console;
        const auto send = [&](const QByteArray& datagram) { ASSERT_EQ(console.writeDatagram(datagram, kLoopbackBroadcast, port_), datagram.size()); };
        const auto expectCommand = [&](int number, const QVariantMap& expected) {
            ASSERT_TRUE(waitUntil([&] { return device.recorder.commands() == number; }));
            EXPECT_EQ(device.recorder.lastChanges(), expected);
        };
        send(rawArtDmx(18, 512, slotsWith(512, {{100, 50}})));
        expectCommand(1, changes({{100, 50}}));
        send(rawArtDmx(18, 64, slotsWith(64, {{0, 9}}))); // a short frame: slot 100 is not in it
        expectCommand(2, changes({{0, 9}}));
        send(rawArtDmx(18, 512, slotsWith(512, {{0, 9}, {1, 1}, {100, 50}}))); // the full refresh
        expectCommand(3, changes({{1, 1}}));
        // Length 0, an odd length, and a length the datagram does not hold: all refused.
        send(rawArtDmx(18, 0, {}));
        send(rawArtDmx(18, 3, QByteArray(3, '\x44')));
        send(rawArtDmx(18, 512, QByteArray(10, '\x44')));
        send(rawArtDmx(18, 512, slotsWith(512, {{0, 9}, {1, 1}, {2, 2}, {100, 50}})));
        expectCommand(4, changes({{2, 2}}));
        EXPECT_EQ(std::uint8_t(device.parser->lastFrame()->at(100)), 50);
    });
}

TEST_F(ArtNetDeviceTest, LengthsOver512AndOlderProtocolRevisionsAreRefused)
{
    testsupport::runInPrivateNetwork([&](NetworkIsolation) {
        DMXDevice device;
        activateFor18(device);
        QUdpSocket console;
        const auto send = [&](const QByteArray& datagram) { ASSERT_EQ(console.writeDatagram(datagram, kLoopbackBroadcast, port_), datagram.size()); };
        // Length 600 is no ArtDmx length: refused whole, not cut to 512.
        send(rawArtDmx(18, 600, slotsWith(600, {{5, 5}, {511, 1}, {550, 7}})));
        // ProtVer 13 (and 0.13 written the other way round) is older than 14: ignored.
        for (const char* version : {"000d", "0d00"}) {
            QByteArray old = rawArtDmx(18, 512, slotsWith(512, {{6, 6}}));
            old.replace(10, 2, QByteArray::fromHex(version));
            send(old);
        }
        // A later revision is taken, and it is the first frame the parser sees.
        QByteArray later = rawArtDmx(18, 512, slotsWith(512, {{7, 7}}));
        later[11] = char(15);
        send(later);
        ASSERT_TRUE(waitUntil([&] { return device.recorder.commands() == 1; }));
        EXPECT_EQ(device.recorder.lastChanges(), changes({{7, 7}}));
        testsupport::pumpEvents(50);
        EXPECT_EQ(device.recorder.commands(), 1);
    });
}

TEST_F(ArtNetDeviceTest, TheDeviceDoesNotHearItsOwnBroadcast)
{
    testsupport::runInPrivateNetwork([&](NetworkIsolation) {
        DMXDevice device;
        activateFor18(device);
        QUdpSocket receiver; // beside the device, on its port
        ASSERT_TRUE(receiver.bind(QHostAddress::AnyIPv4, port_, QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint));
        device.parser->sendProtocolCommand({{QLatin1String(QMProtocolCommandDMXChannel), 0}, {QLatin1String(QMProtocolCommandDMXValue), 255}});
        // It went out on the port the device listens on...
        ASSERT_TRUE(waitUntil([&] { return receiver.hasPendingDatagrams(); }));
        EXPECT_EQ(receiver.receiveDatagram().data().mid(18, 1), QByteArray(1, char(255)));
        // ...and the device's own parser did not take it for a console's frame.
        testsupport::pumpEvents(200);
        EXPECT_EQ(device.recorder.commands(), 0);
        EXPECT_FALSE(device.parser->lastFrame());
        // A console on the same machine is heard as always.
        QUdpSocket console;
        broadcast(console, slotsWith(512, {{3, 3}}), 18);
        ASSERT_TRUE(waitUntil([&] { return device.recorder.commands() == 1; }));
        EXPECT_EQ(device.recorder.lastChanges(), changes({{3, 3}}));
    });
}

TEST_F(ArtNetDeviceTest, FramesMergedOrDroppedUnderLoadAreCountedAndLoggedEverySecond)
{
    testsupport::runInPrivateNetwork([&](NetworkIsolation) {
        DMXDevice device;
        activateFor18(device);
        platform::LogCapture log;
        // Distinct frames, sent while the main thread is busy sending them: most have to be
        // merged into newer ones before the parser can compare them.
        constexpr std::uint64_t kFrames = 20000;
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port_);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QByteArray frame(512, '\0');
        QByteArray packet;
        for (std::uint64_t i = 1; i <= kFrames; ++i) {
            for (int b = 0; b < 4; ++b)
                frame[b] = char(i >> (24 - 8 * b));
            FWNArtDMXPacket::build(packet, frame, 18, 0, 0);
            ::sendto(fd, packet.constData(), size_t(packet.size()), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        }
        ::close(fd);

        // Every frame is accounted for: compared (one command each, as each differs from the one
        // before it), merged, dropped by the device, or dropped by the kernel before it was read.
        FWNArtNetIOController* io = device.communicator->ioController();
        const auto accounted = [&] {
            return std::uint64_t(device.recorder.commands()) + device.parser->mergedFrameCount() + io->droppedPackets() + kernelDrops(port_);
        };
        ASSERT_TRUE(waitUntil([&] { return accounted() == kFrames; }, 60000)) << accounted();
        const std::uint64_t lost = device.parser->mergedFrameCount() + io->droppedPackets();
        EXPECT_GT(lost, 0u);

        // And what was lost is in the log, within a second or so, in lines that add up to it.
        const QRegularExpression line(QStringLiteral("Art-Net input \\(port address 18\\): (\\d+) frames merged into newer ones and (\\d+) dropped in the last second"));
        const auto logged = [&] {
            std::uint64_t sum = 0;
            for (const std::string& text : log.lines()) {
                const auto match = line.match(QString::fromStdString(text));
                if (match.hasMatch())
                    sum += match.captured(1).toULongLong() + match.captured(2).toULongLong();
            }
            return sum;
        };
        EXPECT_TRUE(waitUntil([&] { return logged() == lost; })) << logged() << " of " << lost;
        // Quiet again, nothing more is logged.
        const std::size_t lines = log.count();
        testsupport::pumpEvents(QMDMXArtnetHardwareCommunicator::kLossReportIntervalMs + 300);
        EXPECT_EQ(logged(), lost);
        EXPECT_EQ(log.count(), lines);
    });
}
