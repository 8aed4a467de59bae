// The record view over a scripted recorder: the setup pane gives way to the attributes and
// controls once prepared, the record button records and the popover offers the ProRes flavours and H.264.
#include "app/devices/KLVDeviceController.h"
#include "engine/output/ssBaseOutput.h"
#include "tests/support/TempFolder.h"
#include "tests/ui/support/FakeChannelDelegate.h"
#include "tests/ui/support/FakePlaybackEngine.h"
#include "tests/ui/support/FakeRecorder.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelOutput.h"
#include "ui/logic/channel/KLVChannelRecord.h"
#include "ui/widgets/record/KLVRecordPane.h"
#include "ui/widgets/record/KLVRecordSettingsControls.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace testsupport;

TEST(RecordPane, PreparedRecordingShowsItsAttributesAndRecords)
{
    TempFolder home;
    auto card = std::make_unique<ssBaseOutput>();
    card->SetName("Pane Card");
    card->Kind_ = ssBaseOutput::kKindDeckLink;
    KLVDeviceController::sharedController().addDevice(card.get());
    struct Unregister {
        ~Unregister() { KLVDeviceController::sharedController().removeAllDevices(); }
    } unregister;
    FakeChannelDelegate app;
    auto script = std::make_shared<FakeRecorderScript>();
    KLVChannelController channel(app, 3, std::make_unique<FakePlaybackEngine>());
    app.controllers.append(&channel);
    channel.record().setRecorderFactory(FakeRecorder::factory(script));
    channel.record().setFreeSpaceSource([](const QString&) { return 1.0e12; });
    channel.record().setOperationMode(1, true);
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
