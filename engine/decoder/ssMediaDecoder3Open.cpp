// Opening a file: demuxer over the engine's own file I/O, stream selection, time code, codecs,
// resamplers and the preallocated queues; closing it again.

#include "engine/decoder/ssMediaDecoder3.h"

#include "engine/base/ssCriticalSection.h"
#include "engine/base/ssEBuffer.h"
#include "engine/base/ssMessage.h"
#include "engine/capture/ssSEBuffer.h"
#include "engine/decoder/ssAudioMTosx.h"
#include "engine/decoder/ssTimeCodeText.h"
#include "engine/files/ssFile.h"

#include <algorithm>
#include <cmath>
#include <fcntl.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace {
constexpr int kIOBufferSize = 4096;
}

int32_t ssMediaDecoder3::Open(const char* path, bool hasPreview)
{
    m_HasPreview = hasPreview;
    sws_freeContext(m_Scaler);
    m_Scaler = nullptr;
    m_ScalerLogged = false;
    m_Present.loopPending.store(0);
    for (auto& adjust : m_AudioAdjust)
        adjust.store(0);
    m_VideoAdjust.store(0);

    CloseFile();

    m_Present.currentTime.store(0.0);
    m_LastVideoPacketTime.store(0.0);
    m_SkipToTarget.store(0);
    m_LastSeekPosition.store(0.0);
    m_Duration = 0.0;

    if (!path || !*path) {
        // Closing: a DeckLink output keeps playing out black, which its frames already hold.
        return m_HasOutput && m_Output.kind == 2 ? 0 : -1;
    }
    m_FilePath = path;
    m_File = new ssFile();
    if (!m_File->Open(path, O_RDONLY)) {
        ssMessage(2, "Couldn't open %s", path);
        return FailOpen(-1);
    }
    int32_t result = OpenDemuxer();
    if (result != 0)
        return FailOpen(result);
    if (m_FormatContext->duration != AV_NOPTS_VALUE && m_FormatContext->duration > 0)
        m_Duration = double(m_FormatContext->duration) / 1000000.0;
    if (!m_HasOutput) {
        ssMessage(2, "No Output Device");
        return FailOpen(-1);
    }
    if ((result = FindVideoStream()) != 0 || (result = ScanStreams()) != 0 ||
        (result = OpenVideoCodec()) != 0 || (result = OpenAudio()) != 0)
        return FailOpen(result);

    m_VideoFrame = av_frame_alloc();
    m_ReadPacket = av_packet_alloc();
    if (!m_VideoFrame || !m_ReadPacket)
        return FailOpen(AVERROR(ENOMEM));
    CreatePacketQueues();
    if (!m_PacketHolders)
        return FailOpen(AVERROR(ENOMEM));

    m_AudioOutput->Pause();
    SetThreadStates(ssStatePaused);
    if (m_AudioStreamCount > 0)
        StartThread(kAudioThread, 40, [](void* self) -> void* {
            static_cast<ssMediaDecoder3*>(self)->AudioDecodeLoop();
            return nullptr;
        });
    m_CreateVideoQueue = 1;
    {
        std::lock_guard present(m_PresentLock);
        m_NoFile.store(0);
        StartThreads();
    }
    for (int i = 0; i < 4; ++i)
        m_StartTimeCode[i].store(m_TimeCodeParts[i]);
    // The first picture of every opened file is shown, also while paused: a cued clip shows where
    // it starts, and a still has no second frame to show.
    m_Present.countdown.store(ssPostSeekFrames);
    m_SlateShowing.store(m_ShowSlate.load());
    return 0;
}

int32_t ssMediaDecoder3::FailOpen(int32_t result)
{
    // Whatever step failed, nothing of the attempt stays behind for the next Open to trip over.
    CloseFile();
    return result;
}

int32_t ssMediaDecoder3::OpenDemuxer()
{
    const AVInputFormat* format = av_find_input_format("ffmpeg-format");
    m_FormatContext = avformat_alloc_context();
    auto* buffer = static_cast<uint8_t*>(av_malloc(kIOBufferSize));
    if (!m_FormatContext || !buffer) {
        av_free(buffer);
        return AVERROR(ENOMEM);
    }
    m_IOContext = avio_alloc_context(buffer, kIOBufferSize, 0, this, ReadCallback, nullptr, SeekCallback);
    if (!m_IOContext) {
        av_free(buffer);
        return AVERROR(ENOMEM);
    }
    m_IOContext->seekable = AVIO_SEEKABLE_NORMAL;
    m_FormatContext->pb = m_IOContext;
    m_FormatContext->flags |= AVFMT_FLAG_CUSTOM_IO;
    int result = avformat_open_input(&m_FormatContext, "dummyfile", format, nullptr);
    if (result < 0) {
        // avformat_open_input has freed the context, but never a caller's I/O context.
        ssMessage(2, "Error %d opening %s", result, m_FilePath.c_str());
        return result;
    }
    result = avformat_find_stream_info(m_FormatContext, nullptr);
    if (result < 0) {
        ssMessage(2, "Error %d reading stream information", result);
        return result;
    }
    return 0;
}

int32_t ssMediaDecoder3::FindVideoStream()
{
    const AVCodec* decoder = nullptr;
    int index = av_find_best_stream(m_FormatContext, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (index < 0 || !decoder) {
        int code = index < 0 ? index : AVERROR_DECODER_NOT_FOUND;
        ssMessage(2, "Error %d finding video stream", code);
        return code;
    }
    m_VideoStreamIndex = index;
    m_VideoDecoder = decoder;
    AVStream* stream = m_FormatContext->streams[index];
    AVRational rate = stream->avg_frame_rate;
    if (rate.num == 0 || rate.den == 0)
        rate = stream->r_frame_rate;
    m_FrameRate = rate.den != 0 ? av_q2d(rate) : 0.0;
    m_MovieRate = m_FrameRate.load();
    if (!(m_FrameRate >= 23.0 && m_FrameRate <= 70.0))
        m_FrameRate = 29.97;
    m_FrameStep = 1.0 / m_FrameRate;
    m_FrameDuration = 1.0 / m_FrameRate;
    // MPEG-TS and -PS clips start at an arbitrary timestamp; engine times count from the first.
    m_StartTime = stream->start_time != AV_NOPTS_VALUE ? double(stream->start_time) * av_q2d(stream->time_base) : 0.0;
    m_AudioClockOffset.store(m_Output.kind == 2 && m_Output.frameRate > 0 ? 3.0 / m_Output.frameRate : 0.0);
    m_InPoint.store(0.0);
    // Stills and one-frame files are shorter than the two frames taken off.
    m_OutPoint.store(std::max(0.0, m_Duration - 2.0 * m_FrameDuration));
    return 0;
}

int32_t ssMediaDecoder3::ScanStreams()
{
    m_HasTimeCode = 0;
    m_TimeCodeText.clear();
    std::fill(std::begin(m_TimeCodeParts), std::end(m_TimeCodeParts), 0);
    for (auto& part : m_StartTimeCode)
        part.store(0);
    m_AudioStreamCount = 0;
    bool dataTimeCode = false;
    for (unsigned i = 0; i < m_FormatContext->nb_streams; ++i) {
        AVStream* stream = m_FormatContext->streams[i];
        if (!stream->codecpar)
            continue;
        const AVMediaType type = stream->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_DATA && !dataTimeCode) {
            if (AVDictionaryEntry* entry = av_dict_get(stream->metadata, "timecode", nullptr, 0)) {
                if (ssParseTimeCode(entry->value, m_TimeCodeParts, nullptr)) {
                    m_HasTimeCode = 1;
                    dataTimeCode = true;
                    m_TimeCodeText = entry->value;
                } else {
                    ssMessage(2, "error reading timecode string %s", entry->value);
                    std::fill(std::begin(m_TimeCodeParts), std::end(m_TimeCodeParts), 0);
                }
            }
        } else if (type == AVMEDIA_TYPE_AUDIO) {
            const int channels = stream->codecpar->ch_layout.nb_channels;
            if (m_AudioStreamCount >= ssMaxAudioStreams) {
                ssMessage(2, "Audio stream %u ignored: at most %d audio streams play", i, ssMaxAudioStreams);
                continue;
            }
            if (channels < 1 || channels > 64) {
                ssMessage(2, "Audio stream %u ignored: %d channels", i, channels);
                continue;
            }
            m_AudioStreamIndexes[m_AudioStreamCount] = int32_t(i);
            m_AudioChannels[m_AudioStreamCount] = channels;
            ++m_AudioStreamCount;
        }
    }
    if (!m_HasTimeCode) {
        if (AVDictionaryEntry* entry = av_dict_get(m_FormatContext->metadata, "timecode", nullptr, 0)) {
            bool semicolon = false;
            if (ssParseTimeCode(entry->value, m_TimeCodeParts, &semicolon)) {
                if (semicolon)
                    ssMessage(2, "Found timecode %s in avFormatContext", entry->value);
                m_HasTimeCode = 1;
                m_TimeCodeText = entry->value;
            } else {
                ssMessage(2, "error reading timecode string %s", entry->value);
            }
        }
    }
    m_TimeCodeOffset = 0.0;
    if (m_HasTimeCode) {
        AVRational real = m_FormatContext->streams[m_VideoStreamIndex]->r_frame_rate;
        double fps = real.num > 0 && real.den > 0 ? av_q2d(real) : m_FrameRate.load();
        m_TimeCodeOffset = m_TimeCodeParts[0] * 3600.0 + m_TimeCodeParts[1] * 60.0 + m_TimeCodeParts[2] +
                           m_TimeCodeParts[3] / fps;
    }
    return 0;
}

int32_t ssMediaDecoder3::OpenVideoCodec()
{
    AVStream* stream = m_FormatContext->streams[m_VideoStreamIndex];
    m_VideoCodecContext = avcodec_alloc_context3(m_VideoDecoder);
    if (!m_VideoCodecContext)
        return -12;
    int result = avcodec_parameters_to_context(m_VideoCodecContext, stream->codecpar);
    if (result >= 0) {
        m_VideoCodecContext->pkt_timebase = stream->time_base;
        m_VideoCodecContext->thread_count = 0;
        result = avcodec_open2(m_VideoCodecContext, m_VideoDecoder, nullptr);
    }
    if (result < 0) {
        ssMessage(2, "Error %d opening video codec", result);
        return result;
    }
    m_DecodedPixelFormat = m_VideoCodecContext->pix_fmt;
    m_FieldOrder = m_VideoCodecContext->field_order;
    // Bottom field shown first of a top-first coded movie: half the preroll.
    if (m_VideoCodecContext->field_order == AV_FIELD_TB)
        m_AudioClockOffset.store(m_AudioClockOffset.load() / 2.0);
    return 0;
}

int32_t ssMediaDecoder3::OpenAudio()
{
    if (!m_AudioOutput)
        m_AudioOutput = new ssAudioMTosx();
    m_TotalAudioChannels = 0;
    for (int j = 0; j < m_AudioStreamCount; ++j) {
        AVStream* stream = m_FormatContext->streams[m_AudioStreamIndexes[j]];
        const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
        AVCodecContext* context = decoder ? avcodec_alloc_context3(decoder) : nullptr;
        if (decoder && !context)
            return -12;
        m_AudioCodecContexts[j] = context;
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
        m_BytesPerDecodedSample = av_get_bytes_per_sample(context->sample_fmt);
        m_TotalAudioChannels += m_AudioChannels[j];
    }
    m_OutputSampleRate = ssOutputSampleRate;
    const int channels = m_AudioStreamCount > 0 ? m_TotalAudioChannels : 2;
    m_AudioOutput->Configure(this, channels, 4, 1, ssOutputSampleRate);
    m_AudioOutput->ClearQueues();
    m_AudioOutput->Start();
    return 0;
}

void ssMediaDecoder3::CreatePacketQueues()
{
    const int videoCapacity = int(m_FrameRate * 4);
    const int audioCapacity = int(m_FrameRate * 8);
    m_PacketCount = m_AudioStreamCount * audioCapacity + videoCapacity;
    m_Packets = new AVPacket*[size_t(m_PacketCount)]();
    m_PacketHolders = new _avPacketHolder[size_t(m_PacketCount)];
    for (int i = 0; i < m_PacketCount; ++i) {
        m_Packets[i] = av_packet_alloc();
        m_PacketHolders[i].packet = m_Packets[i];
        m_PacketHolders[i].inUse = 0;
        if (!m_Packets[i]) {
            // Out of memory: no holders, so Open fails and everything allocated is freed.
            for (int k = 0; k <= i; ++k)
                av_packet_free(&m_Packets[k]);
            delete[] m_Packets;
            delete[] m_PacketHolders;
            m_Packets = nullptr;
            m_PacketHolders = nullptr;
            m_PacketCount = 0;
            return;
        }
    }
    for (int j = 0; j < m_AudioStreamCount; ++j) {
        m_AudioPacketQueues[j] = new ssEBuffer(audioCapacity);
        for (int k = 0; k < audioCapacity; ++k)
            m_AudioPacketQueues[j]->SetSlot(&m_PacketHolders[audioCapacity * j + videoCapacity + k], k);
        m_SampleQueues[j] = new ssEBuffer(ssSampleQueueLength);
        m_SampleQueues[j]->SetUserData(m_AudioChannels[j]);
        m_SampleHeaders[j] = new SAMPLE_HEADER[ssSampleQueueLength]();
        for (int k = 0; k < ssSampleQueueLength; ++k)
            m_SampleQueues[j]->SetSlot(&m_SampleHeaders[j][k], k);
        m_AudioOutput->AddQueue(m_SampleQueues[j]);
    }
}

void ssMediaDecoder3::CloseCodecs()
{
    avcodec_free_context(&m_VideoCodecContext);
    for (int j = 0; j < ssMaxAudioStreams; ++j) {
        avcodec_free_context(&m_AudioCodecContexts[j]);
        swr_free(&m_Resamplers[j]);
    }
    sws_freeContext(m_Scaler);
    m_Scaler = nullptr;
    avformat_close_input(&m_FormatContext);
    if (m_IOContext) {
        // The buffer may have been replaced by the demuxer; free the one the context holds now.
        av_freep(&m_IOContext->buffer);
        avio_context_free(&m_IOContext);
    }
    m_VideoDecoder = nullptr;
}

void ssMediaDecoder3::CloseFile()
{
    std::lock_guard present(m_PresentLock);
    for (auto& part : m_StartTimeCode)
        part.store(0);
    if (m_AudioOutput)
        m_AudioOutput->Pause();
    if (m_Locks[kFlagsLock]) {
        m_Locks[kFlagsLock]->Lock();
        m_VideoReady.store(0);
        m_FirstFrameShown.store(0);
        m_Locks[kFlagsLock]->Unlock();
    }
    SetThreadStates(ssStatePaused);
    StopThreads();
    // Every thread that touches the packets has ended before they are released.
    StopAudioThread();
    FlushPacketQueues();
    m_OutputChanged.store(1);
    delete m_DecodedVideoQueue;
    m_DecodedVideoQueue = nullptr;
    delete m_FrameRing;
    m_FrameRing = nullptr;
    delete m_VideoPacketQueue;
    m_VideoPacketQueue = nullptr;
    for (int i = 0; i < m_PacketCount; ++i)
        av_packet_free(&m_Packets[i]);
    delete[] m_Packets;
    m_Packets = nullptr;
    delete[] m_PacketHolders;
    m_PacketHolders = nullptr;
    m_PacketCount = 0;
    CloseCodecs();
    av_frame_free(&m_VideoFrame);
    av_packet_free(&m_ReadPacket);
    delete m_File;
    m_File = nullptr;
    m_VideoStreamIndex = -1;
    m_AudioStreamCount = 0;
    m_TotalAudioChannels = 0;
    m_VideoDrained.store(0);
    m_NoFile.store(1);
}

int ssMediaDecoder3::ReadCallback(void* opaque, uint8_t* buffer, int size)
{
    auto* engine = static_cast<ssMediaDecoder3*>(opaque);
    if (size < 0 || !engine->m_File)
        return -1;
    int64_t read = engine->m_File->Read(buffer, size);
    // FFmpeg takes 0 for "try again"; the end of the file has to be said as such.
    return read > 0 ? int(read) : AVERROR_EOF;
}

int64_t ssMediaDecoder3::SeekCallback(void* opaque, int64_t offset, int whence)
{
    auto* engine = static_cast<ssMediaDecoder3*>(opaque);
    ssFile* file = engine->m_File;
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
