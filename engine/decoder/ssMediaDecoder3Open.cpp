// Opening a file: demuxer over the engine's own file I/O, stream selection, time code, codecs,
// resamplers and the preallocated queues; closing it again.

#include "engine/decoder/ssMediaDecoder3.h"

#include "engine/base/ssCriticalSection.h"
#include "engine/base/ssEBuffer.h"
#include "engine/base/ssMessage.h"
#include "engine/base/ssHeapPolicy.h"
#include "engine/capture/ssSEBuffer.h"
#include "engine/audio/ssAudioMTosx.h"
#include "engine/decoder/ssTimeCodeText.h"
#include "engine/files/ssFile.h"

#include <algorithm>
#include <cmath>
#include <fcntl.h>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
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
} // namespace

int32_t ssMediaDecoder3::Open(const char* path, bool hasPreview, bool showFirstFrame)
{
    HasPreview_.store(hasPreview);
    Opening_.store(path && *path ? 1 : 0);
    sws_freeContext(Scaler_);
    Scaler_ = nullptr;
    ScalerLogged_ = false;
    Present_.loopPending.store(0);
    for (auto& adjust : AudioAdjust_)
        adjust.store(0);
    VideoAdjust_.store(0);

    ReleaseProgramsOnExit_.store(!path || !*path);
    CloseFile();
    ReleaseProgramsOnExit_.store(false);

    Present_.currentTime.store(0.0);
    Present_.frameTime.store(0.0);
    LastVideoPacketTime_.store(0.0);
    LoopShift_.store(0.0);
    LoopLength_.store(0.0);
    ReadEnd_ = 0.0;
    ResetReadTimes();
    LoopStreamsDone_ = 0;
    SkipToTarget_.store(0);
    LastSeekPosition_.store(0.0);
    Duration_ = 0.0;

    if (!path || !*path) {
        // Closing: a DeckLink output keeps playing out black, which its frames already hold.
        return HasOutput_ && Output_.kind == 2 ? 0 : -1;
    }
    FilePath_ = path;
    File_ = new ssFile();
    if (!File_->Open(path, O_RDONLY)) {
        if (File_->LastError() == ssFile::kNotRegularFile)
            ssMessage(2, "Couldn't open %s: not a regular file (a pipe, device or socket)", path);
        else
            ssMessage(2, "Couldn't open %s", path);
        return FailOpen(-1);
    }
    int32_t result = OpenDemuxer();
    if (result != 0)
        return FailOpen(result);
    if (FormatContext_->duration != AV_NOPTS_VALUE && FormatContext_->duration > 0)
        Duration_ = double(FormatContext_->duration) / 1000000.0;
    if (!HasOutput_) {
        ssMessage(2, "No Output Device");
        return FailOpen(-1);
    }
    if ((result = FindVideoStream()) != 0 || (result = ScanStreams()) != 0 ||
        (result = OpenVideoCodec()) != 0 || (result = OpenAudio()) != 0)
        return FailOpen(result);

    VideoFrame_ = av_frame_alloc();
    ReadPacket_ = av_packet_alloc();
    if (!VideoFrame_ || !ReadPacket_)
        return FailOpen(AVERROR(ENOMEM));
    CreatePacketQueues();
    if (!PacketHolders_)
        return FailOpen(AVERROR(ENOMEM));

    AudioOutput_->Pause();
    SetThreadStates(ssStatePaused);
    if (AudioStreamCount_ > 0)
        StartThread(kAudioThread, 40, [](void* self) -> void* {
            static_cast<ssMediaDecoder3*>(self)->AudioDecodeLoop();
            return nullptr;
        });
    CreateVideoQueue_ = 1;
    {
        std::lock_guard present(PresentLock_);
        NoFile_.store(0);
        StartThreads();
    }
    for (int i = 0; i < 4; ++i)
        StartTimeCode_[i].store(TimeCodeParts_[i]);
    // The first picture of an opened file is shown, also while paused: a cued clip shows where
    // it starts, and a still has no second frame to show. A clip cued further in shows nothing
    // until its seek: the file's start is outside its range.
    Present_.countdown.store(showFirstFrame ? ssPostSeekFrames : 0);
    SlateShowing_.store(ShowSlate_.load());
    return 0;
}

int32_t ssMediaDecoder3::FailOpen(int32_t result)
{
    // Whatever step failed, nothing of the attempt stays behind for the next Open to trip over.
    Opening_.store(0);
    CloseFile();
    return result;
}

int32_t ssMediaDecoder3::OpenDemuxer()
{
    const AVInputFormat* format = av_find_input_format("ffmpeg-format");
    FormatContext_ = avformat_alloc_context();
    auto* buffer = static_cast<uint8_t*>(av_malloc(kIOBufferSize));
    if (!FormatContext_ || !buffer) {
        av_free(buffer);
        return AVERROR(ENOMEM);
    }
    IOContext_ = avio_alloc_context(buffer, kIOBufferSize, 0, this, ReadCallback, nullptr, SeekCallback);
    if (!IOContext_) {
        av_free(buffer);
        return AVERROR(ENOMEM);
    }
    IOContext_->seekable = AVIO_SEEKABLE_NORMAL;
    FormatContext_->pb = IOContext_;
    FormatContext_->flags |= AVFMT_FLAG_CUSTOM_IO;
    int result = avformat_open_input(&FormatContext_, "dummyfile", format, nullptr);
    if (result < 0) {
        // avformat_open_input has freed the context, but never a caller's I/O context.
        ssMessage(2, "Error %d opening %s", result, FilePath_.c_str());
        return result;
    }
    result = avformat_find_stream_info(FormatContext_, nullptr);
    if (result < 0) {
        ssMessage(2, "Error %d reading stream information", result);
        return result;
    }
    return 0;
}

int32_t ssMediaDecoder3::FindVideoStream()
{
    const AVCodec* decoder = nullptr;
    int index = av_find_best_stream(FormatContext_, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (index < 0 || !decoder) {
        int code = index < 0 ? index : AVERROR_DECODER_NOT_FOUND;
        ssMessage(2, "Error %d finding video stream", code);
        return code;
    }
    VideoStreamIndex_ = index;
    VideoDecoder_ = decoder;
    AVStream* stream = FormatContext_->streams[index];
    AVRational rate = stream->avg_frame_rate;
    if (rate.num == 0 || rate.den == 0)
        rate = stream->r_frame_rate;
    FrameRate_ = rate.den != 0 ? av_q2d(rate) : 0.0;
    MovieRate_ = FrameRate_.load();
    if (!(FrameRate_ >= 23.0 && FrameRate_ <= 70.0))
        FrameRate_ = 29.97;
    FrameStep_ = 1.0 / FrameRate_;
    FrameDuration_ = 1.0 / FrameRate_;
    // MPEG-TS and -PS clips start at an arbitrary timestamp; engine times count from the first.
    StartTime_ = stream->start_time != AV_NOPTS_VALUE ? double(stream->start_time) * av_q2d(stream->time_base) : 0.0;
    AudioClockOffset_.store(Output_.kind == 2 && Output_.frameRate > 0 ? 3.0 / Output_.frameRate : 0.0);
    InPoint_.store(0.0);
    // The out point names the last frame's time: the whole file plays, its last frame included.
    OutPoint_.store(std::max(0.0, Duration_ - FrameDuration_));
    return 0;
}

int32_t ssMediaDecoder3::ScanStreams()
{
    HasTimeCode_ = 0;
    TimeCodeText_.clear();
    std::fill(std::begin(TimeCodeParts_), std::end(TimeCodeParts_), 0);
    for (auto& part : StartTimeCode_)
        part.store(0);
    AudioStreamCount_ = 0;
    bool dataTimeCode = false;
    for (unsigned i = 0; i < FormatContext_->nb_streams; ++i) {
        AVStream* stream = FormatContext_->streams[i];
        if (!stream->codecpar)
            continue;
        const AVMediaType type = stream->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_DATA && !dataTimeCode) {
            if (AVDictionaryEntry* entry = av_dict_get(stream->metadata, "timecode", nullptr, 0)) {
                if (ssParseTimeCode(entry->value, TimeCodeParts_, nullptr)) {
                    HasTimeCode_ = 1;
                    dataTimeCode = true;
                    TimeCodeText_ = entry->value;
                } else {
                    ssMessage(2, "error reading timecode string %s", entry->value);
                    std::fill(std::begin(TimeCodeParts_), std::end(TimeCodeParts_), 0);
                }
            }
        } else if (type == AVMEDIA_TYPE_AUDIO) {
            const int channels = stream->codecpar->ch_layout.nb_channels;
            if (AudioStreamCount_ >= ssMaxAudioStreams) {
                ssMessage(2, "Audio stream %u ignored: at most %d audio streams play", i, ssMaxAudioStreams);
                continue;
            }
            if (channels < 1 || channels > 64) {
                ssMessage(2, "Audio stream %u ignored: %d channels", i, channels);
                continue;
            }
            AudioStreamIndexes_[AudioStreamCount_] = int32_t(i);
            AudioChannels_[AudioStreamCount_] = channels;
            ++AudioStreamCount_;
        }
    }
    if (!HasTimeCode_) {
        if (AVDictionaryEntry* entry = av_dict_get(FormatContext_->metadata, "timecode", nullptr, 0)) {
            bool semicolon = false;
            if (ssParseTimeCode(entry->value, TimeCodeParts_, &semicolon)) {
                if (semicolon)
                    ssMessage(2, "Found timecode %s in avFormatContext", entry->value);
                HasTimeCode_ = 1;
                TimeCodeText_ = entry->value;
            } else {
                ssMessage(2, "error reading timecode string %s", entry->value);
            }
        }
    }
    TimeCodeOffset_ = 0.0;
    if (HasTimeCode_) {
        AVRational real = FormatContext_->streams[VideoStreamIndex_]->r_frame_rate;
        double fps = real.num > 0 && real.den > 0 ? av_q2d(real) : FrameRate_.load();
        TimeCodeOffset_ = TimeCodeParts_[0] * 3600.0 + TimeCodeParts_[1] * 60.0 + TimeCodeParts_[2] +
                           TimeCodeParts_[3] / fps;
    }
    return 0;
}

int32_t ssMediaDecoder3::OpenVideoCodec()
{
    AVStream* stream = FormatContext_->streams[VideoStreamIndex_];
    VideoCodecContext_ = avcodec_alloc_context3(VideoDecoder_);
    if (!VideoCodecContext_)
        return -12;
    int result = avcodec_parameters_to_context(VideoCodecContext_, stream->codecpar);
    if (result >= 0) {
        VideoCodecContext_->pkt_timebase = stream->time_base;
        chooseDecoderThreads(VideoCodecContext_, VideoDecoder_);
        result = avcodec_open2(VideoCodecContext_, VideoDecoder_, nullptr);
    }
    if (result < 0) {
        ssMessage(2, "Error %d opening video codec", result);
        return result;
    }
    DecodedPixelFormat_ = VideoCodecContext_->pix_fmt;
    FieldOrder_ = VideoCodecContext_->field_order;
    // Bottom field shown first of a top-first coded movie: half the preroll.
    if (VideoCodecContext_->field_order == AV_FIELD_TB)
        AudioClockOffset_.store(AudioClockOffset_.load() / 2.0);
    return 0;
}

int32_t ssMediaDecoder3::OpenAudio()
{
    // The preview's thread reads the output and the channel count under PresentLock_.
    if (!AudioOutput_) {
        auto* output = new ssAudioMTosx();
        std::lock_guard present(PresentLock_);
        AudioOutput_ = output;
    }
    int32_t totalChannels = 0;
    for (int j = 0; j < AudioStreamCount_; ++j) {
        AVStream* stream = FormatContext_->streams[AudioStreamIndexes_[j]];
        const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
        AVCodecContext* context = decoder ? avcodec_alloc_context3(decoder) : nullptr;
        if (decoder && !context)
            return -12;
        AudioCodecContexts_[j] = context;
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
        BytesPerDecodedSample_ = av_get_bytes_per_sample(context->sample_fmt);
        totalChannels += AudioChannels_[j];
    }
    {
        std::lock_guard present(PresentLock_);
        TotalAudioChannels_ = totalChannels;
    }
    OutputSampleRate_ = ssOutputSampleRate;
    const int channels = AudioStreamCount_ > 0 ? TotalAudioChannels_ : 2;
    AudioOutput_->Configure(this, channels, 4, 1, ssOutputSampleRate);
    AudioOutput_->ClearQueues();
    AudioOutput_->Start();
    return 0;
}

void ssMediaDecoder3::CreatePacketQueues()
{
    const int videoCapacity = int(FrameRate_ * 4);
    const int audioCapacity = int(FrameRate_ * 8);
    PacketCount_ = AudioStreamCount_ * audioCapacity + videoCapacity;
    Packets_ = new AVPacket*[size_t(PacketCount_)]();
    PacketHolders_ = new _avPacketHolder[size_t(PacketCount_)];
    for (int i = 0; i < PacketCount_; ++i) {
        Packets_[i] = av_packet_alloc();
        PacketHolders_[i].packet = Packets_[i];
        PacketHolders_[i].inUse = 0;
        if (!Packets_[i]) {
            // Out of memory: no holders, so Open fails and everything allocated is freed.
            for (int k = 0; k <= i; ++k)
                av_packet_free(&Packets_[k]);
            delete[] Packets_;
            delete[] PacketHolders_;
            Packets_ = nullptr;
            PacketHolders_ = nullptr;
            PacketCount_ = 0;
            return;
        }
    }
    for (int j = 0; j < AudioStreamCount_; ++j) {
        AudioPacketQueues_[j] = new ssEBuffer(audioCapacity);
        for (int k = 0; k < audioCapacity; ++k)
            AudioPacketQueues_[j]->SetSlot(&PacketHolders_[audioCapacity * j + videoCapacity + k], k);
        SampleQueues_[j] = new ssEBuffer(ssSampleQueueLength);
        SampleQueues_[j]->SetUserData(AudioChannels_[j]);
        SampleHeaders_[j] = new SAMPLE_HEADER[ssSampleQueueLength]();
        for (int k = 0; k < ssSampleQueueLength; ++k)
            SampleQueues_[j]->SetSlot(&SampleHeaders_[j][k], k);
        AudioOutput_->AddQueue(SampleQueues_[j]);
    }
}

void ssMediaDecoder3::CloseCodecs()
{
    avcodec_free_context(&VideoCodecContext_);
    for (int j = 0; j < ssMaxAudioStreams; ++j) {
        avcodec_free_context(&AudioCodecContexts_[j]);
        swr_free(&Resamplers_[j]);
    }
    sws_freeContext(Scaler_);
    Scaler_ = nullptr;
    avformat_close_input(&FormatContext_);
    if (IOContext_) {
        // The buffer may have been replaced by the demuxer; free the one the context holds now.
        av_freep(&IOContext_->buffer);
        avio_context_free(&IOContext_);
    }
    VideoDecoder_ = nullptr;
}

void ssMediaDecoder3::CloseFile()
{
    const bool hadFile = File_ != nullptr;
    ReleaseFile();
    // Everything of the file is freed, the render thread's textures and buffers included; the
    // presenting side is not held while the pages go back.
    if (hadFile)
        ssReturnFreedMemory();
}

void ssMediaDecoder3::ReleaseFile()
{
    std::lock_guard present(PresentLock_);
    for (auto& part : StartTimeCode_)
        part.store(0);
    if (AudioOutput_)
        AudioOutput_->Pause();
    if (Locks_[kFlagsLock]) {
        Locks_[kFlagsLock]->Lock();
        VideoReady_.store(0);
        FirstFrameShown_.store(0);
        Locks_[kFlagsLock]->Unlock();
    }
    SetThreadStates(ssStatePaused);
    StopThreads();
    // Every thread that touches the packets has ended before they are released.
    StopAudioThread();
    FlushPacketQueues();
    OutputChanged_.store(1);
    delete DecodedVideoQueue_;
    DecodedVideoQueue_ = nullptr;
    delete FrameRing_;
    FrameRing_ = nullptr;
    delete VideoPacketQueue_;
    VideoPacketQueue_ = nullptr;
    for (int i = 0; i < PacketCount_; ++i)
        av_packet_free(&Packets_[i]);
    delete[] Packets_;
    Packets_ = nullptr;
    delete[] PacketHolders_;
    PacketHolders_ = nullptr;
    PacketCount_ = 0;
    CloseCodecs();
    av_frame_free(&VideoFrame_);
    av_packet_free(&ReadPacket_);
    delete File_;
    File_ = nullptr;
    VideoStreamIndex_ = -1;
    AudioStreamCount_ = 0;
    TotalAudioChannels_ = 0;
    VideoDrained_.store(0);
    NoFile_.store(1);
}

int ssMediaDecoder3::ReadCallback(void* opaque, uint8_t* buffer, int size)
{
    auto* engine = static_cast<ssMediaDecoder3*>(opaque);
    if (size < 0 || !engine->File_)
        return -1;
    int64_t read = engine->File_->Read(buffer, size);
    // FFmpeg takes 0 for "try again"; the end of the file has to be said as such.
    return read > 0 ? int(read) : AVERROR_EOF;
}

int64_t ssMediaDecoder3::SeekCallback(void* opaque, int64_t offset, int whence)
{
    auto* engine = static_cast<ssMediaDecoder3*>(opaque);
    ssFile* file = engine->File_;
    if (!file)
        return -1;
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
