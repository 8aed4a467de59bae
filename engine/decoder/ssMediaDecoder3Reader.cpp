// The reader thread: demultiplexes packets into the video and audio packet queues and carries out
// seeks.

#include "engine/decoder/ssMediaDecoder3.h"

#include "engine/base/ssEBuffer.h"
#include "engine/capture/ssSEBuffer.h"
#include "engine/decoder/ssAudioMTosx.h"

#include <algorithm>
#include <cmath>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {
constexpr int kIdleMicroseconds = 400;
constexpr int kPacketWaitMs = 125;
} // namespace

double ssMediaDecoder3::StreamTime(int64_t timestamp, int streamIndex) const
{
    const AVRational base = m_FormatContext->streams[streamIndex]->time_base;
    return double(timestamp) * av_q2d(base) - m_StartTime;
}

int64_t ssMediaDecoder3::StreamTimestamp(double seconds) const
{
    // Engine times count from the video stream's start; the demuxer wants the stream's own clock.
    int64_t microseconds = std::llround((seconds + m_StartTime) * 1000000.0);
    const AVRational base = m_FormatContext->streams[m_VideoStreamIndex]->time_base;
    if (base.den == 0)
        return microseconds;
    return av_rescale_q(microseconds, AVRational{1, 1000000}, base);
}

void ssMediaDecoder3::ReaderLoop()
{
    int32_t state = ReadState(kReaderThread);
    while (state != ssStateExit) {
        if (!m_VideoPacketQueue) {
            usleep(kIdleMicroseconds);
        } else if (state == ssStateSeek) {
            ReaderSeek();
        } else if (state == ssStatePlaying || state == ssStatePaused) {
            bool room = m_VideoPacketQueue->HasRoom();
            for (int j = 0; room && j < m_AudioStreamCount; ++j)
                room = m_AudioPacketQueues[j]->HasRoom();
            if (!room) {
                usleep(kIdleMicroseconds);
            } else if (av_read_frame(m_FormatContext, m_ReadPacket) < 0) {
                ReaderAtEnd();
            } else if (m_ReadPacket->stream_index == m_VideoStreamIndex) {
                if (m_ReadPacket->pts != AV_NOPTS_VALUE)
                    m_LastVideoPacketTime.store(StreamTime(m_ReadPacket->pts, m_VideoStreamIndex));
                ReaderQueuePacket(m_ReadPacket, m_VideoPacketQueue);
            } else {
                ssEBuffer* queue = nullptr;
                for (int j = 0; j < m_AudioStreamCount; ++j)
                    if (m_AudioStreamIndexes[j] == m_ReadPacket->stream_index)
                        queue = m_AudioPacketQueues[j];
                if (queue)
                    ReaderQueuePacket(m_ReadPacket, queue);
                else
                    av_packet_unref(m_ReadPacket);
            }
        } else {
            usleep(kIdleMicroseconds);
        }
        AcknowledgeAtRoundEnd(kReaderThread);
        state = ReadState(kReaderThread);
    }
    // Held packets are released by whoever stopped the thread, once the decoders have ended too.
}

void ssMediaDecoder3::ReaderQueuePacket(AVPacket* packet, ssEBuffer* queue)
{
    for (;;) {
        _avPacketHolder* holder = nullptr;
        if (queue->GetWriteSlot(&holder, kPacketWaitMs) == 0) {
            av_packet_unref(holder->packet);
            av_packet_move_ref(holder->packet, packet);
            holder->inUse = 1;
            queue->CommitWrite(0);
            return;
        }
        if (ReadState(kReaderThread) != ssStatePlaying)
            break;
    }
    av_packet_unref(packet);
}

void ssMediaDecoder3::ReaderAtEnd()
{
    if (m_PlaybackBehavior.load() == 1) {
        // Loop: back to the in point; the decoders see the file continue from there.
        const int64_t target = StreamTimestamp(m_InPoint.load());
        avformat_seek_file(m_FormatContext, m_VideoStreamIndex, INT64_MIN, target, target, 0);
        m_Present.loopPending.store(1);
        return;
    }
    usleep(600);
    // An empty packet marks the end; decoding it drains the pictures the decoder still holds.
    _avPacketHolder* holder = nullptr;
    if (m_VideoPacketQueue->GetWriteSlot(&holder, kPacketWaitMs) == 0) {
        av_packet_unref(holder->packet);
        holder->inUse = 0;
        m_VideoPacketQueue->CommitWrite(0);
    }
}

void ssMediaDecoder3::ReaderSeek()
{
    if (m_AudioOutput)
        m_AudioOutput->Pause();
    const double frame = m_FrameDuration;
    // Snapped to its frame; a time that is exactly a frame's (in decimal) must not fall to the
    // frame before through the rounding of the division.
    const double target = std::trunc(m_SeekTarget.load() / frame + 1e-6) * frame;
    const double bias = m_StepDirection.load() > 0 ? 0.1 : -0.1;
    const double t = std::max(0.0, target + frame * bias);
    // Always the keyframe at or before the target; the decoders drop the pictures before it.
    const int64_t timestamp = StreamTimestamp(t);
    if (avformat_seek_file(m_FormatContext, m_VideoStreamIndex, INT64_MIN, timestamp, timestamp, 0) < 0)
        m_Present.currentTime.store(target);
    avcodec_flush_buffers(m_VideoCodecContext);
    for (int j = 0; j < m_AudioStreamCount; ++j)
        avcodec_flush_buffers(m_AudioCodecContexts[j]);
    m_VideoDrained.store(0);
    FlushPacketQueues();
    m_VideoPacketQueue->Flush();
    m_DecodedVideoQueue->Flush();
    m_FrameRing->Reset();
    m_RingResets.fetch_add(1);
    m_LastSeekPosition.store(target);
    // A scrub lands where it says as well: long-GOP material has no keyframe there, and the
    // picture a seek shows is where playing then starts.
    m_SkipToTarget.store(m_AudioStreamCount > 0 ? 3 : 1);
    m_Present.countdown.store(ssPostSeekFrames);
    SetThreadStates(ssStatePaused);
    m_Present.resync.store(1);
}
