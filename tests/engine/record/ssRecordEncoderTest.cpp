#include "engine/record/ssRecordEncoder.h"
#include "platform/encode/ProResFlavours.h"
#include "tests/engine/record/MediaChecks.h"
#include "tests/engine/record/MovieFile.h"
#include "tests/engine/record/RecordRig.h"
#include "tests/support/EngineLog.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <QDir>


using namespace testsupport;
using platform::decklink::InputFault;

namespace {

std::string moviePath(const TempFolder& folder, const char* name)
{
    return QDir(folder.path()).filePath(name).toStdString();
}

// The drop-frame time code of frame `index` counted from 01:00:00;00 (within the first minute).
QString timecodeAfterHour(int64_t index)
{
    return QString::asprintf("01:00:%02d;%02d", int(index / 30 % 60), int(index % 30));
}

} // namespace

TEST(ssRecordEncoder, TenSecondsOf1080i2997WithATwoFrameGapGiveThreeHundredFrames)
{
    TempFolder folder;
    const std::string path = moviePath(folder, "ten.mov");
    RecordRig rig(kMode1080i2997, 2, 1001, 30000);
    rig.cards().control().InjectInputFault(0, InputFault::Gap, 150, 2);
    testsupport::captureEngineLog();
    ASSERT_EQ(rig.open(path, 10.0, 1, 2), 0);
    EXPECT_DOUBLE_EQ(rig.encoder().GetMaxDuration(), 10.0);
    rig.start();
    for (int i = 0; i < 20; ++i)
        rig.step();
    rig.encoder().StartRecording();
    // The duration limit ends the recording by itself.
    while (rig.encoder().IsRecording() && rig.period() < 400)
        rig.step();
    EXPECT_FALSE(rig.encoder().IsRecording());
    EXPECT_EQ(rig.encoder().GetRepeatedFrameCount(), 2);
    EXPECT_EQ(rig.encoder().GetRepeatedFrameCount(), 0); // read and reset
    EXPECT_EQ(rig.encoder().GetOversizeFrameCount(), 0);
    EXPECT_NEAR(rig.encoder().GetElapsedTime(), 300 * 1001.0 / 30000, 0.05);
    rig.destroyEncoder();
    const std::string log = testsupport::capturedEngineLog();
    EXPECT_NE(log.find("repeated 2 frames"), std::string::npos);

    const DecodedBarcodes decoded = decodeBarcodes(QString::fromStdString(path), BarcodePixels::Uyvy422);
    ASSERT_TRUE(decoded.ok) << decoded.errors.toStdString();
    ASSERT_EQ(decoded.indices.size(), 300u);
    ASSERT_TRUE(decoded.indices[0].has_value());
    const uint32_t first = *decoded.indices[0];
    EXPECT_GE(first, 19u);
    EXPECT_LT(first, 150u);
    // Consecutive frames, except that the frame after the gap stands in for the two missing ones.
    std::vector<std::optional<uint32_t>> expected;
    for (uint32_t k = first; expected.size() < 300; ++k) {
        if (k == 150 || k == 151)
            continue;
        expected.push_back(k);
        if (k == 152) {
            expected.push_back(k);
            expected.push_back(k);
        }
    }
    EXPECT_EQ(decoded.indices, expected);

    checkWithTools(QString::fromStdString(path),
                   {"apch", "30000/1001", 300, timecodeAfterHour(first), 2, "tt", "TFF"});
    MovieFile m(path);
    const Atom* entry = m.sampleEntry(m.track("vide"));
    ASSERT_TRUE(entry);
    EXPECT_EQ(m.u16(entry->child("fiel")->payload), 0x0201);
    EXPECT_EQ(m.u32(m.sampleEntry(m.track("tmcd"))->payload + 12), 0x0Bu);
    const auto offsets = m.chunkOffsets(m.track("vide"));
    ASSERT_EQ(offsets.size(), 300u);
    const int64_t slot = int64_t(1920 * 1080 * platform::encode::proResFlavour(1)->bytesPerPixel);
    const int64_t chunk = 48000 * 4;
    const Atom& mdat = m.top.children.back();
    for (size_t k = 0; k < offsets.size(); ++k) {
        // 48000 / 29.97 samples per frame: a second closes after frames 30, 60, ...
        const int64_t chunksBefore = int64_t(k) / 30;
        ASSERT_EQ(int64_t(offsets[k]), mdat.payload + 4 + int64_t(k) * slot + chunksBefore * chunk) << k;
    }
    EXPECT_EQ(m.chunkOffsets(m.track("soun")).size(), 11u); // ten whole seconds and the rest
}

TEST(ssRecordEncoder, StopKeepsThePreviewAndANewRecordingStartsItsOwnFile)
{
    TempFolder folder;
    RecordRig rig(kModeSmall25p, 2, 1, 25);
    testsupport::captureEngineLog();
    rig.encoder().SetAudioMonitor(1);
    ASSERT_EQ(rig.open(moviePath(folder, "one.mov"), 60.0, 3, 2), 0);
    rig.start();
    rig.encoder().StartRecording();
    for (int i = 0; i < 40; ++i)
        rig.step();
    rig.encoder().StopRecording();
    for (int i = 0; i < 10; ++i)
        rig.step();
    EXPECT_FALSE(rig.encoder().IsShowingNoSignal());
    EXPECT_EQ(rig.encoder().GetNoSignalFrameCount(), 0);

    ASSERT_EQ(rig.open(moviePath(folder, "two.mov"), 60.0, 3, 2), 0);
    rig.encoder().StartRecording();
    for (int i = 0; i < 30; ++i)
        rig.step();
    rig.encoder().StopRecording();
    rig.destroyEncoder();
    testsupport::capturedEngineLog();

    std::optional<uint32_t> lastOfFirst;
    for (const char* name : {"one.mov", "two.mov"}) {
        SCOPED_TRACE(name);
        const QString path = QString::fromStdString(moviePath(folder, name));
        const DecodedBarcodes decoded = decodeBarcodes(path, BarcodePixels::Uyvy422);
        ASSERT_TRUE(decoded.ok) << decoded.errors.toStdString();
        // Every frame taken while recording is in the file, including those still being
        // compressed when the recording stopped.
        ASSERT_GE(decoded.indices.size(), 25u);
        for (size_t k = 1; k < decoded.indices.size(); ++k)
            ASSERT_EQ(decoded.indices[k], *decoded.indices[0] + k);
        if (lastOfFirst) {
            // The ten frames between the recordings are in neither file.
            EXPECT_GE(*decoded.indices[0], *lastOfFirst + 10);
        }
        lastOfFirst = decoded.indices.back();
        checkWithTools(path, {"apcs", "25/1", int(decoded.indices.size()),
                              QString::asprintf("01:00:%02d:%02d", int(*decoded.indices[0] / 25),
                                                int(*decoded.indices[0] % 25)),
                              2, "progressive", ""});
    }
}

TEST(ssRecordEncoder, ClosingWhileRecordingKeepsTheFramesStillBeingCompressed)
{
    TempFolder folder;
    const std::string path = moviePath(folder, "closed.mov");
    RecordRig rig(kModeSmall25p, 2, 1, 25);
    testsupport::captureEngineLog();
    ASSERT_EQ(rig.open(path, 60.0, 3, 2), 0);
    rig.start();
    rig.encoder().StartRecording();
    for (int i = 0; i < 20; ++i)
        rig.step();
    // No stop: the channel closes with frames inside the compressor.
    rig.destroyEncoder();
    testsupport::capturedEngineLog();
    const DecodedBarcodes decoded = decodeBarcodes(QString::fromStdString(path), BarcodePixels::Uyvy422);
    ASSERT_TRUE(decoded.ok) << decoded.errors.toStdString();
    // The frame being taken as the channel closes may stay out; none before it may.
    ASSERT_GE(decoded.indices.size(), 19u);
    for (size_t k = 1; k < decoded.indices.size(); ++k)
        ASSERT_EQ(decoded.indices[k], *decoded.indices[0] + k);
}

TEST(ssRecordEncoder, APreviewNotDrawnForLongerThanTheRingCostsTheRecordingNoFrame)
{
    TempFolder folder;
    const std::string path = moviePath(folder, "hidden.mov");
    RecordRig rig(kModeSmall25p, 2, 1, 25);
    testsupport::captureEngineLog();
    ASSERT_EQ(rig.open(path, 60.0, 3, 2), 0);
    rig.start();
    rig.encoder().StartRecording();
    for (int i = 0; i < 5; ++i)
        rig.step();
    // The column is hidden (or the interface stalls) for more periods than the ring has slots.
    rig.pausePreview(true);
    const int stalled = 2 * rig.input().FrameBuffer_->GetSlotCount();
    for (int i = 0; i < stalled; ++i)
        rig.step();
    rig.pausePreview(false);
    for (int i = 0; i < 5; ++i)
        rig.step();
    EXPECT_FALSE(rig.encoder().IsShowingNoSignal()); // the preview is back on the newest frames
    rig.encoder().StopRecording();
    EXPECT_EQ(rig.encoder().GetRepeatedFrameCount(), 0);
    rig.destroyEncoder();
    testsupport::capturedEngineLog();

    const DecodedBarcodes decoded = decodeBarcodes(QString::fromStdString(path), BarcodePixels::Uyvy422);
    ASSERT_TRUE(decoded.ok) << decoded.errors.toStdString();
    ASSERT_GE(decoded.indices.size(), size_t(stalled + 9));
    for (size_t k = 1; k < decoded.indices.size(); ++k)
        ASSERT_EQ(decoded.indices[k], *decoded.indices[0] + k) << k;
}

TEST(ssRecordEncoder, EmptyPollsShowNoSignalAndTheNextFrameClearsIt)
{
    TempFolder folder;
    RecordRig rig(kModeSmall25p, 2, 1, 25);
    testsupport::captureEngineLog();
    ASSERT_EQ(rig.open(moviePath(folder, "idle.mov"), 10.0, 4, 2), 0);
    rig.start();
    rig.step();
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(rig.encoder().PollPreview(), nullptr);
    EXPECT_FALSE(rig.encoder().IsShowingNoSignal());
    EXPECT_EQ(rig.encoder().PollPreview(), nullptr);
    EXPECT_TRUE(rig.encoder().IsShowingNoSignal());
    rig.step(); // the step's own poll takes the new frame
    EXPECT_FALSE(rig.encoder().IsShowingNoSignal());
    testsupport::capturedEngineLog();
}

TEST(ssRecordEncoder, TheEstimateCountsSlotsAndAudioAndForH264ItsPeakRate)
{
    TempFolder folder;
    ssRecordEncoder encoder("/bundle");
    EXPECT_EQ(encoder.GetMaxDuration(), -1.0);
    EXPECT_EQ(encoder.GetEstimatedFileSize(1, 10.0), 0);
    EXPECT_EQ(encoder.GetElapsedTime(), 0.0);
    encoder.SetFilePath(moviePath(folder, "estimate.mov").c_str());
    testsupport::captureEngineLog();
    ASSERT_EQ(encoder.Open(1920, 1080, 1, 2, 10.0, 30000.0 / 1001, 1), 0);
    testsupport::capturedEngineLog();
    // (long)((29.97 + 0.5) x 10) = 304 slots of the codec's worst case, and 10 s of two channels.
    EXPECT_EQ(encoder.GetEstimatedFileSize(1, 10.0), int64_t(1920.0 * 1080 * 0.510685920 * 304 + 10 * 2 * 96000.0));
    // Any other index records H.264, whose frames are bounded by the peak rate.
    EXPECT_EQ(encoder.GetEstimatedFileSize(7, 10.0),
              int64_t(platform::encode::H264Session::peakBytesPerSecond(1920, 1080, 30000.0 / 1001) * 10 +
                      10 * 2 * 96000.0));

    // A file that cannot be made is reported, not recorded into silently.
    encoder.SetFilePath("/nonexistent/folder/x.mov");
    testsupport::captureEngineLog();
    EXPECT_EQ(encoder.Open(64, 36, 0, 2, 10.0, 25.0, 2), -1);
    EXPECT_NE(testsupport::capturedEngineLog().find("Couldn't open file"), std::string::npos);
}
