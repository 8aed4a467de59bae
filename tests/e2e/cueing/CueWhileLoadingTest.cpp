// A cue of a large clip over VDCP: the cue is acknowledged once the channel has taken it, other
// controllers are answered while the clip opens, and the port status says when the cue is done.
#include "tests/e2e/support/KalvantoProcess.h"
#include "tests/e2e/support/TcpPeer.h"
#include "tests/e2e/support/VdcpSession.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/MediaFiles.h"

#include <gtest/gtest.h>

using namespace e2e;
using vdcppeer::frame;
using vdcppeer::Reply;

namespace {

constexpr std::uint8_t kCueInit = 0x02;
constexpr std::uint8_t kCueDone = 0x80;
constexpr std::uint8_t kPlaying = 0x20;

std::uint8_t portState(VdcpSession& vdcp)
{
    const Reply status = vdcp.ask(frame(0x30, 0x05, QByteArray(1, 0x01)));
    return status.kind == Reply::Data && status.data.size() >= 2 ? std::uint8_t(status.data.at(1)) : 0;
}

} // namespace

TEST(VdcpCueWhileLoading, OtherConnectionsAreAnsweredWhileALargeClipOpens)
{
    if (const QString why = KalvantoProcess::unavailableReason(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    const QString large = testsupport::mediaPath("prores_1080p"); // 90 frames, 1080p29.97
    const uint16_t port = testsupport::freeTcpPort();
    Scene setup;
    setup.channels = {{{QStringLiteral("Small"), testsupport::mediaPath("h264_1080p"), 29.97, 3.0},
                       {QStringLiteral("Large"), large, 29.97, 3.0}}};
    setup.devices << tcpDevice(QStringLiteral("Automation"), 1, QStringLiteral("QMProtocolParserVDCP"), port);
    setup.cardsJson = cardJson(QStringLiteral("Out A"), 320, 240, 25);
    setup.defaults << QStringLiteral("KLVShowSlate_1=false") << QStringLiteral("KLVSelectedAudioOutput1=1");
    KalvantoProcess app(setup);
    ASSERT_TRUE(app.start());
    ASSERT_TRUE(waitFor([&] { return tcpAccepts(port); }, 30000)) << app.output().toStdString();

    VdcpSession automation, monitor;
    ASSERT_TRUE(automation.connectTo(port));
    ASSERT_TRUE(monitor.connectTo(port));
    ASSERT_TRUE(automation.ask(frame(0x30, 0x01, QByteArray(1, 0x01))).isData(0x81));
    ASSERT_TRUE(monitor.ask(frame(0x30, 0x01, QByteArray(1, 0x01))).isData(0x81));
    // The small clip restored at start-up has finished loading.
    ASSERT_TRUE(waitFor([&] { return (portState(monitor) & kCueDone) != 0; }, 20000));

    // The cue is taken at once; the clip has not opened when the other controller asks next, so
    // its answer says the cue is still being prepared.
    EXPECT_EQ(automation.ask(frame(0x20, 0x24, QByteArray("Large   "))).kind, Reply::Ack);
    const std::uint8_t during = portState(monitor);
    EXPECT_TRUE(during & kCueInit) << int(during);
    EXPECT_FALSE(during & kCueDone) << int(during);
    // Then cue-done, polled as automation does; the cued clip is the large one, and it plays.
    ASSERT_TRUE(waitFor([&] { return (portState(monitor) & kCueDone) != 0; }, 30000));
    EXPECT_EQ(automation.ask(frame(0x30, 0x07)).data, QByteArray("\x01Large   ", 9));
    EXPECT_EQ(automation.ask(frame(0x10, 0x01)).kind, Reply::Ack);
    EXPECT_TRUE(waitFor([&] { return (portState(monitor) & kPlaying) != 0; }, 10000));
    EXPECT_EQ(app.terminate(), 0);
}
