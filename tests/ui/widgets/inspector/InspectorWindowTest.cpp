// The cue inspector window: keys reach the transport, a refused typed time shows the cue's point
// again, and closing after a change asks for exactly one slate.
#include "app/document/KLVPlaylistNode.h"
#include "app/moviecontroller/KLVMovieController.h"
#include "tests/support/TempFolder.h"
#include "tests/ui/support/FakeChannelDelegate.h"
#include "tests/ui/support/FakePlaybackEngine.h"
#include "ui/logic/inspector/KLVCueInspectorController.h"
#include "ui/widgets/common/QMProgressView.h"
#include "ui/widgets/inspector/KLVCueInspectorWindow.h"

#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelTableEdits.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>

#include <gtest/gtest.h>

using namespace testsupport;

TEST(InspectorWindow, KeysTypedTimesAndOneSlateAfterAChange)
{
    TempFolder home;
    FakeChannelDelegate app;
    auto e = std::make_unique<FakePlaybackEngine>();
    FakePlaybackEngine& engine = *e;
    engine.fileDuration = 60;
    KLVCueInspectorController controller(app, std::move(e));
    KLVCueInspectorWindow window(controller, false);
    auto node = KLVPlaylistNode::create();
    node->setPlnSourcePath(home.writeFile("cue.mov", "x"));
    node->setOutPoint(60);
    window.inspectCue(node, false);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.progressView()->type(), 1);

    QTest::keyClick(&window, Qt::Key_Space);
    EXPECT_TRUE(controller.movieController().isPlaying());
    QTest::keyClick(&window, Qt::Key_Space);
    QTest::keyClick(&window, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_GE(engine.count("Seek"), 1);

    // Garbage is refused and the field shows the cue's out point again.
    window.outField()->setText("soon");
    emit window.outField()->editingFinished();
    EXPECT_DOUBLE_EQ(node->outPoint(), 60);
    EXPECT_EQ(window.outField()->text(), node->outPointString());

    window.outField()->setText("00:00:20");
    emit window.outField()->editingFinished();
    EXPECT_DOUBLE_EQ(node->outPoint(), 20);
    EXPECT_DOUBLE_EQ(window.progressView()->outValue(), 20);

    window.close();
    QCoreApplication::processEvents();
    ASSERT_EQ(app.pending.size(), 1u);
    EXPECT_STREQ(app.pending[0].kind, "slate");
    EXPECT_FALSE(controller.currentNode());
}

namespace {
void sendMouse(QWidget* widget, QEvent::Type type, QPointF at, Qt::MouseButtons held)
{
    QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}
} // namespace

TEST(InspectorWindow, DraggingTheOutHandleMovesTheCuesOutPointInItsTableAsOneUndoStep)
{
    TempFolder home;
    FakeChannelDelegate app;
    auto node = KLVPlaylistNode::create();
    node->setPlnName(QStringLiteral("cue"));
    node->setPlnSourcePath(home.writeFile("cue.mov", "x"));
    node->setOutPoint(60);
    app.playlistDataForChannelNumber(1)->setPlaylistItems({node});
    KLVChannelController channel(app, 1, std::make_unique<FakePlaybackEngine>());
    app.controllers.append(&channel);
    KLVPlaylistTableModel& table = channel.table().model();
    ASSERT_EQ(table.rowOf(node), 0);
    int outCellsChanged = 0;
    QObject::connect(&table, &QAbstractItemModel::dataChanged, [&](const QModelIndex& from, const QModelIndex& to) {
        if (from.row() <= 0 && to.row() >= 0 && from.column() <= KLVPlaylistTableModel::OutPointColumn
            && to.column() >= KLVPlaylistTableModel::OutPointColumn)
            ++outCellsChanged;
    });

    auto e = std::make_unique<FakePlaybackEngine>();
    FakePlaybackEngine& engine = *e;
    engine.fileDuration = 60;
    KLVCueInspectorController controller(app, std::move(e));
    KLVCueInspectorWindow window(controller, false);
    window.inspectCue(node, false);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QMProgressView* bar = window.progressView();
    bar->setMaxValue(60);
    controller.refreshProgressBar();
    const int savesBefore = app.saves;

    // Drag the out handle to the middle of the bar.
    const QPointF handle = bar->outPointRect().center();
    const QRectF track = bar->backgroundBarRect();
    const QPointF middle(track.left() + track.width() / 2, handle.y());
    sendMouse(bar, QEvent::MouseButtonPress, handle, Qt::LeftButton);
    sendMouse(bar, QEvent::MouseMove, (handle + middle) / 2, Qt::LeftButton);
    sendMouse(bar, QEvent::MouseMove, middle, Qt::LeftButton);
    sendMouse(bar, QEvent::MouseButtonRelease, middle, Qt::NoButton);
    EXPECT_NEAR(node->outPoint(), 30, 1.0);
    EXPECT_DOUBLE_EQ(engine.outPoint, node->outPoint());
    EXPECT_DOUBLE_EQ(node->inPoint(), 0);
    // The table shows it at once, and the document is saved.
    EXPECT_GE(outCellsChanged, 1);
    EXPECT_EQ(table.data(table.index(0, KLVPlaylistTableModel::OutPointColumn), Qt::DisplayRole).toString(),
              node->outPointString());
    EXPECT_GT(app.saves, savesBefore);

    // The whole drag is one step.
    ASSERT_EQ(app.undo.count(), 1);
    app.undo.undo();
    EXPECT_DOUBLE_EQ(node->outPoint(), 60);
    EXPECT_DOUBLE_EQ(bar->outValue(), 60);
    app.undo.redo();
    EXPECT_NEAR(node->outPoint(), 30, 1.0);

    // A handle dragged past the in point springs back; the cue keeps a range.
    node->setInPoint(10);
    controller.refreshProgressBar();
    const QPointF out = bar->outPointRect().center();
    sendMouse(bar, QEvent::MouseButtonPress, out, Qt::LeftButton);
    sendMouse(bar, QEvent::MouseMove, QPointF(track.left() + 1, out.y()), Qt::LeftButton);
    sendMouse(bar, QEvent::MouseButtonRelease, QPointF(track.left() + 1, out.y()), Qt::NoButton);
    EXPECT_GT(node->outPoint(), node->inPoint());
    EXPECT_DOUBLE_EQ(bar->outValue(), node->outPoint());
    window.close();
}
