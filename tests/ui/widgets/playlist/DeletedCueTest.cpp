// What a delete does to the loaded cue, through the channel's own table: a cue the operator
// deleted never airs, one that only moves stays loaded, and one deleted while it plays plays out
// once and hands on to the cue that followed it.
#include "tests/ui/logic/playlist/ChannelFixture.h"

#include "app/moviecontroller/KLVMovieController.h"
#include "tests/support/WaitUntil.h"
#include "ui/logic/channel/KLVChannelDragDrop.h"
#include "ui/logic/channel/KLVChannelTransport.h"
#include "ui/widgets/playlist/KLVPlaylistPanel.h"
#include "ui/widgets/playlist/KLVPlaylistTableView.h"

#include <QCheckBox>
#include <QMimeData>
#include <QTest>

#include <gtest/gtest.h>

using testsupport::FakePlaybackEngine;

namespace {

FakePlaybackEngine& engineOf(KLVChannelController& channel)
{
    return static_cast<FakePlaybackEngine&>(*channel.movie().movie());
}

// The last next-cue instruction the engine had.
std::string prepared(const FakePlaybackEngine& e)
{
    for (auto it = e.calls.rbegin(); it != e.calls.rend(); ++it)
        if (it->rfind("PrepareNext", 0) == 0 || *it == "ClearNext")
            return *it;
    return {};
}

void deleteRow(KLVPlaylistPanel& panel, KLVChannelController& channel, long row)
{
    channel.table().selectRows({row});
    panel.table()->setFocus();
    QTest::keyClick(panel.table(), Qt::Key_Delete);
}

// The drop the table makes when the operator drags one of its own rows onto row `to`.
void moveRow(KLVChannelController& channel, long from, long to)
{
    auto mime = channel.dragDrop().mimeDataForRows({from});
    ASSERT_TRUE(mime);
    ASSERT_TRUE(channel.dragDrop().acceptDrop(*mime, &channel, to, false));
}

} // namespace

TEST(DeletedCue, ACueThatIsNotPlayingIsUnloadedWhenDeletedAndStaysLoadedWhenMoved)
{
    ChannelFixture f;
    KLVChannelController& c = f.channel(1);
    auto a = f.cue("a");
    auto b = f.cue("b");
    auto d = f.cue("d");
    f.fill(c, {a, b, d});
    KLVPlaylistPanel panel(c);
    panel.resize(400, 300);
    panel.show();
    FakePlaybackEngine& e = engineOf(c);

    // Cued and paused, then deleted: the engine lets go of it and Play has nothing to air.
    c.transport().loadNode(b, false);
    ASSERT_TRUE(e.fileOpen);
    c.movie().play();
    c.movie().pause();
    deleteRow(panel, c, 1);
    EXPECT_EQ(ChannelFixture::names(c), (QStringList{"a", "d"}));
    EXPECT_EQ(c.currentPlaylistNode(), nullptr);
    EXPECT_FALSE(e.fileOpen);
    c.movie().play();
    c.playMaster(nullptr);
    EXPECT_FALSE(e.playing);
    // Undone, the cue is back in the list, not on the card.
    f.app.undo.undo();
    EXPECT_EQ(ChannelFixture::names(c), (QStringList{"a", "b", "d"}));
    EXPECT_FALSE(e.fileOpen);

    // A loaded cue dragged to another row is taken out and put back in one step: it stays.
    c.transport().loadNode(d, false);
    const int opens = e.count("Open");
    moveRow(c, 2, 0);
    EXPECT_EQ(ChannelFixture::names(c), (QStringList{"d", "a", "b"}));
    EXPECT_EQ(c.currentPlaylistNode(), d);
    EXPECT_TRUE(e.fileOpen);
    // And so does undoing the move, which takes it out and puts it back again.
    f.app.undo.undo();
    EXPECT_EQ(ChannelFixture::names(c), (QStringList{"a", "b", "d"}));
    EXPECT_EQ(c.currentPlaylistNode(), d);
    EXPECT_EQ(e.count("Open"), opens);

    // Cues the smart-folder switch takes away: the loaded one is not a file of the folder.
    auto elsewhere = KLVPlaylistNode::create();
    elsewhere->setPlnName(QStringLiteral("elsewhere"));
    elsewhere->setPlnSourcePath(f.home.writeFile(QStringLiteral("other/elsewhere.mov"), "x"));
    c.table().insertNodes({elsewhere}, {3});
    c.transport().loadNode(elsewhere, false);
    ASSERT_TRUE(e.fileOpen);
    c.channel()->setSmartDirectory(f.home.filePath(QStringLiteral("media")));
    panel.smartToggleButton()->click();
    ASSERT_TRUE(testsupport::waitUntil([&] {
        f.app.clock.advance(0);
        return !c.import().progressShown();
    }));
    EXPECT_EQ(ChannelFixture::names(c), (QStringList{"a", "b", "d"}));
    EXPECT_EQ(c.currentPlaylistNode(), nullptr);
    EXPECT_FALSE(e.fileOpen);

    // Switched off, the folder's cues go, the loaded one with them.
    c.transport().loadNode(c.channel()->playlistItems()[0], false);
    ASSERT_TRUE(e.fileOpen);
    panel.smartToggleButton()->click();
    EXPECT_EQ(c.table().playlistItemCount(), 0);
    EXPECT_FALSE(e.fileOpen);
}

TEST(DeletedCue, ACueDeletedWhilePlayingPlaysOutOnceAndHandsOnToTheCueThatFollowedIt)
{
    ChannelFixture f;
    KLVChannelController& c = f.channel(1);
    auto loop = f.cue("loop");
    loop->setPlaybackBehavior(1);
    auto p = f.cue("p");
    p->setPlaybackBehavior(2);
    auto q = f.cue("q");
    auto r = f.cue("r");
    auto s = f.cue("s");
    f.fill(c, {loop, p, q, r, s});
    KLVPlaylistPanel panel(c);
    panel.resize(400, 300);
    panel.show();
    FakePlaybackEngine& e = engineOf(c);

    // A looping cue deleted on air plays on, tells the engine to stop at its end instead of
    // looping, and is unloaded when it gets there.
    c.transport().loadNode(loop, false);
    c.movie().play();
    deleteRow(panel, c, 0);
    EXPECT_EQ(c.currentPlaylistNode(), loop);
    EXPECT_TRUE(e.playing);
    EXPECT_EQ(e.behaviour, 0);
    c.endpointReached();
    EXPECT_EQ(c.currentPlaylistNode(), nullptr);
    EXPECT_FALSE(e.fileOpen);
    c.movie().play();
    EXPECT_FALSE(e.playing);

    // A cue going on to the next, deleted on air: the engine keeps q ready to follow it.
    c.transport().loadNode(p, false);
    c.movie().play();
    const std::string qNext = prepared(e);
    EXPECT_EQ(qNext.rfind("PrepareNext " + q->plnSourcePath().value().toStdString(), 0), 0u) << qNext;
    deleteRow(panel, c, 0);
    EXPECT_TRUE(e.playing);
    EXPECT_EQ(prepared(e), qNext);
    // The prepared cue deleted too: the engine is told at once, before the next check, and r
    // follows instead.
    deleteRow(panel, c, 0);
    EXPECT_EQ(prepared(e).rfind("PrepareNext " + r->plnSourcePath().value().toStdString(), 0), 0u) << prepared(e);
    // At the end (no hand-over) r is loaded and played, not the first cue of the list.
    c.endpointReached();
    EXPECT_EQ(c.currentPlaylistNode(), r);
    EXPECT_TRUE(e.playing);
    EXPECT_EQ(ChannelFixture::names(c), (QStringList{"r", "s"}));
}
