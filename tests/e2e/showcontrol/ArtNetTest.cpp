// A lighting console's Art-Net universe reaching the running program's command interpreter,
// inside a network namespace of the test's own (the frames are broadcast).
#include "tests/e2e/support/KalvantoProcess.h"
#include "tests/support/PrivateNetwork.h"

#include <gtest/gtest.h>

#include <QHostAddress>
#include <QUdpSocket>

using namespace e2e;

namespace {

// ArtDmx for port address `portAddress` with 512 slots, the first one at `value`.
QByteArray artDmx(std::uint16_t portAddress, std::uint8_t sequence, char value)
{
    QByteArray d("Art-Net\0\x00\x50\x00\x0e", 12);
    d.append(char(sequence)).append('\0');
    d.append(char(portAddress & 0xFF)).append(char(portAddress >> 8));
    d.append(char(0x02)).append('\0'); // 512, high byte first
    QByteArray values(512, '\0');
    values[0] = value;
    return d + values;
}

} // namespace

TEST(ShowControlEndToEnd, AnArtNetUniverseReachesTheInterpreter)
{
    if (const QString why = KalvantoProcess::unavailableReason(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    const auto isolation = testsupport::runInPrivateNetwork([](testsupport::NetworkIsolation where) {
        // The program listens on the Art-Net port itself; outside a namespace of our own that is
        // the host's port, and consoles broadcast.
        if (where != testsupport::NetworkIsolation::PrivateNamespace)
            return;
        Scene setup;
        setup.channels = {{}};
        // Universe 2, sub-net 1: port address 18.
        setup.devices << QStringLiteral(
            "  <device deviceLabel=\"Desk\" deviceID=\"00000000-0000-0000-0000-0000000000a1\" reconnect=\"1\" klvChannel=\"0\">\n"
            "    <QMProtocolParserDMX>\n"
            "      <QMDMXArtnetHardwareCommunicator interface=\"lo\" universe=\"2\" subnet=\"1\" net=\"0\"/>\n"
            "    </QMProtocolParserDMX>\n  </device>\n");
        setup.cardsJson = cardJson(QStringLiteral("Out A"), 320, 240, 25);
        KalvantoProcess app(setup);
        ASSERT_TRUE(app.start());

        QUdpSocket console;
        ASSERT_TRUE(console.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0));
        const QHostAddress broadcast(QStringLiteral("127.255.255.255"));
        const QByteArray line = "Received QMApplicationCommandDMXValuesChanged from \"Desk\"";
        const auto logged = [&](const QByteArray& text) { return app.output().count(text); };
        std::uint8_t sequence = 1;
        // Until the device is up, frames go unheard.
        const bool arrived = waitFor(
            [&] {
                console.writeDatagram(artDmx(18, sequence, char(sequence)), broadcast, 6454);
                sequence = std::uint8_t(sequence % 250 + 1);
                return logged(line) > 0;
            },
            30000);
        ASSERT_TRUE(arrived) << app.output().right(3000).toStdString();
        // Once per kind, however many frames follow.
        for (int i = 0; i < 20; ++i)
            console.writeDatagram(artDmx(18, std::uint8_t(i + 1), char(i * 7)), broadcast, 6454);
        EXPECT_TRUE(app.running());
        EXPECT_EQ(app.terminate(), 0);
        EXPECT_EQ(logged(line), 1) << app.output().right(3000).toStdString();
    });
    if (isolation != testsupport::NetworkIsolation::PrivateNamespace)
        GTEST_SKIP() << "needs a network namespace of its own";
}
