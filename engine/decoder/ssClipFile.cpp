// Opening a media file: demuxer over the engine's own file I/O, stream selection, time code and
// codecs; closing it again.

#include "engine/decoder/ssClipFile.h"

#include "engine/base/ssMessage.h"
#include "engine/decoder/ssTimeCodeText.h"
#include "engine/files/ssFile.h"

#include <algorithm>
#include <cmath>
#include <fcntl.h>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {
constexpr int kIOBufferSize = 4096;
// Frame threads each decode a picture of their own into a buffer of their own: at 1080 10-bit
// 4:2:2 that is 8 MB a thread, for every channel. Inter-coded material needs a few of them to keep
// up; beyond that they only cost memory.
constexpr int kMaxFrameThreads = 3;

// Intra-only codecs (ProRes, DNxHD, ...) cut every picture into slices decoded side by side:
// threads share one picture, so as many as FFmpeg picks cost nothing more.
void chooseDecoderThreads(AVCodecContext* context, const AVCodec* decoder)
{
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(decoder->id);
    const bool intraOnly = descriptor && (descriptor->props & AV_CODEC_PROP_INTRA_ONLY);
    if (intraOnly && (decoder->capabilities & AV_CODEC_CAP_SLICE_THREADS)) {
        context->thread_type = FF_THREAD_SLICE;
        context->thread_count = 0;
        return;
    }
    context->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    context->thread_count = std::clamp(int(std::thread::hardware_concurrency()), 1, kMaxFrameThreads);
}

// FFmpeg's I/O over the clip's ssFile.
int readFile(void* opaque, uint8_t* buffer, int size)
{
    auto* file = static_cast<ssFile*>(opaque);
    if (size < 0)
        return -1;
    const int64_t read = file->Read(buffer, size);
    // FFmpeg takes 0 for "try again"; the end of the file has to be said as such.
    return read > 0 ? int(read) : AVERROR_EOF;
}

int64_t seekFile(void* opaque, int64_t offset, int whence)
{
    auto* file = static_cast<ssFile*>(opaque);
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE)
        return file->GetSize();
    int64_t target;
    switch (whence) {
    case SEEK_SET:
        target = offset;
        break;
    case SEEK_CUR:
        target = file->GetPosition() + offset;
        break;
    case SEEK_END:
        target = file->GetSize() + offset;
        break;
    default:
        return -1;
    }
    if (target < 0) {
        ssMessage(2, "Trying to seek before the beginning");
        return -1;
    }
    int64_t size = file->GetSize();
    if (target >= size) {
        // The file may be growing while it is recorded.
        file->DropCachedSize();
        size = file->GetSize();
        if (target > size) {
            ssMessage(2, "Trying to seek too far : EOF? %ld %ld", long(size), long(target));
            return -1;
        }
    }
    return file->Seek(target, SEEK_SET);
}
} // namespace

bool ssClipShape::operator==(const ssClipShape& other) const
{
    return width == other.width && height == other.height && aspectNum * other.aspectDen == other.aspectNum * aspectDen &&
           fieldOrder == other.fieldOrder && std::fabs(movieRate - other.movieRate) < 0.001 &&
           audioStreams == other.audioStreams &&
           std::equal(audioChannels, audioChannels + audioStreams, other.audioChannels);
}

ssClipFile::~ssClipFile()
{
    Close();
}

int32_t ssClipFile::Open(const char* filePath, const ssOutputFormat& output, bool hasOutput)
{
    Close();
    path = filePath ? filePath : "";
    file = new ssFile();
    if (!file->Open(path.c_str(), O_RDONLY)) {
        if (file->LastError() == ssFile::kNotRegularFile)
            ssMessage(2, "Couldn't open %s: not a regular file (a pipe, device or socket)", path.c_str());
        else
            ssMessage(2, "Couldn't open %s", path.c_str());
        Close();
        return -1;
    }
    int32_t result = OpenDemuxer();
    if (result == 0 && format->duration != AV_NOPTS_VALUE && format->duration > 0)
        duration = double(format->duration) / 1000000.0;
    if (result == 0 && !hasOutput) {
        ssMessage(2, "No Output Device");
        result = -1;
    }
    if (result == 0)
        result = FindVideoStream(output);
    if (result == 0) {
        ScanStreams();
        result = OpenVideoCodec();
    }
    if (result == 0)
        result = OpenAudioCodecs();
    if (result != 0)
        Close();
    return result;
}

void ssClipFile::Close()
{
    avcodec_free_context(&video);
    for (auto*& context : audio)
        avcodec_free_context(&context);
    avformat_close_input(&format);
    if (io) {
        // The buffer may have been replaced by the demuxer; free the one the context holds now.
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
    delete file;
    file = nullptr;
    videoDecoder = nullptr;
    videoStream = -1;
    audioStreamCount = 0;
    totalAudioChannels = 0;
}

ssClipShape ssClipFile::Shape() const
{
    ssClipShape shape;
    if (format && videoStream >= 0) {
        const AVCodecParameters* parameters = format->streams[videoStream]->codecpar;
        shape.width = parameters->width > 0 ? parameters->width : (video ? video->width : 0);
        shape.height = parameters->height > 0 ? parameters->height : (video ? video->height : 0);
        shape.aspectNum = parameters->sample_aspect_ratio.num;
        shape.aspectDen = parameters->sample_aspect_ratio.den;
    }
    shape.fieldOrder = fieldOrder;
    shape.movieRate = movieRate;
    shape.audioStreams = audioStreamCount;
    std::copy(audioChannels, audioChannels + audioStreamCount, shape.audioChannels);
    return shape;
}

int64_t ssClipFile::VideoTimestamp(double seconds) const
{
    // Engine times count from the video stream's start; the demuxer wants the stream's own clock.
    const int64_t microseconds = std::llround((seconds + startTime) * 1000000.0);
    const AVRational base = format->streams[videoStream]->time_base;
    if (base.den == 0)
        return microseconds;
    return av_rescale_q(microseconds, AVRational{1, 1000000}, base);
}

void ssClipFile::SeekTo(double seconds)
{
    const int64_t target = VideoTimestamp(seconds);
    avformat_seek_file(format, videoStream, INT64_MIN, target, target, 0);
}

int32_t ssClipFile::OpenDemuxer()
{
    const AVInputFormat* inputFormat = av_find_input_format("ffmpeg-format");
    format = avformat_alloc_context();
    auto* buffer = static_cast<uint8_t*>(av_malloc(kIOBufferSize));
    if (!format || !buffer) {
        av_free(buffer);
        return AVERROR(ENOMEM);
    }
    io = avio_alloc_context(buffer, kIOBufferSize, 0, file, readFile, nullptr, seekFile);
    if (!io) {
        av_free(buffer);
        return AVERROR(ENOMEM);
    }
    io->seekable = AVIO_SEEKABLE_NORMAL;
    format->pb = io;
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    int result = avformat_open_input(&format, "dummyfile", inputFormat, nullptr);
    if (result < 0) {
        // avformat_open_input has freed the context, but never a caller's I/O context.
        ssMessage(2, "Error %d opening %s", result, path.c_str());
        return result;
    }
    result = avformat_find_stream_info(format, nullptr);
    if (result < 0) {
        ssMessage(2, "Error %d reading stream information", result);
        return result;
    }
    return 0;
}

int32_t ssClipFile::FindVideoStream(const ssOutputFormat& output)
{
    const AVCodec* decoder = nullptr;
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (index < 0 || !decoder) {
        const int code = index < 0 ? index : AVERROR_DECODER_NOT_FOUND;
        ssMessage(2, "Error %d finding video stream", code);
        return code;
    }
    videoStream = index;
    videoDecoder = decoder;
    const AVStream* stream = format->streams[index];
    AVRational rate = stream->avg_frame_rate;
    if (rate.num == 0 || rate.den == 0)
        rate = stream->r_frame_rate;
    frameRate = rate.den != 0 ? av_q2d(rate) : 0.0;
    movieRate = frameRate;
    if (!(frameRate >= 23.0 && frameRate <= 70.0))
        frameRate = 29.97;
    // MPEG-TS and -PS clips start at an arbitrary timestamp; engine times count from the first.
    startTime = stream->start_time != AV_NOPTS_VALUE ? double(stream->start_time) * av_q2d(stream->time_base) : 0.0;
    audioClockOffset = output.kind == 2 && output.frameRate > 0 ? 3.0 / output.frameRate : 0.0;
    return 0;
}

void ssClipFile::ScanStreams()
{
    hasTimeCode = 0;
    timeCodeText.clear();
    std::fill(std::begin(timeCodeParts), std::end(timeCodeParts), 0);
    audioStreamCount = 0;
    bool dataTimeCode = false;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        if (!stream->codecpar)
            continue;
        const AVMediaType type = stream->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_DATA && !dataTimeCode) {
            if (AVDictionaryEntry* entry = av_dict_get(stream->metadata, "timecode", nullptr, 0)) {
                if (ssParseTimeCode(entry->value, timeCodeParts, nullptr)) {
                    hasTimeCode = 1;
                    dataTimeCode = true;
                    timeCodeText = entry->value;
                } else {
                    ssMessage(2, "error reading timecode string %s", entry->value);
                    std::fill(std::begin(timeCodeParts), std::end(timeCodeParts), 0);
                }
            }
        } else if (type == AVMEDIA_TYPE_AUDIO) {
            const int channels = stream->codecpar->ch_layout.nb_channels;
            if (audioStreamCount >= ssMaxAudioStreams) {
                ssMessage(2, "Audio stream %u ignored: at most %d audio streams play", i, ssMaxAudioStreams);
                continue;
            }
            if (channels < 1 || channels > 64) {
                ssMessage(2, "Audio stream %u ignored: %d channels", i, channels);
                continue;
            }
            audioStreams[audioStreamCount] = int32_t(i);
            audioChannels[audioStreamCount] = channels;
            ++audioStreamCount;
        }
    }
    if (!hasTimeCode) {
        if (AVDictionaryEntry* entry = av_dict_get(format->metadata, "timecode", nullptr, 0)) {
            bool semicolon = false;
            if (ssParseTimeCode(entry->value, timeCodeParts, &semicolon)) {
                if (semicolon)
                    ssMessage(2, "Found timecode %s in avFormatContext", entry->value);
                hasTimeCode = 1;
                timeCodeText = entry->value;
            } else {
                ssMessage(2, "error reading timecode string %s", entry->value);
            }
        }
    }
    timeCodeOffset = 0.0;
    if (hasTimeCode) {
        const AVRational real = format->streams[videoStream]->r_frame_rate;
        const double fps = real.num > 0 && real.den > 0 ? av_q2d(real) : frameRate;
        timeCodeOffset = timeCodeParts[0] * 3600.0 + timeCodeParts[1] * 60.0 + timeCodeParts[2] + timeCodeParts[3] / fps;
    }
}

int32_t ssClipFile::OpenVideoCodec()
{
    const AVStream* stream = format->streams[videoStream];
    video = avcodec_alloc_context3(videoDecoder);
    if (!video)
        return -12;
    int result = avcodec_parameters_to_context(video, stream->codecpar);
    if (result >= 0) {
        video->pkt_timebase = stream->time_base;
        chooseDecoderThreads(video, videoDecoder);
        result = avcodec_open2(video, videoDecoder, nullptr);
    }
    if (result < 0) {
        ssMessage(2, "Error %d opening video codec", result);
        return result;
    }
    pixelFormat = video->pix_fmt;
    fieldOrder = video->field_order;
    // Bottom field shown first of a top-first coded movie: half the preroll.
    if (video->field_order == AV_FIELD_TB)
        audioClockOffset /= 2.0;
    return 0;
}

int32_t ssClipFile::OpenAudioCodecs()
{
    totalAudioChannels = 0;
    for (int j = 0; j < audioStreamCount; ++j) {
        const AVStream* stream = format->streams[audioStreams[j]];
        const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
        AVCodecContext* context = decoder ? avcodec_alloc_context3(decoder) : nullptr;
        if (decoder && !context)
            return -12;
        audio[j] = context;
        int result = decoder ? avcodec_parameters_to_context(context, stream->codecpar) : AVERROR_DECODER_NOT_FOUND;
        if (result >= 0) {
            context->pkt_timebase = stream->time_base;
            context->request_sample_fmt = AV_SAMPLE_FMT_S32;
            result = avcodec_open2(context, decoder, nullptr);
        }
        if (result < 0) {
            ssMessage(2, "Error %d opening audio codec", result);
            return result;
        }
        bytesPerDecodedSample = av_get_bytes_per_sample(context->sample_fmt);
        totalAudioChannels += audioChannels[j];
    }
    return 0;
}
