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
#include "ui/logic/channel/KLVChannelTexts.h"
#include "app/defaults/KLVDefaultsKeys.h"
#include "ui/widgets/record/KLVRecordPane.h"
#include "ui/widgets/record/KLVRecordSettingsControls.h"
#include "platform/gl/ssGLContext.h"

#include <epoxy/gl.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

const char* kCardConfig = R"({"cards": [
    {"name": "Stage Recorder", "output": false, "startTimecode": "01:00:00:00",
     "modes": [{"name": "Small 25i", "width": 320, "height": 180, "frameDuration": 1, "timeScale": 25,
                "field": "upper"},
               {"name": "Small 29.97i", "width": 320, "height": 180, "frameDuration": 1001, "timeScale": 30000,
                "field": "upper"}]}
]})";

// The virtual card with its input, registered as a device, and an engine context made before
// capture starts (a slow context creation would hold the preview up meanwhile).
struct CardRig {
    static std::unique_ptr<ssGLContext> makeContext()
    {
        // The record preview's shaders and fonts come from the build tree.
        if (const char* build = std::getenv("KLV_BINARY_DIR"))
            qputenv("KLV_RESOURCE_BASE", build);
        return ssGLContext::CreateEngineContext();
    }
    CardRig()
    {
        card = cards.card(0);
        if (card && device->Init(card.get()) == 0) {
            KLVDeviceController::sharedController().addDevice(device.get());
            ready = true;
        }
    }
    ~CardRig() { KLVDeviceController::sharedController().removeAllDevices(); }
    QString deviceName() const { return QString::fromUtf8(device->Name_); }

    std::unique_ptr<ssGLContext> context = makeContext(); // first: before the cards exist
    VirtualCards cards{kCardConfig, false};
    platform::decklink::Ref<platform::decklink::IDeckLink> card;
    std::unique_ptr<ssDecklinkOutput> device = std::make_unique<ssDecklinkOutput>();
    bool ready = false;
};

// The operator's choice of codec in the popover, then the setup pane's fields and Prepare.
void chooseCodecAndPrepare(KLVRecordSettingsControls& popover, KLVRecordPane& pane, int codec, const QString& folder,
                           const QString& name, const QString& duration, int channels)
{
    const int item = popover.codecMenu()->findData(codec);
    ASSERT_GE(item, 0);
    popover.codecMenu()->setCurrentIndex(item);
    emit popover.codecMenu()->activated(item);
    const auto enter = [](QLineEdit* field, const QString& text) {
        field->setText(text);
        emit field->editingFinished();
    };
    enter(pane.locationField(), folder);
    enter(pane.fileNameField(), name);
    enter(pane.durationField(), duration);
    pane.findChild<QSpinBox*>()->setValue(channels);
    ASSERT_TRUE(pane.prepareButton()->isEnabled());
    pane.prepareButton()->click();
}

} // namespace

TEST(RecordOnCard, TwoSecondsFromTheCardGrowWhileRecordingAndPassTheTools)
{
    TempFolder home;
    CardRig rig;
    ASSERT_TRUE(rig.ready);
    auto& context = rig.context;
    const QString deviceName = rig.deviceName();

    FakeChannelDelegate app;
    KLVChannelController channel(app, 1, std::make_unique<FakePlaybackEngine>());
    app.controllers.append(&channel);
    KLVChannelRecord& record = channel.record();
    ASSERT_TRUE(record.setOperationMode(1, true));
    ASSERT_TRUE(channel.output().enableDevice(deviceName, 0));
    ASSERT_TRUE(record.hasRecorder()) << record.lastError().toStdString();

    KLVRecordPane pane(channel);
    KLVRecordSettingsControls popover(channel);
    chooseCodecAndPrepare(popover, pane, 2, home.path(), "stage", "0:02", 4);
    ASSERT_TRUE(record.isReadyToRecord()) << (app.prompts.shown.empty() ? std::string()
                                              : app.prompts.shown.back().informativeText.toStdString());
    const QString path = record.recordingVideoPath();
    EXPECT_EQ(path, home.filePath("stage.mov"));

    pane.recordButton()->click();
    ASSERT_TRUE(record.isRecording());
    // No preview is drawn: the channel's own keep-alive takes the preview's frames, and its
    // progress tick stops the recording at its limit.
    std::vector<qint64> sizes;
    QElapsedTimer clock;
    clock.start();
    while (record.isRecording() && clock.elapsed() < 20000) {
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
    // The record preview goes on after the recording: the channel's preview routine draws the
    // input's picture (here into the whole viewport, no preview frame being published).
    {
        ASSERT_TRUE(context && context->MakeCurrent()) << "no EGL context";
        GLuint framebuffer = 0, colour = 0;
        glGenFramebuffers(1, &framebuffer);
        glGenRenderbuffers(1, &colour);
        glBindRenderbuffer(GL_RENDERBUFFER, colour);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, 320, 200);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
        glViewport(0, 0, 320, 200);
        std::vector<uint8_t> pixels(320 * 200 * 4);
        for (int frame = 0; frame < 8; ++frame) {
            glClearColor(0, 0, 0, 1);
            glClear(GL_COLOR_BUFFER_BIT);
            channel.drawPreview();
            glReadPixels(0, 0, 320, 200, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
            QThread::msleep(40);
        }
        // Capture stops right after the last draw; the preview's GL objects go with the
        // recorder, while the context is current.
        ASSERT_TRUE(record.setOperationMode(0, true));
        // The card's picture is black with its frame's barcode in white cells, drawn beside the
        // meters inside the preview's frame. How many cells are white depends on the frame's
        // index; the start and stop markers alone give four white runs across the band.
        int mostRuns = 0;
        for (int row = 0; row < 200; ++row) {
            int runs = 0;
            bool inWhite = false;
            for (int x = 0; x < 320; ++x) {
                const uint8_t* p = &pixels[size_t(row * 320 + x) * 4];
                const bool white = p[0] > 200 && p[1] > 200 && p[2] > 200;
                runs += white && !inWhite ? 1 : 0;
                inWhite = white;
            }
            mostRuns = std::max(mostRuns, runs);
        }
        EXPECT_GE(mostRuns, 4) << "the input's picture is drawn";
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &framebuffer);
        glDeleteRenderbuffers(1, &colour);
        context->DoneCurrent();
    }
    // Leaving record mode let the encoder finish the file.
    EXPECT_FALSE(record.hasRecorder());

    const QJsonObject probe = probeMedia(path);
    const QString timecode = streamOf(probe, "video").value("tags").toObject().value("timecode").toString();
    EXPECT_TRUE(QRegularExpression("^01:00:0\\d:\\d\\d$").match(timecode).hasMatch()) << timecode.toStdString();
    checkWithTools(path, {"apcn", "25/1", 50, timecode, 4, "tt", "TFF"});
    EXPECT_TRUE(record.recordLog().contains("Stopped Recording at "));
}

TEST(RecordOnCard, AChannelTornDownMidRecordingLeavesAFileThatDecodes)
{
    // What quitting the application does to a recording channel: its controller goes with no
    // GL context current, the recording still running and its preview's GL objects alive.
    TempFolder home;
    CardRig rig;
    ASSERT_TRUE(rig.ready);
    auto& context = rig.context;

    FakeChannelDelegate app;
    QString path;
    {
        KLVChannelController channel(app, 1, std::make_unique<FakePlaybackEngine>());
        app.controllers.append(&channel);
        KLVChannelRecord& record = channel.record();
        ASSERT_TRUE(record.setOperationMode(1, true));
        ASSERT_TRUE(channel.output().enableDevice(rig.deviceName(), 0));
        KLVRecordPane pane(channel);
        const auto enter = [](QLineEdit* field, const QString& text) {
            field->setText(text);
            emit field->editingFinished();
        };
        enter(pane.locationField(), home.path());
        enter(pane.fileNameField(), "cut");
        enter(pane.durationField(), "0:30");
        pane.prepareButton()->click();
        ASSERT_TRUE(record.isReadyToRecord());
        path = record.recordingVideoPath();
        pane.recordButton()->click();
        ASSERT_TRUE(record.isRecording());
        QElapsedTimer clock;
        clock.start();
        // About a second of picture, the preview drawn once so it holds GL objects.
        while (clock.elapsed() < 1200) {
            QCoreApplication::processEvents();
            QThread::msleep(10);
            app.clock.advance(10);
        }
        ASSERT_TRUE(context && context->MakeCurrent()) << "no EGL context";
        channel.drawPreview();
        context->DoneCurrent();
        ASSERT_TRUE(record.isRecording());
        app.controllers.clear();
    }
    const ToolResult decoded = runTool(ffmpegProgram(), {"-v", "error", "-i", path, "-f", "null", "-"});
    EXPECT_TRUE(decoded.ok() && decoded.errors.isEmpty()) << decoded.errors.toStdString();
    const QJsonObject probe = probeMedia(path, {"-count_frames"});
    const int frames = streamOf(probe, "video").value("nb_read_frames").toString().toInt();
    EXPECT_GE(frames, 10) << "the frames written before the teardown are in the file";
}

TEST(RecordOnCard, H264ChosenInThePopoverRecordsAvc1FromTheCard)
{
    TempFolder home;
    CardRig rig;
    ASSERT_TRUE(rig.ready);
    FakeChannelDelegate app;
    KLVChannelController channel(app, 1, std::make_unique<FakePlaybackEngine>());
    app.controllers.append(&channel);
    KLVChannelRecord& record = channel.record();
    ASSERT_TRUE(record.setOperationMode(1, true));
    ASSERT_TRUE(channel.output().enableDevice(rig.deviceName(), 0));

    KLVRecordPane pane(channel);
    KLVRecordSettingsControls popover(channel);
    chooseCodecAndPrepare(popover, pane, 5, home.path(), "h264", "0:01", 2);
    ASSERT_TRUE(record.isReadyToRecord());
    EXPECT_EQ(record.compressionLabel(), KLVChannelTexts::localized("QM_CODEC_H264"));
    const QString path = record.recordingVideoPath();
    pane.recordButton()->click();
    ASSERT_TRUE(record.isRecording());
    QElapsedTimer clock;
    clock.start();
    while (record.isRecording() && clock.elapsed() < 20000) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
        app.clock.advance(10);
    }
    EXPECT_FALSE(record.isRecording());
    ASSERT_TRUE(record.setOperationMode(0, true)); // the encoder finishes the file

    const QJsonObject probe = probeMedia(path);
    const QString timecode = streamOf(probe, "video").value("tags").toObject().value("timecode").toString();
    ExpectedMovie expected{"avc1", "25/1", 25, timecode, 2, "tt", "TFF"};
    expected.codecName = "h264";
    checkWithTools(path, expected);
}

TEST(RecordOnCard, AHiddenRecordingAt2997StopsAtItsLimitAndCountsItsOwnFrames)
{
    TempFolder home;
    CardRig rig;
    ASSERT_TRUE(rig.ready);
    FakeChannelDelegate app;
    KLVChannelController channel(app, 1, std::make_unique<FakePlaybackEngine>());
    app.controllers.append(&channel);
    KLVChannelRecord& record = channel.record();
    ASSERT_TRUE(record.setOperationMode(1, true));
    ASSERT_TRUE(channel.output().enableDevice(rig.deviceName(), 1));

    KLVRecordPane pane(channel);
    KLVRecordSettingsControls popover(channel);
    chooseCodecAndPrepare(popover, pane, 4, home.path(), "ntsc", "0:02", 2);
    ASSERT_TRUE(record.isReadyToRecord());
    EXPECT_EQ(pane.elapsedField()->text(), QStringLiteral("00:00:00;00"));
    EXPECT_EQ(pane.remainingField()->text(), QStringLiteral("00:00:02;00"));
    const QString path = record.recordingVideoPath();
    pane.recordButton()->click();
    ASSERT_TRUE(record.isRecording());
    // The preview is never drawn: nothing but the channel's own tick ends the recording.
    QStringList shown;
    QElapsedTimer clock;
    clock.start();
    while (record.isRecording() && clock.elapsed() < 20000) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
        app.clock.advance(10);
        shown << pane.elapsedField()->text();
    }
    ASSERT_FALSE(record.isRecording()) << "the limit stops the recording without a drawn preview";
    EXPECT_TRUE(record.recordLog().contains("Stopped Recording at "));
    // Time codes of 29.97 frames: frame numbers stay below 30 all along, and the pane ends on
    // the file's 60 frames.
    for (const QString& text : shown) {
        ASSERT_TRUE(QRegularExpression("^00:00:0[0-2];[0-2]\\d$").match(text).hasMatch()) << text.toStdString();
    }
    EXPECT_EQ(pane.elapsedField()->text(), QStringLiteral("00:00:02;00"));
    EXPECT_EQ(pane.remainingField()->text(), QStringLiteral("00:00:00;00"));
    ASSERT_TRUE(record.setOperationMode(0, true)); // the encoder finishes the file

    const QJsonObject probe = probeMedia(path, {"-count_frames"});
    const QJsonObject video = streamOf(probe, "video");
    EXPECT_EQ(video.value("nb_read_frames").toString().toInt(), 60);
    EXPECT_EQ(video.value("r_frame_rate").toString(), QStringLiteral("30000/1001"));
}
