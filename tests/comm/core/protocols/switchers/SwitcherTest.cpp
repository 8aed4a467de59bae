// GVG100 and Sony BVS: the bytes a switcher receives on a serial line (a pseudo-terminal) and
// over UDP on loopback, and the descriptor sender's pieces.
#include "comm/core/QMApplicationCommands.h"
#include "comm/core/QMSerialHardwareCommunicator.h"
#include "comm/core/QMUDPNetworkHardwareCommunicator.h"
#include "comm/core/protocols/switchers/QMProtocolCommandSender.h"
#include "comm/core/protocols/switchers/QMProtocolParserGVG100.h"
#include "comm/core/protocols/switchers/QMProtocolParserSonyBVS.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/comm/core/SerialPair.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitUntil.h"

#include <QUdpSocket>

#include <gtest/gtest.h>

using testsupport::waitUntil;
using commtest::k;
using commtest::makePair;

namespace {

QVariantMap command(QMProtocolParser& parser, const char* name)
{
    return parser.protocolCommands().value(QString::fromLatin1(name)).toMap();
}

// A switcher on the far end of a serial line.
template <class P>
struct SerialSwitcher : commtest::SerialPair<P> {
    QByteArray received(int count)
    {
        QByteArray out;
        waitUntil([&] { return (out += this->pty.readAvailable()).size() >= count; });
        testsupport::pumpEvents(20);
        return out + this->pty.readAvailable();
    }
};

} // namespace

TEST(Switchers, ClassAnswersAndCommandTables)
{
    const QMProtocolParserClass& gvg = QMProtocolParserGVG100::gvg100Class();
    EXPECT_EQ(gvg.className(), QStringLiteral("QMProtocolParserGVG100"));
    EXPECT_EQ(gvg.supportedProtocol(), QStringLiteral("GVG100"));
    EXPECT_EQ(gvg.supportedProtocolDescription(), QString(""));
    EXPECT_EQ(gvg.supportedHardwareCommunicators(), QStringList{"QMSerialHardwareCommunicator"});
    EXPECT_EQ(gvg.protocolBehaviorMask(), 1u);
    const QMProtocolParserClass& bvs = QMProtocolParserSonyBVS::sonyBVSClass();
    EXPECT_EQ(bvs.supportedProtocol(), QStringLiteral("Sony BVS"));
    EXPECT_EQ(bvs.supportedProtocolDescription(), QStringLiteral("Control a video switcher using the Sony BVS protocol."));
    EXPECT_EQ(bvs.supportedHardwareCommunicators(), (QStringList{"QMSerialHardwareCommunicator", "QMUDPNetworkHardwareCommunicator"}));
    EXPECT_EQ(bvs.protocolBehaviorMask(), 1u);

    QMProtocolParserGVG100 gvgParser;
    const QVariantMap dsk = command(gvgParser, "DSK Toggle");
    EXPECT_EQ(dsk.value(k(QMProtocolCommandKeyIndex)).toInt(), 13);
    EXPECT_EQ(dsk.value(k(QMProtocolCommandKeyDescription)).toString(), QStringLiteral("Turns the DSK off"));
    EXPECT_FALSE(dsk.contains(k(QMProtocolCommandKeyParams)));
    QMProtocolParserSonyBVS bvsParser;
    EXPECT_EQ(bvsParser.protocolCommands().keys(), (QStringList{"DSK Off", "DSK On", "Fade To Black", "Key Off", "Key On"}));
    EXPECT_EQ(command(bvsParser, "Key Off").value(k(QMProtocolCommandKeyFormat)).toString(), QStringLiteral("03019A10"));
    EXPECT_FALSE(bvsParser.allowUDPSocketListenForNetworkHardware(nullptr).value_or(true));
    EXPECT_TRUE(bvsParser.allowUDPSocketConnectForNetworkHardware(nullptr).value_or(false));
}

TEST(Switchers, GVG100WritesExactBytesOnTheSerialLineAndIgnoresReplies)
{
    SerialSwitcher<QMProtocolParserGVG100> rig;
    platform::LogCapture capture;
    rig.serial->activate();
    ASSERT_TRUE(rig.serial->isActive());
    EXPECT_TRUE(capture.contains("baud:38400 parity:even data-bits:8 stop-bits:1"));
    EXPECT_TRUE(capture.contains("serial port connected"));
    rig.pty.closeSlave();
    rig.parser->sendProtocolCommand(command(*rig.parser, "Fade To Black"));
    EXPECT_EQ(rig.received(4), QByteArray("\x03\x00\xFB\x1F", 4));
    rig.parser->sendProtocolCommand(command(*rig.parser, "DSK Toggle"));
    EXPECT_EQ(rig.received(4), QByteArray("\x03\x01\xFB\x0D", 4));
    ASSERT_TRUE(rig.pty.write(QByteArray("\x80\x00garbage", 9)));
    testsupport::pumpEvents(30);
    EXPECT_TRUE(rig.serial->isActive());
    rig.serial->deactivate();
    EXPECT_TRUE(capture.contains("serial port disconnected"));
}

TEST(Switchers, SonyBVSWritesExactBytesOnTheSerialLine)
{
    SerialSwitcher<QMProtocolParserSonyBVS> rig;
    rig.serial->activate();
    ASSERT_TRUE(rig.serial->isActive());
    rig.pty.closeSlave();
    rig.parser->sendProtocolCommand(command(*rig.parser, "Fade To Black"));
    EXPECT_EQ(rig.received(5), QByteArray("\x04\x00\x96\x80\x30", 5));
    rig.parser->sendProtocolCommand(command(*rig.parser, "DSK On"));
    EXPECT_EQ(rig.received(4), QByteArray("\x03\x00\xDA\x10", 4));
}

TEST(Switchers, SonyBVSSendsEachCommandAsOneDatagram)
{
    testsupport::TempFolder folder;
    QUdpSocket switcher;
    ASSERT_TRUE(switcher.bind(QHostAddress::LocalHost, 0));
    auto [parser, udp] = makePair<QMProtocolParserSonyBVS, QMUDPNetworkHardwareCommunicator>();
    udp->setHostname(QStringLiteral("127.0.0.1"));
    udp->setPortNum(switcher.localPort());
    udp->setSocketMode(QMSocketModeConnect);
    platform::LogCapture capture;
    udp->activate();
    ASSERT_TRUE(udp->isActive());
    ASSERT_TRUE(waitUntil([&] { return capture.contains("UDP connected"); }));

    const std::pair<const char*, QByteArray> expected[] = {
        {"Fade To Black", QByteArray("\x04\x00\x96\x80\x30", 5)}, {"Key On", QByteArray("\x03\x01\xDA\x10", 4)},
        {"Key Off", QByteArray("\x03\x01\x9A\x10", 4)},          {"DSK On", QByteArray("\x03\x00\xDA\x10", 4)},
        {"DSK Off", QByteArray("\x03\x00\x9A\x10", 4)},
    };
    for (const auto& [name, bytes] : expected) {
        SCOPED_TRACE(name);
        parser->sendProtocolCommand(command(*parser, name));
        ASSERT_TRUE(waitUntil([&] { return switcher.hasPendingDatagrams(); }));
        QByteArray datagram(int(switcher.pendingDatagramSize()), 0);
        switcher.readDatagram(datagram.data(), datagram.size());
        EXPECT_EQ(datagram, bytes);
    }
    udp->deactivate();
    EXPECT_TRUE(waitUntil([&] { return capture.contains("UDP disconnected"); }));
}

TEST(Switchers, OtherLinksAreRefusedByName)
{
    QMProtocolParserSonyBVS parser;
    platform::LogCapture capture;
    parser.writeData("x");
    EXPECT_TRUE(capture.contains("unknown hardware class: (null)"));
}

TEST(CommandSender, BreakIndexesCutTheTextAndNothingIsDropped)
{
    QList<QByteArray> writes;
    const auto record = [&](const QByteArray& b) { writes << b; };
    QVariantMap d = QMProtocolCommandSender::descriptor(1, QStringLiteral("Cut"), QString(), QStringLiteral("0300FB1F"));
    d.insert(k(QMProtocolCommandKeyBreakIndexes), QVariantList{4, 2});
    d.insert(k(QMProtocolCommandKeyBreakDuration), 1000);
    QMProtocolCommandSender::sendHexDescriptor(d, record);
    EXPECT_EQ(writes, (QList<QByteArray>{QByteArray("\x03", 1), QByteArray("\x00", 1), QByteArray("\xFB\x1F", 2)}));

    writes.clear();
    d.insert(k(QMProtocolCommandKeyBreakIndexes), QVariantList{2, 8, 99});
    QMProtocolCommandSender::sendHexDescriptor(d, record);
    EXPECT_EQ(writes, (QList<QByteArray>{QByteArray("\x03", 1), QByteArray("\x00\xFB\x1F", 3)}));

    writes.clear();
    d.insert(k(QMProtocolCommandKeyBreakIndexes), QVariantList{});
    QMProtocolCommandSender::sendHexDescriptor(d, record);
    EXPECT_EQ(writes, (QList<QByteArray>{QByteArray("\x03\x00\xFB\x1F", 4)}));

    writes.clear();
    QVariantMap withParam = QMProtocolCommandSender::descriptor(2, QStringLiteral("Input"), QString(), QStringLiteral("0310XX"),
                                                                {QMProtocolCommandSender::parameter(QStringLiteral("In"), 4, 2)});
    QVariantList params = withParam.value(k(QMProtocolCommandKeyParams)).toList();
    QVariantMap p = params[0].toMap();
    p.insert(k(QMProtocolCommandKeyParamValue), QStringLiteral("7f"));
    params[0] = p;
    withParam.insert(k(QMProtocolCommandKeyParams), params);
    QMProtocolCommandSender::sendHexDescriptor(withParam, record);
    EXPECT_EQ(writes, (QList<QByteArray>{QByteArray("\x03\x10\x7f", 3)}));

    writes.clear();
    platform::LogCapture capture;
    QMProtocolCommandSender::sendHexDescriptor(QMProtocolCommandSender::descriptor(3, QStringLiteral("Bad"), QString(), QStringLiteral("Zé")), record);
    EXPECT_TRUE(writes.isEmpty());
    EXPECT_TRUE(capture.contains("not hexadecimal"));
}
