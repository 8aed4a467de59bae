// Playlist drag and drop: reordering, moves and copies between channels, drags from other
// programs, malformed payloads and dropped files.
#include "tests/ui/logic/playlist/ChannelFixture.h"

#include "ui/logic/channel/KLVChannelDragDrop.h"
#include "ui/logic/playlist/KLVPlaylistDragPayload.h"

#include <QMimeData>
#include <QUndoStack>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

void fillNamed(ChannelFixture& f, KLVChannelController& c, QStringList names)
{
    std::vector<std::shared_ptr<KLVPlaylistNode>> nodes;
    for (const QString& n : names)
        nodes.push_back(f.cue(n));
    f.fill(c, nodes);
}

} // namespace

TEST(DragDrop, ReorderWithinAChannelAndUndo)
{
    ChannelFixture f;
    KLVChannelController& c = f.channel(1);
    fillNamed(f, c, {"0", "1", "2", "3", "4"});
    c.table().selectRows({3});
    auto mime = c.dragDrop().mimeDataForRows({0, 1});
    ASSERT_TRUE(mime);
    EXPECT_EQ(c.dragDrop().validateDrop(*mime, false).operation, KLVDropOperation::Any);
    ASSERT_TRUE(c.dragDrop().acceptDrop(*mime, &c, 4, false));
    EXPECT_EQ(ChannelFixture::names(c), (QStringList{"2", "3", "0", "1", "4"}));
    EXPECT_EQ(c.table().selectedRows(), (std::vector<long>{1})); // the selected cue, wherever it went
    EXPECT_EQ(f.app.undo.undoText(), QStringLiteral("Move Nodes"));
    f.app.undo.undo();
    EXPECT_EQ(ChannelFixture::names(c), (QStringList{"0", "1", "2", "3", "4"}));

    // A copy inserts a new cue at the drop row and leaves the dragged one.
    mime = c.dragDrop().mimeDataForRows({4});
    ASSERT_TRUE(c.dragDrop().acceptDrop(*mime, &c, 0, true));
    EXPECT_EQ(ChannelFixture::names(c), (QStringList{"4", "0", "1", "2", "3", "4"}));
    const auto items = c.channel()->playlistItems();
    EXPECT_NE(items[0], items[5]);
    EXPECT_NE(items[0]->UUID(), items[5]->UUID());
}

TEST(DragDrop, BetweenChannelsMovesLeaveStubsInLinkedSourcesAndCopiesGetNewIdentities)
{
    ChannelFixture f;
    KLVChannelController& master = f.channel(1);
    KLVChannelController& slave = f.channel(2);
    KLVChannelController& other = f.channel(3);
    KLVChannelControllerTestAccess::link(master, slave);
    fillNamed(f, master, {"m0", "m1"});
    fillNamed(f, slave, {"s0", "s1"});
    fillNamed(f, other, {"o0"});

    // Master to an unlinked channel: the master keeps a stub in its place.
    auto mime = master.dragDrop().mimeDataForRows({0});
    const auto movedUUID = master.channel()->playlistItems()[0]->UUID();
    ASSERT_TRUE(other.dragDrop().acceptDrop(*mime, &master, 0, false));
    EXPECT_EQ(ChannelFixture::names(master), (QStringList{"-", "m1"}));
    EXPECT_EQ(ChannelFixture::names(other), (QStringList{"m0", "o0"}));
    EXPECT_EQ(other.channel()->playlistItems()[0]->UUID(), movedUUID);
    f.app.undo.undo(); // one step for both sides
    EXPECT_EQ(ChannelFixture::names(master), (QStringList{"m0", "m1"}));
    EXPECT_EQ(ChannelFixture::names(other), (QStringList{"o0"}));

    // Unlinked channel to the master: moved; the slave is padded at its end.
    mime = other.dragDrop().mimeDataForRows({0});
    ASSERT_TRUE(master.dragDrop().acceptDrop(*mime, &other, 1, false));
    EXPECT_EQ(ChannelFixture::names(master), (QStringList{"m0", "o0", "m1"}));
    EXPECT_TRUE(other.channel()->playlistItems().empty());
    EXPECT_EQ(ChannelFixture::names(slave), (QStringList{"s0", "s1", "-"}));

    // A copy between channels is a cue of its own.
    mime = master.dragDrop().mimeDataForRows({0});
    ASSERT_TRUE(other.dragDrop().acceptDrop(*mime, &master, 0, true));
    EXPECT_EQ(ChannelFixture::names(master), (QStringList{"m0", "o0", "m1"}));
    EXPECT_NE(other.channel()->playlistItems()[0]->UUID(), master.channel()->playlistItems()[0]->UUID());

    // From another program (no source table) a move is a copy.
    mime = master.dragDrop().mimeDataForRows({2});
    ASSERT_TRUE(other.dragDrop().acceptDrop(*mime, nullptr, 0, false));
    EXPECT_EQ(ChannelFixture::names(master), (QStringList{"m0", "o0", "m1"}));
    EXPECT_EQ(ChannelFixture::names(other), (QStringList{"m1", "m0"}));
    EXPECT_NE(other.channel()->playlistItems()[0]->UUID(), master.channel()->playlistItems()[2]->UUID());

    // A drop on a slave replaces from the row it lands on, padding past its end.
    mime = other.dragDrop().mimeDataForRows({0, 1});
    EXPECT_TRUE(slave.dragDrop().validateDrop(*mime, true).onRow);
    ASSERT_TRUE(slave.dragDrop().acceptDrop(*mime, &other, 2, true));
    EXPECT_EQ(ChannelFixture::names(slave), (QStringList{"s0", "s1", "m1", "m0"}));
}

TEST(DragDrop, MalformedPayloadsAreRefused)
{
    ChannelFixture f;
    KLVChannelController& source = f.channel(1);
    KLVChannelController& c = f.channel(2);
    fillNamed(f, source, {"a", "b"});
    fillNamed(f, c, {"x"});
    const QByteArray good = source.dragDrop().mimeDataForRows({0, 1})->data(KLVPlaylistDragPayload::kMimeType);
    ASSERT_TRUE(KLVPlaylistDragPayload::decode(good));

    KLVPlaylistDragPayload mismatched = *KLVPlaylistDragPayload::decode(good);
    mismatched.draggedIndexes.pop_back();
    KLVPlaylistDragPayload future = *KLVPlaylistDragPayload::decode(good);
    QByteArray futureBytes = future.encode();
    futureBytes.replace(QByteArray("version\x01", 8), QByteArray("version\x02", 8));
    const QList<QByteArray> bad{good.left(good.size() / 2), QByteArray("\xff\x00garbage", 9), QByteArray(),
                                mismatched.encode(), futureBytes, QByteArray("\xa0", 1)};
    for (const QByteArray& bytes : bad) {
        EXPECT_FALSE(KLVPlaylistDragPayload::decode(bytes));
        QMimeData mime;
        mime.setData(KLVPlaylistDragPayload::kMimeType, bytes);
        EXPECT_FALSE(c.dragDrop().acceptDrop(mime, &source, 0, false));
    }
    EXPECT_EQ(ChannelFixture::names(c), (QStringList{"x"}));
    EXPECT_EQ(ChannelFixture::names(source), (QStringList{"a", "b"}));
    EXPECT_EQ(f.app.undo.count(), 0);
}

TEST(DragDrop, DroppedFilesAreImportedWithStubsInTheSlaves)
{
    ChannelFixture f;
    KLVChannelController& master = f.channel(1);
    KLVChannelController& slave = f.channel(2);
    KLVChannelControllerTestAccess::link(master, slave);
    fillNamed(f, master, {"m0", "m1"});
    fillNamed(f, slave, {"s0", "s1"});

    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(f.file("f1.mov")), QUrl::fromLocalFile(f.file("f2.mp4")),
                   QUrl::fromLocalFile(f.file("f3.avi")), QUrl::fromLocalFile(f.file("notes.txt"))});
    EXPECT_EQ(master.dragDrop().validateDrop(files, false).operation, KLVDropOperation::Any);
    ASSERT_TRUE(master.dragDrop().acceptDrop(files, nullptr, 1, false));
    EXPECT_EQ(ChannelFixture::names(master), (QStringList{"m0", "f1", "f2", "f3", "m1"}));
    EXPECT_EQ(ChannelFixture::names(slave), (QStringList{"s0", "-", "-", "-", "s1"}));

    // On a slave the files replace rows, past its end too.
    ASSERT_TRUE(slave.dragDrop().acceptDrop(files, nullptr, 4, false));
    EXPECT_EQ(ChannelFixture::names(slave), (QStringList{"s0", "-", "-", "-", "f1", "f2", "f3"}));

    // Nothing playable, or a smart folder: refused.
    QMimeData text;
    text.setUrls({QUrl::fromLocalFile(f.file("readme.txt"))});
    EXPECT_EQ(master.dragDrop().validateDrop(text, false).operation, KLVDropOperation::None);
    master.channel()->setType(1);
    EXPECT_EQ(master.dragDrop().validateDrop(files, false).operation, KLVDropOperation::None);
    EXPECT_FALSE(master.dragDrop().acceptDrop(files, nullptr, 0, false));
    EXPECT_FALSE(master.dragDrop().mimeDataForRows({0}));
}
