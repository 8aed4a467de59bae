#pragma once
// One media file opened for playback: the file, the demuxer over its own I/O, the streams chosen,
// the codecs opened and what was learned of them. The engine plays one; the next cue's is opened
// beside it ahead of time and handed to the engine's running threads whole.

#include "engine/decoder/ssDecoderTypes.h"

#include <cstdint>
#include <string>

struct AVCodec;
struct AVCodecContext;
struct AVFormatContext;
struct AVIOContext;
class ssFile;

// What decides whether a clip can follow another through the same queues and render targets.
struct ssClipShape {
    int32_t width = 0;
    int32_t height = 0;
    int32_t aspectNum = 0;
    int32_t aspectDen = 0;
    int32_t fieldOrder = 0;
    double movieRate = 0.0;
    int32_t audioStreams = 0;
    int32_t audioChannels[ssMaxAudioStreams] = {};

    bool operator==(const ssClipShape& other) const;
};

struct ssClipFile {
    ssClipFile() = default;
    ~ssClipFile();
    ssClipFile(const ssClipFile&) = delete;
    ssClipFile& operator=(const ssClipFile&) = delete;

    // Opens a file for a given output (the audio preroll depends on it): 0, -1 (no file, or no
    // output: hasOutput false), -12 (no memory for a codec context) or the failing FFmpeg error.
    // Whatever failed is logged; the clip is left closed.
    int32_t Open(const char* path, const ssOutputFormat& output, bool hasOutput);
    // Frees everything; the clip may be opened again.
    void Close();
    ssClipShape Shape() const;
    // The video stream's timestamp of an engine time (seconds from the video stream's start).
    int64_t VideoTimestamp(double seconds) const;
    // Moves the demuxer to the keyframe at or before an engine time.
    void SeekTo(double seconds);

    std::string path;
    ssFile* file = nullptr;
    AVFormatContext* format = nullptr;
    AVIOContext* io = nullptr;
    AVCodecContext* video = nullptr;
    const AVCodec* videoDecoder = nullptr;
    AVCodecContext* audio[ssMaxAudioStreams] = {};
    int32_t videoStream = -1;
    int32_t audioStreams[ssMaxAudioStreams] = {};
    int32_t audioStreamCount = 0;
    int32_t audioChannels[ssMaxAudioStreams] = {};
    int32_t totalAudioChannels = 0;
    int32_t bytesPerDecodedSample = 4;
    double duration = 0.0;
    // The rate frames are counted in (a usable one even when the file names none) and the
    // stream's own average rate as written.
    double frameRate = 29.97;
    double movieRate = 0.0;
    double startTime = 0.0;
    double audioClockOffset = 0.0;
    int32_t fieldOrder = 0;
    int32_t pixelFormat = -1;
    int32_t hasTimeCode = 0;
    std::string timeCodeText;
    int32_t timeCodeParts[4] = {};
    double timeCodeOffset = 0.0;

private:
    int32_t OpenDemuxer();
    int32_t FindVideoStream(const ssOutputFormat& output);
    void ScanStreams();
    int32_t OpenVideoCodec();
    int32_t OpenAudioCodecs();
};
