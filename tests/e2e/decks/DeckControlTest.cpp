// A 9-pin controller on a pseudo-terminal and an AMP client on TCP play and stop the second
// channel; its card shows the clip moving and then holding. Controllers read readiness, refusals
// and answers to a burst of short-lived connections byte by byte.
#include "tests/comm/core/protocols/amp/AmpPeer.h"
#include "tests/comm/core/protocols/sonybvw/NinePinPeer.h"
#include "tests/e2e/support/FrameLogReader.h"
#include "tests/e2e/support/KalvantoProcess.h"
#include "tests/e2e/support/TcpPeer.h"
#include "tests/e2e/support/VdcpSession.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/MediaFiles.h"
#include "tests/support/PseudoTerminal.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

using namespace e2e;

namespace {

// Card 1 belongs to channel 2.
constexpr int kCard = 1;

struct CardWatch {
    KalvantoProcess& app;
    int64_t last() const
    {
        const auto log = readFrameLog(app.frameLogPath(kCard));
        return log.empty() ? -1 : log.back().barcode;
    }
    bool moving() const
    {
        const int64_t first = last();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return first >= 0 && last() > first;
    }
};

// A command repeated while the deck's line was opening is answered as often as it was sent, some
// answers late: the line is read until it has been quiet for a while, so no old answer is taken
// for the next one.
void waitUntilQuiet(testsupport::PseudoTerminal& line)
{
    while (!line.read(1, 1500).isEmpty()) {
    }
}

} // namespace

TEST(DeckControlEndToEnd, NinePinOnASerialLineAndAmpOverTcpPlayAndStopTheSecondChannel)
{
    if (const QString why = KalvantoProcess::unavailableReason(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    testsupport::PseudoTerminal line;
    ASSERT_TRUE(line.isValid());
    const uint16_t ampPort = testsupport::freeTcpPort();
    const uint16_t vdcpPort = testsupport::freeTcpPort();
    const QString clip = testsupport::mediaPath("mjpeg");
    Scene setup;
    // Long enough to stop in the middle: the clip loops.
    setup.channels = {{{QStringLiteral("One"), clip, 25, 2.0}}, {{QStringLiteral("Two"), clip, 25, 2.0, -1, 1}}};
    setup.devices << serialDevice(QStringLiteral("Deck"), 2, QStringLiteral("QMProtocolParserSonyBVW"), line.slavePath())
                  << tcpDevice(QStringLiteral("Switcher"), 2, QStringLiteral("QMProtocolParserAMP"), ampPort)
                  << tcpDevice(QStringLiteral("Automation"), 2, QStringLiteral("QMProtocolParserVDCP"), vdcpPort);
    setup.cardsJson = cardJson(QStringLiteral("Out A"), 320, 240, 25) + QStringLiteral(", ")
        + cardJson(QStringLiteral("Out B"), 320, 240, 25);
    setup.defaults << QStringLiteral("KLVShowSlate_2=false") << QStringLiteral("KLVSelectedAudioOutput2=1");
    KalvantoProcess app(setup);
    ASSERT_TRUE(app.start());
    ASSERT_TRUE(waitFor([&] { return tcpAccepts(ampPort); }, 30000)) << app.output().toStdString();
    CardWatch card{app};
    // 9-pin has no clip names: an automation port cues the clip, the decks take it from there.
    VdcpSession vdcp;
    ASSERT_TRUE(waitFor([&] { return tcpAccepts(vdcpPort); }, 30000));
    ASSERT_TRUE(vdcp.connectTo(vdcpPort));
    EXPECT_TRUE(vdcp.ask(vdcppeer::frame(0x30, 0x01, QByteArray(1, char(0x02)))).isData(0x81));
    EXPECT_EQ(vdcp.ask(vdcppeer::frame(0x20, 0x24, QByteArray("Two     ")), 30000).kind, vdcppeer::Reply::Ack);
    ASSERT_TRUE(waitFor([&] { return card.last() == 0; }, 20000)) << "on air: " << card.last();

    // 9-pin: play and stop are acknowledged (10 01 11) and reach the card.
    const QByteArray ack = ninepin::packet(0x10, 0x01);
    auto ninePin = [&](std::uint8_t cmd2) {
        line.readAvailable();
        line.write(ninepin::packet(0x20, cmd2));
        return line.read(3, 10000);
    };
    EXPECT_EQ(ninePin(0x01), ack);
    EXPECT_TRUE(waitFor([&] { return card.moving(); }, 10000));
    EXPECT_EQ(ninePin(0x00), ack);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(card.moving());

    // AMP: the same over TCP.
    TcpPeer amp;
    ASSERT_TRUE(amp.connectTo(ampPort));
    auto ampAsk = [&](const QByteArray& command) {
        amp.send(amppeer::cmds(command));
        return amp.receive([](const QByteArray& b) { return b.size() >= 4; }, 10000);
    };
    EXPECT_EQ(ampAsk("2001"), QByteArray("1001"));
    EXPECT_TRUE(waitFor([&] { return card.moving(); }, 10000));
    EXPECT_EQ(ampAsk("2000"), QByteArray("1001"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(card.moving());
    EXPECT_EQ(app.terminate(), 0);
}

TEST(DeckControlEndToEnd, ControllersReadServoLockAndRefusalsAndAreNeverTurnedAwayForClosedConnections)
{
    if (const QString why = KalvantoProcess::unavailableReason(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    testsupport::PseudoTerminal line;
    ASSERT_TRUE(line.isValid());
    const uint16_t vdcpPort = testsupport::freeTcpPort();
    const QString clip = testsupport::mediaPath("mjpeg");
    Scene setup;
    setup.channels = {{{QStringLiteral("One"), clip, 25, 2.0}}, {{QStringLiteral("Two"), clip, 25, 2.0, -1, 1}}};
    setup.devices << serialDevice(QStringLiteral("Deck"), 2, QStringLiteral("QMProtocolParserSonyBVW"), line.slavePath())
                  << tcpDevice(QStringLiteral("Automation"), 2, QStringLiteral("QMProtocolParserVDCP"), vdcpPort);
    setup.cardsJson = cardJson(QStringLiteral("Out A"), 320, 240, 25) + QStringLiteral(", ")
        + cardJson(QStringLiteral("Out B"), 320, 240, 25);
    KalvantoProcess app(setup);
    ASSERT_TRUE(app.start());
    ASSERT_TRUE(waitFor([&] { return tcpAccepts(vdcpPort); }, 30000)) << app.output().toStdString();

    VdcpSession vdcp;
    ASSERT_TRUE(vdcp.connectTo(vdcpPort));
    EXPECT_EQ(vdcp.ask(vdcppeer::frame(0x20, 0x24, QByteArray("Two     ")), 30000).kind, vdcppeer::Reply::Ack);
    // A Cue With Data that carries its ID but no times: refused with NAK, not left unanswered.
    const QByteArray cut = QByteArray::fromHex("020a202548323634" "5f373230df");
    EXPECT_EQ(vdcp.ask(cut).raw, QByteArray::fromHex("0501"));

    // 9-pin Status Sense, bytes 0 to 9: cued and still with a clip loaded, the deck stands by
    // with servo lock (7a 20 00 80 82 ...); stopped, it keeps the lock.
    auto statusSense = [&] {
        line.readAvailable();
        line.write(QByteArray::fromHex("61200a8b"));
        return line.read(13, 10000);
    };
    QByteArray block(10, '\0');
    block[1] = char(0x80);
    block[2] = char(0x82);
    EXPECT_EQ(statusSense(), ninepin::packet(0x70, 0x20, block));
    line.write(ninepin::packet(0x20, 0x00));
    EXPECT_EQ(line.read(3, 10000), ninepin::packet(0x10, 0x01));
    block[1] = char(0xA0);
    block[2] = char(0x80);
    EXPECT_EQ(statusSense(), ninepin::packet(0x70, 0x20, block));

    // Automation that connects, asks and hangs up, 500 times in a row: never turned away.
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(vdcpPort);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const QByteArray status = vdcppeer::frame(0x30, 0x05, QByteArray(1, char(0x01)));
    for (int i = 0; i < 500; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to), 0) << i;
        (void)::send(fd, status.constData(), size_t(status.size()), MSG_NOSIGNAL);
        ::close(fd);
    }
    VdcpSession late;
    ASSERT_TRUE(late.connectTo(vdcpPort));
    EXPECT_TRUE(late.ask(status, 30000).isData(0x85));
    EXPECT_EQ(vdcp.ask(vdcppeer::frame(0x10, 0x00)).kind, vdcppeer::Reply::Ack);
    EXPECT_FALSE(app.output().contains("refusing connection"));
    EXPECT_EQ(app.terminate(), 0);
}

TEST(DeckControlEndToEnd, AClipLoadedWithoutAnyControllerReportsServoLock)
{
    if (const QString why = KalvantoProcess::unavailableReason(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    testsupport::PseudoTerminal line;
    ASSERT_TRUE(line.isValid());
    const QString clip = testsupport::mediaPath("mjpeg");
    Scene setup;
    // A cue without a name (an older document's, or one no controller has named): 9-pin never
    // names clips, so nothing it reports may depend on one.
    setup.channels = {{{QStringLiteral("One"), clip, 25, 2.0}}, {{QString(), clip, 25, 2.0}}};
    setup.devices << serialDevice(QStringLiteral("Deck"), 2, QStringLiteral("QMProtocolParserSonyBVW"), line.slavePath());
    setup.cardsJson = cardJson(QStringLiteral("Out A"), 320, 240, 25) + QStringLiteral(", ")
        + cardJson(QStringLiteral("Out B"), 320, 240, 25);
    // The prepared document is the one start-up reads, so the channel cues its first row itself.
    setup.defaults << QStringLiteral("KLVShowSlate_2=false") << QStringLiteral("KLVDataFile=~/Shows/show.klv3");
    KalvantoProcess app(setup);
    ASSERT_TRUE(app.start());
    // The channel cues its first row itself when it starts, as when the operator picks it in
    // the window: no controller has named a clip.
    CardWatch card{app};
    ASSERT_TRUE(waitFor([&] { return card.last() == 0; }, 30000)) << app.output().toStdString();

    auto ask = [&](const QByteArray& packet, int replyBytes) {
        line.readAvailable();
        line.write(packet);
        return line.read(replyBytes, 10000);
    };
    const QByteArray ack = ninepin::packet(0x10, 0x01);
    // The deck's line may still be opening: the first command is repeated until it is answered.
    ASSERT_TRUE(waitFor([&] { return ask(ninepin::packet(0x20, 0x00), 3) == ack; }, 30000));
    waitUntilQuiet(line);
    // Cue Up With Data to 00:00:01:00 (frames, seconds, minutes, hours).
    EXPECT_EQ(ask(ninepin::packet(0x20, 0x31, QByteArray::fromHex("00010000")), 3), ack);
    ASSERT_TRUE(waitFor([&] { return card.last() == 25; }, 20000)) << "on air: " << card.last();

    // Status Sense, bytes 0 to 9: still, cue complete, and servo lock (data byte 2, 0x80).
    QByteArray block(10, '\0');
    block[1] = char(0x80);
    block[2] = char(0x83);
    const QByteArray expected = ninepin::packet(0x70, 0x20, block);
    EXPECT_TRUE(waitFor([&] { return ask(QByteArray::fromHex("61200a8b"), 13) == expected; }, 10000))
        << ask(QByteArray::fromHex("61200a8b"), 13).toHex().toStdString();
    EXPECT_EQ(app.terminate(), 0);
}

TEST(DeckControlEndToEnd, ADeckOnTheFirstChannelHasServoLockInEveryStateWithTheCueTheProgramStartedWith)
{
    if (const QString why = KalvantoProcess::unavailableReason(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    testsupport::PseudoTerminal line;
    ASSERT_TRUE(line.isValid());
    const QString clip = testsupport::mediaPath("mjpeg_10s");
    Scene setup;
    setup.channels = {{{QStringLiteral("One"), clip, 25, 10.0}, {QStringLiteral("Two"), clip, 25, 10.0}}};
    setup.devices << serialDevice(QStringLiteral("Deck"), 1, QStringLiteral("QMProtocolParserSonyBVW"), line.slavePath());
    setup.cardsJson = cardJson(QStringLiteral("Out A"), 320, 240, 25);
    // The document is the one named on the command line, not the data file: the program opens
    // it at start and cues its first cue, which card 0 shows.
    setup.defaults << QStringLiteral("KLVShowSlate_1=false");
    KalvantoProcess app(setup);
    ASSERT_TRUE(app.start());
    const auto onAir = [&] {
        const auto log = readFrameLog(app.frameLogPath(0));
        return log.empty() ? int64_t(-1) : log.back().barcode;
    };
    ASSERT_TRUE(waitFor([&] { return onAir() == 0; }, 30000)) << "on air: " << onAir() << "\n"
                                                                << app.output().toStdString();

    auto ask = [&](const QByteArray& packet, int replyBytes) {
        line.readAvailable();
        line.write(packet);
        return line.read(replyBytes, 10000);
    };
    // Status Sense, bytes 0 to 9; every answer is checked for servo lock (data byte 2, 0x80).
    int answers = 0;
    int withoutLock = 0;
    auto status = [&] {
        const QByteArray reply = ask(QByteArray::fromHex("61200a8b"), 13);
        ++answers;
        if (reply.size() == 13 && !(std::uint8_t(reply[4]) & 0x80))
            ++withoutLock;
        return reply;
    };
    auto block = [](std::uint8_t byte1, std::uint8_t byte2) {
        QByteArray bytes(10, '\0');
        bytes[1] = char(byte1);
        bytes[2] = char(byte2);
        return ninepin::packet(0x70, 0x20, bytes);
    };
    const QByteArray ack = ninepin::packet(0x10, 0x01);
    // The deck's line may still be opening: asked again until it answers.
    ASSERT_TRUE(waitFor([&] { return status().size() == 13; }, 30000));
    waitUntilQuiet(line);

    // Started: standing by, still, servo lock.
    EXPECT_EQ(status().toHex(' '), block(0x80, 0x82).toHex(' '));
    EXPECT_EQ(ask(ninepin::packet(0x20, 0x00), 3), ack);
    EXPECT_EQ(status().toHex(' '), block(0xA0, 0x80).toHex(' '));
    // Cue Up With Data to 00:00:05:00 (frames, seconds, minutes, hours): cue complete once the
    // channel stands there.
    EXPECT_EQ(ask(ninepin::packet(0x20, 0x31, QByteArray::fromHex("00050000")), 3), ack);
    ASSERT_TRUE(waitFor([&] { return onAir() == 125; }, 20000)) << "on air: " << onAir();
    const QByteArray cued = block(0x80, 0x83);
    EXPECT_TRUE(waitFor([&] { return status() == cued; }, 10000)) << status().toHex(' ').toStdString();
    EXPECT_EQ(ask(ninepin::packet(0x20, 0x00), 3), ack);
    EXPECT_EQ(status().toHex(' '), block(0xA0, 0x80).toHex(' '));
    const int64_t stoppedAt = onAir();
    EXPECT_EQ(ask(ninepin::packet(0x20, 0x01), 3), ack);
    EXPECT_TRUE(waitFor([&] { return onAir() > stoppedAt; }, 10000)) << "on air: " << onAir();
    EXPECT_EQ(status().toHex(' '), block(0x81, 0x80).toHex(' '));
    EXPECT_EQ(withoutLock, 0) << "of " << answers << " answers";
    EXPECT_EQ(app.terminate(), 0);
}
