// The media helper killed outright while a smart channel imports a folder's worth of clips: the
// program keeps running, the helper comes back, and every cue still gets its metadata.
#include "app/document/KLVChannel.h"
#include "app/document/KLVPlaylist.h"
#include "app/document/KLVPlaylistNode.h"
#include "shell/KLVDataFile.h"
#include "tests/e2e/support/KalvantoProcess.h"
#include "tests/support/MediaFiles.h"
#include "tests/support/TempFolder.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>

using namespace e2e;

namespace {

constexpr int kClips = 50;

struct Imported {
    size_t cues = 0;
    size_t withMetadata = 0;
};

Imported importedOnChannelOne(const QString& path)
{
    Imported out;
    try {
        const auto playlist = KLVDataFile::deserializedLocalFile(path);
        const auto channel = playlist ? playlist->channelForChannelNumber(1) : nullptr;
        if (!channel)
            return out;
        for (const auto& node : channel->playlistItems()) {
            ++out.cues;
            if (node->formatString().value_or(QString()).size() > 0 && node->sizeString().value_or(QString()).size() > 0
                && node->outPoint() > 0)
                ++out.withMetadata;
        }
    } catch (...) {
    }
    return out;
}

} // namespace

TEST(HelperKilled, ASmartFolderImportSurvivesTheMediaHelperDying)
{
    if (const QString why = KalvantoProcess::unavailableReason(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    testsupport::TempFolder drop;
    Scene setup;
    setup.channels = {{}};
    setup.smartDirectories = {drop.path()};
    setup.cardsJson = cardJson(QStringLiteral("Out A"), 320, 240, 25);
    KalvantoProcess smart(setup);
    ASSERT_TRUE(smart.start());
    // The watch starts on the empty folder once the document is read; clips copied in before it
    // would only be seen at the folder's next change.
    ASSERT_TRUE(waitFor([&] { return smart.watchesFolder(drop.path()) || !smart.running(); }, 30000));
    ASSERT_TRUE(smart.running()) << smart.output().right(3000).toStdString();

    const QString clip = testsupport::mediaPath("mjpeg");
    for (int i = 0; i < kClips; ++i)
        ASSERT_TRUE(QFile::copy(clip, QStringLiteral("%1/clip%2.mov").arg(drop.path()).arg(i, 2, 10, QChar(u'0'))));

    // The cues are saved as soon as they are made, before their metadata comes back.
    ASSERT_TRUE(waitFor([&] { return importedOnChannelOne(smart.documentPath()).cues == kClips; }, 30000))
        << smart.output().right(3000).toStdString();
    std::vector<pid_t> helpers;
    ASSERT_TRUE(waitFor([&] { return !(helpers = smart.helperChildren()).empty(); }, 10000));
    for (const pid_t helper : helpers)
        ::kill(helper, SIGKILL);
    // Requests were still outstanding when it died (answers that failed are asked again later).
    const Imported atKill = importedOnChannelOne(smart.documentPath());
    EXPECT_LT(atKill.withMetadata, size_t(kClips));

    EXPECT_TRUE(waitFor([&] { return importedOnChannelOne(smart.documentPath()).withMetadata == kClips; }, 90000))
        << "with metadata at the kill: " << atKill.withMetadata << "\n"
        << smart.output().right(3000).toStdString();
    EXPECT_TRUE(smart.running());
    // The dead helper is reaped (no zombie stays behind), in its own time after the new one runs.
    auto deadOnesGone = [&] {
        const std::vector<pid_t> children = smart.helperChildren();
        return std::none_of(helpers.begin(), helpers.end(), [&children](pid_t helper) {
            return std::count(children.begin(), children.end(), helper) > 0;
        });
    };
    EXPECT_TRUE(waitFor(deadOnesGone, 10000));
    EXPECT_EQ(smart.terminate(), 0);
}
