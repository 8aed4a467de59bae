// The record view over a scripted recorder: the setup pane gives way to the attributes and
// controls once prepared, the record button records and the popover offers the ProRes flavours and H.264.
#include "app/defaults/KLVDefaultsKeys.h"
#include "app/devices/KLVDeviceController.h"
#include "engine/output/ssBaseOutput.h"
#include "engine/output/outputMode.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitUntil.h"
#include "tests/ui/support/FakeChannelDelegate.h"
#include "tests/ui/support/FakePlaybackEngine.h"
#include "tests/ui/support/FakeRecorder.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelOutput.h"
#include "ui/logic/channel/KLVChannelRecord.h"
#include "ui/widgets/record/KLVRecordPane.h"
#include "ui/widgets/record/KLVRecordSettingsControls.h"

#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <utility>

using namespace testsupport;

namespace {

// A card of two formats registered with the device registry while it lives.
struct TwoFormatCard {
    TwoFormatCard()
    {
        card->SetName("Format Card");
        card->Kind_ = ssBaseOutput::kKindDeckLink;
        for (const char* name : {"1080i59.94", "720p59.94"}) {
            outputMode mode;
            ssCopyName(mode.name, sizeof mode.name, name);
            mode.width = 1920;
            mode.height = 1080;
            mode.frameRate = 29.97f;
            card->AddMode(mode);
        }
        KLVDeviceController::sharedController().addDevice(card.get());
    }
    ~TwoFormatCard() { KLVDeviceController::sharedController().removeAllDevices(); }
    std::unique_ptr<ssBaseOutput> card = std::make_unique<ssBaseOutput>();
};

void fillSetup(KLVRecordPane& pane, const QString& folder, const QString& name, const QString& duration)
{
    for (const auto& [field, text] : {std::pair{pane.locationField(), folder}, std::pair{pane.fileNameField(), name},
                                      std::pair{pane.durationField(), duration}}) {
        field->setText(text);
        emit field->editingFinished();
    }
}

// A card of one format, registered with the device registry while it lives.
struct PaneCard {
    PaneCard()
    {
        card->SetName("Pane Card");
        card->Kind_ = ssBaseOutput::kKindDeckLink;
        KLVDeviceController::sharedController().addDevice(card.get());
    }
    ~PaneCard() { KLVDeviceController::sharedController().removeAllDevices(); }
    std::unique_ptr<ssBaseOutput> card = std::make_unique<ssBaseOutput>();
};

// A channel over a scripted recorder with ample free space.
struct RecordChannel {
    RecordChannel(long tag, bool recordMode) : channel(app, tag, std::make_unique<FakePlaybackEngine>())
    {
        app.controllers.append(&channel);
        channel.record().setRecorderFactory(FakeRecorder::factory(script));
        channel.record().setFreeSpaceSource([](const QString&) { return 1.0e12; });
        if (recordMode)
            channel.record().setOperationMode(1, true);
    }
    FakeChannelDelegate app;
    std::shared_ptr<FakeRecorderScript> script = std::make_shared<FakeRecorderScript>();
    KLVChannelController channel;
};

} // namespace

TEST(RecordPane, PreparedRecordingShowsItsAttributesAndRecords)
{
    TempFolder home;
    PaneCard card;
    RecordChannel rig(3, true);
    KLVChannelController& channel = rig.channel;
    ASSERT_TRUE(channel.output().enableDevice("Pane Card", 0));

    KLVRecordPane pane(channel);
    KLVRecordSettingsControls popover(channel);
    EXPECT_EQ(popover.codecMenu()->count(), 6); // five ProRes flavours and H.264
    popover.codecMenu()->setCurrentIndex(1);
    emit popover.codecMenu()->activated(1);
    EXPECT_EQ(channel.record().compressionCodec(), 1);

    pane.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));
    EXPECT_TRUE(pane.setupPane()->isVisible());
    EXPECT_FALSE(pane.prepareButton()->isEnabled()); // no location yet
    pane.locationField()->setText(home.path());
    emit pane.locationField()->editingFinished();
    pane.fileNameField()->setText("take");
    emit pane.fileNameField()->editingFinished();
    pane.durationField()->setText("90");
    emit pane.durationField()->editingFinished();
    EXPECT_EQ(pane.durationField()->text(), "00:01:30");
    EXPECT_TRUE(pane.spaceLine()->text().endsWith("available on disk")) << pane.spaceLine()->text().toStdString();
    ASSERT_TRUE(pane.prepareButton()->isEnabled());
    QTest::mouseClick(pane.prepareButton(), Qt::LeftButton);
    EXPECT_FALSE(pane.setupPane()->isVisible());
    EXPECT_TRUE(pane.controlsPane()->isVisible());
    EXPECT_TRUE(QFile::exists(QDir(home.path()).filePath("take.mov")));

    QTest::mouseClick(pane.recordButton(), Qt::LeftButton);
    EXPECT_TRUE(channel.record().isRecording());
    EXPECT_TRUE(pane.recordButton()->isChecked());
    QTest::mouseClick(pane.recordButton(), Qt::LeftButton);
    EXPECT_FALSE(channel.record().isRecording());
    EXPECT_TRUE(QFile::exists(QDir(home.path()).filePath("take.mov")));
}

TEST(RecordPane, PrepareAndRecordCanBePressedThroughTheAccessibilityInterface)
{
    TempFolder home;
    PaneCard card;
    RecordChannel rig(3, true);
    KLVChannelController& channel = rig.channel;
    ASSERT_TRUE(channel.output().enableDevice("Pane Card", 0));
    KLVRecordPane pane(channel);
    pane.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));
    pane.locationField()->setText(home.path());
    emit pane.locationField()->editingFinished();
    pane.fileNameField()->setText("take");
    emit pane.fileNameField()->editingFinished();
    pane.durationField()->setText("90");
    emit pane.durationField()->editingFinished();
    ASSERT_TRUE(pane.prepareButton()->isEnabled());

    const auto act = [](QWidget* control, const QString& action) {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(control);
        ASSERT_TRUE(face && face->actionInterface());
        ASSERT_TRUE(face->actionInterface()->actionNames().contains(action));
        face->actionInterface()->doAction(action);
    };
    act(pane.prepareButton(), QAccessibleActionInterface::pressAction());
    ASSERT_TRUE(waitUntil([&] { return pane.controlsPane()->isVisible(); }));

    // The record button shows the recording state, so it is offered as a toggle.
    act(pane.recordButton(), QAccessibleActionInterface::toggleAction());
    EXPECT_TRUE(channel.record().isRecording());
    EXPECT_TRUE(pane.recordButton()->isChecked());
    // Press is not listed for it, but answers as a click does.
    QAccessibleInterface* record = QAccessible::queryAccessibleInterface(pane.recordButton());
    record->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(waitUntil([&] { return !channel.record().isRecording(); }));
    EXPECT_FALSE(pane.recordButton()->isChecked());
}

TEST(RecordPane, PrepareWithACardButNoFormatSaysTheFormatIsMissing)
{
    TempFolder home;
    TwoFormatCard card;
    RecordChannel rig(2, true);
    KLVChannelController& channel = rig.channel;
    FakeChannelDelegate& app = rig.app;
    channel.output().selectDeviceByName("Format Card"); // two formats: none is chosen for the operator
    ASSERT_EQ(channel.output().selectedModePosition(), -1);

    KLVRecordPane pane(channel);
    pane.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));
    fillSetup(pane, home.path(), "take", "0:10");
    ASSERT_TRUE(pane.prepareButton()->isEnabled());
    QTest::mouseClick(pane.prepareButton(), Qt::LeftButton);
    ASSERT_FALSE(app.prompts.shown.empty());
    const QString message = app.prompts.shown.back().messageText;
    EXPECT_TRUE(message.contains("Format Card")) << message.toStdString();
    EXPECT_TRUE(message.contains("format")) << message.toStdString();
    EXPECT_FALSE(message.contains("No Input Device")) << message.toStdString();
    EXPECT_TRUE(pane.setupPane()->isVisibleTo(&pane));

    // With no card at all the text stays the one of no device.
    channel.output().unselectDevice();
    QTest::mouseClick(pane.prepareButton(), Qt::LeftButton);
    EXPECT_EQ(app.prompts.shown.back().messageText, QStringLiteral("No Input Device Selected"));
}

TEST(RecordPane, TimesCountTheFilesFramesAndTheLimitStopsAnUndrawnRecording)
{
    TempFolder home;
    TwoFormatCard card;
    RecordChannel rig(2, true);
    KLVChannelController& channel = rig.channel;
    FakeChannelDelegate& app = rig.app;
    const auto& script = rig.script; // 1080i at 30000/1001
    ASSERT_TRUE(channel.output().enableDevice("Format Card", 0));
    KLVRecordPane pane(channel);
    pane.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));
    fillSetup(pane, home.path(), "count", "0:10");
    ASSERT_TRUE(pane.prepareButton()->isEnabled());
    QTest::mouseClick(pane.prepareButton(), Qt::LeftButton);
    ASSERT_TRUE(channel.record().isReadyToRecord())
        << (app.prompts.shown.empty() ? std::string() : app.prompts.shown.back().messageText.toStdString());
    EXPECT_EQ(pane.elapsedField()->text(), "00:00:00;00");
    EXPECT_EQ(pane.remainingField()->text(), "00:00:10;00");

    QTest::mouseClick(pane.recordButton(), Qt::LeftButton);
    ASSERT_TRUE(channel.record().isRecording());
    // 148 frames at 29.97 (what an elapsed time of 4.8 s would show as frame 48 at 60).
    script->frames = 148;
    script->elapsed = 148 * 1001.0 / 30000.0;
    app.clock.advance(100);
    EXPECT_EQ(pane.elapsedField()->text(), "00:00:04;28");
    EXPECT_EQ(pane.remainingField()->text(), "00:00:05;02");

    // The file is full (300 frames) though the last frame's time is short of the limit; no
    // preview is drawn. The channel's tick ends the recording.
    script->frames = 300;
    script->elapsed = 299 * 1001.0 / 30000.0;
    app.clock.advance(100);
    QCoreApplication::processEvents();
    EXPECT_FALSE(channel.record().isRecording());
    EXPECT_FALSE(pane.recordButton()->isChecked());
    EXPECT_EQ(pane.elapsedField()->text(), "00:00:10;00");
    EXPECT_EQ(pane.remainingField()->text(), "00:00:00;00");
    EXPECT_TRUE(channel.record().recordLog().contains("Stopped Recording at "));
}

// A channel left in record mode on a card whose format was never chosen, started again: the pane
// checks its setup as an edit of the location does (a writable folder is usable, Prepare can be
// pressed) and says what is missing; choosing the format takes the message away.
TEST(RecordPane, AChannelRestoredInRecordModeWithoutAFormatSaysSoAtStart)
{
    TempFolder home;
    TwoFormatCard card;
    auto& defaults = platform::UserDefaults::sharedDefaults();
    constexpr long tag = 2;
    const auto key = [](const char* format) { return KLVDefaultsKeys::channelKey(format, tag); };
    defaults.setObject(qlonglong(1), key(KLVDefaultsKeys::kSelectedOperationMode));
    defaults.setObject(QStringLiteral("Format Card"), key(KLVDefaultsKeys::kSelectedDeviceName));
    defaults.setInteger(-1, key(KLVDefaultsKeys::kSelectedModeIndex));
    defaults.setObject(home.path(), key(KLVDefaultsKeys::kLastRecordingDirectory));
    defaults.setObject(QStringLiteral("take"), key(KLVDefaultsKeys::kLastRecordingFileName));
    defaults.setObject(QStringLiteral("00:00:10"), key(KLVDefaultsKeys::kLastRecordingDuration));

    RecordChannel rig(tag, false);
    KLVChannelController& channel = rig.channel;
    channel.setupInitialUI(); // as at start
    KLVRecordPane pane(channel);
    pane.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));

    EXPECT_EQ(pane.locationField()->text(), home.path());
    EXPECT_NE(pane.locationField()->palette().color(QPalette::Text), QColor(Qt::red));
    EXPECT_TRUE(pane.prepareButton()->isEnabled());
    const QString line = pane.spaceLine()->text();
    EXPECT_TRUE(line.startsWith(QStringLiteral("No input format is selected for Format Card."))) << line.toStdString();
    EXPECT_TRUE(pane.spaceLine()->styleSheet().contains(QStringLiteral("red")));

    // The location edited by hand (Return) leaves the same state behind.
    pane.locationField()->setFocus();
    QTest::keyClick(pane.locationField(), Qt::Key_Return);
    EXPECT_TRUE(pane.prepareButton()->isEnabled());
    EXPECT_EQ(pane.spaceLine()->text(), line);

    channel.output().selectMode(0);
    ASSERT_TRUE(channel.record().hasRecorder());
    EXPECT_TRUE(pane.spaceLine()->text().endsWith(QStringLiteral("available on disk")))
        << pane.spaceLine()->text().toStdString();
    EXPECT_FALSE(pane.spaceLine()->styleSheet().contains(QStringLiteral("red")));
}
