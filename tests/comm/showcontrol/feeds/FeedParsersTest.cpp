// The scoreboard feeds: framing vectors per family member, one parser on a pseudo-terminal, and
// Scorebot over TCP on loopback.
#include "comm/core/CommunicationDeviceLookup.h"
#include "comm/core/QMApplicationCommands.h"
#include "comm/core/QMSerialHardwareCommunicator.h"
#include "comm/core/QMTCPNetworkHardwareCommunicator.h"
#include "comm/showcontrol/feeds/QMProtocolParserScorebot.h"
#include "comm/showcontrol/feeds/QMSerialFeedParser.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Log.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/platform/midi/MidiTestBytes.h"
#include "tests/support/WaitUntil.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <mutex>
#include <random>

namespace {

// Records the raw-data frames; callable from any thread.
struct FrameRecorder : QMProtocolParserDelegate {
    mutable std::mutex mutex;
    QList<QByteArray> frames;
    QStringList other;
    bool offMain = false;
    QVariant executeApplicationCommand(const QString& command, const QVariantMap& params) override
    {
        std::lock_guard lock(mutex);
        offMain = offMain || !platform::isMainThread();
        if (command == QLatin1String(QMApplicationCommandRawData) && qmParserFromParams(params))
            frames.append(params.value(QLatin1String(QMApplicationCommandRawDataParamData)).toByteArray());
        else
            other.append(command);
        return {};
    }
    QList<QByteArray> taken()
    {
        std::lock_guard lock(mutex);
        return std::exchange(frames, {});
    }
    qsizetype count() const
    {
        std::lock_guard lock(mutex);
        return frames.size();
    }
};

std::shared_ptr<QMSerialFeedParser> feed(const char* className)
{
    for (const QMProtocolParserClass* c : QMSerialFeedParser::feedClasses()) {
        if (c->className() == QLatin1String(className))
            return std::static_pointer_cast<QMSerialFeedParser>(c->create());
    }
    return nullptr;
}

} // namespace

TEST(SerialFeeds, TableAnswers)
{
    const QList<const QMProtocolParserClass*> classes = QMSerialFeedParser::feedClasses();
    ASSERT_EQ(classes.size(), 9);
    const auto electroMech = feed("QMProtocolParserElectorMech");
    ASSERT_TRUE(electroMech);
    EXPECT_EQ(electroMech->parserClass().supportedProtocol(), QStringLiteral("Electro-Mech"));
    EXPECT_EQ(electroMech->preferredSpeedForSerialHardware(nullptr), 38400);
    EXPECT_EQ(feed("QMProtocolParserJugs")->preferredSpeedForSerialHardware(nullptr), 1200);
    EXPECT_EQ(feed("QMProtocolParserStatCrew")->preferredSpeedForSerialHardware(nullptr), 19200);
    EXPECT_EQ(feed("QMProtocolParserStalker")->parserClass().supportedProtocolIcon(), QStringLiteral("stalker_radar"));
    for (const QMProtocolParserClass* c : classes) {
        EXPECT_EQ(c->protocolBehaviorMask(), QMProtocolBehaviorController);
        EXPECT_EQ(c->supportedHardwareCommunicators(), QStringList{"QMSerialHardwareCommunicator"});
    }
    EXPECT_EQ(QMProtocolParserScorebot::scorebotClass().supportedProtocolDescription(), QStringLiteral("Receive Scorebot data over the network"));

    // Every feed is found by its type number once registered.
    QMRegisterFeedClasses();
    for (const std::uint64_t type : {0, 3, 5, 6, 7, 11, 14, 16, 19, 20}) {
        const QMProtocolParserClass* c = CommunicationDeviceLookup::classForCommunicationType(type);
        ASSERT_TRUE(c) << type;
        EXPECT_EQ(c->className(), CommunicationDeviceLookup::classNameForCommunicationType(type));
    }
}

TEST(SerialFeeds, StartEndFramingVectors)
{
    FrameRecorder recorder;
    const auto daktronics = feed("QMProtocolParserDaktronicsTV");
    daktronics->setDelegate(&recorder);
    daktronics->serialHardwareReadData(nullptr, bytesOf({0x55, 0x01, 0x41, 0x45, 0x04, 0x01, 0x43}));
    EXPECT_EQ(recorder.taken(), QList<QByteArray>{bytesOf({0x01, 0x41, 0x45, 0x04})});
    EXPECT_EQ(daktronics->messageBuffer(), bytesOf({0x01, 0x43}));
    daktronics->serialHardwareReadData(nullptr, bytesOf({0x44, 0x04, 0x01, 0x50, 0x04, 0x01}));
    EXPECT_EQ(recorder.taken(), (QList<QByteArray>{bytesOf({0x01, 0x43, 0x44, 0x04}), bytesOf({0x01, 0x50, 0x04})}));
    daktronics->serialHardwareReadData(nullptr, bytesOf({0x41, 0x01, 0x45, 0x04}));
    EXPECT_EQ(recorder.taken(), QList<QByteArray>{bytesOf({0x01, 0x45, 0x04})}) << "a second start drops the partial frame";
    daktronics->serialHardwareReadData(nullptr, bytesOf({0x33, 0x34, 0x04, 0x35}));
    EXPECT_TRUE(recorder.taken().isEmpty()) << "an end byte with no start delivers nothing";
    EXPECT_EQ(daktronics->messageBuffer(), bytesOf({0x35}));

    const std::pair<const char*, QByteArray> members[] = {
        {"QMProtocolParserEversan", bytesOf({0x02, 0x31, 0x0D})},
        {"QMProtocolParserOES", bytesOf({0x02, 0x31, 0x0D})},
        {"QMProtocolParserFairPlayMP70", bytesOf({0x02, 0x31, 0x03})},
        {"QMProtocolParserStatCrew", bytesOf({0x02, 0x31, 0x03})},
        {"QMProtocolParserElectorMech", bytesOf({0x01, 0x31, 0x04})},
    };
    for (const auto& [name, frame] : members) {
        const auto parser = feed(name);
        parser->setDelegate(&recorder);
        parser->serialHardwareReadData(nullptr, bytesOf({0x7F}) + frame + bytesOf({0x02}));
        EXPECT_EQ(recorder.taken(), QList<QByteArray>{frame}) << name;
    }
}

TEST(SerialFeeds, LineFramingEmptyReadsAndTheBufferCap)
{
    FrameRecorder recorder;
    const auto jugs = feed("QMProtocolParserJugs");
    jugs->setDelegate(&recorder);
    jugs->serialHardwareReadData(nullptr, bytesOf({0x0D, 0x34, 0x32, 0x0D, 0x0A, 0x34, 0x33, 0x0D}));
    EXPECT_EQ(recorder.taken(), (QList<QByteArray>{bytesOf({0x34, 0x32, 0x0D}), bytesOf({0x0A, 0x34, 0x33, 0x0D})}));

    platform::LogCapture capture;
    jugs->serialHardwareReadData(nullptr, QByteArray());
    EXPECT_TRUE(capture.contains("got data with no length, bailing..."));

    // Bytes that never complete a frame are bounded; the next frame is cut as usual.
    const auto stalker = feed("QMProtocolParserStalker");
    stalker->setDelegate(&recorder);
    stalker->serialHardwareReadData(nullptr, QByteArray(kQMFeedMaxBufferedBytes + 10, 'x'));
    EXPECT_TRUE(stalker->messageBuffer().isEmpty());
    stalker->serialHardwareReadData(nullptr, QByteArray("S42\r"));
    EXPECT_EQ(recorder.taken(), QList<QByteArray>{QByteArray("S42\r")});

    const auto allAmerican = feed("QMProtocolParserAllAmerican8000");
    allAmerican->setDelegate(&recorder);
    allAmerican->serialHardwareReadData(nullptr, bytesOf({0x02, 0x31, 0x03, 0x0D, 0x01, 0x04}));
    EXPECT_TRUE(recorder.taken().isEmpty()) << "AllAmerican8000 only logs";
    EXPECT_TRUE(capture.contains("<0231030d 0104>"));
}

TEST(SerialFeeds, DaktronicsOverAPseudoTerminal)
{
    testsupport::PseudoTerminal line;
    ASSERT_TRUE(line.isValid());
    FrameRecorder recorder;
    const auto parser = feed("QMProtocolParserDaktronicsTV");
    auto serial = std::make_shared<QMSerialHardwareCommunicator>();
    serial->setDevicePath(line.slavePath());
    parser->setHardwareCommunicator(serial);
    serial->setParser(parser);
    parser->setDelegate(&recorder);
    serial->activate();
    ASSERT_TRUE(serial->isActive());
    EXPECT_EQ(serial->effectiveSettings().speed, 9600);

    ASSERT_TRUE(line.write(bytesOf({0x10, 0x01, 0x11, 0x12})));
    testsupport::pumpEvents(30);
    ASSERT_TRUE(line.write(bytesOf({0x13, 0x04, 0x01, 0x20, 0x04})));
    ASSERT_TRUE(testsupport::waitUntil([&] { return recorder.count() == 2; }));
    EXPECT_EQ(recorder.taken(), (QList<QByteArray>{bytesOf({0x01, 0x11, 0x12, 0x13, 0x04}), bytesOf({0x01, 0x20, 0x04})}));
    EXPECT_FALSE(recorder.offMain);
    serial->deactivate();
    parser->setHardwareCommunicator(nullptr);
}

TEST(Scorebot, AsksWithSTAndDeliversEachRecordWholeHoweverSplit)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    FrameRecorder recorder;
    auto parser = std::make_shared<QMProtocolParserScorebot>();
    auto tcp = std::make_shared<QMTCPNetworkHardwareCommunicator>();
    parser->setHardwareCommunicator(tcp);
    tcp->setParser(parser);
    parser->setDelegate(&recorder);
    tcp->setHostname(QStringLiteral("127.0.0.1"));
    tcp->setPortNum(server.serverPort());
    tcp->setSocketMode(QMSocketModeConnect);
    tcp->activate();
    ASSERT_TRUE(testsupport::waitUntil([&] { return server.hasPendingConnections(); }));
    std::unique_ptr<QTcpSocket> peer(server.nextPendingConnection());
    QByteArray request;
    ASSERT_TRUE(testsupport::waitUntil([&] { return (request += peer->readAll()).size() >= 2; }));
    EXPECT_EQ(request, QByteArray("ST"));

    constexpr int kRecords = 20;
    QByteArray stream;
    for (int r = 0; r < kRecords; ++r)
        stream += QByteArray(int(QMProtocolParserScorebot::kRecordLength), char('A' + r));
    std::mt19937 random(1402);
    for (qsizetype at = 0; at < stream.size();) {
        const qsizetype n = std::min<qsizetype>(stream.size() - at, std::uniform_int_distribution<int>(1, 400)(random));
        peer->write(stream.mid(at, n));
        peer->flush();
        at += n;
        testsupport::pumpEvents(1);
    }
    ASSERT_TRUE(testsupport::waitUntil([&] { return recorder.count() == kRecords; }));
    testsupport::pumpEvents(30);
    const QList<QByteArray> frames = recorder.taken();
    ASSERT_EQ(frames.size(), kRecords);
    for (int r = 0; r < kRecords; ++r)
        EXPECT_EQ(frames[r], QByteArray(int(QMProtocolParserScorebot::kRecordLength), char('A' + r)));
    EXPECT_EQ(peer->readAll(), QByteArray()) << "\"ST\" only once per connection";
    tcp->deactivate();
    parser->setHardwareCommunicator(nullptr);
}
