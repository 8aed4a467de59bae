// Record mode of a channel over a scripted recorder: the mode switch, preparing, starting,
// stopping and cancelling, what is refused while recording, the destination files and the log.
#include "app/defaults/KLVDefaultsKeys.h"
#include "app/devices/KLVDeviceController.h"
#include "app/moviecontroller/KLVMovieController.h"
#include "engine/output/ssBaseOutput.h"
#include "platform/foundation/UserDefaults.h"
#include "resources/strings/KLVLocalized.h"
#include "tests/support/TempFolder.h"
#include "tests/ui/support/FakeChannelDelegate.h"
#include "tests/ui/support/FakePlaybackEngine.h"
#include "tests/ui/support/FakeRecorder.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelOutput.h"
#include "ui/logic/channel/KLVChannelRecord.h"
#include "ui/logic/channel/KLVChannelTransport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

constexpr const char* kCard = "Record Test Card";
constexpr const char* kSecondCard = "Second Record Test Card";
constexpr const char* kThirdCard = "Third Record Test Card";

class ChannelRecord : public ::testing::Test {
protected:
    TempFolder home;
    FakeChannelDelegate app;
    std::shared_ptr<FakeRecorderScript> script = std::make_shared<FakeRecorderScript>();
    std::vector<std::unique_ptr<ssBaseOutput>> cards;
    std::vector<std::unique_ptr<KLVChannelController>> channels;
    QString movies;

    void SetUp() override
    {
        platform::UserDefaults::setSharedFilePath(home.filePath("settings.conf"));
        KLVDeviceController::sharedController().removeAllDevices();
        for (const char* name : {kCard, kSecondCard, kThirdCard}) {
            cards.push_back(std::make_unique<ssBaseOutput>());
            cards.back()->SetName(name);
            cards.back()->Kind_ = ssBaseOutput::kKindDeckLink;
            KLVDeviceController::sharedController().addDevice(cards.back().get());
        }
        movies = home.filePath("Movies");
        QDir().mkpath(movies);
    }

    void TearDown() override
    {
        channels.clear();
        KLVDeviceController::sharedController().removeAllDevices();
    }

    // A channel on the test card in record mode with a prepared set of settings.
    KLVChannelController& channel(long tag, const char* card = kCard)
    {
        auto engine = std::make_unique<FakePlaybackEngine>();
        channels.push_back(std::make_unique<KLVChannelController>(app, tag, std::move(engine)));
        KLVChannelController& c = *channels.back();
        app.controllers.append(&c);
        KLVChannelRecord& r = c.record();
        r.setRecorderFactory(FakeRecorder::factory(script));
        r.setFreeSpaceSource([](const QString&) { return 1.0e12; });
        r.setRecordingDirectory(movies);
        r.setRecordingFileName("clip");
        r.setRecordingDuration("10");
        r.setCompressionCodec(3);
        r.setAudioChannelCount(2);
        EXPECT_TRUE(r.setOperationMode(1, true));
        // The output's device switch builds the input in record mode.
        c.output().enableDevice(QString::fromLatin1(card), 0);
        return c;
    }

    FakePlaybackEngine& engineOf(KLVChannelController& c) { return static_cast<FakePlaybackEngine&>(*c.movie().movie()); }
    QString lastAlert() const { return app.prompts.shown.empty() ? QString() : app.prompts.shown.back().messageText; }
};

} // namespace

TEST_F(ChannelRecord, ModeSwitchBuildsAPreviewOnlyEncoderAndLeavingGivesTheDeviceBack)
{
    KLVChannelController& c = channel(11);
    KLVChannelRecord& r = c.record();
    // Without a file the encoder's -1 is the preview-only state, not a failure.
    EXPECT_TRUE(r.hasRecorder());
    EXPECT_EQ(script->lastPath, "");
    EXPECT_EQ(script->calls, (std::vector<std::string>{"openInput 0 2", "setAudioMonitor 1", "openEncoder", "start"}));
    // Muting the preview silences the record monitor.
    c.transport().setMutePreview(true);
    EXPECT_EQ(script->calls.back(), "setAudioMonitor 0");
    c.transport().setMutePreview(false);
    EXPECT_EQ(engineOf(c).count("SetOutputDevice"), 1); // detached from playback
    EXPECT_FALSE(r.isReadyToRecord());
    // The interlaced input stays interlaced in the encoder.
    EXPECT_TRUE(script->lastSettings.format.interlaced);
    // Nothing was claimed for a file that will not be written.
    EXPECT_TRUE(app.recordingFiles.isEmpty());

    EXPECT_TRUE(r.setOperationMode(0, true));
    EXPECT_FALSE(r.hasRecorder());
    EXPECT_EQ(script->alive, 0);
    EXPECT_EQ(engineOf(c).calls.back().rfind("SetOutputDevice", 0), 0u);
    EXPECT_EQ(c.operationMode(), 0);

    // Channel counts outside 2..16 open the input with 2.
    r.setOperationMode(1, true);
    platform::UserDefaults::sharedDefaults().setObject(17, "QMKLVLastAudioChannelCount11");
    r.setOperationMode(1, true);
    EXPECT_EQ(script->calls[script->calls.size() - 4], "openInput 0 2");
}

TEST_F(ChannelRecord, AnInputThatDoesNotOpenIsFreedAtOnceAndThePrepareSaysSo)
{
    script->openInputResult = -1;
    KLVChannelController& c = channel(12);
    KLVChannelRecord& r = c.record();
    EXPECT_FALSE(r.hasRecorder());
    EXPECT_EQ(script->alive, 0);
    EXPECT_TRUE(r.inputFailed());

    int popovers = 0;
    QObject::connect(&c, &KLVChannelController::configurationRequested, [&] { ++popovers; });
    EXPECT_FALSE(r.prepareRecordSession());
    EXPECT_TRUE(lastAlert().startsWith(KLVLocalized::text("QM_NO_INPUT_DEVICE")));
    EXPECT_EQ(popovers, 1);
    EXPECT_FALSE(r.isReadyToRecord());
    // A later start finds nothing to record with and does nothing.
    r.startRecording();
    EXPECT_FALSE(r.isRecording());
    EXPECT_TRUE(QDir(movies).isEmpty());
}

TEST_F(ChannelRecord, PrepareRefusesWhatWouldRecordNothing)
{
    KLVChannelController& c = channel(13);
    KLVChannelRecord& r = c.record();
    const std::vector<std::pair<std::function<void()>, QString>> cases = {
        {[&] { r.setRecordingDuration("abc"); }, "QM_SELECT_DURATION"},
        {[&] { r.setRecordingFileName(".."); }, "QM_NAME_INVALID"},
        {[&] { r.setRecordingFileName("a/b"); }, "QM_NAME_INVALID"},
        {[&] { r.setRecordingFileName(""); }, "QM_SELECT_FILENAME"},
        {[&] { r.setFreeSpaceSource([](const QString&) { return 12.0e6 + 4 * 1048576.0; }); }, "QM_FILE_SIZE_TOO_BIG"},
    };
    for (const auto& [spoil, message] : cases) {
        r.setRecordingDuration("12");
        r.setRecordingFileName("clip");
        r.setFreeSpaceSource([](const QString&) { return 1.0e12; });
        spoil();
        EXPECT_FALSE(r.prepareRecordSession()) << message.toStdString();
        EXPECT_EQ(lastAlert(), KLVLocalized::text(message));
        EXPECT_FALSE(r.isReadyToRecord());
    }
    // The encoder refusing the file: a clear failure, and the file made for it is gone again.
    r.setRecordingDuration("12");
    r.setRecordingFileName("clip");
    r.setFreeSpaceSource([](const QString&) { return 1.0e12; });
    script->openWithPath = -1;
    EXPECT_FALSE(r.prepareRecordSession());
    EXPECT_TRUE(lastAlert().contains("could not be prepared")) << lastAlert().toStdString();
    EXPECT_FALSE(r.isReadyToRecord());
    EXPECT_FALSE(r.hasRecorder());
    EXPECT_TRUE(QDir(movies).isEmpty());
    EXPECT_TRUE(app.recordingFiles.isEmpty());
}

TEST_F(ChannelRecord, PrepareStartStopAndCancelKeepOnlyWhatWasRecorded)
{
    KLVChannelController& c = channel(14);
    KLVChannelRecord& r = c.record();
    r.setRecordingDuration("1:30");
    EXPECT_EQ(r.recordingDurationText(), "00:01:30");
    ASSERT_TRUE(r.prepareRecordSession()) << lastAlert().toStdString();
    const QString first = QDir(movies).filePath("clip.mov");
    EXPECT_EQ(r.recordingVideoPath(), first);
    EXPECT_TRUE(QFile::exists(first));
    EXPECT_EQ(script->lastPath, first.toStdString());
    EXPECT_EQ(script->lastSettings.durationLimit, 90);
    EXPECT_EQ(r.compressionLabel(), KLVLocalized::text("QM_CODEC_ProRes422LT"));
    EXPECT_EQ(r.audioChannelsLabel(), "2 Channel(s)");
    // The 2697 frames 90 s hold at 29.97, as a drop-frame time code.
    EXPECT_EQ(r.remainingText(), "00:01:29;29");
    EXPECT_EQ(r.elapsedText(), "00:00:00;00");
    EXPECT_TRUE(app.recordingFiles.contains(first));

    // Cancel before the start deletes the prepared file.
    r.cancelCurrentRecording();
    EXPECT_FALSE(QFile::exists(first));
    EXPECT_FALSE(r.isReadyToRecord());

    ASSERT_TRUE(r.prepareRecordSession());
    r.recordButtonAction();
    EXPECT_TRUE(r.isRecording());
    EXPECT_EQ(script->calls.back(), "startRecording " + first.toStdString());
    QCoreApplication::processEvents();
    EXPECT_TRUE(r.recordLog().startsWith("Start Recording at "));

    // While recording nothing may pull the input or the encoder away.
    const size_t built = script->calls.size();
    EXPECT_FALSE(r.setOperationMode(0, true));
    EXPECT_FALSE(r.enterRecordMode(false));
    EXPECT_FALSE(r.deviceChangeAllowed());
    EXPECT_EQ(script->calls.size(), built);
    EXPECT_EQ(c.operationMode(), 1);

    // Cancel during a recording keeps the finished file; the next start goes to a new one.
    r.cancelCurrentRecording();
    EXPECT_FALSE(r.isRecording());
    EXPECT_TRUE(QFile::exists(first));
    EXPECT_TRUE(r.recordLog().contains("\rStopped Recording at "));
    ASSERT_TRUE(r.prepareRecordSession());
    r.startRecording();
    r.stopRecording();
    EXPECT_EQ(r.recordingVideoPath(), QDir(movies).filePath("clip_1.mov"));
    r.cancelCurrentRecording();
    EXPECT_TRUE(QFile::exists(QDir(movies).filePath("clip_1.mov")));

    // A device change after a prepare rebuilds without a file: the channel is no longer ready
    // and its unused file is gone.
    ASSERT_TRUE(r.prepareRecordSession());
    const QString unused = r.recordingVideoPath();
    EXPECT_TRUE(r.enterRecordMode(false));
    EXPECT_FALSE(r.isReadyToRecord());
    EXPECT_FALSE(QFile::exists(unused));
    r.startRecording();
    EXPECT_FALSE(r.isRecording());
}

TEST_F(ChannelRecord, TwoChannelsOnOneNameRecordIntoTwoFiles)
{
    KLVChannelController& a = channel(15);
    KLVChannelController& b = channel(16, kSecondCard);
    ASSERT_TRUE(a.record().prepareRecordSession());
    ASSERT_TRUE(b.record().prepareRecordSession());
    EXPECT_EQ(a.record().recordingVideoPath(), QDir(movies).filePath("clip.mov"));
    EXPECT_EQ(b.record().recordingVideoPath(), QDir(movies).filePath("clip_1.mov"));
    // One cancels: only its own file goes.
    b.record().cancelCurrentRecording();
    EXPECT_TRUE(QFile::exists(a.record().recordingVideoPath()));
    EXPECT_FALSE(QFile::exists(QDir(movies).filePath("clip_1.mov")));
    // Each channel's estimate counts against the other's space on the same volume.
    EXPECT_EQ(b.record().spaceNeededOnVolume(a.record().getVolume()), 10.0e6f);
    b.record().setFreeSpaceSource([](const QString&) { return 10.0e6 + 10.0e6 + 4 * 1048576.0; });
    b.record().updateFileSizeDescription(false);
    EXPECT_TRUE(b.record().fileSizeWarning());
}

TEST_F(ChannelRecord, TheProgressTickLogsCountersQueueNoticesAndStopsAtTheLimit)
{
    KLVChannelController& c = channel(17);
    KLVChannelRecord& r = c.record();
    ASSERT_TRUE(r.prepareRecordSession());
    r.startRecording();
    script->writeHeadroom = {60, 44, 19, 30, 55, 40};
    script->repeated = 3;
    for (int i = 0; i < 6; ++i)
        r.updateRecordingProgressFields();
    QCoreApplication::processEvents();
    const QStringList lines = r.recordLog().split(u'\r', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 5) << r.recordLog().toStdString();
    EXPECT_EQ(lines[1], "Repeated 3 frames");
    EXPECT_EQ(lines[2], "Warning: Write Queue");
    EXPECT_EQ(lines[3], "Danger: Write Queue overflow");
    EXPECT_EQ(lines[4], "Warning: Write Queue");

    // The limit queues one stop, however often it is seen.
    script->elapsed = 10;
    r.updateRecordingProgressFields();
    r.updateRecordingProgressFields();
    EXPECT_TRUE(r.isRecording());
    QCoreApplication::processEvents();
    EXPECT_FALSE(r.isRecording());
    EXPECT_TRUE(r.didStopRecording());
    EXPECT_EQ(std::count(script->calls.begin(), script->calls.end(), "stopRecording"), 1);
}

TEST_F(ChannelRecord, RecordOnAMasterStartsItsPreparedSlavesInRecordModeOnly)
{
    KLVChannelController& master = channel(18);
    KLVChannelController& recordingSlave = channel(19, kSecondCard);
    KLVChannelController& unprepared = channel(20, kThirdCard);
    KLVChannelController& playingSlave = channel(21, kThirdCard);
    ASSERT_TRUE(playingSlave.record().setOperationMode(0, true));
    for (KLVChannelController* slave : {&recordingSlave, &unprepared, &playingSlave})
        master.addLinkedChannel(slave);
    ASSERT_TRUE(master.record().prepareRecordSession());
    recordingSlave.record().setRecordingFileName("slave");
    ASSERT_TRUE(recordingSlave.record().prepareRecordSession());

    master.record().recordButtonAction();
    EXPECT_TRUE(master.record().isRecording());
    EXPECT_TRUE(recordingSlave.record().isRecording());
    // A slave in record mode that was never prepared has nothing to record into.
    EXPECT_FALSE(unprepared.record().isRecording());
    EXPECT_FALSE(playingSlave.record().isRecording());
    EXPECT_FALSE(playingSlave.record().hasRecorder());
    master.record().recordButtonAction();
    EXPECT_FALSE(master.record().isRecording());
    EXPECT_FALSE(recordingSlave.record().isRecording());
}

TEST_F(ChannelRecord, TheLocationPanelKeepsOnlyWritableFolders)
{
    KLVChannelController& c = channel(22);
    KLVChannelRecord& r = c.record();
    r.setRecordingDirectory(QString());
    EXPECT_FALSE(r.prepareEnabled());
    // First use: the panel opens on ~/Movies; an unwritable choice asks and offers it again.
    // (A folder that is gone again stands for one we may not write: the tests may run as root.)
    const QString locked = home.filePath("gone");
    app.picker.openAnswers.push_back({locked});
    app.picker.openAnswers.push_back({movies + "/"});
    r.setLocationOfRecordingFile();
    EXPECT_EQ(app.picker.opened.at(0).directory, QDir::homePath() + "/Movies");
    EXPECT_TRUE(app.picker.opened.at(0).canChooseDirectories);
    EXPECT_FALSE(app.picker.opened.at(0).canChooseFiles);
    EXPECT_EQ(lastAlert(), KLVLocalized::text("UNWRITABLE_PATH_ALERT"));
    QCoreApplication::processEvents(); // the panel again
    ASSERT_EQ(app.picker.opened.size(), 2u);
    EXPECT_EQ(r.recordingDirectory(), movies);
    EXPECT_TRUE(r.prepareEnabled());
}

TEST_F(ChannelRecord, ACardAnotherChannelRecordsFromIsNotOpenedAgain)
{
    KLVChannelController& holder = channel(23);
    ASSERT_TRUE(holder.record().hasRecorder());
    // A second channel plays to the same card, then switches to record mode: the claim in
    // record mode is refused, and no second input is opened on the card.
    KLVChannelController& other = channel(24, kSecondCard);
    ASSERT_TRUE(other.record().setOperationMode(0, true));
    ASSERT_TRUE(other.output().enableDevice(QString::fromLatin1(kCard), 0));
    const int before = script->alive;
    EXPECT_TRUE(other.record().setOperationMode(1, true));
    EXPECT_FALSE(other.output().deviceEnabled());
    EXPECT_FALSE(other.record().hasRecorder());
    EXPECT_EQ(script->alive, before);
    EXPECT_TRUE(lastAlert().contains("Channel 23")) << lastAlert().toStdString();
}

TEST_F(ChannelRecord, ThePreviewStampFollowsTheInputsPictureInRecordModeAndTheEngineInPlayback)
{
    // The preview strip draws a channel again only when its stamp changed.
    KLVChannelController& c = channel(12);
    KLVChannelRecord& r = c.record();
    ASSERT_TRUE(r.prepareRecordSession());
    const uint64_t prepared = c.previewStamp();
    EXPECT_EQ(c.previewStamp(), prepared);
    engineOf(c).previewStamp.store(7); // playback's picture does not show in record mode
    EXPECT_EQ(c.previewStamp(), prepared);
    script->previewStamp = 1; // a new input frame
    const uint64_t newFrame = c.previewStamp();
    EXPECT_NE(newFrame, prepared);
    c.setPreviewFrames(QRectF(0, 0, 320, 180), QRectF(10, 0, 330, 200));
    EXPECT_NE(c.previewStamp(), newFrame);

    // Back in playback the engine's picture decides.
    ASSERT_TRUE(r.setOperationMode(0, true));
    const uint64_t playback = c.previewStamp();
    EXPECT_NE(playback, newFrame);
    script->previewStamp = 2;
    EXPECT_EQ(c.previewStamp(), playback);
    engineOf(c).previewStamp.store(8);
    EXPECT_NE(c.previewStamp(), playback);
}
