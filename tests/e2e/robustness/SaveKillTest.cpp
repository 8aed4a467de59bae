// The program killed outright while it saves its document: the file on disk is the old one or
// the new one, whole.
#include "app/document/KLVChannel.h"
#include "app/document/KLVPlaylist.h"
#include "shell/KLVDataFile.h"
#include "tests/e2e/support/KalvantoProcess.h"
#include "tests/e2e/support/TcpPeer.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/MediaFiles.h"

#include <QFile>

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <thread>

using namespace e2e;

namespace {

constexpr int kCues = 3000; // a save that takes long enough to be interrupted

size_t cuesOnChannelOne(const QString& path)
{
    try {
        const auto playlist = KLVDataFile::deserializedLocalFile(path);
        const auto channel = playlist ? playlist->channelForChannelNumber(1) : nullptr;
        return channel ? channel->playlistItems().size() : 0;
    } catch (...) {
        return 0;
    }
}

} // namespace

TEST(SaveInterrupted, KillDuringTheQuitSaveLeavesTheOldOrTheNewDocumentWhole)
{
    if (const QString why = KalvantoProcess::unavailableReason(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    const QString clip = testsupport::mediaPath("mjpeg");
    int replaced = 0;
    // The program saves the document it opens once its channels have extended it, and again on
    // the way out: kills land during start-up (a negative delay: that long after the start) and
    // from the moment the quit begins to well after its save.
    for (const int delayMs : {-1500, -3000, -5000, 0, 10, 40, 150}) {
        SCOPED_TRACE(delayMs);
        const uint16_t port = testsupport::freeTcpPort();
        Scene setup;
        std::vector<Cue> cues;
        for (int i = 0; i < kCues; ++i)
            cues.push_back({QStringLiteral("Cue %1").arg(i), clip, 25, 2.0});
        setup.channels = {cues, {}};
        setup.devices << tcpDevice(QStringLiteral("Automation"), 1, QStringLiteral("QMProtocolParserVDCP"), port);
        setup.cardsJson = cardJson(QStringLiteral("Out A"), 320, 240, 25);
        KalvantoProcess app(setup);
        QFile original(app.documentPath());
        ASSERT_TRUE(original.open(QIODevice::ReadOnly));
        const QByteArray before = original.readAll();
        original.close();

        ASSERT_TRUE(app.start());
        if (delayMs < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(-delayMs));
        } else {
            ASSERT_TRUE(waitFor([&] { return tcpAccepts(port); }, 30000)) << app.output().toStdString();
            ::kill(app.pid(), SIGTERM);
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        }
        app.kill9();

        QFile after(app.documentPath());
        ASSERT_TRUE(after.open(QIODevice::ReadOnly));
        const QByteArray now = after.readAll();
        if (now != before)
            ++replaced;
        EXPECT_EQ(cuesOnChannelOne(app.documentPath()), size_t(kCues));
    }
    // Some kills came after a finished save, so the new document was seen whole too.
    EXPECT_GT(replaced, 0);
    RecordProperty("replaced", replaced);
}
