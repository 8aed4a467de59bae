// The playlist table model, its undoable edits and the stub rows of linked channels.
#include "tests/ui/logic/playlist/ChannelFixture.h"
#include "resources/strings/KLVLocalized.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QUndoStack>

#include <gtest/gtest.h>

using Nodes = std::vector<std::shared_ptr<KLVPlaylistNode>>;

TEST(PlaylistEdits, ModelStaysConsistentThroughEditsUndoAndRedo)
{
    ChannelFixture f;
    KLVChannelController& c = f.channel(1);
    KLVPlaylistTableModel& model = c.table().model();
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    const auto a = f.cue("a"), b = f.cue("b"), d = f.cue("d");

    c.table().insertNodes({a, b}, {0, 1});
    EXPECT_EQ(f.app.undo.undoText(), QStringLiteral("Insert Nodes"));
    c.table().insertNodes({d}, {7}); // past the end: appended
    EXPECT_EQ(f.app.undo.undoText(), QStringLiteral("Insert Node"));
    EXPECT_EQ(ChannelFixture::names(c), (QStringList{"a", "b", "d"}));

    // A replace below the end of the list pads it with stubs first.
    const auto e = f.cue("e");
    c.table().replaceNodesAtIndexes({1, 4}, {e, f.cue("g")});
    EXPECT_EQ(ChannelFixture::names(c), (QStringList{"a", "e", "d", "-", "g"}));
    c.table().removeNodesAtIndexes({0, 2});
    EXPECT_EQ(f.app.undo.undoText(), QStringLiteral("Delete Nodes"));
    EXPECT_EQ(ChannelFixture::names(c), (QStringList{"e", "-", "g"}));

    f.app.undo.undo();
    EXPECT_EQ(ChannelFixture::names(c), (QStringList{"a", "e", "d", "-", "g"}));
    f.app.undo.undo();
    EXPECT_EQ(ChannelFixture::names(c), (QStringList{"a", "b", "d"})); // the padding goes too
    f.app.undo.undo();
    f.app.undo.undo();
    EXPECT_TRUE(c.channel()->playlistItems().empty());
    f.app.undo.redo();
    f.app.undo.redo();
    f.app.undo.redo();
    f.app.undo.redo();
    EXPECT_EQ(ChannelFixture::names(c), (QStringList{"e", "-", "g"}));
    EXPECT_EQ(model.nodes(), c.channel()->playlistItems());

    // Cells: a stub shows its label only; a cue whose file went away shows no times.
    EXPECT_EQ(model.data(model.index(1, KLVPlaylistTableModel::NameColumn), Qt::DisplayRole).toString(),
              KLVLocalized::text("QM_STUB"));
    EXPECT_FALSE(model.data(model.index(1, KLVPlaylistTableModel::InPointColumn), Qt::DisplayRole).isValid());
    EXPECT_EQ(model.data(model.index(0, KLVPlaylistTableModel::InPointColumn), Qt::DisplayRole).toString(),
              QStringLiteral("00:00:00;00"));
    QFile::remove(*e->plnSourcePath());
    EXPECT_TRUE(model.data(model.index(0, 0), KLVPlaylistTableModel::FileMissingRole).toBool());
    EXPECT_FALSE(model.data(model.index(0, KLVPlaylistTableModel::InPointColumn), Qt::DisplayRole).isValid());
    EXPECT_EQ(model.data(model.index(0, KLVPlaylistTableModel::NameColumn), Qt::DisplayRole).toString(),
              QStringLiteral("e"));

    // Behaviour chosen in the table is stored and saved.
    const int saves = f.app.saves;
    EXPECT_TRUE(model.setData(model.index(2, KLVPlaylistTableModel::BehaviorColumn), 2, Qt::EditRole));
    EXPECT_EQ(c.channel()->playlistItems()[2]->playbackBehavior(), 2);
    EXPECT_EQ(f.app.saves, saves + 1);

    // A large import reaches the table as one block of rows, not one update per file.
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QStringList many;
    for (int i = 0; i < 1000; ++i)
        many.append(QStringLiteral("/m/clip%1.mov").arg(i));
    f.app.mediaHelper = [](const char*, const auto&, auto&) {};
    c.import().importFilesWithPaths(many);
    EXPECT_EQ(inserted.count(), 1);
    EXPECT_EQ(c.table().playlistItemCount(), 1003);
}

TEST(PlaylistEdits, UndoFindsCuesByIdentityAfterEditsWithoutUndo)
{
    ChannelFixture f;
    KLVChannelController& c = f.channel(1);
    const auto a = f.cue("a"), b = f.cue("b"), d = f.cue("d");
    c.table().insertNodes({a, b, d}, {0, 1, 2});
    c.table().removeNodesAtIndexes({0});
    // Without undo (as unplayable files leave): the cue now at row 0 goes.
    c.table().model().removeNodes({b});
    EXPECT_EQ(ChannelFixture::names(c), (QStringList{"d"}));

    f.app.undo.undo(); // the delete: a comes back, d stays
    EXPECT_EQ(ChannelFixture::names(c), (QStringList{"a", "d"}));
    f.app.undo.undo(); // the insert: removes a and d, b is already gone
    EXPECT_TRUE(c.channel()->playlistItems().empty());
    f.app.undo.redo();
    f.app.undo.redo();
    EXPECT_EQ(ChannelFixture::names(c), (QStringList{"b", "d"}));

    // A new document forgets the edits made in the old one.
    ASSERT_GT(f.app.undo.count(), 0);
    c.setChannelData(KLVChannel::create(1));
    EXPECT_EQ(f.app.undo.count(), 0);
    EXPECT_EQ(c.table().playlistItemCount(), 0);
}

TEST(PlaylistEdits, MasterDeleteReachesShorterSlavesAndUndoesInOneStep)
{
    ChannelFixture f;
    KLVChannelController& master = f.channel(1);
    KLVChannelController& slave = f.channel(2);
    KLVChannelController& shortSlave = f.channel(3);
    KLVChannelControllerTestAccess::link(master, slave);
    KLVChannelControllerTestAccess::link(master, shortSlave);
    f.fill(master, {f.cue("m0"), f.cue("m1"), f.cue("m2"), f.cue("m3")});
    f.fill(slave, {f.cue("s0"), f.cue("s1"), f.cue("s2"), f.cue("s3")});
    f.fill(shortSlave, {f.cue("t0"), f.cue("t1")});

    master.table().selectRows({1, 3});
    master.table().deleteSelection(true);
    EXPECT_EQ(ChannelFixture::names(master), (QStringList{"m0", "m2"}));
    EXPECT_EQ(ChannelFixture::names(slave), (QStringList{"s0", "s2"}));
    EXPECT_EQ(ChannelFixture::names(shortSlave), (QStringList{"t0"})); // row 3 is past its end
    EXPECT_EQ(f.app.undo.undoText(), QStringLiteral("Delete Nodes"));

    f.app.undo.undo();
    EXPECT_EQ(ChannelFixture::names(master), (QStringList{"m0", "m1", "m2", "m3"}));
    EXPECT_EQ(ChannelFixture::names(slave), (QStringList{"s0", "s1", "s2", "s3"}));
    EXPECT_EQ(ChannelFixture::names(shortSlave), (QStringList{"t0", "t1"}));

    // On a slave the rows become stubs (the alignment stays) and undo names the delete.
    slave.table().selectRows({2});
    slave.table().deleteSelection(true);
    EXPECT_EQ(ChannelFixture::names(slave), (QStringList{"s0", "s1", "-", "s3"}));
    EXPECT_EQ(f.app.undo.undoText(), QStringLiteral("Delete Node"));
    EXPECT_EQ(slave.table().model().data(slave.table().model().index(2, KLVPlaylistTableModel::NameColumn),
                                         Qt::DisplayRole),
              KLVLocalized::text("QM_STUB"));

    // The delete key of another view, or any delete in a smart folder, only beeps.
    QSignalSpy beeps(&master.table(), &KLVChannelTableEdits::beep);
    master.table().deleteSelection(false);
    master.channel()->setType(1);
    master.table().selectRows({0});
    master.table().deleteSelection(true);
    EXPECT_EQ(beeps.count(), 2);
    EXPECT_EQ(master.table().playlistItemCount(), 4);
}

TEST(PlaylistEdits, StubRowsFollowTheMasterWithoutDroppingRealCues)
{
    ChannelFixture f;
    KLVChannelController& master = f.channel(1);
    KLVChannelController& slave = f.channel(2);
    f.fill(slave, {f.cue("s0"), f.cue("s1")});
    f.fill(master, {f.cue("m0"), f.cue("m1"), f.cue("m2"), f.cue("m3"), f.cue("m4")});
    // Linking through the document's link setting pads the slave.
    slave.channel()->setLinkedChannelNumber(1);
    slave.establishLinkedChannel();
    ASSERT_EQ(slave.linkedController(), &master);
    EXPECT_EQ(ChannelFixture::names(slave), (QStringList{"s0", "s1", "-", "-", "-"}));

    // A shorter master takes only the trailing stubs away.
    slave.table().addStubItemsToPlaylist(1);
    EXPECT_EQ(ChannelFixture::names(slave), (QStringList{"s0", "s1"}));

    // An import into the master puts stubs at the same rows of its slave, in one undo step.
    f.app.mediaHelper = [](const char*, const auto&, auto&) {};
    slave.table().addStubItemsToPlaylist(5);
    master.import().importFilesWithPaths({f.file("n0.mov"), f.file("n1.mov")}, 1, false);
    EXPECT_EQ(ChannelFixture::names(master), (QStringList{"m0", "n0", "n1", "m1", "m2", "m3", "m4"}));
    EXPECT_EQ(ChannelFixture::names(slave), (QStringList{"s0", "-", "-", "s1", "-", "-", "-"}));
    f.app.undo.undo();
    EXPECT_EQ(master.table().playlistItemCount(), 5);
    EXPECT_EQ(ChannelFixture::names(slave), (QStringList{"s0", "s1", "-", "-", "-"}));
}
