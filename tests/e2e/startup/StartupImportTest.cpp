// The program started for real: the media helper is up before anything is imported, and the
// thumbnails of an import come in the order of the rows that show them.
#include "app/document/KLVChannel.h"
#include "app/document/KLVPlaylist.h"
#include "app/document/KLVPlaylistNode.h"
#include "shell/KLVDataFile.h"
#include "tests/e2e/support/KalvantoProcess.h"
#include "tests/mediahelper/support/HelperTestMedia.h"
#include "tests/support/MediaFiles.h"
#include "tests/support/TempFolder.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>

using namespace e2e;

namespace {

// The UUIDs of channel 1's cues, in row order.
QStringList cueIds(const QString& document)
{
    QStringList ids;
    try {
        const auto playlist = KLVDataFile::deserializedLocalFile(document);
        const auto channel = playlist ? playlist->channelForChannelNumber(1) : nullptr;
        if (channel)
            for (const auto& node : channel->playlistItems())
                ids << node->UUID().value_or(QString());
    } catch (...) {
    }
    return ids;
}

// When a file was last written, to the nanosecond.
std::int64_t writtenAt(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return std::int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

// Whether the process has its own handler for SIGTERM yet.
bool catchesTermination(pid_t pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
    return false;
}

// Channel 1's cues as the saved document holds them.
std::vector<std::shared_ptr<KLVPlaylistNode>> savedCues(const QString& document)
{
    try {
        const auto playlist = KLVDataFile::deserializedLocalFile(document);
        const auto channel = playlist ? playlist->channelForChannelNumber(1) : nullptr;
        if (channel)
            return channel->playlistItems();
    } catch (...) {
    }
    return {};
}

// One channel and one small card; a smart channel of `folder` when one is given.
Scene oneChannel(const QString& folder = {})
{
    Scene setup;
    setup.channels = {{}};
    if (!folder.isEmpty())
        setup.smartDirectories = {folder};
    setup.cardsJson = cardJson(QStringLiteral("Out A"), 320, 240, 25);
    return setup;
}

} // namespace

TEST(StartupImport, TheMediaHelperRunsBeforeAnythingIsImported)
{
    if (const QString why = KalvantoProcess::unavailableReason(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    KalvantoProcess app(oneChannel());
    ASSERT_TRUE(app.start());
    // No cue, no import: nothing has asked the helper for anything, yet it is there to answer.
    EXPECT_TRUE(waitFor([&] { return !app.helperChildren().empty(); }, 60000)) << app.output().right(2000).toStdString();
    EXPECT_TRUE(cueIds(app.documentPath()).isEmpty());
    EXPECT_EQ(app.terminate(), 0);
}

TEST(StartupImport, ATerminationWhileStartingIsNotLost)
{
    if (const QString why = KalvantoProcess::unavailableReason(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    KalvantoProcess app(oneChannel());
    ASSERT_TRUE(app.start());
    // From the moment the program takes the signal over, start-up (the window being drawn
    // included) is still running: the signal waits for it and then ends the program as usual.
    ASSERT_TRUE(waitFor([&] { return catchesTermination(app.pid()); }, 60000));
    EXPECT_EQ(app.terminate(), 0) << app.output().right(2000).toStdString();
}

TEST(StartupImport, AnImportsThumbnailsArriveInRowOrder)
{
    if (const QString why = KalvantoProcess::unavailableReason(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    testsupport::TempFolder drop;
    KalvantoProcess app(oneChannel(drop.path()));
    ASSERT_TRUE(app.start());
    ASSERT_TRUE(waitFor([&] { return !app.helperChildren().empty(); }, 60000));

    // Rows are sorted by name; each clip is linked in, so it appears whole at once.
    constexpr int kClips = 4;
    for (int i = kClips; i >= 1; --i)
        ASSERT_TRUE(QFile::link(testsupport::mediaPath("prores_422_10bit_pcm"),
                                QStringLiteral("%1/clip%2.mov").arg(drop.path()).arg(i)));
    QStringList ids;
    ASSERT_TRUE(waitFor([&] { return (ids = cueIds(app.documentPath())).size() == kClips; }, 60000));
    const QString folder = app.home().filePath(QStringLiteral(".local/share/Quenmark/Kalvanto/Thumbnails"));
    const auto thumbnail = [&](const QString& id) { return QStringLiteral("%1/%2_thumb.png").arg(folder, id); };
    ASSERT_TRUE(waitFor(
        [&] { return std::all_of(ids.begin(), ids.end(), [&](const QString& id) { return QFileInfo::exists(thumbnail(id)); }); },
        60000))
        << app.output().right(2000).toStdString();
    // One at a time, first row first.
    for (int row = 1; row < kClips; ++row)
        EXPECT_LT(writtenAt(thumbnail(ids[row - 1])), writtenAt(thumbnail(ids[row]))) << "row " << row;
    EXPECT_EQ(app.terminate(), 0);
}

// A cue imported just before the program ended, whose metadata never came: the document holds it
// with no out point. At the next start the program measures it again through its media helper and
// saves the result, and the document read back shows the clip's whole length.
TEST(StartupImport, ACueLeftWithoutALengthIsMeasuredAgainAtStart)
{
    if (const QString why = KalvantoProcess::unavailableReason(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    const QString clip = testsupport::helperClipPath(testsupport::HelperClip::Ntsc360FramesStatedShort);
    ASSERT_FALSE(clip.isEmpty());
    Scene setup = oneChannel();
    setup.channels = {{Cue{QStringLiteral("unmeasured"), clip}}};
    KalvantoProcess app(setup);
    {
        const auto before = savedCues(app.documentPath());
        ASSERT_EQ(before.size(), 1u);
        ASSERT_FALSE(before[0]->hasLength());
    }
    ASSERT_TRUE(app.start());
    std::vector<std::shared_ptr<KLVPlaylistNode>> cues;
    EXPECT_TRUE(waitFor([&] { return (cues = savedCues(app.documentPath())).size() == 1 && cues[0]->hasLength(); },
                        60000))
        << app.output().right(2000).toStdString();
    ASSERT_EQ(cues.size(), 1u);
    EXPECT_NEAR(cues[0]->outPoint(), 7207 / 600.0, 1e-5);
    EXPECT_NEAR(cues[0]->fps(), 30000.0 / 1001.0, 1e-5);
    EXPECT_EQ(cues[0]->outPointString(), QStringLiteral("00:00:12;00"));
    EXPECT_EQ(cues[0]->plnName(), QStringLiteral("unmeasured"));
    EXPECT_EQ(app.terminate(), 0);
}
