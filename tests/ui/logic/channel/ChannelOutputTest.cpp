// Device claims per channel and operation mode, audio output and the time-code output.
#include "tests/ui/logic/channel/ChannelRig.h"

#include "app/moviecontroller/KLVMovieController.h"
#include "platform/foundation/UserDefaults.h"
#include "ui/logic/channel/KLVChannelOutput.h"
#include "ui/logic/channel/KLVChannelTexts.h"
#include "ui/logic/channel/KLVChannelTransport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {
platform::UserDefaults& defaults()
{
    return platform::UserDefaults::sharedDefaults();
}

void setOperationMode(KLVChannelController& c, long mode)
{
    defaults().setInteger(mode, QStringLiteral("KLVSelectedOperationMode%1").arg(c.tag()));
    c.operationModeDidChange(mode);
}
} // namespace

TEST(ChannelOutput, ADeviceIsHeldByOneChannelPerOperationMode)
{
    ChannelRig rig;
    rig.addOutput("Card", {"1080i 50"}, ssBaseOutput::kKindDeckLink);
    auto& registry = KLVDeviceController::sharedController();
    const QString card = QStringLiteral("Card");
    for (long tag = 1; tag <= 3; ++tag)
        rig.add(tag);
    for (auto& c : rig.channels)
        c->setupInitialUI();
    KLVChannelController& one = *rig.channels[0];
    KLVChannelController& two = *rig.channels[1];
    KLVChannelController& three = *rig.channels[2];
    ASSERT_TRUE(one.output().deviceEnabled());

    // A second channel in playback is refused with the holder's name and ends on no device.
    two.output().enableDevice(card, 0);
    ASSERT_EQ(rig.app.prompts.shown.size(), 1u);
    EXPECT_EQ(rig.app.prompts.shown[0].messageText, QStringLiteral("Device already in use by: Channel 1"));
    EXPECT_FALSE(two.output().deviceEnabled());
    EXPECT_EQ(two.output().selectedDeviceTag(), -1);
    EXPECT_FALSE(defaults().objectForKey(QStringLiteral("KLVSelectedDeviceName2")).isValid());
    EXPECT_EQ(rig.engine(2).calls.back(), "SetOutputDevice none -1");

    // Record mode can take the card the first channel plays to.
    setOperationMode(three, 1);
    EXPECT_EQ(three.output().deviceItems().back().title, QStringLiteral("No Input Device Selected"));
    EXPECT_EQ(three.noDeviceSelectedMenuItemTitle(), KLVChannelTexts::localized(KLVChannelTexts::kNoInputDeviceSelected));
    EXPECT_TRUE(three.output().enableDevice(card, 0));
    EXPECT_EQ(registry.ownerForDeviceName(card, 1), QStringLiteral("Channel 3"));
    EXPECT_EQ(registry.ownerForDeviceName(card, 0), QStringLiteral("Channel 1"));

    // Switching the player to record moves its claim and finds the card taken there.
    setOperationMode(one, 1);
    EXPECT_EQ(rig.app.prompts.shown.size(), 2u);
    EXPECT_EQ(rig.app.prompts.shown[1].messageText, QStringLiteral("Device already in use by: Channel 3"));
    EXPECT_FALSE(one.output().deviceEnabled());
    EXPECT_TRUE(registry.ownerForDeviceName(card, 0).isNull());
    // The card is free for playback again.
    EXPECT_TRUE(two.output().enableDevice(card, 0));
    EXPECT_EQ(registry.ownerForDeviceName(card, 0), QStringLiteral("Channel 2"));
    // A channel moving to record without a rival keeps its device, now held for record.
    three.output().selectDeviceWithTag(-1);
    setOperationMode(two, 1);
    EXPECT_TRUE(two.output().deviceEnabled());
    EXPECT_EQ(registry.ownerForDeviceName(card, 1), QStringLiteral("Channel 2"));
    EXPECT_TRUE(registry.ownerForDeviceName(card, 0).isNull());
    // Screens handed round in one turn: the menu a name is looked up in is current.
    two.output().unselectDevice();
    EXPECT_TRUE(registry.ownerForDeviceName(card, 1).isNull());
    three.output().selectDeviceByName(card);
    EXPECT_EQ(registry.ownerForDeviceName(card, 1), QStringLiteral("Channel 3"));
    two.output().selectDeviceByName(card);
    EXPECT_FALSE(two.output().deviceEnabled()); // shown as in use: nothing happens
    three.output().unselectDevice();
    two.output().selectDeviceByName(card);
    EXPECT_TRUE(two.output().deviceEnabled());
    // Stopping the output device releases it.
    two.output().stopOutputDevice();
    EXPECT_TRUE(registry.ownerForDeviceName(card, 1).isNull());
    EXPECT_FALSE(two.controlButtonsEnabled());
}

TEST(ChannelOutput, AScreenForcesComputerAudioAndTheTimeCodeBoxTouchesOnlyTheTimeCode)
{
    ChannelRig rig;
    rig.addOutput("DVI (1)", {"1920x1080"});
    rig.addOutput("Card", {"1080i 50"}, ssBaseOutput::kKindDeckLink);
    defaults().setInteger(1, QStringLiteral("KLVSelectedAudioOutput1"));
    defaults().setInteger(1, QStringLiteral("KLVAudioMute2"));
    KLVChannelController& one = rig.add(1);
    KLVChannelController& two = rig.add(2);
    one.setupInitialUI();
    two.setupInitialUI();
    EXPECT_TRUE(one.output().isDVI());
    EXPECT_EQ(one.output().audioOutput(), 0);
    EXPECT_EQ(rig.engine(1).audioOutput, 0);
    EXPECT_EQ(defaults().integerForKey(QStringLiteral("KLVSelectedAudioOutput1")), 0);
    EXPECT_TRUE(two.output().mute());
    EXPECT_FLOAT_EQ(rig.engine(2).volume, 0.0f);

    // The card channel: the box with no choice selects elapsed time, and the card keeps playing.
    FakePlaybackEngine& card = rig.engine(2);
    const int attaches = card.count("SetOutputDevice");
    two.output().enableTimecode(true);
    EXPECT_EQ(two.output().selectedTimecodeTag(), 1);
    EXPECT_EQ(two.channel()->timeCodeSetting(), 1);
    EXPECT_EQ(card.calls.back(), "SetTimeCodeOutput 1");
    two.output().selectTimecode(2);
    two.output().enableTimecode(false);
    EXPECT_EQ(card.calls.back(), "SetTimeCodeOutput 0");
    EXPECT_EQ(card.count("SetOutputDevice"), attaches);
    // A screen writes no time code.
    const int screenTimeCodes = rig.engine(1).count("SetTimeCodeOutput");
    one.output().enableTimecode(true);
    EXPECT_EQ(rig.engine(1).count("SetTimeCodeOutput"), screenTimeCodes);
}

TEST(ChannelOutput, AnAudioSwitchWhilePlayingResumesAtTheSamePosition)
{
    ChannelRig rig;
    rig.addOutput("Card", {"1080i 50"}, ssBaseOutput::kKindDeckLink);
    KLVChannelController& one = rig.add(1);
    one.setupInitialUI();
    one.transport().loadNode(rig.cue(QStringLiteral("clip")), false);
    FakePlaybackEngine& e = rig.engine(1);
    one.movie().play();
    e.currentTime = 3.0;
    e.buffersReady = false;
    one.output().selectAudioOutput(1);
    EXPECT_FALSE(one.movie().isPlaying());
    EXPECT_EQ(e.audioOutput, 1);
    EXPECT_EQ(e.calls.back(), "Seek 3.000 0");
    rig.app.clock.advance(300);
    EXPECT_FALSE(e.playing);
    e.buffersReady = true;
    rig.app.clock.advance(100);
    EXPECT_TRUE(e.playing);
    EXPECT_DOUBLE_EQ(e.currentTime, 3.0);
    EXPECT_EQ(rig.app.clock.activeCount(), 1); // only the progress updater
}
