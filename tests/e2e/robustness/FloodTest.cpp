// Control ports flooded with commands, broken checksums, cut frames and connections closed in
// the middle of a frame: the program keeps running and answers afterwards.
#include "tests/comm/core/protocols/sonybvw/NinePinPeer.h"
#include "tests/e2e/support/KalvantoProcess.h"
#include "tests/e2e/support/VdcpSession.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/MediaFiles.h"
#include "tests/support/PseudoTerminal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace e2e;

namespace {

constexpr int kCommands = 10000;

QByteArray vdcpBytes(int i)
{
    const QByteArray status = vdcppeer::frame(0x30, 0x05, QByteArray(1, char(0x01)));
    switch (i % 6) {
    case 0: return status;
    case 1: { QByteArray bad = status; bad.back() = char(bad.back() + 1); return bad; } // checksum
    case 2: return status.left(3);                                                       // cut frame
    case 3: return QByteArray("\xFF\x00\x7F", 3);                                        // garbage
    case 4: return QByteArray("\x02\xFF", 2) + QByteArray(40, char(0x30));               // claims 255 bytes
    default: return vdcppeer::frame(0x30, 0x07);                                         // cued ID
    }
}

QByteArray ninePinBytes(int i)
{
    const QByteArray sense = ninepin::packet(0x60, 0x20, QByteArray(1, char(0x05)));
    switch (i % 5) {
    case 0: return sense;
    case 1: { QByteArray bad = sense; bad.back() = char(bad.back() + 1); return bad; }
    case 2: return sense.left(2);
    case 3: return QByteArray("\x0F\xFF", 2);
    default: return ninepin::packet(0x60, 0x0C, QByteArray(1, char(0x01)));
    }
}

} // namespace

TEST(ControlPortFlood, VdcpOnTcpAndNinePinOnASerialLineStillAnswerAfterwards)
{
    if (const QString why = KalvantoProcess::unavailableReason(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    testsupport::PseudoTerminal line(true);
    ASSERT_TRUE(line.isValid());
    const uint16_t port = testsupport::freeTcpPort();
    Scene setup;
    const QString clip = testsupport::mediaPath("mjpeg");
    setup.channels = {{{QStringLiteral("One"), clip, 25, 2.0}}, {{QStringLiteral("Two"), clip, 25, 2.0}}};
    setup.devices << tcpDevice(QStringLiteral("Automation"), 1, QStringLiteral("QMProtocolParserVDCP"), port)
                  << serialDevice(QStringLiteral("Deck"), 2, QStringLiteral("QMProtocolParserSonyBVW"), line.slavePath());
    setup.cardsJson = cardJson(QStringLiteral("Out A"), 320, 240, 25) + QStringLiteral(", ")
        + cardJson(QStringLiteral("Out B"), 320, 240, 25);
    KalvantoProcess app(setup);
    ASSERT_TRUE(app.start());
    ASSERT_TRUE(waitFor([&] { return tcpAccepts(port); }, 30000)) << app.output().toStdString();

    // VDCP: the flood in batches, replies drained as they come; every 500 commands a second
    // connection is closed in the middle of a frame.
    TcpPeer flood;
    ASSERT_TRUE(flood.connectTo(port));
    QByteArray batch;
    for (int i = 0; i < kCommands; ++i) {
        batch += vdcpBytes(i);
        if (i % 100 == 99) {
            ASSERT_TRUE(flood.send(batch)) << "at command " << i;
            batch.clear();
            flood.receive([](const QByteArray&) { return false; }, 1);
        }
        if (i % 500 == 0) {
            TcpPeer cut;
            if (cut.connectTo(port))
                cut.send(vdcppeer::frame(0x20, 0x24, QByteArray("Somethin")).left(5));
        }
    }
    flood.close();

    // 9-pin: the same on the serial line, drained as it goes.
    for (int i = 0; i < kCommands; ++i) {
        ASSERT_TRUE(line.write(ninePinBytes(i))) << "at packet " << i;
        if (i % 50 == 49)
            line.readAvailable();
    }
    // A quiet gap resynchronises the line, then it is read dry.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    while (!line.read(1, 300).isEmpty())
        line.readAvailable();

    ASSERT_TRUE(app.running()) << app.output().right(4000).toStdString();
    VdcpSession vdcp;
    ASSERT_TRUE(vdcp.connectTo(port));
    EXPECT_TRUE(vdcp.ask(vdcppeer::frame(0x30, 0x01, QByteArray(1, char(0x01))), 10000).isData(0x81));
    EXPECT_TRUE(vdcp.ask(vdcppeer::frame(0x30, 0x05, QByteArray(1, char(0x01))), 10000).isData(0x85));

    ASSERT_TRUE(line.write(ninepin::packet(0x60, 0x0C, QByteArray(1, char(0x01)))));
    QByteArray reply = line.read(7, 10000);
    const auto time = ninepin::takePacket(reply);
    ASSERT_TRUE(time.has_value()) << reply.toHex().toStdString();
    EXPECT_EQ(time->cmd1, 0x74);
    EXPECT_TRUE(time->checksumOk);
    EXPECT_EQ(app.terminate(), 0);
}
