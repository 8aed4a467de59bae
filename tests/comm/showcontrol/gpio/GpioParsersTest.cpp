// Global Cache relay commands against a fake unit on loopback, and the Numato board's set-up and
// polling over a pseudo-terminal.
#include "comm/core/CommunicationDeviceLookup.h"
#include "comm/core/QMApplicationCommands.h"
#include "comm/core/QMCommunicationModuleController.h"
#include "comm/core/QMSerialHardwareCommunicator.h"
#include "comm/core/QMTCPNetworkHardwareCommunicator.h"
#include "comm/showcontrol/gpio/QMProtocolParserGlobalCache.h"
#include "comm/showcontrol/gpio/QMProtocolParserNumatoGPIO.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/WaitUntil.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

namespace {

QVariantMap withValues(QVariantMap descriptor, const QStringList& values)
{
    QVariantList params = descriptor.value(QLatin1String(QMProtocolCommandKeyParams)).toList();
    for (qsizetype i = 0; i < params.size() && i < values.size(); ++i) {
        QVariantMap p = params[i].toMap();
        if (!values[i].isNull())
            p.insert(QLatin1String(QMProtocolCommandKeyParamValue), values[i]);
        params[i] = p;
    }
    descriptor.insert(QLatin1String(QMProtocolCommandKeyParams), params);
    return descriptor;
}

using Lines = QList<std::pair<double, QByteArray>>;

// A Global Cache parser connected over loopback to a listening fake unit.
struct FakeUnit {
    bool connect()
    {
        if (!server.listen(QHostAddress::LocalHost, 0))
            return false;
        parser->setHardwareCommunicator(tcp);
        tcp->setParser(parser);
        tcp->setHostname(QStringLiteral("127.0.0.1"));
        tcp->setPortNum(server.serverPort());
        tcp->setSocketMode(QMSocketModeConnect);
        tcp->activate();
        if (!testsupport::waitUntil([&] { return server.hasPendingConnections(); }))
            return false;
        line.reset(server.nextPendingConnection());
        return true;
    }

    // The next setstate line (15 bytes) the unit receives; empty when none came.
    QByteArray nextLine()
    {
        QByteArray received;
        testsupport::waitUntil([&] { return (received += line->readAll()).size() >= 15; });
        return received;
    }

    QTcpServer server;
    std::shared_ptr<QMProtocolParserGlobalCache> parser = std::make_shared<QMProtocolParserGlobalCache>();
    std::shared_ptr<QMTCPNetworkHardwareCommunicator> tcp = std::make_shared<QMTCPNetworkHardwareCommunicator>();
    std::unique_ptr<QTcpSocket> line;
};

} // namespace

TEST(GlobalCache, CommandsMakeSetstateLinesWithTheirDelays)
{
    QMProtocolParserGlobalCache parser;
    const QVariantMap commands = parser.protocolCommands();
    ASSERT_EQ(commands.size(), 4);
    EXPECT_EQ(parser.protocolCommands(), commands);
    EXPECT_EQ(QMProtocolParserGlobalCache::globalCacheClass().protocolBehaviorMask(), QMProtocolBehaviorController);
    EXPECT_EQ(parser.preferredTCPPortForNetworkHardware(nullptr), 4998u);
    QMRegisterGPIOClasses();
    EXPECT_EQ(CommunicationDeviceLookup::classForCommunicationType(8), &QMProtocolParserGlobalCache::globalCacheClass());
    EXPECT_EQ(CommunicationDeviceLookup::classForCommunicationType(13), &QMProtocolParserNumatoGPIO::numatoClass());

    const auto lines = [&](const char* name, const QStringList& values) {
        return QMProtocolParserGlobalCache::linesForCommand(withValues(commands.value(name).toMap(), values));
    };
    EXPECT_EQ(lines("Turn Output On", {"3"}), (Lines{{0.0, "setstate,1:3,1\r"}}));
    EXPECT_EQ(lines("Turn Output Off", {"1"}), (Lines{{0.0, "setstate,1:1,0\r"}}));
    EXPECT_EQ(lines("Off then On with Interval", {"1", "10"}), (Lines{{0.0, "setstate,1:1,0\r"}, {10.0, "setstate,1:1,1\r"}}));
    EXPECT_EQ(lines("On then Off with Interval", {"2", "1.5"}), (Lines{{0.0, "setstate,1:2,1\r"}, {1.5, "setstate,1:2,0\r"}}));
    // A missing value leaves its placeholder; an interval that is not a number counts as 0.
    EXPECT_EQ(lines("Turn Output On", {QString()}), (Lines{{0.0, "setstate,1:#,1\r"}}));
    EXPECT_EQ(lines("On then Off with Interval", {"2", "soon"}), (Lines{{0.0, "setstate,1:2,1\r"}, {0.0, "setstate,1:2,0\r"}}));
    EXPECT_EQ(lines("On then Off with Interval", {"2", "1e12"}).value(1).first, QMProtocolParserGlobalCache::kMaxIntervalSeconds);
}

TEST(GlobalCache, ARelayDeviceSavedAsTypeTenLoadsAndConnectsToItsUnit)
{
    QMRegisterGPIOClasses();
    EXPECT_EQ(CommunicationDeviceLookup::classForCommunicationType(10), &QMProtocolParserGlobalCache::globalCacheClass());
    QTcpServer unit;
    ASSERT_TRUE(unit.listen(QHostAddress::LocalHost, 0));
    // Saved under the type's former class name, as older device lists have it.
    QMCommunicationModuleController controller;
    const auto parser = controller.activateParserForXML(platform::parseXml(
        QStringLiteral("<QMProtocolParserITach behavior=\"1\"><QMTCPNetworkHardwareCommunicator port=\"%1\" "
                       "address=\"127.0.0.1\" mode=\"1\"/></QMProtocolParserITach>")
            .arg(unit.serverPort()).toUtf8()));
    ASSERT_TRUE(parser);
    EXPECT_EQ(&parser->parserClass(), &QMProtocolParserGlobalCache::globalCacheClass());
    EXPECT_EQ(parser->serializedParser().name(), QStringLiteral("QMProtocolParserGlobalCache"));
    const auto tcp = std::dynamic_pointer_cast<QMTCPNetworkHardwareCommunicator>(parser->hardwareCommunicator());
    ASSERT_TRUE(tcp);
    tcp->activate();
    ASSERT_TRUE(testsupport::waitUntil([&] { return unit.hasPendingConnections(); }));
    std::unique_ptr<QTcpSocket> line(unit.nextPendingConnection());
    parser->sendProtocolCommand(withValues(parser->protocolCommands().value("Turn Output On").toMap(), {"1"}));
    QByteArray received;
    EXPECT_TRUE(testsupport::waitUntil([&] { return (received += line->readAll()).size() >= 15; }));
    EXPECT_EQ(received, QByteArray("setstate,1:1,1\r"));
    tcp->deactivate();
}

TEST(GlobalCache, FakeUnitReceivesTheOnLineThenTheOffLineAfterTheInterval)
{
    FakeUnit unit;
    ASSERT_TRUE(unit.connect());
    auto& parser = unit.parser;
    auto& line = unit.line;

    const QVariantMap commands = parser->protocolCommands();
    QElapsedTimer clock;
    clock.start();
    parser->sendProtocolCommand(withValues(commands.value("On then Off with Interval").toMap(), {"2", "1"}));
    EXPECT_EQ(unit.nextLine(), QByteArray("setstate,1:2,1\r"));
    EXPECT_EQ(unit.nextLine(), QByteArray("setstate,1:2,0\r"));
    const qint64 elapsed = clock.elapsed();
    // Not before its interval (a timer never fires early by more than its coarseness); how
    // late it may come on a loaded machine is no property of the parser.
    EXPECT_GE(elapsed, 900);

    // The unit's replies are read and logged; nothing else is written.
    line->write("state,1:2,0\r");
    testsupport::pumpEvents(50);
    EXPECT_EQ(line->readAll(), QByteArray());
    unit.tcp->deactivate();
    parser->setHardwareCommunicator(nullptr);
}

TEST(GlobalCache, ADelayedLineForAGoneCommunicatorIsDroppedAndKeepsNothingAlive)
{
    FakeUnit unit;
    ASSERT_TRUE(unit.connect());
    auto& parser = unit.parser;
    auto& tcp = unit.tcp;

    parser->sendProtocolCommand(withValues(parser->protocolCommands().value("On then Off with Interval").toMap(), {"4", "0.3"}));
    EXPECT_EQ(unit.nextLine(), QByteArray("setstate,1:4,1\r"));
    // The device is removed while its Off line waits: the pending line holds no reference to
    // the communicator, and when its time comes it finds none and writes nothing.
    const std::weak_ptr<QMTCPNetworkHardwareCommunicator> watch = tcp;
    tcp->deactivate();
    parser->setHardwareCommunicator(nullptr);
    tcp.reset();
    EXPECT_TRUE(watch.expired());
    testsupport::pumpEvents(600);
    EXPECT_EQ(unit.line->readAll(), QByteArray());
}

TEST(NumatoGPIO, SetsUpThenPollsEverySecondUntilThePortCloses)
{
    testsupport::PseudoTerminal board;
    ASSERT_TRUE(board.isValid());
    auto parser = std::make_shared<QMProtocolParserNumatoGPIO>();
    auto serial = std::make_shared<QMSerialHardwareCommunicator>();
    serial->setDevicePath(board.slavePath());
    parser->setHardwareCommunicator(serial);
    serial->setParser(parser);
    EXPECT_EQ(QMProtocolParserNumatoGPIO::numatoClass().protocolBehaviorMask(), QMProtocolBehaviorDevice);
    EXPECT_EQ(serial->effectiveSettings().speed, 9600);

    serial->activate();
    ASSERT_TRUE(serial->isActive());
    EXPECT_TRUE(parser->isPolling());
    QByteArray seen;
    const auto collect = [&](qsizetype size) {
        return testsupport::waitUntil([&] { return (seen += board.readAvailable()).size() >= size; });
    };
    ASSERT_TRUE(collect(14));
    EXPECT_EQ(seen, QByteArray("gpio iodir ff\r"));
    testsupport::pumpEvents(300);
    seen += board.readAvailable();
    EXPECT_EQ(seen.size(), 14) << "the board settles before the first poll";
    ASSERT_TRUE(collect(14 + 4));
    board.write("v1.0\r\n");
    ASSERT_TRUE(collect(14 + 8));
    EXPECT_EQ(seen, QByteArray("gpio iodir ff\rver\rver\r"));

    serial->deactivate();
    EXPECT_FALSE(parser->isPolling());
    testsupport::pumpEvents(1200);
    EXPECT_EQ(board.readAvailable(), QByteArray());
    parser->setHardwareCommunicator(nullptr);
}
