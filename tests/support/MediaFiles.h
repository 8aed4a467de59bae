#pragma once

// Where the media fixture's clips are and independent ways to look at them: the ffmpeg and
// ffprobe tools, never the product's own decoder. Tests that use these need FIXTURES media
// (media_large for MediaSet::Large clips) and LABELS media.

#include "tests/support/Barcode.h"
#include "tests/support/media/MediaCatalog.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace testsupport {

// $KLV_TEST_DATA/media, or the configured build's test-data/media when the variable is unset.
QString mediaFolder();
QString mediaPath(const MediaClip& clip);
QString mediaPath(std::string_view name);

// The tools found when the build was configured.
QString ffmpegProgram();
QString ffprobeProgram();

struct ToolResult {
    bool started = false;
    int exitCode = -1;
    QByteArray output;
    QByteArray errors;
    bool ok() const { return started && exitCode == 0; }
};

// Runs a program to completion (killed after timeoutMs).
ToolResult runTool(const QString& program, const QStringList& arguments, int timeoutMs = 120000);

// ffprobe -show_format -show_streams (plus extra arguments) as JSON; empty on failure.
QJsonObject probeMedia(const QString& path, const QStringList& extraArguments = {});

struct DecodedBarcodes {
    bool ok = false;    // ffmpeg ran and every output frame was complete
    int width = 0;      // of the decoded frames
    int height = 0;
    std::vector<std::optional<std::uint32_t>> indices; // one per decoded frame, in output order
    QByteArray errors;  // what ffmpeg said on failure
};

// Decodes every video frame of `path` with the ffmpeg tool into `layout` (no frame dropped or
// repeated) and reads the barcode of each.
DecodedBarcodes decodeBarcodes(const QString& path, BarcodePixels layout);

// Decodes audio stream `stream` of `path` with the ffmpeg tool to signed 16-bit mono samples at
// `sampleRate`; empty on failure.
std::vector<std::int16_t> decodeAudio(const QString& path, int stream, int sampleRate = 48000);

} // namespace testsupport
