// A console connects to the program's CITP media server and reads its element library.
#include "tests/comm/showcontrol/citp/ConsoleRig.h"
#include "tests/e2e/support/KalvantoProcess.h"
#include "tests/e2e/support/TcpPeer.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/MediaFiles.h"
#include "tests/support/PrivateNetwork.h"

#include <gtest/gtest.h>

using namespace e2e;
using namespace citptest;

namespace {

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
    const auto isolation = testsupport::runInPrivateNetwork([](testsupport::NetworkIsolation isolation) {
        // The program multicasts its announcements; outside a namespace of our own that would
        // leave through a real interface.
        if (isolation != testsupport::NetworkIsolation::PrivateNamespace)
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
