#include "tests/support/MediaFiles.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>

#include <cstring>

namespace testsupport {
namespace {

const char* ffmpegPixelFormat(BarcodePixels layout)
{
    switch (layout) {
    case BarcodePixels::Rgb24: return "rgb24";
    case BarcodePixels::Rgba: return "rgba";
    case BarcodePixels::Bgra: return "bgra";
    case BarcodePixels::Uyvy422: return "uyvy422";
    }
    return "rgb24";
}

} // namespace

QString mediaFolder()
{
    // The build's own folder when the variable is missing, so a test binary also runs by hand.
    QString data = qEnvironmentVariable("KLV_TEST_DATA");
    if (data.isEmpty())
        data = QStringLiteral(KLV_BUILD_TEST_DATA);
    return QDir(data).filePath(QStringLiteral("media"));
}

QString mediaPath(const MediaClip& clip)
{
    return QDir(mediaFolder()).filePath(QString::fromStdString(clip.file));
}

QString mediaPath(std::string_view name)
{
    return mediaPath(mediaClip(name));
}

QString ffmpegProgram()
{
    return QStringLiteral(KLV_FFMPEG_PATH);
}

QString ffprobeProgram()
{
    return QStringLiteral(KLV_FFPROBE_PATH);
}

ToolResult runTool(const QString& program, const QStringList& arguments, int timeoutMs)
{
    ToolResult result;
    QProcess process;
    process.start(program, arguments);
    result.started = process.waitForStarted();
    if (!result.started)
        return result;
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.errors = "timed out";
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.output = process.readAllStandardOutput();
    result.errors = process.readAllStandardError();
    return result;
}

QJsonObject probeMedia(const QString& path, const QStringList& extraArguments)
{
    QStringList arguments{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-of"), QStringLiteral("json"),
                          QStringLiteral("-show_format"), QStringLiteral("-show_streams")};
    arguments += extraArguments;
    arguments << path;
    const ToolResult result = runTool(ffprobeProgram(), arguments);
    return result.ok() ? QJsonDocument::fromJson(result.output).object() : QJsonObject();
}

DecodedBarcodes decodeBarcodes(const QString& path, BarcodePixels layout)
{
    DecodedBarcodes decoded;
    const QJsonObject probe = probeMedia(path, {QStringLiteral("-select_streams"), QStringLiteral("v:0")});
    const QJsonArray streams = probe.value(QStringLiteral("streams")).toArray();
    if (streams.isEmpty()) {
        decoded.errors = "no video stream";
        return decoded;
    }
    decoded.width = streams.first().toObject().value(QStringLiteral("width")).toInt();
    decoded.height = streams.first().toObject().value(QStringLiteral("height")).toInt();
    const qsizetype rowBytes = FrameBarcode::minRowBytes(decoded.width, layout);
    const qsizetype frameBytes = rowBytes * decoded.height;
    if (frameBytes <= 0) {
        decoded.errors = "no picture size";
        return decoded;
    }

    // Frames are read as they come, so a long clip never sits in memory whole.
    QProcess ffmpeg;
    ffmpeg.start(ffmpegProgram(), {QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"),
                                   QStringLiteral("-loglevel"), QStringLiteral("error"),
                                   QStringLiteral("-i"), path, QStringLiteral("-map"), QStringLiteral("0:v:0"),
                                   QStringLiteral("-fps_mode"), QStringLiteral("passthrough"),
                                   QStringLiteral("-f"), QStringLiteral("rawvideo"),
                                   QStringLiteral("-pix_fmt"), QString::fromLatin1(ffmpegPixelFormat(layout)),
                                   QStringLiteral("-")});
    if (!ffmpeg.waitForStarted()) {
        decoded.errors = "cannot start ffmpeg";
        return decoded;
    }
    QByteArray frame;
    auto takeFrames = [&] {
        frame += ffmpeg.readAllStandardOutput();
        qsizetype offset = 0;
        for (; frame.size() - offset >= frameBytes; offset += frameBytes) {
            const auto* pixels = reinterpret_cast<const std::uint8_t*>(frame.constData() + offset);
            decoded.indices.push_back(
                FrameBarcode::read(pixels, decoded.width, decoded.height, rowBytes, layout));
        }
        frame.remove(0, offset);
    };
    while (ffmpeg.state() != QProcess::NotRunning) {
        if (ffmpeg.waitForReadyRead(60000))
            takeFrames();
        else if (ffmpeg.state() != QProcess::NotRunning)
            break; // silent for a minute: give up
    }
    if (ffmpeg.state() != QProcess::NotRunning) {
        ffmpeg.kill();
        ffmpeg.waitForFinished();
        decoded.errors = "ffmpeg hung";
        return decoded;
    }
    takeFrames();
    decoded.errors = ffmpeg.readAllStandardError();
    decoded.ok = ffmpeg.exitStatus() == QProcess::NormalExit && ffmpeg.exitCode() == 0 && frame.isEmpty();
    return decoded;
}

std::vector<std::int16_t> decodeAudio(const QString& path, int stream, int sampleRate)
{
    const ToolResult result = runTool(
        ffmpegProgram(), {QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"), QStringLiteral("-loglevel"),
                          QStringLiteral("error"), QStringLiteral("-i"), path, QStringLiteral("-map"),
                          QStringLiteral("0:a:%1").arg(stream), QStringLiteral("-ac"), QStringLiteral("1"),
                          QStringLiteral("-ar"), QString::number(sampleRate), QStringLiteral("-f"),
                          QStringLiteral("s16le"), QStringLiteral("-")});
    std::vector<std::int16_t> samples;
    if (!result.ok())
        return samples;
    samples.resize(static_cast<std::size_t>(result.output.size()) / sizeof(std::int16_t));
    std::memcpy(samples.data(), result.output.constData(), samples.size() * sizeof(std::int16_t));
    return samples;
}

} // namespace testsupport
