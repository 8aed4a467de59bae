// A console connects to the program's CITP media server and reads its element library, its
// server information, a playing layer's progress and the refusals of what it does not serve.
#include "tests/comm/showcontrol/citp/ConsoleRig.h"
#include "tests/e2e/support/KalvantoProcess.h"
#include "tests/e2e/support/TcpPeer.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/MediaFiles.h"
#include "tests/support/PrivateNetwork.h"
#include "tests/support/UdpSocketTable.h"
#include "tests/e2e/support/VdcpSession.h"

#include <gtest/gtest.h>

using namespace e2e;
using namespace citptest;

namespace {

std::uint32_t u32At(const QByteArray& bytes, qsizetype at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | std::uint8_t(bytes[at + i]);
    return v;
}

template <class M>
std::shared_ptr<M> atVersion(std::uint8_t minor)
{
    auto message = std::make_shared<M>();
    message->msexHeader()->setMsexVersionMinor(minor);
    return message;
}

} // namespace

TEST(ShowControlEndToEnd, ACitpConsoleReadsTheMediaLibrary)
{
    if (const QString why = KalvantoProcess::unavailableReason(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    const auto isolation = testsupport::runInPrivateNetwork([](testsupport::NetworkIsolation where) {
        // The program multicasts its announcements; outside a namespace of our own that would
        // leave through a real interface.
        if (where != testsupport::NetworkIsolation::PrivateNamespace)
            return;
        const uint16_t port = testsupport::freeTcpPort();
        const QString clip = testsupport::mediaPath("mjpeg");
        Scene setup;
        setup.channels = {{{QStringLiteral("Opener"), clip, 25, 2.0}, {QStringLiteral("Closer"), clip, 25, 2.0}}};
        setup.devices << tcpDevice(QStringLiteral("Console"), 1, QStringLiteral("QMProtocolParserCITP"), port,
                                   QStringLiteral("behavior=\"1\""));
        setup.cardsJson = cardJson(QStringLiteral("Out A"), 320, 240, 25);
        KalvantoProcess app(setup);
        ASSERT_TRUE(app.start());
        ASSERT_TRUE(waitFor([&] { return tcpAccepts(port); }, 30000)) << app.output().toStdString();

        Console console(port);
        auto geli = atVersion<QMMSEXGELIMessage>(2);
        console.send(*geli);
        ASSERT_TRUE(waitFor([&] { return !console.withCode(CITPFourCC("ELIn")).empty(); }, 10000))
            << app.output().right(3000).toStdString();
        const auto elin = decoded<QMMSEXELInMessage>(console.withCode(CITPFourCC("ELIn")).front());
        ASSERT_NE(elin, nullptr);
        ASSERT_EQ(elin->libraries().size(), 1);
        EXPECT_EQ(elin->libraries().front().elementCount(), 2); // the channel's two cues

        EXPECT_TRUE(app.running());
        EXPECT_EQ(app.terminate(), 0);
    });
    if (isolation != testsupport::NetworkIsolation::PrivateNamespace)
        GTEST_SKIP() << "needs a network namespace of its own";
}

TEST(ShowControlEndToEnd, ACitpConsoleFollowsAPlayingLayerAndHearsWhatIsNotServed)
{
    if (const QString why = KalvantoProcess::unavailableReason(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    const auto isolation = testsupport::runInPrivateNetwork([](testsupport::NetworkIsolation where) {
        if (where != testsupport::NetworkIsolation::PrivateNamespace)
            return;
        const uint16_t port = testsupport::freeTcpPort();
        const uint16_t vdcpPort = testsupport::freeTcpPort();
        const QString clip = testsupport::mediaPath("mjpeg"); // 2 s at 25 frames a second
        Scene setup;
        setup.channels = {{{QStringLiteral("Opener"), clip, 25, 2.0, -1, 1}}};
        setup.devices << tcpDevice(QStringLiteral("Console"), 1, QStringLiteral("QMProtocolParserCITP"), port, QStringLiteral("behavior=\"1\""))
                      << tcpDevice(QStringLiteral("Automation"), 1, QStringLiteral("QMProtocolParserVDCP"), vdcpPort)
                      // Net 1, sub-net 3, universe 5.
                      << QStringLiteral("  <device deviceLabel=\"Desk\" deviceID=\"00000000-0000-0000-0000-0000000000a2\" reconnect=\"1\" klvChannel=\"0\">\n"
                                        "    <QMProtocolParserDMX>\n"
                                        "      <QMDMXArtnetHardwareCommunicator interface=\"lo\" universe=\"5\" subnet=\"3\" net=\"1\"/>\n"
                                        "    </QMProtocolParserDMX>\n  </device>\n");
        setup.cardsJson = cardJson(QStringLiteral("Out A"), 320, 240, 25);
        KalvantoProcess app(setup);
        ASSERT_TRUE(app.start());
        ASSERT_TRUE(waitFor([&] { return tcpAccepts(port) && tcpAccepts(vdcpPort); }, 30000)) << app.output().toStdString();

        Console console(port);
        console.send(*atVersion<QMMSEXCInfMessage>(2));
        ASSERT_TRUE(waitFor([&] { return !console.withCode(CITPFourCC("SInf")).empty(); }, 10000)) << app.output().right(3000).toStdString();
        // Server information at 1.2: a media library, three thumbnail formats, no stream, and the
        // layer patched at universe 0x35 of net 1, channel 1.
        const QByteArray sinf = console.withCode(CITPFourCC("SInf")).front();
        EXPECT_EQ(sinf.mid(20, 2), QByteArray::fromHex("0102"));
        EXPECT_EQ(sinf.right(2 + 13 + 1 + 1 + 14),
                  QByteArray::fromHex("0100" "03" "52474238" "4a504547" "504e4720" "00" "01") + QByteArray("ArtNet/1/53/1", 14));

        // Cued and played by automation, the layer reports its place in frames from the clip's
        // start, its length in frames (50) and its rate (25), never a place past its end.
        VdcpSession vdcp;
        ASSERT_TRUE(vdcp.connectTo(vdcpPort));
        EXPECT_EQ(vdcp.ask(vdcppeer::frame(0x20, 0x24, QByteArray("Opener  ")), 30000).kind, vdcppeer::Reply::Ack);
        EXPECT_EQ(vdcp.ask(vdcppeer::frame(0x10, 0x01), 30000).kind, vdcppeer::Reply::Ack);
        const QByteArray name = QByteArray::fromHex("4f00700065006e0065007200" "0000"); // "Opener" in UCS-2, terminated
        QByteArray layer;
        EXPECT_TRUE(waitFor([&] {
            const auto all = console.withCode(CITPFourCC("LSta"));
            for (auto it = all.rbegin(); it != all.rend(); ++it)
                if (it->contains(name))
                    layer = *it;
            return !layer.isEmpty();
        }, 20000));
        ASSERT_FALSE(layer.isEmpty());
        const qsizetype at = layer.size() - 13; // position, length, rate, flags
        EXPECT_LT(u32At(layer, at), 50u) << layer.toHex().toStdString();
        EXPECT_EQ(u32At(layer, at + 4), 50u) << layer.toHex().toStdString();
        EXPECT_EQ(std::uint8_t(layer[at + 8]), 25);

        // Refused at the negotiated version: a library by number, and thumbnails (none served).
        auto named = atVersion<QMMSEXGELIMessage>(2);
        named->addLibraryNumber(0);
        console.send(*named);
        auto geth = atVersion<QMMSEXGEThMessage>(2);
        geth->setThumbnailFormat(kMSEXFormatPNG);
        geth->setThumbnailWidth(64);
        geth->setThumbnailHeight(36);
        console.send(*geth);
        ASSERT_TRUE(waitFor([&] { return console.withCode(CITPFourCC("Nack")).size() == 2; }, 10000));
        EXPECT_EQ(console.withCode(CITPFourCC("Nack"))[0].mid(20), QByteArray::fromHex("0102") + "Nack" + "GELI");
        EXPECT_EQ(console.withCode(CITPFourCC("Nack"))[1].mid(20), QByteArray::fromHex("0102") + "Nack" + "GETh");

        // The program reads what its announcement group carries: nothing waits, nothing is dropped.
        const auto backlog = [] { return testsupport::udpSocketBacklog(QMProtocolParserCITP::kPLocPort); };
        EXPECT_TRUE(waitFor([&] { return backlog() && backlog()->queuedBytes == 0; }, 10000));
        EXPECT_EQ(backlog() ? backlog()->drops : 1u, 0u);

        EXPECT_TRUE(app.running());
        EXPECT_EQ(app.terminate(), 0);
    });
    if (isolation != testsupport::NetworkIsolation::PrivateNamespace)
        GTEST_SKIP() << "needs a network namespace of its own";
}
