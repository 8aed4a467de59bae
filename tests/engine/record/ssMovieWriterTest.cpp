#include "engine/record/ssMovieAtoms.h"
#include "engine/record/ssMovieWriter.h"
#include "engine/record/ssTimecodeNumber.h"
#include "tests/engine/record/CompressedFrames.h"
#include "tests/engine/record/MediaChecks.h"
#include "tests/engine/record/MovieFile.h"
#include "tests/support/EngineLog.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <QDir>

#include <cmath>

using namespace testsupport;

namespace {

struct Recording {
    int width = 128, height = 72;
    int codec = 1;
    double rate = 25.0;
    int interlaced = 0, bottomFirst = 0;
    int channels = 2;
    double limit = 4.0;
    int frames = 60;
    double timecode = 3600.0; // 01:00:00:00
};

int32_t slotSizeOf(const Recording& r)
{
    return r.width * r.height; // one byte per pixel: room for any test frame
}

// Writes r.frames barcoded frames with a frame period of ramp audio each, then finishes.
void record(const std::string& path, const Recording& r)
{
    CompressedFrames frames(r.width, r.height, r.codec, r.rate, r.interlaced != 0, !r.bottomFirst);
    ASSERT_TRUE(frames.ok());
    ssMovieWriter writer;
    writer.SetCodecIndex(r.codec);
    ASSERT_EQ(writer.Open(path.c_str(), r.width, r.height, r.interlaced, r.bottomFirst, r.rate, r.limit, r.channels,
                          slotSizeOf(r)),
              0);
    writer.SetStartTimecode(r.timecode);
    int64_t samples = 0;
    for (int k = 0; k < r.frames; ++k) {
        const int64_t end = int64_t(std::floor(double(k + 1) * 48000.0 / r.rate + 1e-9));
        const auto audio = rampAudio(samples, int(end - samples), r.channels);
        writer.WriteAudio(audio.data(), int32_t(audio.size()));
        samples = end;
        const auto& frame = frames.frame(uint32_t(k));
        ASSERT_EQ(writer.WriteVideo(frame.data(), int32_t(frame.size())), 0);
    }
    writer.Finish();
    writer.Finish(); // only once
}

std::string fourcc(const MovieFile& m, int64_t at)
{
    return std::string(reinterpret_cast<const char*>(&m.bytes[size_t(at)]), 4);
}

} // namespace

TEST(ssMovieAtoms, TimeBasesAndDropFrameFollowTheRate)
{
    EXPECT_EQ(ssTimeBaseForRate(30000.0 / 1001).timeScale, 30000u);
    EXPECT_EQ(ssTimeBaseForRate(30000.0 / 1001).sampleDuration, 1001u);
    EXPECT_EQ(ssTimeBaseForRate(60000.0 / 1001).timeScale, 60000u);
    EXPECT_EQ(ssTimeBaseForRate(24000.0 / 1001).timeScale, 24000u);
    for (double rate : {24.0, 25.0, 30.0, 50.0, 60.0}) {
        EXPECT_EQ(ssTimeBaseForRate(rate).timeScale, uint32_t(rate * 1000)) << rate;
        EXPECT_EQ(ssTimeBaseForRate(rate).sampleDuration, 1000u) << rate;
    }
    EXPECT_TRUE(ssIsDropFrameRate(30000.0 / 1001));
    EXPECT_TRUE(ssIsDropFrameRate(60000.0 / 1001));
    EXPECT_FALSE(ssIsDropFrameRate(24000.0 / 1001));
    EXPECT_FALSE(ssIsDropFrameRate(30.0));

    // Frame numbers of time codes: drop-frame counts at the NTSC rates, plain counts elsewhere.
    const double ntsc = 30000.0 / 1001;
    EXPECT_EQ(ssTimecodeFrameNumber(3600.0, ntsc), 107892u);                   // 01:00:00;00
    EXPECT_EQ(ssTimecodeFrameNumber(90.0, ntsc), 2698u);                       // 00:01:30;00
    EXPECT_EQ(ssTimecodeFrameNumber(3601.0 + 15.0 / ntsc, ntsc), 107892u + 45); // 01:00:01;15
    EXPECT_EQ(ssTimecodeFrameNumber(3600.0, 25.0), 90000u);
    EXPECT_EQ(ssTimecodeFrameNumber(3600.0 + 23.0 / 25.0, 25.0), 90023u);
    EXPECT_EQ(ssTimecodeFrameNumber(3600.0, 24000.0 / 1001), 86400u);
    EXPECT_EQ(ssTimecodeFrameNumber(0.0, 25.0), 0u);
}

TEST(ssAtom, WritersAreBigEndianAndLayoutNestsSizes)
{
    ssAtom root("moov");
    root.Write64(0x0102030405060708ULL);
    root.Write24(0x0A0B0C);
    root.Write16(0xBEEF);
    root.WriteDouble(48000.0);
    root.WriteFloat(1.5f);
    ssAtom* child = root.AddChild(new ssAtom("trak"));
    child->Write32(7);
    child->SetPosition(0);
    child->Write8(9); // rewrites the first payload byte in place
    for (int i = 1; i < ssAtom::kMaxChildren; ++i)
        ASSERT_NE(root.AddChild(new ssAtom("free")), nullptr);
    EXPECT_EQ(root.AddChild(new ssAtom("free")), nullptr); // a 33rd child is refused
    EXPECT_EQ(root.Measure(), 8 + 8 + 3 + 2 + 8 + 4 + 12 + 31 * 8);
    std::vector<uint8_t> out;
    ASSERT_TRUE(root.Layout(out));
    ASSERT_EQ(int64_t(out.size()), root.GetTotalSize());
    const std::vector<uint8_t> head = {0, 0, 1, 37, 'm', 'o', 'o', 'v', 1, 2, 3, 4, 5, 6, 7, 8, 0x0A, 0x0B, 0x0C, 0xBE, 0xEF,
                                       0x40, 0xE7, 0x70, 0, 0, 0, 0, 0, 0x3F, 0xC0, 0, 0,
                                       0, 0, 0, 12, 't', 'r', 'a', 'k', 9, 0, 0, 7, 0, 0, 0, 8, 'f', 'r', 'e', 'e'};
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + int(head.size())), head);
}

TEST(ssMovieWriter, SlotsChunksAndTablesMatchTheBytesOnDisk)
{
    TempFolder folder;
    const std::string path = QDir(folder.path()).filePath("slots.mov").toStdString();
    Recording r; // 25 fps, 2 channels, room for 4 s, 60 frames (2.4 s) recorded
    testsupport::captureEngineLog();
    record(path, r);
    const std::string log = testsupport::capturedEngineLog();
    EXPECT_NE(log.find("Allocated 1 MB for video q, 1 MB for audio q"), std::string::npos) << log;
    EXPECT_NE(log.find("Writing first audio frame at"), std::string::npos);

    MovieFile m(path);
    ASSERT_EQ(m.top.children.size(), 3u);
    EXPECT_EQ(m.top.children[0].type, "moov");
    EXPECT_EQ(m.top.children[1].type, "free"); // the room the shrunk tables left
    const Atom& mdat = m.top.children[2];
    EXPECT_EQ(mdat.type, "mdat");
    EXPECT_EQ(mdat.offset + mdat.size, m.fileSize); // exact size, nothing after it
    const int64_t slot = slotSizeOf(r);
    const int64_t chunk = 48000 * 2 * 2;
    const int64_t partialBytes = 48000 * 4 * 2 / 5; // 0.4 s
    EXPECT_EQ(mdat.size, 16 + 4 + 60 * slot + 2 * chunk + partialBytes);

    const Atom* video = m.track("vide");
    const Atom* sound = m.track("soun");
    const Atom* tc = m.track("tmcd");
    ASSERT_TRUE(video && sound && tc);
    // Video offsets: frame after frame, with a chunk after frames 25 and 50.
    const auto offsets = m.chunkOffsets(video);
    ASSERT_EQ(offsets.size(), 60u);
    CompressedFrames frames(r.width, r.height, r.codec, r.rate);
    for (int k = 0; k < 60; ++k) {
        const int64_t expected = mdat.payload + 4 + k * slot + (k / 25) * chunk;
        ASSERT_EQ(int64_t(offsets[size_t(k)]), expected) << k;
        const auto& frame = frames.frame(uint32_t(k));
        auto onDisk = m.read(expected, slot);
        ASSERT_EQ(std::vector<uint8_t>(onDisk.begin(), onDisk.begin() + int(frame.size())), frame) << k;
        EXPECT_TRUE(std::all_of(onDisk.begin() + int(frame.size()), onDisk.end(), [](uint8_t b) { return b == 0; }));
    }
    const Atom* stsz = video->find("mdia/minf/stbl/stsz");
    EXPECT_EQ(m.u32(stsz->payload + 4), uint32_t(slot));
    EXPECT_EQ(m.u32(stsz->payload + 8), 60u);
    const Atom* stts = video->find("mdia/minf/stbl/stts");
    EXPECT_EQ(m.u32(stts->payload + 8), 60u);
    EXPECT_EQ(m.u32(stts->payload + 12), 1000u);
    EXPECT_EQ(m.u32(video->find("mdia/mdhd")->payload + 12), 25000u);
    EXPECT_EQ(m.u32(video->find("mdia/mdhd")->payload + 16), 60000u);

    // Audio: two whole seconds where the frames closed them, then the last 0.4 s after the data.
    const auto audioOffsets = m.chunkOffsets(sound);
    ASSERT_EQ(audioOffsets.size(), 3u);
    EXPECT_EQ(int64_t(audioOffsets[0]), mdat.payload + 4 + 25 * slot);
    EXPECT_EQ(int64_t(audioOffsets[1]), mdat.payload + 4 + 50 * slot + chunk);
    EXPECT_EQ(int64_t(audioOffsets[2]), mdat.payload + 4 + 60 * slot + 2 * chunk);
    for (int c = 0; c < 3; ++c) {
        const auto pcm = m.read(int64_t(audioOffsets[size_t(c)]), 16);
        for (int i = 0; i < 4; ++i) // sample frames c * 48000 + i/2, channel i % 2
            ASSERT_EQ(int16_t(pcm[size_t(2 * i)] | pcm[size_t(2 * i + 1)] << 8), rampSample(c * 48000 + i / 2, i % 2));
    }
    const Atom* astsc = sound->find("mdia/minf/stbl/stsc");
    ASSERT_EQ(m.u32(astsc->payload + 4), 2u);
    EXPECT_EQ(m.u32(astsc->payload + 12), 48000u);
    EXPECT_EQ(m.u32(astsc->payload + 20), 3u);
    EXPECT_EQ(m.u32(astsc->payload + 24), 19200u);
    EXPECT_EQ(m.u32(sound->find("mdia/minf/stbl/stts")->payload + 8), 2u * 48000 + 19200);
    const Atom* lpcm = m.sampleEntry(sound);
    ASSERT_TRUE(lpcm);
    EXPECT_EQ(lpcm->type, "lpcm");
    EXPECT_EQ(lpcm->child("chan"), nullptr); // two channels need no layout

    // Time code: 01:00:00:00 at 25 fps, no drop frame, its sample in front of the first frame.
    const Atom* tmcd = m.sampleEntry(tc);
    ASSERT_TRUE(tmcd);
    EXPECT_EQ(m.u32(tmcd->payload + 12), 0x0Au);
    EXPECT_EQ(m.u32(tmcd->payload + 16), 2500u);
    EXPECT_EQ(m.u32(tmcd->payload + 20), 100u);
    EXPECT_EQ(m.u8(tmcd->payload + 24), 25);
    EXPECT_EQ(m.chunkOffsets(tc), std::vector<uint64_t>{uint64_t(mdat.payload)});
    const auto sample = m.read(mdat.payload, 4);
    EXPECT_EQ(sample, (std::vector<uint8_t>{0, 1, 0x5F, 0x90})); // 90000

    const Atom* entry = m.sampleEntry(video);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->type, "apch");
    EXPECT_EQ(fourcc(m, entry->payload + 12), "apl0");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&m.bytes[size_t(entry->payload + 43)]), 20),
              "Apple ProRes 422(HQ)");
    EXPECT_EQ(m.u16(entry->child("fiel")->payload), 0x0100);
    EXPECT_EQ(entry->child("orfo"), nullptr);
    EXPECT_EQ(m.u16(entry->child("colr")->payload + 4), 6); // 72 lines count as standard definition
    EXPECT_EQ(m.u32(video->find("tref/tmcd")->payload), 2u);

    checkWithTools(QString::fromStdString(path),
                   {"apch", "25/1", 60, "01:00:00:00", 2, "progressive", ""});
    const DecodedBarcodes decoded = decodeBarcodes(QString::fromStdString(path), BarcodePixels::Uyvy422);
    ASSERT_TRUE(decoded.ok) << decoded.errors.toStdString();
    ASSERT_EQ(decoded.indices.size(), 60u);
    for (uint32_t k = 0; k < 60; ++k)
        EXPECT_EQ(decoded.indices[k], k);
}

TEST(ssMovieWriter, InterlacedNtscWithSixteenChannelsDescribesFieldsLayoutAndDropFrame)
{
    TempFolder folder;
    const std::string path = QDir(folder.path()).filePath("ntsc.mov").toStdString();
    Recording r;
    r.width = 720;
    r.height = 486;
    r.codec = 4;
    r.rate = 30000.0 / 1001;
    r.interlaced = 1;
    r.bottomFirst = 1;
    r.channels = 16;
    r.limit = 2;
    r.frames = 45;
    r.timecode = 3601.0 + 15.0 / r.rate; // 01:00:01;15
    testsupport::captureEngineLog();
    record(path, r);
    testsupport::capturedEngineLog();

    MovieFile m(path);
    const Atom* entry = m.sampleEntry(m.track("vide"));
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->type, "apco");
    EXPECT_EQ(m.u16(entry->child("fiel")->payload), 0x0206); // two fields, bottom first
    ASSERT_NE(entry->child("orfo"), nullptr);
    EXPECT_EQ(m.u16(entry->child("colr")->payload + 4), 6); // SMPTE 170M primaries
    EXPECT_EQ(m.u16(entry->child("colr")->payload + 8), 6); // BT.601 matrix
    const Atom* stts = m.track("vide")->find("mdia/minf/stbl/stts");
    EXPECT_EQ(m.u32(stts->payload + 12), 1001u);
    const Atom* tmcd = m.sampleEntry(m.track("tmcd"));
    EXPECT_EQ(m.u32(tmcd->payload + 12), 0x0Bu);
    EXPECT_EQ(m.u8(tmcd->payload + 24), 30);

    const Atom* lpcm = m.sampleEntry(m.track("soun"));
    ASSERT_TRUE(lpcm);
    const Atom* chan = lpcm->child("chan");
    ASSERT_NE(chan, nullptr);
    EXPECT_EQ(m.u32(chan->payload + 12), 16u);
    for (uint32_t c = 0; c < 16; ++c)
        EXPECT_EQ(m.u32(chan->payload + 16 + 20 * c), 0x10000u + c);
    EXPECT_EQ(m.u32(lpcm->payload + 40), 16u); // channel count of the v2 description

    checkWithTools(QString::fromStdString(path),
                   {"apco", "30000/1001", 45, "01:00:01;15", 16, "bb", "BFF"});
}

TEST(ssMovieWriter, OversizeFramesAreCutAndTheFrameLimitHolds)
{
    TempFolder folder;
    const std::string path = QDir(folder.path()).filePath("limit.mov").toStdString();
    ssMovieWriter writer;
    ASSERT_EQ(writer.Open(path.c_str(), 64, 36, 0, 0, 25.0, 0.2, 0, 1000), 0);
    EXPECT_EQ(writer.GetMaxFrames(), 5);
    std::vector<uint8_t> big(1500, 0xAB);
    testsupport::captureEngineLog();
    EXPECT_EQ(writer.WriteVideo(big.data(), 1500), -3);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(writer.WriteVideo(big.data(), 10), 0);
    EXPECT_EQ(writer.WriteVideo(big.data(), 10), 0); // beyond the limit: refused quietly
    writer.Finish();
    const std::string log = testsupport::capturedEngineLog();
    EXPECT_NE(log.find("uh oh, video frame is 1500 and bigger than frame size of 1000"), std::string::npos);
    EXPECT_NE(log.find("Reached EOF"), std::string::npos);
    EXPECT_EQ(writer.GetFramesWritten(), 5);
    EXPECT_EQ(writer.WriteVideo(big.data(), 10), -1); // finished

    MovieFile m(path);
    const Atom* video = m.track("vide");
    ASSERT_TRUE(video);
    EXPECT_EQ(m.track("soun"), nullptr);
    EXPECT_EQ(m.u32(m.top.child("moov")->find("mvhd")->payload + 96), 3u); // next track ID without audio
    const auto offsets = m.chunkOffsets(video);
    ASSERT_EQ(offsets.size(), 5u);
    const auto first = m.read(int64_t(offsets[0]), 1000);
    EXPECT_TRUE(std::all_of(first.begin(), first.end(), [](uint8_t b) { return b == 0xAB; }));
}

TEST(ssMovieWriter, LimitsBeyondThirtyTwoBitDurationsAreCappedAndBadOpensFail)
{
    TempFolder folder;
    const std::string path = QDir(folder.path()).filePath("long.mov").toStdString();
    {
        ssMovieWriter writer;
        testsupport::captureEngineLog();
        ASSERT_EQ(writer.Open(path.c_str(), 64, 36, 0, 0, 25.0, 200000.0, 2, 64), 0);
        const std::string log = testsupport::capturedEngineLog();
        EXPECT_NE(log.find("is longer than a movie can describe"), std::string::npos) << log;
        // Audio samples are the longest count: 48000 per second must fit 32 bits.
        EXPECT_LE(writer.GetDurationLimit() * 48000.0, double(UINT32_MAX));
        EXPECT_GT(writer.GetDurationLimit(), 80000.0);
        writer.Finish();
    }
    MovieFile m(path);
    EXPECT_EQ(m.top.children.size(), 3u);
    EXPECT_EQ(m.chunkOffsets(m.track("vide")).size(), 0u);

    ssMovieWriter writer;
    testsupport::captureEngineLog();
    EXPECT_EQ(writer.Open("/nonexistent/folder/x.mov", 64, 36, 0, 0, 25.0, 1.0, 2, 64), -1);
    EXPECT_NE(testsupport::capturedEngineLog().find("Couldn't open file /nonexistent/folder/x.mov"),
              std::string::npos);
    EXPECT_EQ(writer.WriteVideo("x", 1), -1);
    writer.WriteAudio("xx", 2);
    writer.Finish();
}
