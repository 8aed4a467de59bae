// Media import: metadata with retries, unplayable files, thumbnails of recorded files, requests
// from other threads, and cue selection.
#include "tests/ui/logic/playlist/ChannelFixture.h"

#include "app/smartfolder/KLVSmartFolder.h"
#include "app/imagecache/KLVImageManager.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/WaitUntil.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QThread>

#include <gtest/gtest.h>
#include <thread>

using testsupport::FakeChannelDelegate;

TEST(Import, OneAlertForTheUnplayableFilesOfARun)
{
    ChannelFixture f;
    KLVChannelController& c = f.channel(1);
    const QStringList paths{f.file("a.mov"), f.file("bad.avi"), f.file("c.mp4")};
    c.import().importFilesWithPaths(paths);
    ASSERT_EQ(c.table().playlistItemCount(), 3);
    EXPECT_EQ(c.import().outstandingMetadataRequests(), 3);

    QSignalSpy resets(&c.table().model(), &QAbstractItemModel::modelReset);
    int metadataAnswered = 0;
    for (auto& p : f.app.pending) {
        if (QLatin1String(p.kind) != QLatin1String("metadata"))
            continue;
        const bool valid = !p.node->plnSourcePath()->endsWith(QStringLiteral(".avi"));
        p.completion(platform::Error{}, ChannelFixture::metadata(valid));
        ++metadataAnswered;
        EXPECT_EQ(resets.count(), metadataAnswered == 3 ? 1 : 0); // one reload, after the last reply
    }
    EXPECT_TRUE(f.app.prompts.shown.empty()); // the alert comes from the main loop
    f.app.clock.advance(0);
    EXPECT_EQ(ChannelFixture::names(c), (QStringList{"a", "c"}));
    ASSERT_EQ(f.app.prompts.shown.size(), 1u);
    EXPECT_EQ(f.app.prompts.shown[0].messageText, QStringLiteral("Import failed"));
    // Unreadable, not a codec list: the helper refuses only files it cannot open at all.
    EXPECT_EQ(f.app.prompts.shown[0].informativeText,
              QStringLiteral("bad.avi could not be read: the file is damaged or not a movie."));
    const auto a = c.channel()->playlistItems()[0];
    EXPECT_DOUBLE_EQ(a->outPoint(), 12.0);
    EXPECT_DOUBLE_EQ(a->fps(), 25.0);
    EXPECT_EQ(a->sizeString(), QStringLiteral("1920x1080"));

    auto named = [&](std::initializer_list<const char*> names) {
        KLVChannelImport::NodeList nodes;
        for (const char* n : names) {
            nodes.push_back(KLVPlaylistNode::create());
            nodes.back()->setPlnSourcePath(QStringLiteral("/m/") + QLatin1String(n));
        }
        return KLVChannelImport::unreadableFilesText(nodes);
    };
    EXPECT_TRUE(named({"a.mov", "b.avi"}).startsWith(QStringLiteral("b.avi and 1 other file could not be read:")));
    EXPECT_TRUE(named({"a.mov", "x.mov", "b.avi"}).startsWith(QStringLiteral("b.avi and 2 other files could not be read:")));
}

TEST(Import, UnansweredMetadataIsAskedFiveTimesThenCountedOff)
{
    ChannelFixture f;
    KLVChannelController& c = f.channel(1);
    std::vector<double> askedAt;
    // A helper that fails every request (a client error: the completion still comes).
    f.app.mediaHelper = [&](const char* kind, const auto&, FakeChannelDelegate::CompletionBlock& done) {
        if (QLatin1String(kind) == QLatin1String("metadata"))
            askedAt.push_back(f.app.clock.nowMs());
        done(platform::Error{QString::fromLatin1(KLVMediaHelperClient::kErrorDomain), 199, QStringLiteral("Unknown error")},
             QVariant());
    };
    c.import().importFilesWithPaths({f.file("a.mov")});
    f.app.clock.advance(60000);
    EXPECT_EQ(askedAt, (std::vector<double>{0, 5000, 10000, 15000, 20000}));
    EXPECT_EQ(c.import().outstandingMetadataRequests(), 0);
    EXPECT_EQ(c.import().outstandingThumbnailRequests(), 0);
    EXPECT_EQ(c.import().outstandingSlateRequests(), 0);
    EXPECT_DOUBLE_EQ(c.channel()->playlistItems()[0]->duration(), -1.0);
    EXPECT_FALSE(c.import().progressShown());

    // The thumbnail failed too: showing the row asks once more, not at every repaint.
    int thumbs = 0;
    f.app.mediaHelper = [&](const char*, const auto&, FakeChannelDelegate::CompletionBlock& done) {
        ++thumbs;
        done(platform::Error{QString::fromLatin1(KLVMediaHelperClient::kErrorDomain), 100, QStringLiteral("no picture")},
             QVariant());
    };
    KLVPlaylistTableModel& model = c.table().model();
    for (int paint = 0; paint < 5; ++paint) {
        (void)model.data(model.index(0, KLVPlaylistTableModel::ThumbnailColumn), Qt::DecorationRole);
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(thumbs, 1);
}

TEST(Import, RecordedFilesGetABlackThumbnailAndNoRequest)
{
    ChannelFixture f;
    KLVChannelController& c = f.channel(1);
    const QString recording = f.file("take.mov");
    f.app.recordingFiles.append(recording);
    c.import().importFilesWithPaths({recording});
    for (const auto& p : f.app.pending)
        EXPECT_NE(QLatin1String(p.kind), QLatin1String("thumb"));
    const auto node = c.channel()->playlistItems()[0];
    EXPECT_EQ(node->thumbnail().size(), QSize(120, 80));
    EXPECT_EQ(node->thumbnail().pixelColor(60, 40), QColor(Qt::black));
    EXPECT_TRUE(node->thumbnailIsLoading());
    EXPECT_EQ(c.import().outstandingThumbnailRequests(), 0);
}

TEST(Import, RequestsFromAWorkerThreadAreSentFromTheMainThread)
{
    ChannelFixture f;
    KLVChannelController& c = f.channel(1);
    QThread* sentFrom = nullptr;
    f.app.mediaHelper = [&](const char*, const auto&, auto&) { sentFrom = QThread::currentThread(); };
    KLVChannelImport::NodeList made;
    std::thread worker([&] { made = c.import().nodesForPaths({QStringLiteral("/m/a.mov")}); });
    worker.join();
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0]->plnName(), QStringLiteral("a"));
    EXPECT_EQ(sentFrom, nullptr);
    EXPECT_EQ(c.import().outstandingMetadataRequests(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(sentFrom, QCoreApplication::instance()->thread());
    EXPECT_EQ(c.import().outstandingMetadataRequests(), 1);
}

TEST(Import, CueSelection)
{
    ChannelFixture f;
    KLVChannelController& master = f.channel(1);
    KLVChannelController& slave = f.channel(2);
    KLVChannelControllerTestAccess::link(master, slave);
    const auto first = f.cue("same"), second = f.cue("same");
    f.fill(master, {f.cue("a"), first, second});
    f.fill(slave, {f.cue("s"), KLVPlaylistNode::create(), f.cue("t")});
    EXPECT_EQ(master.import().nodeWithName(QStringLiteral("same")), first);
    EXPECT_EQ(master.import().nodeWithName(QStringLiteral("Same")), nullptr);

    // Out of range: nothing selected, nothing loaded.
    master.selectPlaylistItemAtIndex(7);
    EXPECT_EQ(master.selectedIndex(), -1);
    // Selecting a row follows on the slave; the slave's stub row is not kept selected.
    master.selectPlaylistItemAtIndex(1);
    EXPECT_EQ(master.selectedIndex(), 1);
    EXPECT_EQ(slave.selectedIndex(), -1);
    master.selectPlaylistItemAtIndex(2);
    EXPECT_EQ(slave.selectedIndex(), 2);
}

TEST(Import, SmartFolderSwitchMirrorsTheFolderAndForgetsEdits)
{
    ChannelFixture f;
    KLVChannelController& c = f.channel(1);
    KLVChannelController& slave = f.channel(2);
    KLVChannelControllerTestAccess::link(c, slave);
    f.fill(c, {f.cue("old")});
    c.table().insertNodes({f.cue("edited")}, {1});
    ASSERT_EQ(f.app.undo.count(), 1);
    f.file("x.mov");
    f.file("y.mp4");

    // Switched on without a folder: the folder panel is asked.
    f.app.picker.openAnswers.push_back({f.home.filePath(QStringLiteral("media"))});
    c.import().toggleSmartPlaylist(true);
    EXPECT_EQ(f.app.picker.opened.back().title, QStringLiteral("Choose the Folder This Channel Mirrors"));
    EXPECT_TRUE(c.channel()->isSmart());
    EXPECT_TRUE(c.import().progressShown());
    ASSERT_TRUE(testsupport::waitUntil([&] {
        f.app.clock.advance(0);
        return !c.import().progressShown();
    }));
    // old.mov and edited.mov are files of that folder, too: their cues stay.
    EXPECT_EQ(ChannelFixture::names(c), (QStringList{"edited", "old", "x", "y"}));
    EXPECT_EQ(f.app.undo.count(), 0);
    EXPECT_EQ(ChannelFixture::names(slave), (QStringList{"-", "-", "-", "-"}));
    EXPECT_EQ(c.import().outstandingMetadataRequests(), 2); // only the new files are asked about

    c.import().toggleSmartPlaylist(false);
    EXPECT_FALSE(c.channel()->isSmart());
    EXPECT_EQ(c.table().playlistItemCount(), 0);
    EXPECT_FALSE(c.import().smartFolder()->isMonitoring());
}

TEST(Import, PanelsCachedSlatesAndWatchesOfReadChannels)
{
    ChannelFixture f;
    // A smart channel as a document leaves it: its watch starts when a channel shows it.
    auto read = f.app.playlistDataForChannelNumber(2);
    read->setType(1);
    read->setSmartDirectory(f.home.filePath(QStringLiteral("media")));
    f.file("seed.mov");
    EXPECT_TRUE(f.channel(2).import().smartFolder()->isMonitoring());

    // The open panel: folders are searched (hidden and foreign files skipped) after the files.
    KLVChannelController& c = f.channel(1);
    const QString single = f.file("c.mov");
    f.home.writeFile(QStringLiteral("pick/a.mov"), "x");
    f.home.writeFile(QStringLiteral("pick/sub/b.mp4"), "x");
    f.home.writeFile(QStringLiteral("pick/.hidden.mov"), "x");
    f.home.writeFile(QStringLiteral("pick/notes.txt"), "x");
    f.app.picker.openAnswers.push_back({f.home.filePath(QStringLiteral("pick")), single});
    c.import().addPlaylistItem();
    EXPECT_TRUE(f.app.picker.opened.back().fileExtensions.contains(QStringLiteral("MOV")));
    EXPECT_EQ(ChannelFixture::names(c), (QStringList{"c", "a", "b"}));
    EXPECT_EQ(platform::UserDefaults::sharedDefaults().stringForKey(QStringLiteral("QMKLVLastMediaDirectory")),
              f.home.path());

    // A cached slate is used as it is: no request, no completion.
    const auto node = c.channel()->playlistItems()[0];
    KLVImageManager::slateImageFolder(); // made on first use
    ASSERT_TRUE(QImage(16, 9, QImage::Format_RGB32).save(KLVImageManager::slateImagePathForNode(*node)));
    const size_t before = f.app.pending.size();
    int completions = 0;
    c.import().createSlatesForNodes({node}, [&] { ++completions; });
    f.app.clock.advance(0);
    EXPECT_EQ(f.app.pending.size(), before);
    EXPECT_EQ(node->slate().size(), QSize(16, 9));
    EXPECT_EQ(completions, 0);

    // Locating a moved file: a path that does not exist changes nothing; an existing one is taken.
    QFile::remove(single);
    KLVPlaylistTableModel& model = c.table().model();
    EXPECT_TRUE(model.data(model.index(0, 0), KLVPlaylistTableModel::FileMissingRole).toBool());
    f.app.picker.openAnswers.push_back({f.home.filePath(QStringLiteral("nowhere/c.mov"))});
    c.table().findMissingSource(0);
    EXPECT_EQ(node->plnSourcePath(), single);
    const QString moved = f.file("moved/c.mov");
    f.app.picker.openAnswers.push_back({moved});
    const int saves = f.app.saves;
    c.table().findMissingSource(0);
    EXPECT_EQ(node->plnSourcePath(), moved);
    EXPECT_FALSE(model.data(model.index(0, 0), KLVPlaylistTableModel::FileMissingRole).toBool());
    EXPECT_EQ(f.app.saves, saves + 1);
}
