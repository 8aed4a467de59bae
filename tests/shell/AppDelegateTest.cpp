#include "app/devices/KLVDeviceController.h"
#include "app/document/KLVPlaylistNode.h"
#include "app/devices/KLVOutputWindow.h"
#include "shell/KLVAppDelegate.h"
#include "shell/KLVAppearance.h"
#include "shell/KLVOutputScreens.h"
#include "engine/output/ssBaseOutput.h"
#include "comm/core/QMCommunicationModuleController.h"
#include "comm/core/interpreter/QMCommModuleConnectionManager.h"
#include "tests/shell/ShellFixture.h"
#include "ui/widgets/inspector/KLVCueInspectorWindow.h"
#include "ui/widgets/channel/KLVChannelColumn.h"
#include "ui/widgets/channel/KLVChannelConfigPopover.h"
#include "ui/widgets/playlist/KLVPlaylistTableView.h"
#include "shell/KLVMainWindow.h"
#include "ui/widgets/record/KLVRecordSettingsControls.h"
#include "ui/logic/channel/KLVChannelRecord.h"
#include "tests/support/WaitUntil.h"
#include "tests/ui/support/FakePlaybackEngine.h"
#include "tests/ui/support/FakePrompts.h"
#include "tests/ui/support/ManualTimerSource.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelOutput.h"
#include "app/defaults/KLVDefaultsKeys.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QScreen>
#include <QStyle>
#include <QTest>

#include <functional>
#include <map>
#include <utility>

// Two virtual screens, read by the offscreen platform when the application starts. Without an X
// display behind it: the offscreen platform's GLX is not safe for the output windows' render
// threads (the windows on a real display are the display test's).
static const bool kScreensConfigured = [] {
    setenv("QT_QPA_PLATFORM", "offscreen:configfile=" KLV_SCREEN_CONFIG, 1);
    unsetenv("DISPLAY");
    return true;
}();

namespace {

class AppDelegateTest : public ShellFixture {
protected:
    void SetUp() override
    {
        ShellFixture::SetUp();
        KLVAppDelegate::Services services;
        services.prompter = &prompts_;
        services.filePicker = &picker_;
        services.timers = &clock_;
        services.watchSleep = false;
        services.previewStrip = false; // OpenGL: the display test draws it
        services.engineFactory = [this](long tag) {
            auto engine = std::make_unique<testsupport::FakePlaybackEngine>();
            engines_[tag] = engine.get();
            return engine;
        };
        delegate_ = std::make_unique<KLVAppDelegate>(std::move(services));
    }
    void TearDown() override { delegate_.reset(); }

    void launch()
    {
        delegate_->applicationWillFinishLaunching();
        delegate_->applicationDidFinishLaunching();
    }
    int enginesWith(const std::string& call) const
    {
        int n = 0;
        for (const auto& [tag, engine] : engines_)
            n += engine->count(call) > 0 ? 1 : 0;
        return n;
    }
    static QStringList deviceNames()
    {
        QStringList names;
        for (const QVariant& d : KLVDeviceController::sharedController().outputDevices())
            names << d.toMap().value(QStringLiteral("deviceName")).toString();
        return names;
    }
    static QString modeOf(const QString& name)
    {
        for (const QVariant& d : KLVDeviceController::sharedController().outputDevices())
            if (d.toMap().value(QStringLiteral("deviceName")).toString() == name)
                return d.toMap().value(QStringLiteral("modes")).toList().value(0).toMap().value(QStringLiteral("modeName")).toString();
        return {};
    }

    testsupport::FakePrompter prompts_;
    testsupport::FakeFilePicker picker_;
    testsupport::ManualTimerSource clock_;
    std::map<long, testsupport::FakePlaybackEngine*> engines_;
    std::unique_ptr<KLVAppDelegate> delegate_;
};

TEST_F(AppDelegateTest, LaunchBuildsTheChannelsTheirDocumentTheOutputsAndTheCommunicationsModule)
{
    launch();
    EXPECT_EQ(QCoreApplication::applicationVersion(), KLVStartup::applicationVersion());
    EXPECT_TRUE(prompts_.shown.empty()); // the switched-off helper asks nothing

    const QList<KLVChannelController*> channels = delegate_->channelControllers();
    ASSERT_EQ(channels.size(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(channels[i]->tag(), i + 1);
        EXPECT_EQ(delegate_->channelControllerForTag(i + 1), channels[i]);
        EXPECT_EQ(delegate_->channelDirectory().channelControllerForTag(i + 1), channels[i]);
    }
    EXPECT_EQ(delegate_->channelControllerForTag(0), nullptr);
    EXPECT_EQ(delegate_->channelControllerForTag(5), nullptr);
    EXPECT_EQ(engines_.size(), 4u);
    // The document was made with channels 0-3; the fourth column asked for channel 4.
    EXPECT_EQ(delegate_->dataFile().playlistData()->playlistChannels().size(), 5u);

    // One screen output per screen, named and sized after it; the windows stay hidden.
    EXPECT_TRUE(deviceNames().contains(QStringLiteral("DVI (1)")));
    EXPECT_TRUE(deviceNames().contains(QStringLiteral("DVI (2)")));
    EXPECT_EQ(modeOf(QStringLiteral("DVI (1)")), QStringLiteral("1920x1080"));
    EXPECT_EQ(modeOf(QStringLiteral("DVI (2)")), QStringLiteral("1280x720"));
    ASSERT_EQ(delegate_->outputScreens()->numDVIOutputs(), 2);
    EXPECT_FALSE(delegate_->outputScreens()->window(0)->isVisible());
    EXPECT_EQ(delegate_->outputScreens()->window(1)->geometry(), QRect(1920, 0, 1280, 720));

    // The module knows the application's parsers and commands go to our interpreter.
    auto& module = QMCommunicationModuleController::sharedController();
    ASSERT_TRUE(module.availableParsers().has_value());
    EXPECT_FALSE(module.availableParsers()->isEmpty());
    EXPECT_EQ(module.commandInterpreter(), delegate_->sharedConnectionManager());
    EXPECT_EQ(delegate_->commModuleConnectionManager().appDataDirectory(), KLVAppDelegate::appDataDirectory());

    ASSERT_NE(delegate_->mainWindow(), nullptr);
    EXPECT_TRUE(delegate_->mainWindow()->isVisible());
    EXPECT_EQ(delegate_->mainWindow()->columns().size(), 4u);
}

TEST_F(AppDelegateTest, TheKeyboardStartsInTheFirstPlaylistAndReturnsThereAfterANameIsTyped)
{
    launch();
    KLVMainWindow* window = delegate_->mainWindow();
    ASSERT_NE(window, nullptr);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    auto* first = qobject_cast<KLVChannelColumn*>(window->columns().front().view);
    ASSERT_NE(first, nullptr);
    auto* playlist = first->findChild<KLVPlaylistTableView*>();
    ASSERT_NE(playlist, nullptr);
    // The operator's first key goes to the cues, not into the channel's name.
    EXPECT_EQ(QApplication::focusWidget(), playlist);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_TRUE(first->channelLabel()->text().isEmpty());

    // A name typed and entered hands the keyboard back to the cues.
    first->channelLabel()->setFocus();
    QTest::keyClicks(first->channelLabel(), QStringLiteral("Stage left"));
    QTest::keyClick(first->channelLabel(), Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), playlist);
}

// Notes what was set up when the main window was first drawn.
class FirstDrawSpy : public QObject {
public:
    explicit FirstDrawSpy(std::function<void()> drawn) : drawn_(std::move(drawn)) { qApp->installEventFilter(this); }
    ~FirstDrawSpy() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* window = qobject_cast<QWindow*>(watched);
        if (event->type() == QEvent::Expose && drawn_ && window && window->title() == QLatin1String("Kalvanto"))
            std::exchange(drawn_, nullptr)();
        return false;
    }

private:
    std::function<void()> drawn_;
};

TEST_F(AppDelegateTest, TheWindowIsDrawnBeforeTheOutputsAndDevicesAreSetUp)
{
    // Channel 1 goes back to the second screen it used last time.
    defaults().setObject(QStringLiteral("DVI (2)"), KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kSelectedDeviceName, 1));
    defaults().setObject(0, KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kSelectedModeIndex, 1));
    int outputsWhenDrawn = -1;
    bool deviceWhenDrawn = true;
    bool launchedWhenDrawn = true;
    FirstDrawSpy spy([&] {
        outputsWhenDrawn = delegate_->outputScreens() ? delegate_->outputScreens()->numDVIOutputs() : -1;
        KLVChannelController* first = delegate_->channelControllerForTag(1);
        deviceWhenDrawn = first && first->output().outputDevice();
        launchedWhenDrawn = delegate_->hasFinishedLaunching();
    });
    launch();
    // Drawn during launch, with its columns, before anything else was set up ...
    EXPECT_EQ(outputsWhenDrawn, 0);
    EXPECT_FALSE(deviceWhenDrawn);
    EXPECT_FALSE(launchedWhenDrawn);
    // ... which launch still finished before it returned.
    EXPECT_TRUE(delegate_->hasFinishedLaunching());
    EXPECT_EQ(delegate_->outputScreens()->numDVIOutputs(), 2);
    const ssBaseOutput* device = delegate_->channelControllerForTag(1)->output().outputDevice();
    ASSERT_NE(device, nullptr);
    EXPECT_STREQ(device->Name_, "DVI (2)");
}

TEST_F(AppDelegateTest, QuadModePutsFourWindowsInTheQuadrantsOfTheOtherScreen)
{
    launch();
    delegate_->setIsQuadTestMode(true);
    KLVOutputScreens& outputs = *delegate_->outputScreens();
    ASSERT_EQ(outputs.numDVIOutputs(), 4);
    const QRect right(1920, 0, 1280, 720);
    const QRect expected[] = {QRect(1920, 0, 640, 360), QRect(2560, 0, 640, 360), QRect(1920, 360, 640, 360),
                              QRect(2560, 360, 640, 360)};
    for (int j = 0; j < 4; ++j) {
        EXPECT_EQ(outputs.window(j)->geometry(), expected[j]) << j;
        EXPECT_EQ(outputs.outputName(j), QStringLiteral("DVI (%1)").arg(j + 1));
        EXPECT_EQ(modeOf(outputs.outputName(j)), QStringLiteral("1280x720"));
        EXPECT_FALSE(outputs.window(j)->isVisible());
    }
    delegate_->setOutputsEnabled(true);
    for (int j = 0; j < 4; ++j)
        EXPECT_TRUE(outputs.window(j)->isVisible()) << j;
    delegate_->toggleConfidenceMonitor();
    for (int j = 0; j < 4; ++j)
        EXPECT_FALSE(outputs.window(j)->isVisible()) << j;

    delegate_->setIsQuadTestMode(false);
    EXPECT_EQ(outputs.numDVIOutputs(), 2);
    EXPECT_EQ(deviceNames().filter(QStringLiteral("DVI")).size(), 2);
}

TEST_F(AppDelegateTest, ARemovedScreensOutputIsGoneAndTheChannelsStopAndAreLaidOutAgain)
{
    launch();
    KLVOutputScreens& outputs = *delegate_->outputScreens();
    delegate_->setOutputsEnabled(true);
    QScreen* right = QGuiApplication::screens().at(1);
    outputs.screenRemoved(right);
    delegate_->machineResolutionDidChange();

    EXPECT_FALSE(deviceNames().contains(QStringLiteral("DVI (2)")));
    EXPECT_TRUE(deviceNames().contains(QStringLiteral("DVI (1)")));
    EXPECT_EQ(outputs.window(1), nullptr); // released with its output: it can never cover screen 1
    EXPECT_FALSE(delegate_->outputsEnabled());
    EXPECT_EQ(enginesWith("Stop"), 4);
    EXPECT_FALSE(delegate_->doNotDrawPreview());
    // Side by side again, each at the last column's size.
    const auto& columns = delegate_->mainWindow()->columns();
    for (size_t i = 1; i < columns.size(); ++i)
        EXPECT_EQ(columns[i].view->x(), columns[i - 1].view->x() + columns[i - 1].view->width());
}

TEST_F(AppDelegateTest, TheConfigurationPopoverOffersTheCodecInRecordModeAndAnamorphicInPlayback)
{
    launch();
    auto* column = qobject_cast<KLVChannelColumn*>(delegate_->mainWindow()->columns().front().view);
    ASSERT_NE(column, nullptr);
    KLVChannelConfigPopover* popover = column->configurationPopover();
    auto* record = qobject_cast<KLVRecordSettingsControls*>(popover->recordSettings());
    ASSERT_NE(record, nullptr);
    QCheckBox* anamorphic = popover->playbackSettings()->findChild<QCheckBox*>(QStringLiteral("anamorphicBox"));
    ASSERT_NE(anamorphic, nullptr);

    column->editChannelConfiguration();
    ASSERT_TRUE(popover->isVisible());
    EXPECT_TRUE(anamorphic->isVisible());
    EXPECT_FALSE(record->codecMenu()->isVisible());

    // Record mode, chosen in the popover itself: the codec menu takes the playback settings' place.
    popover->operationModeMenu()->setCurrentIndex(1);
    emit popover->operationModeMenu()->activated(1);
    EXPECT_TRUE(record->codecMenu()->isVisible());
    EXPECT_FALSE(anamorphic->isVisible());
    const int h264 = record->codecMenu()->findText(QStringLiteral("H.264"));
    ASSERT_GE(h264, 0);
    record->codecMenu()->setCurrentIndex(h264);
    emit record->codecMenu()->activated(h264);
    KLVChannelController* channel = delegate_->channelControllerForTag(1);
    EXPECT_EQ(channel->record().compressionCodec(), 5);
    EXPECT_EQ(defaults().integerForKey(QStringLiteral("QMKLVLastCodec1")), 5);

    // Opened again in playback mode: the reverse.
    popover->hide();
    channel->record().setOperationMode(0, true);
    column->editChannelConfiguration();
    EXPECT_TRUE(anamorphic->isVisible());
    EXPECT_FALSE(record->codecMenu()->isVisible());
    popover->hide();
}

TEST_F(AppDelegateTest, SleepStopsEveryChannelAndHoldsThePreviewUntilWake)
{
    launch();
    delegate_->machineWillSleep();
    EXPECT_EQ(enginesWith("Stop"), 4);
    EXPECT_TRUE(delegate_->doNotDrawPreview());
    delegate_->machineDidWake();
    EXPECT_FALSE(delegate_->doNotDrawPreview());
    EXPECT_EQ(enginesWith("Play"), 0); // nothing is restarted
}

TEST_F(AppDelegateTest, TheAllChannelTransportReachesEveryChannelAndDeckControlOnlyEnabledOnes)
{
    launch();
    delegate_->channelDirectory().allChannelsMovieDelegate().play();
    EXPECT_EQ(enginesWith("Play"), 4);
    delegate_->allChannels().pause();
    EXPECT_EQ(enginesWith("Pause"), 4);
    EXPECT_EQ(delegate_->allChannels().currentTime().totalFrames(), 0);

    for (auto& [tag, engine] : engines_)
        engine->calls.clear();
    // The master buttons drive the channels with an output device and enabled controls only.
    KLVChannelController* first = delegate_->channelControllerForTag(1);
    ASSERT_TRUE(first->output().deviceEnabled()); // took "DVI (1)" at its first start
    first->setControlButtonsEnabled(false);
    delegate_->allChannels().deckControl(KLVAllChannelsTransport::commandForSender(
        KLVAllChannelsTransport::SenderKind::SegmentedControl, 3, 0));
    for (KLVChannelController* channel : delegate_->channelControllers()) {
        const bool driven = channel->controlButtonsEnabled() && channel->output().deviceEnabled();
        EXPECT_EQ(!engines_[channel->tag()]->calls.empty(), driven) << channel->tag();
    }
    EXPECT_TRUE(engines_[1]->calls.empty());
    EXPECT_EQ(KLVAllChannelsTransport::commandForSender(KLVAllChannelsTransport::SenderKind::Button, 0, 7), 7);
    EXPECT_EQ(KLVAllChannelsTransport::commandForSender(KLVAllChannelsTransport::SenderKind::Other, 2, 7), -1);
}

TEST_F(AppDelegateTest, QuitAsksAndCancelKeepsEverythingRunning)
{
    launch();
    auto* child = new QWidget(delegate_->mainWindow(), Qt::Window);
    child->show();
    bool quitting = false;
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [&] { quitting = true; });

    prompts_.answers = {1};
    EXPECT_FALSE(delegate_->quitApplication());
    ASSERT_EQ(prompts_.shown.size(), 1u);
    EXPECT_EQ(prompts_.shown[0].messageText, KLVLocalized::text("QM_QUIT_CONFIRMATION"));
    EXPECT_NE(prompts_.shown[0].messageText, QStringLiteral("QM_QUIT_CONFIRMATION"));
    EXPECT_EQ(prompts_.shown[0].buttons, QStringList({QStringLiteral("OK"), QStringLiteral("Cancel")}));
    EXPECT_FALSE(child->isVisible());
    EXPECT_TRUE(delegate_->mainWindow()->isVisible());
    testsupport::pumpEvents(20);
    EXPECT_FALSE(quitting);

    // However the application ends, the document is saved and the outputs hidden.
    delegate_->applicationWillTerminate();
    EXPECT_TRUE(QFileInfo::exists(KLVDataFile::dataFilePath()));
}

TEST_F(AppDelegateTest, ThePreferencesAndInspectorWindowsAreMadeOnceAndShownOnRequest)
{
    launch();
    delegate_->preferencesMenuAction();
    QWidget* prefs = delegate_->prefsController();
    ASSERT_NE(prefs, nullptr);
    EXPECT_TRUE(prefs->isVisible());
    QApplication::setActiveWindow(prefs);
    ASSERT_TRUE(prefs->isActiveWindow());
    delegate_->preferencesMenuAction();
    EXPECT_FALSE(prefs->isVisible());
    delegate_->preferencesMenuAction();
    EXPECT_TRUE(prefs->isVisible());
    EXPECT_EQ(delegate_->prefsController(), prefs);

    // Quitting is asked for from the devices window as from the main one.
    QApplication::setActiveWindow(prefs);
    ASSERT_TRUE(prefs->isActiveWindow());
    prompts_.answers = {1};
    QTest::keyClick(prefs, Qt::Key_Q, Qt::ControlModifier);
    ASSERT_EQ(prompts_.shown.size(), 1u) << "Ctrl+Q did nothing in the devices window";
    EXPECT_EQ(prompts_.shown[0].messageText, KLVLocalized::text("QM_QUIT_CONFIRMATION"));
    prefs->show();

    // The cue inspector: one window, made on first use, shown for each cue asked for.
    auto node = KLVPlaylistNode::create();
    node->setPlnName(QStringLiteral("Cue"));
    node->setPlnSourcePath(home_.filePath(QStringLiteral("none.mov")));
    delegate_->showInspectorForPlaylistNode(node, false);
    QWidget* inspector = delegate_->inspectorWindow();
    ASSERT_NE(inspector, nullptr);
    EXPECT_TRUE(inspector->isVisible());
    delegate_->showInspectorForPlaylistNode(node, true);
    EXPECT_EQ(delegate_->inspectorWindow(), inspector);
}

TEST_F(AppDelegateTest, AppearanceFollowsTheSettingAndUnknownValuesMeanThePlatform)
{
    delegate_->applicationWillFinishLaunching();
    const QPalette platformPalette = QApplication::palette();
    KLVAppearance::setUserAppearance(2);
    KLVAppearance::updateApplicationAppearance();
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), KLVAppearance::darkPalette().color(QPalette::Window));
    EXPECT_EQ(QApplication::style()->name().toLower(), QStringLiteral("fusion"));
    KLVAppearance::setUserAppearance(7);
    EXPECT_EQ(KLVAppearance::userAppearance(), 0);
    KLVAppearance::updateApplicationAppearance();
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), platformPalette.color(QPalette::Window));
    KLVAppearance::setUserAppearance(1);
    KLVAppearance::updateApplicationAppearance();
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), KLVAppearance::lightPalette().color(QPalette::Window));
    KLVAppearance::setUserAppearance(0);
    KLVAppearance::updateApplicationAppearance();
}

TEST_F(AppDelegateTest, RecordingFilesAreSuppressedOnceEachAndSpaceIsAskedOfTheOthers)
{
    EXPECT_FALSE(delegate_->shouldSurpressFilePathThumbnailGenerator(QStringLiteral("/rec/a.mov")));
    delegate_->removeThumbnailGeneratorConstraintForFilePath(QStringLiteral("/rec/a.mov")); // no list yet: nothing
    delegate_->updateRecordingFiles(QStringLiteral("/rec/a.mov"));
    delegate_->updateRecordingFiles(QStringLiteral("/rec/a.mov"));
    EXPECT_TRUE(delegate_->shouldSurpressFilePathThumbnailGenerator(QStringLiteral("/rec/a.mov")));
    delegate_->removeThumbnailGeneratorConstraintForFilePath(QStringLiteral("/rec/a.mov"));
    EXPECT_FALSE(delegate_->shouldSurpressFilePathThumbnailGenerator(QStringLiteral("/rec/a.mov")));
    launch();
    EXPECT_EQ(delegate_->spaceOnVolumeForChannel(delegate_->channelControllerForTag(1)), 0.0f);
}

} // namespace
