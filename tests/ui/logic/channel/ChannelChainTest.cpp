// A chain of linked channels (3 follows 2, which follows 1): the head's transport reaches the
// whole chain, however its members were started, and its loop seam seeks every member that does
// not go round by itself.
#include "tests/ui/logic/channel/ChannelRig.h"

#include "app/moviecontroller/KLVMovieController.h"
#include "ui/logic/channel/KLVChannelTransport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {
// Channels 1 → 2 → 3, each on a screen of its own with a cue, all playing back; a fourth, linked
// to 3 but in record mode, never takes part.
struct ChainRig : ChannelRig {
    ChainRig()
    {
        for (const char* name : {"DVI (1)", "DVI (2)", "DVI (3)", "DVI (4)"})
            addOutput(name, {"1920x1080"});
        platform::UserDefaults::sharedDefaults().setInteger(1, QStringLiteral("KLVSelectedOperationMode4"));
        for (long tag = 1; tag <= 4; ++tag)
            add(tag);
        for (auto& c : channels)
            c->setupInitialUI();
        channels[1]->selectLinkSetting(1);
        channels[2]->selectLinkSetting(2);
        channels[3]->selectLinkSetting(3);
        for (long tag = 1; tag <= 4; ++tag)
            channels[size_t(tag - 1)]->transport().loadNode(cue(QStringLiteral("clip%1").arg(tag)), false);
    }
    KLVChannelController& head() { return *channels[0]; }
    KLVChannelController& middle() { return *channels[1]; }
    KLVChannelController& last() { return *channels[2]; }
    bool allPlay() { return engine(1).playing && engine(2).playing && engine(3).playing; }
    bool nonePlays() { return !engine(1).playing && !engine(2).playing && !engine(3).playing; }
};
} // namespace

TEST(ChannelChain, PlayPauseAndStopOnTheHeadReachTheWholeChain)
{
    ChainRig rig;
    ASSERT_EQ(rig.head().linkedBelow(), (QList<KLVChannelController*>{&rig.middle(), &rig.last(), rig.channels[3].get()}));
    EXPECT_EQ(rig.middle().linkedBelow(), (QList<KLVChannelController*>{&rig.last(), rig.channels[3].get()}));

    // A grandchild whose buffers are not ready holds the start back as a slave's do.
    rig.engine(3).buffersReady = false;
    rig.head().playMaster(nullptr);
    EXPECT_TRUE(rig.nonePlays());
    rig.engine(3).buffersReady = true;
    rig.app.clock.advance(KLVChannelTransport::kStartWaitIntervalMs);
    EXPECT_TRUE(rig.allPlay());
    EXPECT_FALSE(rig.engine(4).playing); // record mode is left alone
    // Each member follows its own master, not the head.
    EXPECT_EQ(rig.engine(2).master, &rig.engine(1));
    EXPECT_EQ(rig.engine(3).master, &rig.engine(2));
    // The grandchild is latched with its master: its own play does not start it twice.
    EXPECT_FALSE(rig.last().controlButtonsEnabled());
    rig.last().playMaster(nullptr);
    EXPECT_EQ(rig.engine(3).count("Play"), 1);

    rig.head().pauseMaster(nullptr);
    EXPECT_TRUE(rig.nonePlays());
    EXPECT_TRUE(rig.last().controlButtonsEnabled());
    rig.head().playMaster(nullptr);
    EXPECT_TRUE(rig.allPlay());
    rig.head().stopMaster(nullptr);
    EXPECT_TRUE(rig.nonePlays());
    EXPECT_EQ(rig.engine(3).count("Stop"), 1);
    EXPECT_TRUE(rig.last().controlButtonsEnabled());
    EXPECT_EQ(rig.engine(4).count("Play"), 0);
}

TEST(ChannelChain, MembersStartedOnTheirOwnPlayOnWhenTheHeadStarts)
{
    ChainRig rig;
    // The middle channel as master of the last, its own master paused.
    rig.middle().playMaster(nullptr);
    EXPECT_FALSE(rig.engine(1).playing);
    EXPECT_TRUE(rig.engine(2).playing && rig.engine(3).playing);
    rig.head().playMaster(nullptr);
    EXPECT_TRUE(rig.allPlay());
    EXPECT_EQ(rig.engine(2).master, &rig.engine(1));
    EXPECT_EQ(rig.engine(3).master, &rig.engine(2));

    // The middle channel played alone, without its slave: the head's start brings the last in.
    rig.head().stopMaster(nullptr);
    rig.middle().movie().play();
    EXPECT_FALSE(rig.engine(3).playing);
    rig.head().playMaster(nullptr);
    EXPECT_TRUE(rig.allPlay());

    // A remote seek of the head puts each member behind it by the offsets of the links between.
    rig.middle().currentPlaylistNode()->setOffset(0.5);
    rig.last().currentPlaylistNode()->setOffset(0.25);
    rig.engine(1).inPoint = 1.0;
    QMTimeCode tc;
    tc.setSeconds(3);
    tc.setFrames(0);
    rig.head().seekMasterToTimeCode(tc);
    EXPECT_DOUBLE_EQ(rig.engine(1).currentTime, 4.0);
    EXPECT_DOUBLE_EQ(rig.engine(2).currentTime, 3.5);
    EXPECT_DOUBLE_EQ(rig.engine(3).currentTime, 3.25);
    EXPECT_DOUBLE_EQ(rig.engine(3).masterOffset, 0.25); // against its own master
}

TEST(ChannelChain, TheHeadsSeamSeeksEveryMemberThatDoesNotGoRoundByItself)
{
    ChainRig rig;
    rig.middle().currentPlaylistNode()->setOffset(0.5);
    rig.last().currentPlaylistNode()->setOffset(0.25);
    rig.engine(1).inPoint = 2.0;
    rig.head().currentPlaylistNode()->setPlaybackBehavior(1);
    rig.head().playMaster(nullptr);
    ASSERT_TRUE(rig.allPlay());

    // The middle one goes round by itself; the last does not and is sought to the head's in
    // point behind both offsets, and played.
    rig.engine(2).goesRoundWithMaster = true;
    const size_t middleCalls = rig.engine(2).calls.size();
    rig.engine(3).playing = false;
    rig.head().endpointReached();
    EXPECT_EQ(rig.engine(2).calls.size(), middleCalls);
    const std::vector<std::string>& calls = rig.engine(3).calls;
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2], "Seek 1.250 0");
    EXPECT_EQ(calls.back(), "Play");
    EXPECT_TRUE(rig.engine(3).playing);

    // Both going round: nobody is sought.
    rig.engine(3).goesRoundWithMaster = true;
    const size_t lastCalls = calls.size();
    rig.head().endpointReached();
    EXPECT_EQ(calls.size(), lastCalls);
}
