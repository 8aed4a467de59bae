// A recording made from a channel's record view (the operator's fields and buttons) from the
// virtual card's input, on the card's own (real-time) clock: the file grows while it records and the finished movie is what
// ffprobe, ffmpeg and mediainfo expect for the chosen codec, field order and time code.
#include "app/devices/KLVDeviceController.h"
#include "engine/output/ssDecklinkOutput.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/engine/record/MediaChecks.h"
#include "tests/platform/decklink/VirtualCards.h"
#include "tests/support/TempFolder.h"
#include "tests/ui/support/FakeChannelDelegate.h"
#include "tests/ui/support/FakePlaybackEngine.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelOutput.h"
#include "ui/logic/channel/KLVChannelRecord.h"
#include "ui/logic/defaults/KLVDefaultsKeys.h"
#include "ui/widgets/record/KLVRecordPane.h"
#include "ui/widgets/record/KLVRecordSettingsControls.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

const char* kCardConfig = R"({"cards": [
    {"name": "Stage Recorder", "output": false, "startTimecode": "01:00:00:00",
     "modes": [{"name": "Small 25i", "width": 320, "height": 180, "frameDuration": 1, "timeScale": 25,
                "field": "upper"}]}
]})";

} // namespace

TEST(RecordOnCard, TwoSecondsFromTheCardGrowWhileRecordingAndPassTheTools)
{
    TempFolder home;
    VirtualCards cards(kCardConfig, false);
    auto card = cards.card(0);
    ASSERT_TRUE(card);
    auto* device = new ssDecklinkOutput; // the registry keeps it for the process
    ASSERT_EQ(device->Init(card.get()), 0);
    KLVDeviceController::sharedController().addDevice(device);
    const QString deviceName = QString::fromUtf8(device->m_Name);

    FakeChannelDelegate app;
    KLVChannelController channel(app, 1, std::make_unique<FakePlaybackEngine>());
    app.controllers.append(&channel);
    KLVChannelRecord& record = channel.record();
    ASSERT_TRUE(record.setOperationMode(1, true));
    ASSERT_TRUE(channel.output().enableDevice(deviceName, 0));
    ASSERT_TRUE(record.hasRecorder()) << record.lastError().toStdString();

    KLVRecordPane pane(channel);
    KLVRecordSettingsControls popover(channel);
    const int proRes422 = popover.codecMenu()->findData(2);
    ASSERT_GE(proRes422, 0);
    popover.codecMenu()->setCurrentIndex(proRes422);
    emit popover.codecMenu()->activated(proRes422);
    const auto enter = [](QLineEdit* field, const QString& text) {
        field->setText(text);
        emit field->editingFinished();
    };
    enter(pane.locationField(), home.path());
    enter(pane.fileNameField(), "stage");
    enter(pane.durationField(), "0:02");
    pane.findChild<QSpinBox*>()->setValue(4);
    ASSERT_TRUE(pane.prepareButton()->isEnabled());
    pane.prepareButton()->click();
    ASSERT_TRUE(record.isReadyToRecord()) << (app.prompts.shown.empty() ? std::string()
                                              : app.prompts.shown.back().informativeText.toStdString());
    const QString path = record.recordingVideoPath();
    EXPECT_EQ(path, home.filePath("stage.mov"));

    pane.recordButton()->click();
    ASSERT_TRUE(record.isRecording());
    // No preview is drawn: the channel's own keep-alive takes the preview's frames. The preview
    // thread's polls stop the recording at its limit; here the test polls.
    std::vector<qint64> sizes;
    QElapsedTimer clock;
    clock.start();
    while (record.isRecording() && clock.elapsed() < 20000) {
        record.pollRecorder();
        QCoreApplication::processEvents();
        if (sizes.empty() || clock.elapsed() / 400 >= qint64(sizes.size()))
            sizes.push_back(QFileInfo(path).size());
        QThread::msleep(10);
        app.clock.advance(10);
    }
    EXPECT_FALSE(record.isRecording());
    EXPECT_TRUE(record.elapsedText().startsWith("00:00:0")) << record.elapsedText().toStdString();
    ASSERT_GE(sizes.size(), 4u);
    EXPECT_LT(sizes[1], sizes[sizes.size() - 1]);
    EXPECT_LT(sizes[sizes.size() / 2], sizes[sizes.size() - 1]) << "the file grows while it records";
    // Leaving record mode lets the encoder finish the file.
    ASSERT_TRUE(record.setOperationMode(0, true));
    EXPECT_FALSE(record.hasRecorder());

    const QJsonObject probe = probeMedia(path);
    const QString timecode = streamOf(probe, "video").value("tags").toObject().value("timecode").toString();
    EXPECT_TRUE(QRegularExpression("^01:00:0\\d:\\d\\d$").match(timecode).hasMatch()) << timecode.toStdString();
    checkWithTools(path, {"apcn", "25/1", 50, timecode, 4, "tt", "TFF"});
    EXPECT_TRUE(record.recordLog().contains("Stopped Recording at "));
}
