// RossTalk over TCP on loopback: as a device it turns lines into application commands on the
// main thread; as a controller it writes its commands as CR LF lines.
#include "comm/core/QMApplicationCommands.h"
#include "comm/core/QMTCPNetworkHardwareCommunicator.h"
#include "comm/core/protocols/rosstalk/QMProtocolParserRossTalk.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Log.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/support/WaitUntil.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

using testsupport::waitUntil;
using commtest::k;

namespace {

// Records each command with its parameters (the parser's own entry left out).
class RecordingDelegate : public QMProtocolParserDelegate {
public:
    QStringList commands;
    bool offMain = false;
    QVariant executeApplicationCommand(const QString& command, const QVariantMap& params) override
    {
        offMain = offMain || !platform::isMainThread();
        QVariantMap rest = params;
        const bool named = rest.remove(k(QMApplicationCommandParser)) == 1;
        QStringList parts{command + (named ? QString() : QStringLiteral(" (unnamed)"))};
        for (auto it = rest.cbegin(); it != rest.cend(); ++it)
            parts << it.key() + QLatin1Char('=') + it.value().toString();
        commands << parts.join(QLatin1Char(' '));
        return {};
    }
};

struct Pair {
    std::shared_ptr<QMProtocolParserRossTalk> parser = std::make_shared<QMProtocolParserRossTalk>();
    std::shared_ptr<QMTCPNetworkHardwareCommunicator> tcp = std::make_shared<QMTCPNetworkHardwareCommunicator>();
    explicit Pair(std::uint64_t behavior)
    {
        parser->setBehavior(behavior);
        parser->setHardwareCommunicator(tcp);
        tcp->setParser(parser);
    }
    ~Pair() { tcp->deactivate(); }
};

QVariantMap withValues(QVariantMap descriptor, const QStringList& values)
{
    QVariantList params = descriptor.value(k(QMProtocolCommandKeyParams)).toList();
    for (qsizetype i = 0; i < values.size() && i < params.size(); ++i) {
        QVariantMap p = params[i].toMap();
        p.insert(k(QMProtocolCommandKeyParamValue), values[i]);
        params[i] = p;
    }
    descriptor.insert(k(QMProtocolCommandKeyParams), params);
    return descriptor;
}

} // namespace

TEST(RossTalk, ClassAnswers)
{
    const QMProtocolParserClass& c = QMProtocolParserRossTalk::rossTalkClass();
    EXPECT_EQ(c.className(), QStringLiteral("QMProtocolParserRossTalk"));
    EXPECT_EQ(c.supportedProtocol(), QStringLiteral("RossTalk"));
    EXPECT_EQ(c.supportedHardwareCommunicators(), QStringList{"QMTCPNetworkHardwareCommunicator"});
    EXPECT_EQ(c.protocolBehaviorMask(), 5u);
    Pair device(QMProtocolBehaviorDevice);
    EXPECT_TRUE(device.parser->protocolCommands().isEmpty());
    EXPECT_EQ(device.parser->allowTCPSocketAcceptFromForNetworkHardware(nullptr), true);
    EXPECT_EQ(device.parser->allowTCPSocketConnectToForNetworkHardware(nullptr), false);
    EXPECT_EQ(device.parser->preferredTCPPortForNetworkHardware(nullptr), 7788u);
    Pair controller(QMProtocolBehaviorController);
    EXPECT_EQ(controller.parser->protocolCommands().size(), 5);
    EXPECT_EQ(controller.parser->allowTCPSocketConnectToForNetworkHardware(nullptr), true);
}

TEST(RossTalk, DeviceTurnsLinesIntoApplicationCommandsInOrder)
{
    Pair device(QMProtocolBehaviorDevice);
    RecordingDelegate delegate;
    device.parser->setDelegate(&delegate);
    device.tcp->setInterfaceString(QStringLiteral("lo"));
    device.tcp->setPortNum(0);
    device.tcp->setSocketMode(QMSocketModeListen);
    device.tcp->activate();
    ASSERT_TRUE(device.tcp->isActive());

    platform::LogCapture capture;
    QTcpSocket peer;
    peer.connectToHost(QHostAddress::LocalHost, device.tcp->localPort());
    ASSERT_TRUE(peer.waitForConnected(5000));
    peer.write("CLFB 2\r\nGPI 3:1\r\nGPI 3\r\nCLFB 7\r\nTAKE 5\r\nUPDATE\r\nUP\r\nDOWN\r\nNEXT\r\nCLFB\r\nHELLO there\r\nCL");
    ASSERT_TRUE(peer.waitForBytesWritten(5000));
    testsupport::pumpEvents(20);
    peer.write("RA\r\n");
    ASSERT_TRUE(waitUntil([&] { return delegate.commands.size() == 8; }));
    testsupport::pumpEvents(20);
    EXPECT_EQ(delegate.commands, (QStringList{
                                     "QMApplicationCommandClearBackground",
                                     "QMApplicationCommandGPITrigger QMApplicationCommandGPIParameterInputNumber=3 QMApplicationCommandGPIParameterState=1",
                                     "QMApplicationCommandGPITrigger QMApplicationCommandGPIParameterInputNumber=3",
                                     "QMApplicationCommandPlaylistItemPrevious",
                                     "QMApplicationCommandPlaylistItemNext",
                                     "QMApplicationCommandSlideNext",
                                     "QMApplicationCommandClearAll",
                                     "QMApplicationCommandClearAll",
                                 }));
    EXPECT_FALSE(delegate.offMain);
    EXPECT_TRUE(capture.contains("didn't handle RossTalk command TAKE"));
    EXPECT_TRUE(capture.contains("Unknown RossTalk message HELLO there"));
    // Whole commands only: a word that merely begins like one is not that command.
    EXPECT_TRUE(capture.contains("Unknown RossTalk message UPDATE"));
    EXPECT_FALSE(capture.contains("CLFB 7"));
    EXPECT_EQ(peer.bytesAvailable(), 0) << "nothing is ever answered";
}

TEST(RossTalk, ControllerWritesCommandLines)
{
    QTcpServer switcher;
    ASSERT_TRUE(switcher.listen(QHostAddress::LocalHost, 0));
    Pair controller(QMProtocolBehaviorController);
    controller.tcp->setHostname(QStringLiteral("127.0.0.1"));
    controller.tcp->setPortNum(switcher.serverPort());
    controller.tcp->setSocketMode(QMSocketModeConnect);
    controller.tcp->activate();
    ASSERT_TRUE(waitUntil([&] { return switcher.hasPendingConnections(); }));
    std::unique_ptr<QTcpSocket> line(switcher.nextPendingConnection());

    const QVariantMap commands = controller.parser->protocolCommands();
    QByteArray received;
    const auto expect = [&](const QByteArray& bytes) {
        EXPECT_TRUE(waitUntil([&] { return (received += line->readAll()).size() >= bytes.size(); }));
        EXPECT_EQ(received, bytes);
        received.clear();
    };
    controller.parser->sendProtocolCommand(commands.value(QStringLiteral("Fade To Black")).toMap());
    expect("FTB\r\n");
    controller.parser->sendProtocolCommand(withValues(commands.value(QStringLiteral("Key Cut")).toMap(), {"2", "1"}));
    expect("KEYCUT 2:1\r\n");
    controller.parser->sendProtocolCommand(withValues(commands.value(QStringLiteral("Key Trans")).toMap(), {"8", "3"}));
    expect("KEYAUTO 8:3\r\n");
    controller.parser->sendProtocolCommand(commands.value(QStringLiteral("Trigger GPI")).toMap());
    expect("GPI x\r\n");
    controller.parser->sendProtocolCommand(withValues(commands.value(QStringLiteral("Custom Control")).toMap(), {"12"}));
    expect("CC 12\r\n");
}
