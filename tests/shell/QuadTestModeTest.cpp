// The quad test lends every channel to a quadrant of one screen; leaving it must give each channel
// back the card or screen and the format it played to, with the stored settings as they were.

#include "app/defaults/KLVDefaultsKeys.h"
#include "app/devices/KLVDeviceController.h"
#include "engine/output/ssBaseOutput.h"
#include "shell/KLVAppDelegate.h"
#include "shell/KLVOutputScreens.h"
#include "tests/shell/ShellFixture.h"
#include "tests/support/WaitUntil.h"
#include "tests/ui/support/FakePlaybackEngine.h"
#include "tests/ui/support/FakePrompts.h"
#include "tests/ui/support/ManualTimerSource.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelOutput.h"

#include <QAction>
#include <QDir>
#include <QFile>

#include <map>

// Two virtual screens and two virtual cards, set before the application and the card list exist.
// The cards' description is removed when the test program ends, so a run leaves nothing behind.
struct QuadDevices {
    QString cards = QDir::temp().filePath(QStringLiteral("klv-quad-cards-%1.json").arg(getpid()));
    QuadDevices()
    {
        setenv("QT_QPA_PLATFORM", "offscreen:configfile=" KLV_SCREEN_CONFIG, 1);
        unsetenv("DISPLAY");
        QFile file(cards);
        if (file.open(QIODevice::WriteOnly))
            file.write(R"({"cards": [
          {"name": "Card A", "modes": ["HD 1080i 29.97", "HD 720p 59.94"]},
          {"name": "Card B", "modes": ["HD 1080i 29.97", "HD 720p 59.94"]}]})");
        setenv("KLV_DECKLINK_PLUGIN", KLV_DECKLINK_VIRTUAL_PLUGIN_PATH, 1);
        setenv("KLV_DECKLINK_VIRTUAL_CONFIG", cards.toLocal8Bit().constData(), 1);
    }
    ~QuadDevices() { QFile::remove(cards); }
};
static const QuadDevices kDevicesConfigured;

namespace {

class QuadTestMode : public ShellFixture {
protected:
    void SetUp() override
    {
        ShellFixture::SetUp();
        // Channel 1 plays to card A in its first format, channel 2 to card B in its second,
        // channel 3 to the first screen; channel 4 names card B without a format: no output.
        stored_ = {{"KLVSelectedDeviceName1", "Card A"}, {"KLVSelectedModeIndex1", 0},
                   {"KLVSelectedDeviceName2", "Card B"}, {"KLVSelectedModeIndex2", 1},
                   {"KLVSelectedDeviceName3", "DVI (1)"}, {"KLVSelectedModeIndex3", 0},
                   {"KLVSelectedDeviceName4", "Card B"}, {"KLVSelectedModeIndex4", -1}};
        for (const auto& [key, value] : stored_)
            defaults().setObject(value, key);
        KLVAppDelegate::Services services;
        services.prompter = &prompts_;
        services.filePicker = &picker_;
        services.timers = &clock_;
        services.watchSleep = false;
        services.previewStrip = false;
        services.engineFactory = [this](long tag) {
            auto engine = std::make_unique<testsupport::FakePlaybackEngine>();
            engines_[tag] = engine.get();
            return engine;
        };
        delegate_ = std::make_unique<KLVAppDelegate>(std::move(services));
        delegate_->applicationWillFinishLaunching();
        delegate_->applicationDidFinishLaunching();
    }
    void TearDown() override { delegate_.reset(); }

    KLVChannelOutput& output(long tag) { return delegate_->channelControllerForTag(tag)->output(); }
    QString deviceOf(long tag)
    {
        const ssBaseOutput* device = output(tag).outputDevice();
        return device ? QString::fromUtf8(device->Name_) : QString();
    }
    // The title of the format the channel's menu shows, empty when it shows none.
    QString shownFormat(long tag)
    {
        const auto& items = output(tag).modeItems();
        const long at = output(tag).selectedModePosition();
        return at >= 0 && at < long(items.size()) ? items[size_t(at)].title : QString();
    }
    void expectOwnOutputs(const char* when)
    {
        SCOPED_TRACE(when);
        EXPECT_EQ(deviceOf(1), "Card A");
        EXPECT_EQ(output(1).outputMode(), 0);
        EXPECT_TRUE(output(1).deviceEnabled());
        EXPECT_EQ(shownFormat(1), "HD 1080i 29.97");
        EXPECT_EQ(deviceOf(2), "Card B");
        EXPECT_EQ(output(2).outputMode(), 1);
        EXPECT_TRUE(output(2).deviceEnabled());
        EXPECT_EQ(shownFormat(2), "HD 720p 59.94");
        EXPECT_EQ(deviceOf(3), "DVI (1)");
        EXPECT_TRUE(output(3).deviceEnabled());
        // No format chosen: nothing plays and the menu selects no format.
        EXPECT_FALSE(output(4).deviceEnabled());
        EXPECT_EQ(shownFormat(4), QString());
        // The engines play to their devices again (the last device call is not a detach).
        for (long tag : {1L, 2L, 3L})
            EXPECT_EQ(engines_[tag]->calls.back().rfind("SetOutputDevice none", 0), std::string::npos) << tag;
        expectStoredAsBefore();
    }
    void expectStoredAsBefore()
    {
        for (const auto& [key, value] : stored_)
            EXPECT_EQ(defaults().objectForKey(key).toString(), value.toString()) << key.toStdString();
    }
    void toggleQuadFromTheMenu()
    {
        delegate_->mainWindow()->quadTestAction->trigger();
        testsupport::pumpEvents(700); // the quadrants are handed out half a second later
    }

    std::map<QString, QVariant> stored_;
    testsupport::FakePrompter prompts_;
    testsupport::FakeFilePicker picker_;
    testsupport::ManualTimerSource clock_;
    std::map<long, testsupport::FakePlaybackEngine*> engines_;
    std::unique_ptr<KLVAppDelegate> delegate_;
};

TEST_F(QuadTestMode, LeavingItGivesEveryChannelBackItsCardOrScreenAndFormat)
{
    expectOwnOutputs("after start-up");

    toggleQuadFromTheMenu();
    ASSERT_TRUE(delegate_->isQuadTestMode());
    for (long tag = 1; tag <= 4; ++tag)
        EXPECT_EQ(deviceOf(tag), QStringLiteral("DVI (%1)").arg(tag)) << tag;

    toggleQuadFromTheMenu();
    ASSERT_FALSE(delegate_->isQuadTestMode());
    expectOwnOutputs("after the quad test");

    // A second round trip finds the same.
    toggleQuadFromTheMenu();
    toggleQuadFromTheMenu();
    expectOwnOutputs("after a second quad test");
}

TEST_F(QuadTestMode, QuittingDuringItStoresTheChannelsOwnChoices)
{
    toggleQuadFromTheMenu();
    ASSERT_EQ(deviceOf(2), "DVI (2)");
    EXPECT_EQ(defaults().stringForKey(QStringLiteral("KLVSelectedDeviceName2")), "DVI (2)");
    delegate_->applicationWillTerminate();
    expectStoredAsBefore();
}

} // namespace
