// Set-up from the user defaults, the first-start device choice and channel links.
#include "tests/ui/logic/channel/ChannelRig.h"

#include "app/moviecontroller/KLVMovieController.h"
#include "platform/foundation/UserDefaults.h"
#include "ui/logic/channel/KLVChannelOutput.h"
#include "ui/logic/channel/KLVChannelTransport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {
platform::UserDefaults& defaults()
{
    return platform::UserDefaults::sharedDefaults();
}
} // namespace

TEST(ChannelCore, AbsentSettingsAndTheFirstStartChoice)
{
    ChannelRig rig;
    rig.addOutput("Card A", {"1080i 59.94", "720p 59.94", "720p 60"}, ssBaseOutput::kKindDeckLink);
    rig.addOutput("DVI (1)", {"1920x1080"});
    for (long tag = 1; tag <= 3; ++tag)
        rig.add(tag);
    for (auto& c : rig.channels)
        c->setupInitialUI();

    KLVChannelController& one = *rig.channels[0];
    EXPECT_TRUE(one.transport().showSlate());
    EXPECT_EQ(rig.engine(1).showSlate, 1);
    EXPECT_FALSE(one.transport().mutePreview());
    EXPECT_EQ(one.output().syncMode(), 1);
    EXPECT_TRUE(one.channelName().isNull());
    defaults().setObject(QStringLiteral("Left"), QStringLiteral("KLVChannelLabel1"));
    EXPECT_EQ(one.channelName(), QStringLiteral("Left"));

    // Channel 1 takes the first device and its first 720 mode; channel 2 the one-mode screen.
    EXPECT_EQ(defaults().stringForKey(QStringLiteral("KLVSelectedDeviceName1")), QStringLiteral("Card A"));
    EXPECT_EQ(defaults().integerForKey(QStringLiteral("KLVSelectedModeIndex1")), 1);
    EXPECT_TRUE(one.output().deviceEnabled());
    EXPECT_EQ(one.output().componentModeLabel(), QStringLiteral("Card A - 720p 59.94"));
    EXPECT_EQ(rig.engine(1).count("SetOutputDevice 1"), 1);
    EXPECT_EQ(defaults().integerForKey(QStringLiteral("KLVSelectedModeIndex2")), 0);
    EXPECT_TRUE(rig.channels[1]->output().deviceEnabled());
    // Two devices: channel 3 stores nothing and shows the no-device item.
    EXPECT_FALSE(defaults().objectForKey(QStringLiteral("KLVSelectedDeviceName3")).isValid());
    EXPECT_FALSE(defaults().objectForKey(QStringLiteral("KLVSelectedModeIndex3")).isValid());
    EXPECT_EQ(rig.channels[2]->output().selectedDeviceTag(), -1);
    EXPECT_EQ(rig.channels[2]->output().deviceItems().back().title, QStringLiteral("No Output Device Selected"));
    // The first channel's device reads as taken in the others' menus.
    bool shownInUse = false;
    for (const auto& item : rig.channels[2]->output().deviceItems())
        shownInUse |= item.title == QStringLiteral("Card A in use by Channel 1") && !item.enabled;
    EXPECT_TRUE(shownInUse);
}

TEST(ChannelCore, NoModeNamedForSevenTwentyStoresNone)
{
    ChannelRig rig;
    rig.addOutput("Card A", {"1080i 50", "1080p 25"}, ssBaseOutput::kKindDeckLink);
    KLVChannelController& one = rig.add(1);
    one.setupInitialUI();
    EXPECT_EQ(defaults().integerForKey(QStringLiteral("KLVSelectedModeIndex1")), -1);
    EXPECT_FALSE(one.output().deviceEnabled());
    EXPECT_EQ(rig.engine(1).count("SetOutputDevice none"), 1);
    // Picking a mode enables it.
    one.output().selectMode(1);
    EXPECT_TRUE(one.output().deviceEnabled());
    EXPECT_EQ(defaults().integerForKey(QStringLiteral("KLVSelectedModeIndex1")), 1);

    // A one-mode device is enabled at once; a device with several waits for a mode, playing
    // nothing to the device it left.
    rig.addOutput("DVI (1)", {"1920x1080"});
    one.updateUI();
    one.output().selectDeviceWithTag(1);
    EXPECT_TRUE(one.output().deviceEnabled());
    EXPECT_EQ(defaults().integerForKey(QStringLiteral("KLVSelectedModeIndex1")), 0);
    one.output().selectDeviceWithTag(0);
    EXPECT_FALSE(one.output().deviceEnabled());
    EXPECT_EQ(one.output().selectedModePosition(), -1);
    EXPECT_EQ(defaults().integerForKey(QStringLiteral("KLVSelectedModeIndex1")), -1);
    EXPECT_EQ(rig.engine(1).calls.back(), "SetOutputDevice none -1");
    EXPECT_TRUE(KLVDeviceController::sharedController().ownerForDeviceName(QStringLiteral("DVI (1)"), 0).isNull());
    // The menus show what plays: the stored -1 selects no mode when they are rebuilt.
    one.updateUI();
    EXPECT_EQ(one.output().selectedModePosition(), -1);
    EXPECT_FALSE(one.output().deviceEnabled());
}

TEST(ChannelCore, LinksThatCloseALoopAreRefused)
{
    ChannelRig rig;
    for (long tag = 1; tag <= 3; ++tag)
        rig.add(tag);
    KLVChannelController& one = *rig.channels[0];
    KLVChannelController& two = *rig.channels[1];
    KLVChannelController& three = *rig.channels[2];

    two.selectLinkSetting(1);
    ASSERT_EQ(two.linkedController(), &one);
    EXPECT_TRUE(one.isMaster());
    // A master linking to its own slave.
    one.selectLinkSetting(2);
    ASSERT_EQ(rig.app.prompts.shown.size(), 1u);
    EXPECT_EQ(rig.app.prompts.shown[0].informativeText, QStringLiteral("Channel 2 is already a slave to this channel"));
    EXPECT_EQ(one.linkedController(), nullptr);
    EXPECT_EQ(one.channel()->linkedChannelNumber(), 0);
    EXPECT_EQ(one.selectedLinkIndex(), 0);
    // Through a third channel: 3 follows 2, which follows 1; 1 following 3 would be a ring.
    three.selectLinkSetting(2);
    one.selectLinkSetting(3);
    EXPECT_EQ(rig.app.prompts.shown.size(), 2u);
    EXPECT_EQ(one.linkedController(), nullptr);
    // A stored self-link.
    three.channel()->setLinkedChannelNumber(3);
    three.establishLinkedChannel();
    EXPECT_EQ(rig.app.prompts.shown.size(), 3u);
    EXPECT_FALSE(two.isMaster());
    // Removing the last slave makes the master a plain channel with its latch open.
    one.setControlButtonsEnabled(false);
    two.selectLinkSetting(0);
    EXPECT_FALSE(one.isMaster());
    EXPECT_TRUE(one.controlButtonsEnabled());
    EXPECT_EQ(rig.app.saves > 0, true);
}

TEST(ChannelCore, ARingReadFromADocumentIsBrokenAtSetUp)
{
    ChannelRig rig;
    for (long tag = 1; tag <= 3; ++tag)
        rig.app.playlistDataForChannelNumber(tag)->setLinkedChannelNumber(tag % 3 + 1);
    for (long tag = 1; tag <= 3; ++tag)
        rig.add(tag);
    for (auto& c : rig.channels)
        c->setupInitialUI();
    // 1 → 2 → 3 hold; 3 → 1 is refused, and playing the chain's head ends.
    EXPECT_EQ(rig.app.prompts.shown.size(), 1u);
    EXPECT_EQ(rig.channels[0]->linkedController(), rig.channels[1].get());
    EXPECT_EQ(rig.channels[1]->linkedController(), rig.channels[2].get());
    EXPECT_EQ(rig.channels[2]->linkedController(), nullptr);
    rig.channels[2]->pauseForSeek();
    rig.channels[2]->playMaster(nullptr);
}
