// An automation system cues and plays a clip over VDCP on TCP; the card's output and the
// answers show what happened.
#include "tests/e2e/support/FrameLogReader.h"
#include "tests/e2e/support/KalvantoProcess.h"
#include "tests/e2e/support/VdcpSession.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/MediaFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

using namespace e2e;
using vdcppeer::frame;
using vdcppeer::Reply;

namespace {

// Periods a card has scheduled ahead when playback starts.
constexpr int64_t kScheduledLead = 3;

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

struct VdcpServer {
    uint16_t port = testsupport::freeTcpPort();
    std::unique_ptr<KalvantoProcess> app;

    explicit VdcpServer(Scene setup)
    {
        setup.devices << tcpDevice(QStringLiteral("Automation"), 1, QStringLiteral("QMProtocolParserVDCP"), port);
        setup.cardsJson = cardJson(QStringLiteral("Out A"), 320, 240, 25) + QStringLiteral(", ")
            + cardJson(QStringLiteral("Out B"), 320, 240, 25);
        setup.defaults << QStringLiteral("KLVShowSlate_1=false") << QStringLiteral("KLVShowSlate_2=false")
                       << QStringLiteral("KLVSelectedAudioOutput1=1") << QStringLiteral("KLVSelectedAudioOutput2=1");
        app = std::make_unique<KalvantoProcess>(setup);
    }

    bool startListening() { return app->start() && waitFor([&] { return tcpAccepts(port); }, 30000); }
};

// The play bit of a port status reply's first status byte.
bool playing(const Reply& status)
{
    return status.kind == Reply::Data && status.data.size() >= 2 && (std::uint8_t(status.data.at(1)) & 0x20);
}

} // namespace

TEST(VdcpEndToEnd, CuesByNamePlaysFromTheInPointAndAnswersStatusPositionAndList)
{
    if (const QString why = KalvantoProcess::unavailableReason(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    const QString clip = testsupport::mediaPath("mjpeg"); // 50 frames at 25 fps, barcoded
    Scene setup;
    setup.channels = {{{QStringLiteral("Opener"), clip, 25, 2.0, 0.8}, {QStringLiteral("Closer"), clip, 25, 2.0}}};
    VdcpServer server(setup);
    ASSERT_TRUE(server.startListening()) << server.app->output().toStdString();

    VdcpSession vdcp;
    ASSERT_TRUE(vdcp.connectTo(server.port));
    EXPECT_TRUE(vdcp.ask(frame(0x30, 0x01, bytes({0x01}))).isData(0x81));

    // The ID list names both cues, eight bytes each, padded with spaces.
    const Reply list = vdcp.ask(frame(0x30, 0x11));
    ASSERT_TRUE(list.isData(0x91)) << list.raw.toHex().toStdString();
    EXPECT_TRUE(list.data.mid(2).contains("Opener  ")) << list.data.toStdString();
    EXPECT_TRUE(list.data.mid(2).contains("Closer  ")) << list.data.toStdString();

    const Reply cue = vdcp.ask(frame(0x20, 0x24, QByteArray("Opener  ")), 30000);
    EXPECT_EQ(cue.kind, Reply::Ack) << cue.raw.toHex().toStdString();
    // Cued: the card holds the in-point frame.
    ASSERT_TRUE(waitFor([&] {
        const auto log = readFrameLog(server.app->frameLogPath(0));
        return !log.empty() && log.back().barcode == 20;
    }, 20000)) << server.app->output().toStdString();
    const Reply cuedId = vdcp.ask(frame(0x30, 0x07));
    EXPECT_EQ(cuedId.data, QByteArray("\x01Opener  ", 9));

    const int64_t before = int64_t(readFrameLog(server.app->frameLogPath(0)).size());
    EXPECT_EQ(vdcp.ask(frame(0x10, 0x01)).kind, Reply::Ack);
    EXPECT_TRUE(waitFor([&] { return playing(vdcp.ask(frame(0x30, 0x05, bytes({0x01})))); }, 5000));

    // The clip runs to its end and holds there: from frame 20 in order, none skipped once
    // moving, to the last frame.
    EXPECT_TRUE(waitFor([&] { return !playing(vdcp.ask(frame(0x30, 0x05, bytes({0x01})))); }, 20000));
    // The frames the card had scheduled go on air after the engine's end.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const auto log = readFrameLog(server.app->frameLogPath(0));
    std::vector<int64_t> distinct;
    for (int64_t code : barcodesFrom(log, log[size_t(std::max<int64_t>(before - 1, 0))].tick))
        if (code >= 0 && (distinct.empty() || distinct.back() != code))
            distinct.push_back(code);
    QString seen;
    for (int64_t code : distinct)
        seen += QString::number(code) + QLatin1Char(' ');
    ASSERT_GE(distinct.size(), 2u);
    EXPECT_EQ(distinct.front(), 20) << seen.toStdString();
    // While the card's scheduled lead drains, the first frames after the cued one may be
    // replaced; from then on every frame goes on air once, in order.
    EXPECT_LE(distinct[1], 20 + kScheduledLead + 1) << seen.toStdString();
    for (size_t i = 2; i < distinct.size(); ++i) {
        if (distinct[i - 1] >= 20 + kScheduledLead) {
            EXPECT_EQ(distinct[i], distinct[i - 1] + 1) << seen.toStdString();
        }
    }
    EXPECT_GE(distinct.back(), 48) << seen.toStdString();

    // Position: the time from the in point to the frame on air (29 frames at the clip's end).
    const Reply position = vdcp.ask(frame(0x30, 0x06, bytes({0x01})));
    ASSERT_EQ(position.kind, Reply::Data) << position.raw.toHex().toStdString();
    ASSERT_EQ(position.data.size(), 5);
    const int frames = fromBcd(position.data.at(1)) + 25 * (fromBcd(position.data.at(2)) + 60 * fromBcd(position.data.at(3)));
    EXPECT_GE(frames, distinct.back() - 20 - kScheduledLead);
    EXPECT_LE(frames, 30);

    EXPECT_EQ(vdcp.ask(frame(0x10, 0x00)).kind, Reply::Ack);
    EXPECT_TRUE(waitFor([&] { return !playing(vdcp.ask(frame(0x30, 0x05, bytes({0x01})))); }, 5000));
    EXPECT_EQ(server.app->terminate(), 0);
}

TEST(VdcpEndToEnd, RemoteStopToALinkedMasterStopsMasterAndSlave)
{
    if (const QString why = KalvantoProcess::unavailableReason(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    const QString clip = testsupport::mediaPath("mjpeg");
    Scene setup;
    setup.channels = {{{QStringLiteral("Master"), clip, 25, 2.0}}, {{QStringLiteral("Slave"), clip, 25, 2.0}}};
    setup.linkedTo = {0, 1};
    VdcpServer server(setup);
    ASSERT_TRUE(server.startListening()) << server.app->output().toStdString();
    VdcpSession vdcp;
    ASSERT_TRUE(vdcp.connectTo(server.port));
    EXPECT_TRUE(vdcp.ask(frame(0x30, 0x01, bytes({0x01}))).isData(0x81));
    EXPECT_EQ(vdcp.ask(frame(0x20, 0x24, QByteArray("Master  ")), 30000).kind, Reply::Ack);

    // Both cards show the clip moving, then hold one frame each after the stop.
    auto lastCode = [&](int card) {
        const auto log = readFrameLog(server.app->frameLogPath(card));
        return log.empty() ? int64_t(-1) : log.back().barcode;
    };
    auto moving = [&](int card) {
        const int64_t first = lastCode(card);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return lastCode(card) > first && first >= 0;
    };
    EXPECT_EQ(vdcp.ask(frame(0x10, 0x01)).kind, Reply::Ack);
    ASSERT_TRUE(waitFor([&] { return moving(0) && moving(1); }, 10000));
    EXPECT_EQ(vdcp.ask(frame(0x10, 0x00)).kind, Reply::Ack);
    EXPECT_TRUE(waitFor([&] { return !playing(vdcp.ask(frame(0x30, 0x05, bytes({0x01})))); }, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const int64_t master = lastCode(0), slave = lastCode(1);
    EXPECT_FALSE(moving(0));
    EXPECT_FALSE(moving(1));
    EXPECT_LT(master, 45);
    EXPECT_LT(slave, 45);
    EXPECT_EQ(server.app->terminate(), 0);
}
