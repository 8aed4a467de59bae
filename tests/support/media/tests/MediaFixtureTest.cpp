#include "tests/support/MediaFiles.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

using namespace testsupport;

namespace {

#ifdef KLV_MEDIA_LARGE_SET
constexpr MediaSet kSet = MediaSet::Large;
#else
constexpr MediaSet kSet = MediaSet::Default;
#endif

std::vector<const MediaClip*> clipsOfSet(bool withVideoOnly)
{
    std::vector<const MediaClip*> clips;
    for (const auto& clip : mediaCatalog())
        if (clip.set == kSet && (!withVideoOnly || clip.hasVideo()))
            clips.push_back(&clip);
    return clips;
}

std::string clipName(const testing::TestParamInfo<const MediaClip*>& info)
{
    return info.param->name;
}

QJsonObject streamOfType(const QJsonObject& probe, const QString& type, int nth = 0)
{
    for (const auto& value : probe.value(QStringLiteral("streams")).toArray()) {
        const QJsonObject stream = value.toObject();
        if (stream.value(QStringLiteral("codec_type")).toString() == type && nth-- == 0)
            return stream;
    }
    return {};
}

QString str(const QJsonObject& object, const char* key)
{
    return object.value(QLatin1String(key)).toString();
}

class MediaClipTest : public testing::TestWithParam<const MediaClip*> {
protected:
    const MediaClip& clip() const { return *GetParam(); }
    QString path() const { return mediaPath(clip()); }
};

} // namespace

TEST(MediaFixture, MadeEveryClipOfTheSetAndTheManifest)
{
    for (const MediaClip* clip : clipsOfSet(false)) {
        const QFileInfo info(mediaPath(*clip));
        EXPECT_TRUE(info.isFile()) << clip->name;
        EXPECT_GT(info.size(), 0) << clip->name;
    }
    QFile manifest(mediaFolder() + QStringLiteral("/manifest.json"));
    ASSERT_TRUE(manifest.open(QIODevice::ReadOnly));
    const QJsonArray listed = QJsonDocument::fromJson(manifest.readAll()).object().value(QStringLiteral("clips")).toArray();
    ASSERT_EQ(listed.size(), static_cast<qsizetype>(mediaCatalog().size()));
    QSet<QString> names;
    for (const auto& entry : listed)
        names.insert(str(entry.toObject(), "name"));
    for (const auto& clip : mediaCatalog())
        EXPECT_TRUE(names.contains(QString::fromStdString(clip.name))) << clip.name;
    EXPECT_THROW(mediaClip("no such clip"), std::out_of_range);
}

#ifndef KLV_MEDIA_LARGE_SET
TEST(MediaFixture, NotMediaIsRefusedByFfprobe)
{
    const ToolResult result = runTool(ffprobeProgram(), {QStringLiteral("-v"), QStringLiteral("error"),
                                                         mediaPath("not_media")});
    ASSERT_TRUE(result.started);
    EXPECT_NE(result.exitCode, 0);
}
#endif

// What ffprobe reports agrees with the catalog entry.
TEST_P(MediaClipTest, ProbesAsCatalogued)
{
    const QJsonObject probe = probeMedia(path(), {QStringLiteral("-count_frames")});
    const QJsonObject video = streamOfType(probe, QStringLiteral("video"));
    ASSERT_FALSE(video.isEmpty()) << path().toStdString();
    EXPECT_EQ(str(video, "codec_name").toStdString(), clip().codec);
    EXPECT_EQ(str(video, "pix_fmt").toStdString(), clip().pixelFormat);
    EXPECT_EQ(video.value(QStringLiteral("width")).toInt(), clip().width);
    EXPECT_EQ(video.value(QStringLiteral("height")).toInt(), clip().height);
    const int counted = str(video, "nb_read_frames").toInt();
    if (clip().kind == MediaKind::Truncated) {
        EXPECT_GT(counted, 0);
        EXPECT_LT(counted, clip().frames);
    } else {
        EXPECT_EQ(counted, clip().frames);
    }
    if (clip().kind != MediaKind::Still) {
        EXPECT_EQ(str(video, "r_frame_rate").toStdString(),
                  std::to_string(clip().rateNum) + "/" + std::to_string(clip().rateDen));
    }

    ASSERT_EQ(static_cast<int>(clip().audio.size()) > 0, !streamOfType(probe, QStringLiteral("audio")).isEmpty());
    for (std::size_t i = 0; i < clip().audio.size(); ++i) {
        const QJsonObject audio = streamOfType(probe, QStringLiteral("audio"), static_cast<int>(i));
        ASSERT_FALSE(audio.isEmpty()) << "audio stream " << i;
        EXPECT_EQ(str(audio, "codec_name").toStdString(), clip().audio[i].codec);
        EXPECT_EQ(audio.value(QStringLiteral("channels")).toInt(), clip().audio[i].channels);
        EXPECT_EQ(str(audio, "sample_rate").toInt(), clip().audio[i].sampleRate);
    }
    EXPECT_TRUE(streamOfType(probe, QStringLiteral("audio"), static_cast<int>(clip().audio.size())).isEmpty());

    const QString timecode = video.value(QStringLiteral("tags")).toObject().value(QStringLiteral("timecode")).toString();
    EXPECT_EQ(timecode.toStdString(), clip().startTimecode);

    const QJsonObject format = probe.value(QStringLiteral("format")).toObject();
    if (clip().startSeconds > 0) {
        EXPECT_NEAR(str(format, "start_time").toDouble(), clip().startSeconds, 0.1);
    }

    // Interlacing as the decoder sees the first frame.
    const QJsonObject frames = probeMedia(path(), {QStringLiteral("-select_streams"), QStringLiteral("v:0"),
                                                   QStringLiteral("-read_intervals"), QStringLiteral("%+#1"),
                                                   QStringLiteral("-show_frames")});
    const QJsonArray frameList = frames.value(QStringLiteral("frames")).toArray();
    ASSERT_FALSE(frameList.isEmpty());
    EXPECT_EQ(frameList.first().toObject().value(QStringLiteral("interlaced_frame")).toInt() == 1, clip().interlaced);
}

// Each audio stream is its tone for as long as the video runs (a truncated clip: part of it).
TEST_P(MediaClipTest, AudioIsTheCataloguedTone)
{
    constexpr int kRate = 48000;
    for (std::size_t i = 0; i < clip().audio.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "audio stream " << i);
        const std::vector<std::int16_t> samples = decodeAudio(path(), static_cast<int>(i), kRate);
        const double seconds = double(samples.size()) / kRate;
        if (clip().kind == MediaKind::Truncated) {
            ASSERT_GT(seconds, 0.1);
            EXPECT_LT(seconds, clip().durationSeconds() - 0.1);
        } else {
            ASSERT_NEAR(seconds, clip().durationSeconds(), 0.1);
        }
        int rising = 0;
        int peak = 0;
        for (std::size_t k = 1; k < samples.size(); ++k) {
            rising += samples[k - 1] < 0 && samples[k] >= 0;
            peak = std::max(peak, std::abs(int(samples[k])));
        }
        EXPECT_NEAR(rising / seconds, clip().audio[i].toneHz, clip().audio[i].toneHz * 0.03);
        EXPECT_GT(peak, 1000);
    }
}

// Every frame decodes with its own index, in RGB and in 4:2:2, none lost or repeated.
TEST_P(MediaClipTest, EveryFrameCarriesItsIndex)
{
    for (BarcodePixels layout : {BarcodePixels::Rgb24, BarcodePixels::Uyvy422}) {
        SCOPED_TRACE(layout == BarcodePixels::Rgb24 ? "rgb24" : "uyvy422");
        const DecodedBarcodes decoded = decodeBarcodes(path(), layout);
        EXPECT_EQ(decoded.width, clip().width);
        EXPECT_EQ(decoded.height, clip().height);
        if (clip().kind == MediaKind::Truncated) {
            // Whatever survives decodes in order from the first frame; the cut-off tail is gone.
            ASSERT_FALSE(decoded.indices.empty()) << decoded.errors.toStdString();
            EXPECT_LT(decoded.indices.size(), static_cast<std::size_t>(clip().frames));
            for (std::size_t i = 0; i + 1 < decoded.indices.size(); ++i)
                EXPECT_EQ(decoded.indices[i], static_cast<std::uint32_t>(i)) << "frame " << i;
            continue;
        }
        ASSERT_TRUE(decoded.ok) << decoded.errors.toStdString();
        ASSERT_EQ(decoded.indices.size(), static_cast<std::size_t>(clip().frames));
        for (std::size_t i = 0; i < decoded.indices.size(); ++i)
            EXPECT_EQ(decoded.indices[i], static_cast<std::uint32_t>(i)) << "frame " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Clips, MediaClipTest, testing::ValuesIn(clipsOfSet(true)), clipName);
