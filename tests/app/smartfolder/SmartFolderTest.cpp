// Smart-folder channels: matching files to cues, and a channel following its folder.
#include "app/smartfolder/KLVSmartFolder.h"

#include "tests/support/TempFolder.h"
#include "tests/support/WaitUntil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>

#include <gtest/gtest.h>

using testsupport::TempFolder;
using Nodes = std::vector<std::shared_ptr<KLVPlaylistNode>>;

namespace {

std::shared_ptr<KLVPlaylistNode> cueFor(const QString& path)
{
    auto node = KLVPlaylistNode::create();
    node->setPlnSourcePath(path);
    node->setPlnName(QFileInfo(path).completeBaseName());
    return node;
}

QStringList names(const Nodes& nodes)
{
    QStringList out;
    for (const auto& n : nodes)
        out.append(n->plnName().value_or(QString()));
    return out;
}

} // namespace

TEST(SmartFolderMatch, RawNamesFirstOneCuePerFileAndStrictDecoding)
{
    const auto percent = cueFor(QStringLiteral("/old/100%.mov"));
    const auto encoded = cueFor(QStringLiteral("/old/a%20b.mov"));
    const auto broken = cueFor(QStringLiteral("/old/c%zz.mov"));
    const auto twin = cueFor(QStringLiteral("/d/one/clip.mov"));
    const QStringList files{QStringLiteral("/d/100%.mov"), QStringLiteral("/d/a b.mov"), QStringLiteral("/d/c%zz.mov"),
                            QStringLiteral("/d/c\x01.mov"), QStringLiteral("/d/two/clip.mov"),
                            QStringLiteral("/d/one/clip.mov")};
    const KLVSmartFolderMatch m = klvMatchFolderFiles({percent, encoded, broken, twin}, files);
    // "100%.mov" keeps its cue although it is no valid escape; "a%20b" still finds "a b" by its
    // decoded name; the two clip.mov files share no cue (the one at the cue's own path keeps it).
    EXPECT_EQ(m.kept, (Nodes{percent, encoded, broken, twin}));
    EXPECT_EQ(m.newPaths, (QStringList{QStringLiteral("/d/c\x01.mov"), QStringLiteral("/d/two/clip.mov")}));
    EXPECT_FALSE(klvDecodedFileName(QStringLiteral("/x/c%zz.mov")));
    EXPECT_FALSE(klvDecodedFileName(QStringLiteral("/x/c%ff.mov"))); // not UTF-8
    EXPECT_EQ(klvDecodedFileName(QStringLiteral("/x/%C3%A9t%C3%A9.mov")), QStringLiteral("\u00e9t\u00e9.mov"));

    Nodes sorted{cueFor(QStringLiteral("/b.mov")), cueFor(QStringLiteral("/A.mov")), cueFor(QStringLiteral("/c.mov"))};
    klvSortCuesByName(sorted);
    EXPECT_EQ(names(sorted), (QStringList{"A", "b", "c"}));
}

class SmartFolderWatch : public ::testing::TestWithParam<bool> {};

TEST_P(SmartFolderWatch, FollowsTheFolderKeepingCuesOfFilesStillThere)
{
    TempFolder home;
    QDir(home.path()).mkpath(QStringLiteral("clips/sub"));
    home.writeFile(QStringLiteral("clips/b.mov"), "x");
    home.writeFile(QStringLiteral("clips/100%.mov"), "x");
    auto channel = KLVChannel::create(1);
    channel->setType(1);
    channel->setSmartDirectory(QStringLiteral("~/clips")); // watched with "~" expanded

    KLVSmartFolder folder(channel);
    folder.setLatencyMs(300);
    folder.setForcePolling(GetParam());
    QThread* madeOn = nullptr;
    folder.nodesForPaths = [&](const QStringList& paths) {
        madeOn = QThread::currentThread();
        Nodes nodes;
        for (const QString& p : paths)
            nodes.push_back(cueFor(p));
        return nodes;
    };
    int updates = 0;
    QObject::connect(&folder, &KLVSmartFolder::dataUpdated, [&] { ++updates; });
    ASSERT_TRUE(folder.isMonitoring());
    EXPECT_EQ(folder.watcher().path(), home.filePath(QStringLiteral("clips")));
    EXPECT_EQ(folder.watcher().isPolling(), GetParam());

    folder.runSmartFolderDirectoryListComparison();
    ASSERT_TRUE(testsupport::waitUntil([&] { return updates == 1; }));
    EXPECT_EQ(madeOn, QCoreApplication::instance()->thread());
    Nodes cues = channel->playlistItems();
    ASSERT_EQ(names(cues), (QStringList{"100%", "b"}));
    const auto percent = cues[0], b = cues[1];
    b->setInPoint(2.0);

    // A new file (in a new subfolder, too) becomes a cue: the wait only bounds a failure (how soon
    // is a matter for measuring, not for a loaded test machine).
    QDir(home.path()).mkpath(QStringLiteral("clips/sub/new"));
    home.writeFile(QStringLiteral("clips/sub/new/a.mov"), "x");
    ASSERT_TRUE(testsupport::waitUntil([&] { return channel->playlistItems().size() == 3; }, 30000));
    cues = channel->playlistItems();
    EXPECT_EQ(names(cues), (QStringList{"100%", "a", "b"}));
    EXPECT_EQ(cues[0], percent);
    EXPECT_EQ(cues[2], b);
    EXPECT_DOUBLE_EQ(b->inPoint(), 2.0);

    QFile::remove(home.filePath(QStringLiteral("clips/b.mov")));
    ASSERT_TRUE(testsupport::waitUntil([&] { return channel->playlistItems().size() == 2; }, 30000));
    EXPECT_EQ(channel->playlistItems()[0], percent);

    // Switching off ends the watch and the mirror.
    folder.tearDownDirectoryMonitoring();
    EXPECT_FALSE(folder.isMonitoring());
    EXPECT_TRUE(channel->playlistItems().empty());
    EXPECT_EQ(channel->type(), 0);
    // Without a watch, tearing down changes nothing.
    channel->setPlaylistItems({percent});
    folder.tearDownDirectoryMonitoring();
    EXPECT_EQ(channel->playlistItems().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(InotifyAndPolling, SmartFolderWatch, ::testing::Values(false, true));
