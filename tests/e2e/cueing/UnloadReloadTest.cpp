// A channel that unloaded its clip gives its drawing resources back; cued again, it makes them
// anew on its render thread and plays to the card as before.
#include "tests/e2e/support/FrameLogReader.h"
#include "tests/e2e/support/KalvantoProcess.h"
#include "tests/e2e/support/VdcpSession.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/MediaFiles.h"

#include <gtest/gtest.h>

using namespace e2e;
using vdcppeer::frame;
using vdcppeer::Reply;

namespace {

bool cueDone(VdcpSession& vdcp)
{
    const Reply status = vdcp.ask(frame(0x30, 0x05, QByteArray(1, 0x01)));
    return status.kind == Reply::Data && status.data.size() >= 2 && (std::uint8_t(status.data.at(1)) & 0x80);
}

// Whether the card has shown moving pictures of the clip since `fromTick`.
bool movingSince(KalvantoProcess& app, int64_t fromTick)
{
    const std::vector<int64_t> codes = barcodesFrom(readFrameLog(app.frameLogPath(0)), fromTick);
    int changes = 0;
    for (size_t i = 1; i < codes.size(); ++i)
        changes += codes[i] >= 0 && codes[i - 1] >= 0 && codes[i] != codes[i - 1] ? 1 : 0;
    return changes >= 5;
}

int64_t lastTick(KalvantoProcess& app)
{
    const auto log = readFrameLog(app.frameLogPath(0));
    return log.empty() ? 0 : log.back().tick;
}

} // namespace

TEST(VdcpUnloadReload, AClipCuedAfterAnUnloadPlaysOnTheCard)
{
    if (const QString why = KalvantoProcess::unavailableReason(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    const uint16_t port = testsupport::freeTcpPort();
    Scene setup;
    setup.channels = {{{QStringLiteral("Black"), QString(), 25, 0},
                       {QStringLiteral("Clip"), testsupport::mediaPath("mjpeg"), 25, 2.0, -1, 1}}};
    setup.devices << tcpDevice(QStringLiteral("Automation"), 1, QStringLiteral("QMProtocolParserVDCP"), port);
    setup.cardsJson = cardJson(QStringLiteral("Out A"), 320, 240, 25);
    setup.defaults << QStringLiteral("KLVShowSlate_1=false") << QStringLiteral("KLVSelectedAudioOutput1=1");
    KalvantoProcess app(setup);
    ASSERT_TRUE(app.start());
    ASSERT_TRUE(waitFor([&] { return tcpAccepts(port); }, 30000)) << app.output().toStdString();
    VdcpSession vdcp;
    ASSERT_TRUE(vdcp.connectTo(port));
    ASSERT_TRUE(vdcp.ask(frame(0x30, 0x01, QByteArray(1, 0x01))).isData(0x81));

    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass);
        ASSERT_EQ(vdcp.ask(frame(0x20, 0x24, QByteArray("Clip    ")), 30000).kind, Reply::Ack);
        ASSERT_TRUE(waitFor([&] { return cueDone(vdcp); }, 30000));
        const int64_t from = lastTick(app);
        ASSERT_EQ(vdcp.ask(frame(0x10, 0x01)).kind, Reply::Ack);
        EXPECT_TRUE(waitFor([&] { return movingSince(app, from); }, 30000)) << app.output().toStdString();
        // Stopped and the empty cue taken: the clip is unloaded and the card goes black.
        ASSERT_EQ(vdcp.ask(frame(0x10, 0x00)).kind, Reply::Ack);
        ASSERT_EQ(vdcp.ask(frame(0x20, 0x24, QByteArray("Black   ")), 30000).kind, Reply::Ack);
        EXPECT_TRUE(waitFor([&] {
            const auto log = readFrameLog(app.frameLogPath(0));
            return !log.empty() && log.back().barcode < 0;
        }, 30000));
    }
    EXPECT_EQ(app.terminate(), 0);
}
