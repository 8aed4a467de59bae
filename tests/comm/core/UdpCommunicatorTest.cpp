// The UDP communicator's four modes on loopback: 127.0.0.1, the loopback broadcast address and
// a multicast group joined on lo.
#include "comm/core/QMCommLog.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/comm/core/TestParsers.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <QNetworkInterface>
#include <QUdpSocket>

using testsupport::waitUntil;

namespace {

QByteArray receiveOne(QUdpSocket& s, QHostAddress* from = nullptr, quint16* port = nullptr)
{
    if (!waitUntil([&] { return s.hasPendingDatagrams(); }))
        return {};
    QByteArray d(int(s.pendingDatagramSize()), 0);
    s.readDatagram(d.data(), d.size(), from, port);
    return d;
}

auto makeUdp()
{
    return makePair<UdpRecorderParser, QMUDPNetworkHardwareCommunicator>();
}

} // namespace

TEST(UdpCommunicator, ConnectModeSendsToItsPeer)
{
    QUdpSocket peer;
    ASSERT_TRUE(peer.bind(QHostAddress::LocalHost, 0));
    auto [parser, udp] = makeUdp();
    udp->setHostname(QStringLiteral("127.0.0.1"));
    udp->setPortNum(peer.localPort());
    udp->setSocketMode(QMSocketModeConnect);
    udp->activate();
    EXPECT_TRUE(udp->isActive());
    ASSERT_TRUE(waitUntil([&] { std::unique_lock l(parser->mutex); return parser->connects == 1; }));
    EXPECT_EQ(udp->activeStateLabel(), QStringLiteral("Connected"));
    udp->writeData("cmd", 1);
    EXPECT_EQ(receiveOne(peer), QByteArray("cmd"));
    udp->deactivate();
    EXPECT_EQ(udp->activeStateLabel(), QStringLiteral("Not Connected"));
    EXPECT_TRUE(waitUntil([&] { std::unique_lock l(parser->mutex); return parser->disconnects == 1; }));
}

TEST(UdpCommunicator, ListenModeReceivesAndAnswersTheLastSender)
{
    auto [parser, udp] = makeUdp();
    udp->setInterfaceString(QStringLiteral("lo"));
    udp->setSocketMode(QMSocketModeListen);
    platform::LogCapture capture;
    udp->writeData("early", 1); // nobody has spoken yet
    EXPECT_TRUE(capture.contains("nobody to answer"));
    udp->activate();
    ASSERT_TRUE(udp->isActive());
    EXPECT_EQ(udp->activeStateLabel(), QStringLiteral("Listening"));
    parser->answer = "ACK";

    QUdpSocket controller;
    ASSERT_TRUE(controller.bind(QHostAddress::LocalHost, 0));
    controller.writeDatagram("PLAY", QHostAddress::LocalHost, udp->localPort());
    ASSERT_TRUE(waitUntil([&] { return parser->count() == 1; }));
    QHostAddress from;
    quint16 port = 0;
    EXPECT_EQ(receiveOne(controller, &from, &port), QByteArray("ACK"));
    EXPECT_EQ(port, udp->localPort());

    // A second controller gets the answer to its own datagram.
    QUdpSocket other;
    ASSERT_TRUE(other.bind(QHostAddress::LocalHost, 0));
    other.writeDatagram("STOP", QHostAddress::LocalHost, udp->localPort());
    EXPECT_EQ(receiveOne(other), QByteArray("ACK"));
    std::unique_lock l(parser->mutex);
    EXPECT_EQ(parser->datagrams, (QList<QByteArray>{"PLAY", "STOP"}));
}

TEST(UdpCommunicator, MulticastModeSendsToTheGroupOnLoopback)
{
    const QHostAddress group(QStringLiteral("239.255.77.12"));
    QUdpSocket receiver;
    ASSERT_TRUE(receiver.bind(group, 0, QUdpSocket::ShareAddress));
    ASSERT_TRUE(receiver.joinMulticastGroup(group, QNetworkInterface::interfaceFromName(QStringLiteral("lo"))));
    auto [parser, udp] = makeUdp();
    udp->setHostname(group.toString());
    udp->setInterfaceString(QStringLiteral("lo"));
    udp->setPortNum(receiver.localPort());
    udp->setSocketMode(QMSocketModeMulticastListen);
    udp->activate();
    ASSERT_TRUE(udp->isActive());
    EXPECT_EQ(udp->activeStateLabel(), QStringLiteral("Listening"));
    udp->writeData("PLoc", 1);
    EXPECT_EQ(receiveOne(receiver), QByteArray("PLoc"));
    // What the group carries is read and handed to the parser: its own datagram, and another
    // member's (sent on lo only).
    receiver.setMulticastInterface(QNetworkInterface::interfaceFromName(QStringLiteral("lo")));
    receiver.writeDatagram("CInf", group, udp->localPort());
    EXPECT_TRUE(waitUntil([&] {
        std::unique_lock l(parser->mutex);
        return parser->datagrams.contains("PLoc") && parser->datagrams.contains("CInf");
    }));

    // A group that is not one fails to join and stays inactive.
    auto [parser2, bad] = makeUdp();
    bad->setHostname(QStringLiteral("127.0.0.1"));
    bad->setInterfaceString(QStringLiteral("lo"));
    bad->setSocketMode(QMSocketModeMulticastListen);
    platform::LogCapture capture;
    bad->activate();
    EXPECT_FALSE(bad->isActive());
    EXPECT_TRUE(capture.contains("socket failed to join multicast group 127.0.0.1 to interface lo"));
}

TEST(UdpCommunicator, BroadcastModeReachesTheLoopbackBroadcastAddress)
{
    QUdpSocket receiver;
    if (!receiver.bind(QHostAddress(QStringLiteral("127.255.255.255")), 0)) {
        ASSERT_TRUE(receiver.bind(QHostAddress::AnyIPv4, 0));
    }
    auto [parser, udp] = makeUdp();
    udp->setHostname(QStringLiteral("127.255.255.255"));
    udp->setPortNum(receiver.localPort());
    udp->setSocketMode(QMSocketModeBroadcast);
    udp->activate();
    ASSERT_TRUE(udp->isActive());
    EXPECT_EQ(udp->activeStateLabel(), QStringLiteral("Broadcast"));
    udp->writeData("all", 1);
    EXPECT_EQ(receiveOne(receiver), QByteArray("all"));
}

TEST(UdpCommunicator, FailuresAndModeZero)
{
    testsupport::TempFolder folder;
    platform::UserDefaults::setSharedFilePath(folder.filePath(QStringLiteral("Kalvanto.conf")));
    QUdpSocket occupier;
    ASSERT_TRUE(occupier.bind(QHostAddress::LocalHost, 0, QUdpSocket::DontShareAddress));
    auto [parser, udp] = makeUdp();
    udp->setInterfaceString(QStringLiteral("127.0.0.1"));
    udp->setPortNum(occupier.localPort());
    udp->setSocketMode(QMSocketModeListen);
    platform::LogCapture capture;
    udp->activate();
    EXPECT_FALSE(udp->isActive());
    EXPECT_TRUE(capture.contains(QStringLiteral("socket failed to bind on interface 127.0.0.1 to port %1\nerror:").arg(occupier.localPort()).toStdString()));

    platform::UserDefaults::sharedDefaults().setBool(true, QString::fromLatin1(qmcomm::kCommModuleDebugKey));
    auto [parser0, none] = makeUdp();
    none->activate();
    EXPECT_TRUE(capture.contains("Unknown socket mode 0"));
    EXPECT_FALSE(none->isActive());
    none->writeData("zz", 1);
    EXPECT_TRUE(capture.contains(">>>> <7a7a>"));
    platform::UserDefaults::sharedDefaults().removeObjectForKey(QString::fromLatin1(qmcomm::kCommModuleDebugKey));
}

TEST(UdpCommunicator, SavedElementsAndSetup)
{
    QMUDPNetworkHardwareCommunicator udp;
    udp.setHostname(QStringLiteral("10.0.0.9"));
    udp.setPortNum(3811);
    udp.setInterfaceString(QStringLiteral("eth1"));
    udp.setSocketMode(QMSocketModeListen);
    EXPECT_EQ(platform::writeXml(*udp.serializedConnectionProperties(), {false, 0, false}),
              QByteArray("<QMUDPNetworkHardwareCommunicator interface=\"eth1\" port=\"3811\" mode=\"2\"/>"));
    udp.setSocketMode(QMSocketModeBroadcast);
    const platform::XmlElement saved = *udp.serializedConnectionProperties();
    EXPECT_EQ(platform::writeXml(saved, {false, 0, false}),
              QByteArray("<QMUDPNetworkHardwareCommunicator interface=\"eth1\" port=\"3811\" address=\"10.0.0.9\" mode=\"4\"/>"));
    auto restored = std::dynamic_pointer_cast<QMUDPNetworkHardwareCommunicator>(QMUDPNetworkHardwareCommunicator::udpClass().createWithXML(saved));
    ASSERT_TRUE(restored);
    EXPECT_EQ(restored->socketMode(), QMSocketModeBroadcast);
    EXPECT_EQ(restored->displayName(), QStringLiteral("10.0.0.9:3811"));
    // Another element name keeps the mode unchosen.
    auto other = std::dynamic_pointer_cast<QMUDPNetworkHardwareCommunicator>(
        QMUDPNetworkHardwareCommunicator::fromXML(platform::parseXml("<X port=\"5\" mode=\"2\"/>")));
    EXPECT_EQ(other->socketMode(), 0);
    EXPECT_EQ(other->portNum(), 5u);

    // Modes other than listen and multicast drop the interface.
    udp.actionMenuItemAction(QMSocketModeConnect);
    EXPECT_TRUE(udp.interfaceString().isEmpty());
    EXPECT_EQ(udp.offeredSocketModes().size(), 4);
}
