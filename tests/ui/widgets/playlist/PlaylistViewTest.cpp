// The playlist table widget: keys, drops (other programs' included) and scroll following.
#include "tests/ui/logic/playlist/ChannelFixture.h"

#include "ui/logic/channel/KLVChannelDragDrop.h"
#include "ui/logic/playlist/KLVPlaylistDragPayload.h"
#include "ui/logic/playlist/KLVPlaylistTableModel.h"
#include "ui/widgets/playlist/KLVPlaylistPanel.h"
#include "ui/widgets/playlist/KLVPlaylistTableView.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

bool sendDrop(QWidget* viewport, const QPoint& at, QMimeData* mime, Qt::DropActions actions)
{
    // The application routes moves and the drop to the widget that took the enter.
    QDragEnterEvent enter(at, actions, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    QDragMoveEvent move(at, actions, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    QDropEvent drop(QPointF(at), actions, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    return drop.isAccepted();
}

} // namespace

TEST(PlaylistView, KeysDropsAndScrollFollowing)
{
    ChannelFixture f;
    KLVChannelController& master = f.channel(1);
    KLVChannelController& slave = f.channel(2);
    KLVChannelControllerTestAccess::link(master, slave);
    std::vector<std::shared_ptr<KLVPlaylistNode>> many, stubs;
    for (int i = 0; i < 40; ++i) {
        many.push_back(f.cue(QStringLiteral("c%1").arg(i, 2, 10, QLatin1Char('0'))));
        stubs.push_back(KLVPlaylistNode::create());
    }
    f.fill(master, many);
    f.fill(slave, stubs);
    KLVPlaylistPanel masterPanel(master);
    KLVPlaylistPanel slavePanel(slave);
    masterPanel.resize(400, 300);
    slavePanel.resize(400, 300);
    masterPanel.show();
    slavePanel.show();
    KLVPlaylistTableView* view = masterPanel.table();

    // The delete key removes the selected rows here and in the slave.
    master.table().selectRows({0, 1});
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Delete);
    EXPECT_EQ(master.table().playlistItemCount(), 38);
    EXPECT_EQ(slave.table().playlistItemCount(), 38);

    // Files dropped on the first row's lower half land below it.
    const QRect first = view->visualRect(view->model()->index(0, 1));
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(f.file("new.mov"))});
    EXPECT_TRUE(sendDrop(view->viewport(), first.center() + QPoint(0, first.height() / 4), &files, Qt::CopyAction));
    EXPECT_EQ(ChannelFixture::names(master).mid(0, 3), (QStringList{"c02", "new", "c03"}));
    EXPECT_EQ(slave.table().playlistItemCount(), 39);

    // Rows dragged from another program: a move offer is taken as a copy, the cues are new.
    auto mime = master.dragDrop().mimeDataForRows({0});
    const auto uuid = master.channel()->playlistItems()[0]->UUID();
    EXPECT_TRUE(sendDrop(view->viewport(), first.topLeft() + QPoint(2, 1), mime.get(), Qt::MoveAction));
    const auto items = master.channel()->playlistItems();
    EXPECT_EQ(items.size(), 40u);
    EXPECT_EQ(items[1]->UUID(), uuid);
    EXPECT_NE(items[0]->UUID(), uuid);

    // Garbage offered as rows is refused.
    QMimeData garbage;
    garbage.setData(KLVPlaylistDragPayload::kMimeType, QByteArray("\x82\x01", 2));
    EXPECT_FALSE(sendDrop(view->viewport(), first.center(), &garbage, Qt::MoveAction));
    EXPECT_EQ(master.table().playlistItemCount(), 40);

    // A click selects and loads the row; the slave's stub row is not kept selected.
    const QRect third = view->visualRect(view->model()->index(2, KLVPlaylistTableModel::NameColumn));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, third.center() - QPoint(20, 0));
    EXPECT_EQ(master.selectedIndex(), 2);
    EXPECT_EQ(slave.selectedIndex(), -1);

    // The slave follows the master's scrolling.
    view->verticalScrollBar()->setValue(5);
    EXPECT_EQ(slavePanel.table()->verticalScrollBar()->value(), 5);

    // The switch shows the smart-folder state; a smart folder beeps instead of deleting.
    master.channel()->setType(1);
    master.table().selectRows({0});
    QTest::keyClick(view, Qt::Key_Delete);
    EXPECT_EQ(master.table().playlistItemCount(), 40);
    EXPECT_FALSE(masterPanel.smartToggleButton()->isChecked());
}

TEST(PlaylistView, FilesDraggedInShowAsTheRowsTheyWillBecomeAndASmartChannelsRowsCannotBeDeleted)
{
    ChannelFixture f;
    KLVChannelController& channel = f.channel(1);
    f.fill(channel, {f.cue(QStringLiteral("a")), f.cue(QStringLiteral("b"))});
    KLVPlaylistPanel panel(channel);
    panel.resize(400, 300);
    panel.show();
    KLVPlaylistTableView* view = panel.table();

    // Two playable files and one that is not: one row each for the two, with zero times, drawn
    // at the drop position until the drag leaves.
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(f.file("Opening Titles.v2.mov")), QUrl::fromLocalFile(f.file("notes.txt")),
                   QUrl::fromLocalFile(f.file("loop.mp4"))});
    const QPoint at = view->visualRect(view->model()->index(0, 1)).center();
    QDragEnterEvent enter(at, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &move);
    ASSERT_EQ(view->fileDragRows().size(), 2u);
    EXPECT_EQ(view->fileDragRows()[0].name, QStringLiteral("Opening Titles.v2"));
    EXPECT_EQ(view->fileDragRows()[1].name, QStringLiteral("loop"));
    EXPECT_EQ(view->fileDragRows()[0].inText, QStringLiteral("QM_ZERO_TIME_PLACEHOLDER"));
    EXPECT_EQ(view->fileDragRows()[1].outText, view->fileDragRows()[1].inText);
    EXPECT_GE(view->dropRow(), 0);
    // The rows are drawn where the drop lands.
    const QImage shot = view->viewport()->grab().toImage();
    EXPECT_FALSE(shot.isNull());
    QDragLeaveEvent leave;
    QApplication::sendEvent(view->viewport(), &leave);
    EXPECT_TRUE(view->fileDragRows().empty());

    // Rows of the program's own tables bring no such rows: they carry their own picture.
    std::unique_ptr<QMimeData> rows = channel.dragDrop().mimeDataForRows({0});
    ASSERT_TRUE(rows);
    QDragEnterEvent rowEnter(at, Qt::MoveAction, rows.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &rowEnter);
    EXPECT_TRUE(view->fileDragRows().empty());
    QApplication::sendEvent(view->viewport(), &leave);

    // The row menu offers Delete, except on a smart channel.
    const auto titles = [](QMenu& menu) {
        QStringList list;
        for (QAction* action : menu.actions())
            list << action->text();
        return list;
    };
    EXPECT_TRUE(titles(*view->rowMenu(0)).contains(QStringLiteral("Delete")));
    channel.channel()->setType(1);
    const QStringList smart = titles(*view->rowMenu(0));
    EXPECT_FALSE(smart.contains(QStringLiteral("Delete")));
    EXPECT_TRUE(smart.contains(QStringLiteral("Inspect\u2026")));
}

TEST(PlaylistView, AColumnAQuarterOfTheWindowWideShowsTheCueNamesAndWholeTimes)
{
    ChannelFixture f;
    KLVChannelController& channel = f.channel(1);
    f.fill(channel, {f.cue(QStringLiteral("Opening Titles"))});
    KLVPlaylistPanel panel(channel);
    panel.resize(400, 300); // a quarter of a 1600-pixel window
    panel.show();
    KLVPlaylistTableView* view = panel.table();
    QApplication::processEvents();

    const QHeaderView* header = view->horizontalHeader();
    const QFontMetrics metrics(view->font());
    EXPECT_GE(header->sectionSize(KLVPlaylistTableModel::InPointColumn),
              metrics.horizontalAdvance(QStringLiteral("00:00:00;00")));
    EXPECT_GE(header->sectionSize(KLVPlaylistTableModel::BehaviorColumn),
              metrics.horizontalAdvance(KLVPlaylistTableModel::behaviorTitle(2)));
    // The default section widths left the name under 30 pixels, its info button alone.
    EXPECT_GE(header->sectionSize(KLVPlaylistTableModel::NameColumn), 80);
}
