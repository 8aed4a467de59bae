// A server restarted unattended goes back on air whatever it has to tell the user: with the
// disk of its document full, the failed-save alert of start-up holds no card back.
#include "app/document/KLVChannel.h"
#include "app/document/KLVPlaylist.h"
#include "shell/KLVDataFile.h"
#include "tests/e2e/support/FrameLogReader.h"
#include "tests/e2e/support/KalvantoProcess.h"
#include "tests/support/MediaFiles.h"

#include <QFileInfo>

#include <gtest/gtest.h>

using namespace e2e;

TEST(StartupAlerts, AFailedSaveAtStartUpHoldsNoOutputBack)
{
    if (const QString why = KalvantoProcess::unavailableReason(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    constexpr long long kLimit = 48 * 1024;
    const QString clip = testsupport::mediaPath("mjpeg");
    Scene setup;
    // The third channel's cues make the document larger than a file may grow, while the card's
    // frame log (32 bytes a period) stays well below it for the minute the test may take.
    std::vector<Cue> spares;
    for (int i = 0; i < 200; ++i)
        spares.push_back({QStringLiteral("Spare %1").arg(i), clip, 25, 2.0});
    setup.channels = {{{QStringLiteral("Opener"), clip, 25, 2.0}}, {}, spares};
    setup.cardsJson = cardJson(QStringLiteral("Out A"), 320, 240, 25);
    // The prepared document is the one start-up reads and saves.
    setup.defaults << QStringLiteral("KLVShowSlate_1=false") << QStringLiteral("KLVDataFile=~/Shows/show.klv3");
    setup.fileSizeLimit = kLimit;
    KalvantoProcess app(setup);
    const qint64 documentSize = QFileInfo(app.documentPath()).size();
    ASSERT_GT(documentSize, kLimit);

    ASSERT_TRUE(app.start());
    // Nobody answers the alert: the cued frame goes on air all the same.
    const auto onAir = [&] {
        const auto log = readFrameLog(app.frameLogPath(0));
        return !log.empty() && log.back().barcode == 0;
    };
    EXPECT_TRUE(waitFor(onAir, 30000)) << app.output().toStdString();
    EXPECT_TRUE(app.output().contains("saving the data file")) << app.output().toStdString();

    // The saves that failed left the document as it was.
    EXPECT_EQ(app.terminate(), 0);
    EXPECT_EQ(QFileInfo(app.documentPath()).size(), documentSize);
    const auto document = KLVDataFile::deserializedLocalFile(app.documentPath());
    ASSERT_TRUE(document);
    EXPECT_EQ(document->channelForChannelNumber(3)->playlistItems().size(), spares.size());
}
