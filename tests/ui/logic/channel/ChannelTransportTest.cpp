// A master's transport with its slaves, the end-of-clip behaviours, offsets and time texts.
#include "tests/ui/logic/channel/ChannelRig.h"

#include "app/imagecache/KLVImageManager.h"
#include "app/moviecontroller/KLVMovieController.h"
#include "platform/foundation/UserDefaults.h"
#include "ui/logic/channel/KLVChannelImport.h"
#include "ui/logic/channel/KLVChannelOutput.h"
#include "ui/logic/channel/KLVChannelTransport.h"

#include <gtest/gtest.h>

#include <thread>

#include <sys/stat.h>

using namespace testsupport;

namespace {
// Channel 1 masters 2 (playback) and 3 (record mode), each on a screen of its own, each with a cue.
struct LinkedRig : ChannelRig {
    LinkedRig()
    {
        for (const char* name : {"DVI (1)", "DVI (2)", "DVI (3)"})
            addOutput(name, {"1920x1080"});
        platform::UserDefaults::sharedDefaults().setInteger(1, QStringLiteral("KLVSelectedOperationMode3"));
        for (long tag = 1; tag <= 3; ++tag)
            add(tag);
        for (auto& c : channels)
            c->setupInitialUI();
        channels[1]->selectLinkSetting(1);
        channels[2]->selectLinkSetting(1);
        for (long tag = 1; tag <= 3; ++tag)
            channels[size_t(tag - 1)]->transport().loadNode(cue(QStringLiteral("clip%1").arg(tag)), false);
    }
    KLVChannelController& master() { return *channels[0]; }
};
} // namespace

TEST(ChannelTransport, StopAlwaysStopsAndEveryEndOfPlaybackReopensTheLatch)
{
    LinkedRig rig;
    ASSERT_TRUE(rig.master().isMaster());
    rig.master().playMaster(nullptr);
    EXPECT_TRUE(rig.engine(1).playing);
    EXPECT_TRUE(rig.engine(2).playing);
    EXPECT_FALSE(rig.engine(3).playing); // record mode is left alone
    EXPECT_EQ(rig.engine(2).master, &rig.engine(1));
    rig.master().playMaster(nullptr);
    EXPECT_EQ(rig.engine(1).count("Play"), 1);

    // The remote STOP on a playing master.
    rig.master().stopMaster(nullptr);
    EXPECT_FALSE(rig.engine(1).playing);
    EXPECT_FALSE(rig.engine(2).playing);
    EXPECT_TRUE(rig.master().controlButtonsEnabled());
    rig.master().playMaster(nullptr);
    EXPECT_EQ(rig.engine(1).count("Play"), 2);

    // A plain stop (sleep, a screen change, the all-channel stop) must not leave play ignored.
    rig.master().movie().stop();
    rig.master().playMaster(nullptr);
    EXPECT_EQ(rig.engine(1).count("Play"), 3);
    // Nor the end of a cue that stops.
    rig.master().currentPlaylistNode()->setPlaybackBehavior(0);
    EXPECT_EQ(rig.engine(1).behaviour, 0); // the loaded cue's behaviour reaches the engine
    rig.master().endpointReached();
    EXPECT_FALSE(rig.master().isPlaying());
    rig.master().playMaster(nullptr);
    EXPECT_EQ(rig.engine(1).count("Play"), 4);
    rig.master().pauseMaster(nullptr);
    EXPECT_FALSE(rig.engine(2).playing);
    EXPECT_EQ(rig.engine(3).count("Play"), 0);
}

TEST(ChannelTransport, ABufferedStartWaitsABoundedTimeOnlyForSlavesWithMedia)
{
    LinkedRig rig;
    FakePlaybackEngine& slave = rig.engine(2);
    slave.buffersReady = false;
    rig.engine(3).buffersReady = false; // record mode never delays a start
    rig.master().playMaster(nullptr);
    EXPECT_FALSE(rig.engine(1).playing);
    rig.master().playMaster(nullptr); // one pending start, not two
    rig.app.clock.advance(200);
    EXPECT_FALSE(rig.engine(1).playing);
    slave.buffersReady = true;
    rig.app.clock.advance(100);
    EXPECT_TRUE(rig.engine(1).playing);
    EXPECT_TRUE(slave.playing);
    EXPECT_EQ(rig.engine(1).count("Play"), 1);

    // A slave that never fills: the start goes ahead after the bound.
    rig.master().stopMaster(nullptr);
    slave.buffersReady = false;
    rig.master().playMaster(nullptr);
    rig.app.clock.advance(KLVChannelTransport::kStartWaitIntervalMs * (KLVChannelTransport::kStartWaitTicks - 1));
    EXPECT_FALSE(rig.engine(1).playing);
    rig.app.clock.advance(KLVChannelTransport::kStartWaitIntervalMs);
    EXPECT_TRUE(rig.engine(1).playing);
    EXPECT_TRUE(slave.playing);

    // A slave with nothing loaded is not waited for.
    rig.master().stopMaster(nullptr);
    rig.channels[1]->transport().loadNode(nullptr, false);
    rig.master().playMaster(nullptr);
    EXPECT_TRUE(rig.engine(1).playing);
}

TEST(ChannelTransport, EndOfClipBehavioursOnAThreeRowTable)
{
    ChannelRig rig;
    rig.addOutput("DVI (1)", {"1920x1080"});
    KLVChannelController& one = rig.add(1);
    one.setupInitialUI();
    auto a = rig.cue(QStringLiteral("a"), 2);
    auto b = rig.cue(QStringLiteral("b"), 2, false); // its file is gone
    auto c = rig.cue(QStringLiteral("c"), 2);
    one.channel()->setPlaylistItems({a, b, c});
    FakePlaybackEngine& e = rig.engine(1);

    // Next skips the missing cue and plays the one after it.
    one.transport().loadNode(a, true);
    one.endpointReached();
    EXPECT_EQ(one.selectedIndex(), 2);
    EXPECT_EQ(one.currentPlaylistNode(), c);
    EXPECT_EQ(e.calls[e.calls.size() - 1], "SetShowSlate 1");
    EXPECT_TRUE(e.playing);
    // The last cue wraps to the first.
    one.endpointReached();
    EXPECT_EQ(one.currentPlaylistNode(), a);
    EXPECT_TRUE(e.playing);
    // With every file gone the channel stops instead of replaying the old clip.
    QFile::remove(a->plnSourcePath().value());
    QFile::remove(c->plnSourcePath().value());
    const int plays = e.count("Play");
    one.endpointReached();
    EXPECT_FALSE(e.playing);
    EXPECT_EQ(e.count("Play"), plays);
    // Loading a missing cue closes the old media, so play cannot resume it from its end.
    one.transport().loadNode(b, true);
    EXPECT_FALSE(e.fileOpen);
    EXPECT_EQ(one.currentPlaylistNode(), b);

    // Loop: the engine loops; nothing else happens on an unlinked channel.
    auto loop = rig.cue(QStringLiteral("loop"), 1);
    one.transport().loadNode(loop, false);
    one.movie().play();
    const size_t before = e.calls.size();
    one.endpointReached();
    EXPECT_EQ(e.calls.size(), before);
    EXPECT_TRUE(one.isPlaying());
}

TEST(ChannelTransport, TheNextCueIsPreparedInStepWithThePlaylistAndTakenOverWithoutALoad)
{
    ChannelRig rig;
    rig.addOutput("DVI (1)", {"1920x1080"});
    KLVChannelController& one = rig.add(1);
    one.setupInitialUI();
    auto a = rig.cue(QStringLiteral("a"), 2);
    auto gone = rig.cue(QStringLiteral("gone"), 2, false);
    auto c = rig.cue(QStringLiteral("c"), 2);
    c->setInPoint(1.0);
    c->setOutPoint(3.0);
    one.channel()->setPlaylistItems({a, gone, c});
    FakePlaybackEngine& e = rig.engine(1);
    auto prepared = [&e] {
        for (auto it = e.calls.rbegin(); it != e.calls.rend(); ++it)
            if (it->rfind("PrepareNext", 0) == 0 || *it == "ClearNext")
                return *it;
        return std::string();
    };
    const std::string cPath = c->plnSourcePath().value().toStdString();

    // Loading a cue that goes on to the next prepares the next playable one, with its range.
    one.transport().loadNode(a, false);
    EXPECT_EQ(prepared(), "PrepareNext " + cPath + " 1.000 3.000 2");
    // The playlist changes while it plays: the choice follows (here a cue put in between).
    auto b = rig.cue(QStringLiteral("b"), 0);
    one.channel()->setPlaylistItems({a, b, gone, c});
    rig.app.clock.advance(300);
    EXPECT_EQ(prepared(), "PrepareNext " + b->plnSourcePath().value().toStdString() + " 0.000 0.000 0");
    // Unchanged, nothing is asked again.
    const size_t asked = e.calls.size();
    rig.app.clock.advance(1000);
    EXPECT_EQ(e.calls.size(), asked);

    // The engine went on into it by itself: the channel shows it, and loads nothing.
    const int opens = e.count("Open");
    const int prepares = e.count("PrepareNext");
    e.handOvers = 1;
    one.endpointReached();
    EXPECT_EQ(one.currentPlaylistNode(), b);
    EXPECT_EQ(one.selectedIndex(), 1);
    EXPECT_EQ(e.count("Open"), opens);
    // b stops at its end: nothing follows it, now or later.
    rig.app.clock.advance(1000);
    EXPECT_EQ(e.count("PrepareNext"), prepares);

    // Without a hand-over, the end of the range loads the next cue as ever.
    one.transport().loadNode(a, false);
    one.endpointReached();
    EXPECT_EQ(one.currentPlaylistNode(), b);
    EXPECT_EQ(e.count("Open"), opens + 2);
}

TEST(ChannelTransport, AMasterDrivesItsSlavesAtTheEndOfItsCue)
{
    LinkedRig rig;
    KLVChannelController& slave = *rig.channels[1];
    slave.currentPlaylistNode()->setOffset(0.5);
    FakePlaybackEngine& se = rig.engine(2);
    rig.engine(1).inPoint = 2.0;

    rig.master().currentPlaylistNode()->setPlaybackBehavior(1);
    rig.master().playMaster(nullptr);
    se.playing = false;
    rig.master().endpointReached();
    EXPECT_EQ(se.calls[se.calls.size() - 2], "Seek 1.500 0");
    EXPECT_TRUE(se.playing);
    // A playing slave that goes round with the loop by itself is already on its in point.
    se.goesRoundWithMaster = true;
    const size_t before = se.calls.size();
    rig.master().endpointReached();
    EXPECT_EQ(se.calls.size(), before);
    EXPECT_TRUE(se.playing);
    se.goesRoundWithMaster = false;

    auto& defaults = platform::UserDefaults::sharedDefaults();
    // End changed to Stop while it played: its slaves play on from where they are (the engine
    // carries a slave that went round past the pass), none is sought back to its in point.
    rig.master().currentPlaylistNode()->setPlaybackBehavior(0);
    defaults.setBool(false, QStringLiteral("linkedChannelAdhereToMasterOutpoint"));
    const size_t playingOn = se.calls.size();
    rig.master().endpointReached();
    EXPECT_TRUE(se.playing);
    EXPECT_EQ(se.calls.size(), playingOn);
    defaults.setBool(true, QStringLiteral("linkedChannelAdhereToMasterOutpoint"));
    rig.master().endpointReached();
    EXPECT_FALSE(se.playing);

    // A slave's own "next" does not advance it: its master drives it.
    slave.currentPlaylistNode()->setPlaybackBehavior(2);
    const auto cued = slave.currentPlaylistNode();
    slave.endpointReached();
    EXPECT_EQ(slave.currentPlaylistNode(), cued);
}

TEST(ChannelTransport, OffsetsNudgesAndJumpTexts)
{
    using T = KLVChannelTransport;
    EXPECT_NEAR(T::offsetFromText(QStringLiteral("00:00:01;15"), 30), 1.5, 1e-6);
    EXPECT_NEAR(T::offsetFromText(QStringLiteral("-0;12"), 24), -0.5, 1e-6);
    EXPECT_NEAR(T::offsetFromText(QStringLiteral("1:00:00;00"), 25), 3600, 1e-3);
    EXPECT_NEAR(T::offsetFromText(QStringLiteral("0;15"), 0), 0.5, 1e-6); // no rate: 30
    EXPECT_DOUBLE_EQ(T::secondsFromJumpText(QStringLiteral("1;12"), 24), 1.5);
    EXPECT_DOUBLE_EQ(T::secondsFromJumpText(QStringLiteral("0:01:30"), 24), 90);
    EXPECT_DOUBLE_EQ(T::secondsFromJumpText(QStringLiteral("0:00:02;15"), 30), 2.5);
    EXPECT_DOUBLE_EQ(T::secondsFromJumpText(QStringLiteral("0;15"), 0), 0.5);
    EXPECT_DOUBLE_EQ(T::secondsFromJumpText(QStringLiteral("42"), 30), 0);
    // A time code names a frame: 00:00:01;15 at 29.97 is frame 45, not 44.
    EXPECT_DOUBLE_EQ(T::secondsFromJumpText(QStringLiteral("00:00:01;15"), 29.97), 45 * 1001.0 / 30000.0);

    LinkedRig rig;
    KLVChannelController& slave = *rig.channels[1];
    slave.transport().updateOffset(0);
    slave.transport().updateOffset(0);
    slave.transport().updateOffset(1);
    EXPECT_NEAR(slave.currentPlaylistNode()->offset(), 0.04, 1e-9);
    EXPECT_NEAR(rig.engine(2).masterOffset, 0.04, 1e-9); // the master synced it
    slave.currentPlaylistNode()->setFps(0);
    slave.transport().updateOffset(1);
    EXPECT_NEAR(slave.currentPlaylistNode()->offset(), 0.04 - 1.0 / 30, 1e-9);

    // The remote seek: in point + time code, each slave behind by its offset.
    rig.engine(1).inPoint = 1.0;
    QMTimeCode tc;
    tc.setSeconds(2);
    tc.setFrames(0);
    rig.master().seekMasterToTimeCode(tc);
    EXPECT_DOUBLE_EQ(rig.engine(1).currentTime, 3.0);
    EXPECT_NEAR(rig.engine(2).currentTime, 3.0 - slave.currentPlaylistNode()->offset(), 1e-9);
    EXPECT_EQ(rig.engine(3).count("Seek"), 0);
    // With the engines still at work, the master reports cueing until its own engine stood at
    // the target, and the slave's seek waits for that target.
    rig.engine(1).holdJobs = true;
    rig.engine(2).holdJobs = true;
    tc.setSeconds(4);
    rig.master().seekMasterToTimeCode(tc);
    EXPECT_TRUE(rig.master().movie().isCueing());
    EXPECT_DOUBLE_EQ(rig.engine(1).currentTime, 3.0);
    rig.engine(1).runHeldJobs();
    EXPECT_FALSE(rig.master().movie().isCueing());
    EXPECT_DOUBLE_EQ(rig.engine(1).currentTime, 5.0);
    rig.engine(2).runHeldJobs();
    EXPECT_NEAR(rig.engine(2).currentTime, 5.0 - slave.currentPlaylistNode()->offset(), 1e-9);
}

TEST(ChannelTransport, ThePreviewDrawsByTheCachedModeWhileFramesChange)
{
    LinkedRig rig;
    KLVChannelController& one = rig.master();
    KLVChannelController& recorder = *rig.channels[2];
    int recordDraws = 0;
    std::vector<bool> monitor;
    recorder.setRecordHooks({{}, [&] { ++recordDraws; }, [&](bool on) { monitor.push_back(on); }});
    recorder.transport().setMutePreview(true);
    EXPECT_EQ(monitor, std::vector<bool>{false}); // a muted preview is not monitored
    std::thread preview([&] {
        for (int i = 0; i < 200; ++i) {
            one.drawPreview();
            recorder.drawPreview();
        }
    });
    for (int i = 0; i < 200; ++i)
        one.setPreviewFrames(QRectF(0, 0, 100 + i, 50), QRectF(10, 0, 400, 60));
    preview.join();
    EXPECT_EQ(rig.engine(1).count("DrawPreview"), 200);
    EXPECT_EQ(rig.engine(3).count("DrawPreview"), 0);
    EXPECT_EQ(recordDraws, 200);
}

TEST(ChannelTransport, CuesOfPipesDevicesAndSocketsAreNeverOpened)
{
    ChannelRig rig;
    rig.addOutput("DVI (1)", {"1920x1080"});
    const QString pipe = rig.home.filePath(QStringLiteral("pipe.mov"));
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    auto fifoCue = KLVPlaylistNode::create();
    fifoCue->setPlnName(QStringLiteral("pipe"));
    fifoCue->setPlnSourcePath(pipe);
    fifoCue->setPlaybackBehavior(2);
    auto device = KLVPlaylistNode::create();
    device->setPlnSourcePath(QStringLiteral("/dev/zero"));
    auto after = rig.cue(QStringLiteral("after"), 0);
    KLVChannelController& one = rig.add(1);
    // As a document read at start-up: the first cue is the pipe, and the restored output loads it.
    one.channel()->setPlaylistItems({fifoCue, device, after});
    one.setupInitialUI();
    FakePlaybackEngine& e = rig.engine(1);
    for (const std::string& call : e.calls)
        EXPECT_EQ(call.find("Open " + pipe.toStdString()), std::string::npos) << call;
    EXPECT_NE(fifoCue->sourceFileProblem().indexOf(QStringLiteral("QM_CUE_FILE_IS_PIPE")), -1);
    EXPECT_NE(device->sourceFileProblem().indexOf(QStringLiteral("QM_CUE_FILE_IS_DEVICE")), -1);
    EXPECT_TRUE(after->sourceFileProblem().isEmpty());

    // The next cue passes over both and plays the regular file.
    one.transport().loadNode(fifoCue, false);
    EXPECT_FALSE(e.fileOpen);
    one.transport().triggerNextNode(false);
    EXPECT_EQ(one.currentPlaylistNode(), after);
    EXPECT_EQ(e.count("Open /dev/zero"), 0);
    EXPECT_EQ(e.count("Open " + pipe.toStdString()), 0);
}

TEST(ChannelTransport, ASlateThatArrivesForACueNoLongerLoadedNeverReachesTheEngine)
{
    // Each loaded cue without a slate asks the media helper for one. A cue replaced by the next
    // before its slate came must not put its slate up for the cue that is loaded now.
    ChannelRig rig;
    rig.addOutput("DVI (1)", {"1920x1080"});
    KLVChannelController& one = rig.add(1);
    one.setupInitialUI();
    ASSERT_TRUE(one.transport().showSlate());
    auto first = rig.cue(QStringLiteral("first"));
    auto second = rig.cue(QStringLiteral("second"));
    one.channel()->setPlaylistItems({first, second});
    FakePlaybackEngine& e = rig.engine(1);

    one.transport().loadNode(first, true);
    one.transport().loadNode(second, true);
    ASSERT_EQ(rig.app.pending.size(), 2u);
    ASSERT_EQ(rig.app.pending[0].node, first);
    ASSERT_EQ(rig.app.pending[1].node, second);
    KLVImageManager::slateImageFolder(); // made on first use
    ASSERT_TRUE(QImage(16, 9, QImage::Format_RGB32).save(KLVImageManager::slateImagePathForNode(*first)));
    ASSERT_TRUE(QImage(32, 18, QImage::Format_RGB32).save(KLVImageManager::slateImagePathForNode(*second)));

    rig.app.pending[0].completion(platform::Error(), QVariant());
    EXPECT_EQ(e.count("SetSlateImage 16x9"), 0);
    rig.app.pending[1].completion(platform::Error(), QVariant());
    EXPECT_EQ(e.count("SetSlateImage 32x18"), 1);
}
