#pragma once

// Independent checks every recorded movie must pass: ffprobe's view of the streams, a silent full
// decode by ffmpeg, and mediainfo's accounting of the file.

#include "tests/support/MediaFiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <gtest/gtest.h>

namespace testsupport {

struct ExpectedMovie {
    QString codecTag;      // "apch"
    QString frameRate;     // "30000/1001"
    int frames = 0;
    QString timecode;      // "01:00:01;15"
    int channels = 0;      // 0: no audio stream
    QString fieldOrder;    // "progressive", "tt", "bb"
    QString scanOrder;     // mediainfo: "" for progressive, "TFF", "BFF"
    QString codecName = "prores"; // ffprobe's name of the video codec
};

inline QJsonObject streamOf(const QJsonObject& probe, const QString& type)
{
    for (const auto& s : probe.value("streams").toArray())
        if (s.toObject().value("codec_type").toString() == type)
            return s.toObject();
    return {};
}

inline void checkWithTools(const QString& path, const ExpectedMovie& e)
{
    SCOPED_TRACE(path.toStdString());
    const QJsonObject probe = probeMedia(path);
    ASSERT_FALSE(probe.isEmpty());
    const QJsonObject video = streamOf(probe, "video");
    EXPECT_EQ(video.value("codec_name").toString(), e.codecName);
    EXPECT_EQ(video.value("codec_tag_string").toString(), e.codecTag);
    EXPECT_EQ(video.value("r_frame_rate").toString(), e.frameRate);
    EXPECT_EQ(video.value("nb_frames").toString().toInt(), e.frames);
    EXPECT_EQ(video.value("field_order").toString(), e.fieldOrder);
    EXPECT_EQ(video.value("tags").toObject().value("timecode").toString(), e.timecode);
    const QJsonObject audio = streamOf(probe, "audio");
    if (e.channels > 0) {
        EXPECT_EQ(audio.value("codec_name").toString(), "pcm_s16le");
        EXPECT_EQ(audio.value("channels").toInt(), e.channels);
        EXPECT_EQ(audio.value("sample_rate").toString(), "48000");
    } else {
        EXPECT_TRUE(audio.isEmpty());
    }

    // A full decode says nothing at all.
    const ToolResult decode = runTool(ffmpegProgram(), {"-v", "error", "-i", path, "-f", "null", "-"});
    EXPECT_TRUE(decode.ok());
    EXPECT_EQ(decode.output + decode.errors, QByteArray());

    const ToolResult info = runTool("mediainfo", {"--Output=JSON", path});
    ASSERT_TRUE(info.ok()) << info.errors.toStdString();
    const QJsonArray tracks =
        QJsonDocument::fromJson(info.output).object().value("media").toObject().value("track").toArray();
    QJsonObject general, mvideo, other;
    for (const auto& t : tracks) {
        const QString type = t.toObject().value("@type").toString();
        if (type == "General")
            general = t.toObject();
        else if (type == "Video")
            mvideo = t.toObject();
        else if (type == "Other" && other.isEmpty())
            other = t.toObject();
    }
    const qint64 header = general.value("HeaderSize").toString().toLongLong();
    const qint64 data = general.value("DataSize").toString().toLongLong();
    const qint64 footer = general.value("FooterSize").toString().toLongLong();
    EXPECT_EQ(header + data + footer, general.value("FileSize").toString().toLongLong());
    EXPECT_GT(data, 0);
    EXPECT_EQ(mvideo.value("ScanOrder").toString(), e.scanOrder);
    EXPECT_EQ(mvideo.value("FrameCount").toString().toInt(), e.frames);
    EXPECT_EQ(other.value("TimeCode_FirstFrame").toString(), e.timecode);
}

} // namespace testsupport
