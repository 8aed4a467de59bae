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
