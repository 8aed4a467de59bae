// H.264 recordings (every codec index outside the ProRes family): frames of their own size in the
// writer's fixed slots, the encoder's parameter sets in an 'avcC', PCM audio and the time code,
// read back by ffprobe, ffmpeg and mediainfo; a file cut off before it is finished still decodes.

#include "engine/record/ssMovieWriter.h"
#include "engine/record/ssRecordEncoder.h"
#include "platform/encode/H264Session.h"
#include "tests/engine/record/MediaChecks.h"
#include "tests/engine/record/MovieFile.h"
#include "tests/engine/record/RecordRig.h"
#include "tests/support/EngineLog.h"
#include "tests/support/TempFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

std::string moviePath(const TempFolder& folder, const char* name)
{
    return QDir(folder.path()).filePath(name).toStdString();
}

// Runs the rig until `frames` frames are recorded (the limit stops it).
void recordFrames(RecordRig& rig, int warmUp, int limitPeriods)
{
    rig.start();
    for (int i = 0; i < warmUp; ++i)
        rig.step();
    rig.encoder().StartRecording();
    while (rig.encoder().IsRecording() && rig.period() < limitPeriods)
        rig.step();
}

} // namespace

TEST(H264Recording, A1080i2997RecordingIsAvc1WithItsParameterSetsPcmAndTimeCode)
{
    TempFolder folder;
    const std::string path = moviePath(folder, "h264.mov");
    RecordRig rig(kMode1080i2997, 4, 1001, 30000);
    testsupport::captureEngineLog();
    ASSERT_EQ(rig.open(path, 2.0, 5, 4), 0);
    recordFrames(rig, 5, 200);
    EXPECT_FALSE(rig.encoder().IsRecording());
    EXPECT_EQ(rig.encoder().GetOversizeFrameCount(), 0);
    EXPECT_EQ(rig.encoder().GetRepeatedFrameCount(), 0);
    rig.destroyEncoder();
    const std::string log = testsupport::capturedEngineLog();
    EXPECT_EQ(log.find("can't be recorded"), std::string::npos);

    // Two seconds at 29.97: 60 frames, consecutive barcodes.
    const DecodedBarcodes decoded = decodeBarcodes(QString::fromStdString(path), BarcodePixels::Uyvy422);
    ASSERT_TRUE(decoded.ok) << decoded.errors.toStdString();
    ASSERT_EQ(decoded.indices.size(), 60u);
    ASSERT_TRUE(decoded.indices[0].has_value());
    const uint32_t first = *decoded.indices[0];
    for (size_t k = 0; k < decoded.indices.size(); ++k)
        EXPECT_EQ(decoded.indices[k], std::optional<uint32_t>(first + uint32_t(k))) << k;

    ExpectedMovie expected{"avc1", "30000/1001", 60, QString::asprintf("01:00:%02d;%02d", int(first / 30), int(first % 30)),
                           4, "tt", "TFF"};
    expected.codecName = "h264";
    checkWithTools(QString::fromStdString(path), expected);
    const QJsonObject video = streamOf(probeMedia(QString::fromStdString(path)), "video");
    EXPECT_EQ(video.value("profile").toString(), "High 4:2:2");
    EXPECT_EQ(video.value("pix_fmt").toString(), "yuv422p");

    MovieFile m(path);
    const Atom* entry = m.sampleEntry(m.track("vide"));
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->type, "avc1");
    const Atom* avcC = entry->child("avcC");
    ASSERT_TRUE(avcC);
    EXPECT_EQ(m.u8(avcC->payload), 1);   // configuration version
    EXPECT_EQ(m.u8(avcC->payload + 1), 122); // High 4:2:2
    EXPECT_EQ(m.u8(avcC->payload + 4), 0xFF); // 4-byte unit lengths
    EXPECT_EQ(m.u16(entry->child("fiel")->payload), 0x0201);
    // The finished file lists each frame's own size, all within a slot.
    const Atom* stsz = m.track("vide")->find("mdia/minf/stbl/stsz");
    ASSERT_TRUE(stsz);
    EXPECT_EQ(m.u32(stsz->payload + 4), 0u);
    ASSERT_EQ(m.u32(stsz->payload + 8), 60u);
    const int64_t slot = platform::encode::H264Session::maxFrameBytes(1920, 1080) + ssMovieWriter::kFillerRoom;
    int64_t total = 0;
    for (uint32_t k = 0; k < 60; ++k) {
        const uint32_t size = m.u32(stsz->payload + 12 + 4 * int64_t(k));
        EXPECT_GT(size, 0u);
        EXPECT_LE(int64_t(size), slot - ssMovieWriter::kFillerRoom);
        total += size;
    }
    EXPECT_LT(total, 60 * slot);
}

TEST(H264Recording, EveryIndexOutsideProResRecordsH264AndACutOffFileDecodesItsFrames)
{
    TempFolder folder;
    RecordRig rig(kModeSmall25p, 2, 1, 25);
    testsupport::captureEngineLog();
    for (int codec : {-1, 6}) {
        const std::string path = moviePath(folder, codec < 0 ? "minus.mov" : "six.mov");
        ASSERT_EQ(rig.open(path, 60.0, codec, 2), 0) << codec;
        if (codec < 0)
            rig.start();
        rig.encoder().StartRecording();
        for (int i = 0; i < 30; ++i)
            rig.step();
        // Copy the file as it stands before the recording is finished: what a crash would leave.
        {
            // Frame 20's slot ends with the filler's last byte once the frame is on disk.
            const MovieFile open(path);
            const auto offsets = open.chunkOffsets(open.track("vide"));
            ASSERT_EQ(offsets.size(), 1500u);
            const int64_t slot = platform::encode::H264Session::maxFrameBytes(128, 72) + ssMovieWriter::kFillerRoom;
            ASSERT_TRUE(waitUntil([&] { return QFileInfo(QString::fromStdString(path)).size() >= int64_t(offsets[19]) + slot; }));
        }
        const QString cut = QString::fromStdString(path) + ".cut.mov";
        ASSERT_TRUE(QFile::copy(QString::fromStdString(path), cut));
        rig.encoder().StopRecording();
        ASSERT_TRUE(waitUntil([&] { return rig.encoder().GetState() == ssRecordEncoder::kEncoding; }));

        MovieFile m(path);
        ASSERT_TRUE(m.sampleEntry(m.track("vide")));
        EXPECT_EQ(m.sampleEntry(m.track("vide"))->type, "avc1") << codec;
        const DecodedBarcodes whole = decodeBarcodes(QString::fromStdString(path), BarcodePixels::Uyvy422);
        ASSERT_TRUE(whole.ok) << whole.errors.toStdString();
        EXPECT_GE(whole.indices.size(), 25u) << codec;

        // The cut-off copy still holds the tables for the whole minute; every frame that reached the
        // disk decodes, in order, and the slots' filler is skipped.
        const ToolResult run = runTool(ffmpegProgram(), {"-v", "quiet", "-i", cut, "-frames:v", "20", "-f",
                                                         "rawvideo", "-pix_fmt", "uyvy422", "-"});
        ASSERT_EQ(run.output.size(), qsizetype(20) * 128 * 72 * 2) << codec << run.errors.toStdString();
        const auto* frames = reinterpret_cast<const uint8_t*>(run.output.constData());
        const std::optional<uint32_t> start = platform::FrameBarcode::read(frames, 128, 72, 256, BarcodePixels::Uyvy422);
        ASSERT_TRUE(start.has_value());
        for (int k = 1; k < 20; ++k)
            EXPECT_EQ(platform::FrameBarcode::read(frames + size_t(k) * 128 * 72 * 2, 128, 72, 256,
                                                   BarcodePixels::Uyvy422),
                      std::optional<uint32_t>(*start + uint32_t(k)))
                << codec << " frame " << k;
    }
    testsupport::capturedEngineLog();
}
