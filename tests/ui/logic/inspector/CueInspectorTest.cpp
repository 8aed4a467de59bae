// The cue inspector's typed times, range edits, keys and the slate made again after an edit.
#include "app/document/KLVPlaylistNode.h"
#include "app/imagecache/KLVImageManager.h"
#include "app/moviecontroller/KLVMovieController.h"
#include "app/util/KLVUtilities.h"
#include "engine/output/ssDVIOutput.h"
#include "tests/support/TempFolder.h"
#include "tests/ui/support/FakeChannelDelegate.h"
#include "tests/ui/support/FakePlaybackEngine.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/inspector/KLVCueInspectorController.h"
#include "ui/logic/inspector/KLVInspectorTime.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>

#include <gtest/gtest.h>

using namespace testsupport;

TEST(InspectorTime, ThreeOrFourNumericPartsOnly)
{
    EXPECT_DOUBLE_EQ(*KLVInspectorTime::parse("00:00:10;12", 25), 10.48);
    EXPECT_DOUBLE_EQ(*KLVInspectorTime::parse("00:01:30", 25), 90);
    EXPECT_DOUBLE_EQ(*KLVInspectorTime::parse("1;2;3.5", 25), 3723.5);
    // At 29.97 a typed time is its frame's time, so it reads back as typed: 00:00:02;00 is frame
    // 60 (2.002 s), 00:00:01;00 frame 30.
    EXPECT_DOUBLE_EQ(*KLVInspectorTime::parse("00:00:02;00", 29.97), 60 * 1001.0 / 30000.0);
    EXPECT_DOUBLE_EQ(*KLVInspectorTime::parse("00:00:01;00", 29.97), 30 * 1001.0 / 30000.0);
    EXPECT_EQ(KLVUtilities::formatCurrentTime(*KLVInspectorTime::parse("00:00:01;00", 29.97), 29.97), "00:00:01;00");
    for (const char* bad : {"", "10", "1:30", "a:b:c", "00:00:-1", "1:2:3:4:5", "00:00:1e3", "00:00:10:12x"})
        EXPECT_FALSE(KLVInspectorTime::parse(bad, 25).has_value()) << bad;
    EXPECT_FALSE(KLVInspectorTime::parse("00:00:10:12", 0).has_value());
}

namespace {

class Inspector : public ::testing::Test {
protected:
    TempFolder home;
    FakeChannelDelegate app;
    FakePlaybackEngine* engine = nullptr;
    std::unique_ptr<KLVCueInspectorController> inspector;
    std::shared_ptr<KLVPlaylistNode> node = KLVPlaylistNode::create();

    void SetUp() override
    {
        auto e = std::make_unique<FakePlaybackEngine>();
        engine = e.get();
        engine->fileDuration = 120;
        inspector = std::make_unique<KLVCueInspectorController>(app, std::move(e));
        node->setPlnSourcePath(home.writeFile("clip.mov", "x"));
        node->setPlnName(QStringLiteral("clip"));
        node->setOutPoint(120);
        inspector->inspectCue(node, false);
    }
};

} // namespace

TEST_F(Inspector, TypedTimesMoveTheRangeSeekSaveAndReachTheChannel)
{
    // A channel with the same cue loaded gets the new range.
    auto channelEngine = std::make_unique<FakePlaybackEngine>();
    FakePlaybackEngine& onAir = *channelEngine;
    KLVChannelController channel(app, 1, std::move(channelEngine));
    app.controllers.append(&channel);
    channel.setCurrentNode(node);

    engine->currentTime = 20;
    EXPECT_TRUE(inspector->updateProgressBar(true, "00:00:10;12"));
    EXPECT_DOUBLE_EQ(node->outPoint(), 10.48);
    EXPECT_EQ(engine->calls.back(), "Seek 10.480 0");
    EXPECT_EQ(app.saves, 1);
    EXPECT_EQ(onAir.calls.back(), "SetInOutPoints 0.000 10.480");

    // Garbage and an out point at or before the in point change nothing.
    node->setInPoint(5);
    for (const char* bad : {"junk", "00:00:05", "00:00:04;24", "00:03:00"}) {
        EXPECT_FALSE(inspector->updateProgressBar(true, bad)) << bad;
        EXPECT_DOUBLE_EQ(node->outPoint(), 10.48) << bad;
    }
    EXPECT_FALSE(inspector->updateProgressBar(false, "00:00:11"));
    EXPECT_DOUBLE_EQ(node->inPoint(), 5);
    EXPECT_EQ(app.saves, 1);

    node->setOutPoint(120);
    engine->outPoint = 120;
    engine->currentTime = 10;
    EXPECT_TRUE(inspector->updateProgressBar(false, "00:01:30"));
    EXPECT_DOUBLE_EQ(node->inPoint(), 90);
    EXPECT_EQ(engine->calls.back(), "Seek 90.000 0");

    // The position as the out point: refused before the in point, taken after it.
    engine->currentTime = 30;
    EXPECT_FALSE(inspector->setInOutValue(true));
    engine->currentTime = 100;
    EXPECT_TRUE(inspector->setInOutValue(true));
    EXPECT_DOUBLE_EQ(node->outPoint(), 100);
    EXPECT_DOUBLE_EQ(node->fps(), 25);

    inspector->resetInOutPoints();
    EXPECT_DOUBLE_EQ(node->inPoint(), 0);
    EXPECT_DOUBLE_EQ(node->outPoint(), 120);
    EXPECT_EQ(onAir.calls.back(), "SetInOutPoints 0.000 120.000");
}

TEST_F(Inspector, KeysDriveTheTransport)
{
    // The engine draws to its own screen output, never a channel's.
    ASSERT_TRUE(inspector->attachPrivateOutput(640, 360));
    EXPECT_STREQ(inspector->privateOutput()->Name_, "CueInspector");
    EXPECT_STREQ(inspector->privateOutput()->GetMode(0)->name, "640x360");
    EXPECT_EQ(engine->count("SetOutputDevice"), 1);
    engine->calls.clear();
    EXPECT_TRUE(inspector->keyDown(KLVCueInspectorController::KeySpace, false));
    EXPECT_TRUE(inspector->movieController().isPlaying());
    EXPECT_TRUE(inspector->keyDown(KLVCueInspectorController::KeySpace, false));
    EXPECT_FALSE(inspector->movieController().isPlaying());
    EXPECT_TRUE(inspector->keyDown(KLVCueInspectorController::KeyLeft, false));
    EXPECT_EQ(engine->count("StepBackward"), 1);
    EXPECT_TRUE(inspector->keyDown(KLVCueInspectorController::KeyLeft, true));
    EXPECT_EQ(engine->count("Seek 0.000"), 1);
    EXPECT_TRUE(inspector->keyDown(KLVCueInspectorController::KeyRight, false));
    EXPECT_EQ(engine->count("StepForward"), 1);
    EXPECT_FALSE(inspector->keyDown(0, false));
}

TEST_F(Inspector, ClosingAfterAChangeRemakesTheSlateOnceOnTheMainThread)
{
    // Untouched: no slate.
    inspector->windowWillClose();
    QCoreApplication::processEvents();
    EXPECT_TRUE(app.pending.empty());

    inspector->inspectCue(node, true);
    ASSERT_TRUE(inspector->updateProgressBar(true, "00:00:30"));
    QDir().mkpath(KLVImageManager::slateImageFolder());
    const QString slatePath = KLVImageManager::slateImagePathForNode(*node);
    QImage old(8, 8, QImage::Format_RGB32);
    old.fill(Qt::black);
    ASSERT_TRUE(old.save(slatePath, "PNG"));
    inspector->windowWillClose();
    EXPECT_FALSE(inspector->currentNode());
    EXPECT_EQ(engine->calls.back(), "Pause");
    EXPECT_TRUE(app.pending.empty()); // queued, not run inside the close
    QCoreApplication::processEvents();
    ASSERT_EQ(app.pending.size(), 1u);
    EXPECT_STREQ(app.pending[0].kind, "slate");
    EXPECT_EQ(app.pending[0].node, node);
    EXPECT_FALSE(QFile::exists(slatePath)); // the stale slate went first

    QImage fresh(16, 9, QImage::Format_RGB32);
    fresh.fill(Qt::white);
    ASSERT_TRUE(fresh.save(slatePath, "PNG"));
    app.pending[0].completion(platform::Error(), QVariant());
    EXPECT_EQ(node->slate().size(), QSize(16, 9));
    QCoreApplication::processEvents();
    EXPECT_EQ(app.pending.size(), 1u);
}
