// The video and audio decode threads: send/receive decoding from the packet queues into the
// decoded-picture queue and the per-stream PCM queues.

#include "engine/decoder/ssMediaDecoder3.h"

#include "engine/base/ssCriticalSection.h"
#include "engine/base/ssEBuffer.h"
#include "engine/base/ssMessage.h"

#include <cstdlib>
#include <cstring>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

namespace {
bool isEndMarker(const AVPacket* packet)
{
    return packet->size < 1;
}
} // namespace

void ssMediaDecoder3::VideoDecodeLoop()
{
    const ssMessageScope logName(LogName());
    int32_t state = ReadState(kVideoThread);
    while (state != ssStateExit) {
        // Rests without render targets, parked for a hand-over, with every picture slot taken or
        // no packet to decode: the renderer, the reader or a new state wakes it.
        const bool decoding =
            (state == ssStatePlaying || state == ssStatePaused) && VideoReady_.load() && !VideoParked_.load();
        EndRound(kVideoThread, decoding && VideoDecodeRound());
        state = ReadState(kVideoThread);
    }
}

bool ssMediaDecoder3::VideoDecodeRound()
{
    _videoFrame* slot = nullptr;
    if (DecodedVideoQueue_->GetWriteSlot(&slot, 25) != 0)
        return false;
    bool worked = false;
    // Receive first: a decoder with pictures ready gets no new packet until they are out.
    for (;;) {
        int32_t state = ReadState(kVideoThread);
        if (state != ssStatePlaying && state != ssStatePaused)
            break;
        int result = avcodec_receive_frame(VideoCodecContext_, VideoFrame_);
        if (result == 0) {
            if (DeliverPicture(slot)) {
                DecodedVideoQueue_->CommitWrite(0);
                return true;
            }
            worked = true;
            continue;
        }
        if (result == AVERROR_EOF) {
            VideoDrained_.store(1);
            if (ParkIfClipEnded()) {
                worked = true;
                break;
            }
        } else if (result != AVERROR(EAGAIN)) {
            ssMessage(2, "Error %d decoding video", result);
            break;
        }
        _avPacketHolder* holder = nullptr;
        if (VideoPacketQueue_->Read(&holder, 25) != 0)
            break;
        worked = true;
        AVPacket* packet = holder->packet;
        holder->inUse = 0;
        const bool pastLeftPass = PacketPastLeftPass(holder);
        if (std::exchange(holder->endsClip, 0))
            VideoSwitchPending_.store(1);
        // The reader may have looked at the byte budget after this packet left the queue (the
        // read woke it) but before its bytes were given back, and rested: bytes that bring the
        // queue under the budget wake it again.
        const int64_t queued = QueuedVideoBytes_.fetch_sub(packet->size);
        if (queued >= ssVideoPacketBudget && queued - packet->size < ssVideoPacketBudget)
            WakeThread(kReaderThread);
        if (pastLeftPass) {
            av_packet_unref(packet);
            continue;
        }
        VideoPacketRereads(holder);
        if (isEndMarker(packet)) {
            av_packet_unref(packet);
            if (VideoDrained_.load()) {
                ParkIfClipEnded();
                break;
            }
            // Drain once: the decoder gives back every picture it still holds, then says EOF.
            avcodec_send_packet(VideoCodecContext_, nullptr);
            continue;
        }
        if (VideoDrained_.load()) {
            // Packets after the end (the reader looped back): decode afresh.
            avcodec_flush_buffers(VideoCodecContext_);
            VideoDrained_.store(0);
        }
        result = avcodec_send_packet(VideoCodecContext_, packet);
        av_packet_unref(packet);
        if (result < 0 && result != AVERROR_EOF) {
            // A packet that does not decode is dropped; playback goes on.
            ssMessage(2, "Error %d decoding video", result);
            break;
        }
    }
    DecodedVideoQueue_->CommitWrite(1);
    return worked;
}

bool ssMediaDecoder3::ParkIfClipEnded()
{
    // Every picture of the clip is out: the prepared clip's codec may take this one's place.
    if (!VideoSwitchPending_.exchange(0))
        return false;
    VideoParked_.store(1);
    WakeThread(kReaderThread); // it swaps in the prepared clip once both decoders wait
    return true;
}

bool ssMediaDecoder3::DeliverPicture(_videoFrame* slot)
{
    const int64_t timestamp = VideoFrame_->best_effort_timestamp;
    double time = timestamp != AV_NOPTS_VALUE ? StreamTime(timestamp, VideoStreamIndex_)
                                              : slot->time + FrameDuration_;
    // A picture decoded only to decode others (a loop's frames outside its range).
    bool keep = !(VideoFrame_->flags & AV_FRAME_FLAG_DISCARD);
    if (keep && (SkipToTarget_.load() & 1)) {
        if (time < LastSeekPosition_.load() - 0.05 * FrameDuration_) {
            keep = false;
        } else {
            SeekLanding_.store(time);
            SkipToTarget_.fetch_and(~1);
        }
    }
    if (keep && !KeepAfterLeftLoop(time))
        keep = false;
    if (keep && VideoAdjust_.load() == 1) {
        VideoAdjust_.store(0);
        keep = false;
    }
    if (keep) {
        CopyVideoFrame(VideoFrame_, slot);
        slot->time = time;
        slot->clipStart = ClipStartPending_.exchange(0) != 0;
        slot->rereads = DecoderRereads_;
        LastKeptPicture_.store(time);
    }
    av_frame_unref(VideoFrame_);
    return keep;
}

void ssMediaDecoder3::AudioDecodeLoop()
{
    const ssMessageScope logName(LogName());
    AVFrame* frame = av_frame_alloc();
    int32_t state = ReadState(kAudioThread);
    while (state != ssStateExit) {
        // Rests when parked for a hand-over, or when no stream has a packet and a free block:
        // the reader, the audio output taking a block or a new state wakes it.
        bool worked = false;
        if ((state == ssStatePlaying || state == ssStatePaused) && frame && !AudioParked_.load())
            for (int i = 0; i < AudioStreamCount_; ++i)
                worked = AudioDecodeStream(i, frame) || worked;
        EndRound(kAudioThread, worked);
        state = ReadState(kAudioThread);
    }
    av_frame_free(&frame);
}

bool ssMediaDecoder3::AudioDecodeStream(int stream, AVFrame* frame)
{
    const uint32_t bit = 1u << stream;
    if (AudioSwitchSeen_.load() & bit)
        return false; // this stream's clip has ended; the others catch up
    ssEBuffer* samples = SampleQueues_[stream];
    SAMPLE_HEADER* header = nullptr;
    if (samples->GetWriteSlot(&header, 4) != 0)
        return false;
    _avPacketHolder* holder = nullptr;
    if (AudioPacketQueues_[stream]->Read(&holder, 5) != 0) {
        samples->CommitWrite(1);
        return false;
    }
    AVPacket* packet = holder->packet;
    holder->inUse = 0;
    const bool pastLeftPass = PacketPastLeftPass(holder);
    const bool endsClip = std::exchange(holder->endsClip, 0) != 0;
    if (pastLeftPass) {
        av_packet_unref(packet);
        samples->CommitWrite(1);
        return true;
    }
    if (isEndMarker(packet)) {
        av_packet_unref(packet);
        samples->CommitWrite(1);
        if (endsClip) {
            const uint32_t all = (1u << AudioStreamCount_) - 1;
            if ((AudioSwitchSeen_.fetch_or(bit) | bit) == all) {
                AudioParked_.store(1);
                WakeThread(kReaderThread); // it swaps in the prepared clip once both decoders wait
            }
        }
        return true;
    }
    AVCodecContext* context = AudioCodecContexts_[stream];
    if (holder->startsAfresh)
        avcodec_flush_buffers(context); // read again after a slave left its master's loop
    int result = avcodec_send_packet(context, packet);
    av_packet_unref(packet);
    if (result < 0) {
        ssMessage(2, "Error %d decoding audio", result);
        samples->CommitWrite(1);
        return true;
    }
    header->filled = 0;
    header->rereads = holder->rereads;
    bool first = true;
    while ((result = avcodec_receive_frame(context, frame)) == 0) {
        const int64_t timestamp = frame->best_effort_timestamp;
        const double time = timestamp != AV_NOPTS_VALUE ? StreamTime(timestamp, AudioStreamIndexes_[stream])
                                                        : header->time;
        bool keep = true;
        if (SkipToTarget_.load() & 2) {
            if (time < LastSeekPosition_.load() - 0.5 * FrameDuration_)
                keep = false;
            else
                SkipToTarget_.fetch_and(~2);
        }
        if (keep && ResampleBlock(stream, frame, header) && first) {
            // The block's time is that of its first sample.
            header->time = time;
            first = false;
        }
        av_frame_unref(frame);
    }
    if (result != AVERROR(EAGAIN) && result != AVERROR_EOF)
        ssMessage(2, "Error %d decoding audio", result);
    if (header->filled == 0) {
        samples->CommitWrite(1);
        return true;
    }
    // Nudges against the picture: drop blocks, or insert as much silence as a block holds.
    if (AudioAdjust_[stream].load() > 0) {
        AudioAdjust_[stream].fetch_sub(1);
        samples->CommitWrite(1);
        return true;
    }
    const int32_t bytes = header->filled;
    const double time = header->time;
    samples->CommitWrite(0);
    if (AudioAdjust_[stream].load() < 0) {
        SAMPLE_HEADER* silence = nullptr;
        if (samples->GetWriteSlot(&silence, 60) == 0) {
            if (silence->capacity < bytes) {
                auto* grown = static_cast<uint8_t*>(std::realloc(silence->data, size_t(bytes) + 64));
                if (!grown) {
                    samples->CommitWrite(1);
                    return true;
                }
                silence->data = grown;
                silence->capacity = bytes + 64;
            }
            std::memset(silence->data, 0, size_t(bytes));
            silence->filled = bytes;
            silence->time = time;
            silence->rereads = holder->rereads;
            samples->CommitWrite(0);
            AudioAdjust_[stream].fetch_add(1);
        }
    }
    return true;
}

bool ssMediaDecoder3::ResampleBlock(int stream, AVFrame* frame, SAMPLE_HEADER* header)
{
    const int channels = AudioChannels_[stream];
    if (frame->ch_layout.nb_channels != channels || frame->sample_rate <= 0 || frame->nb_samples <= 0)
        return false;
    SwrContext*& resampler = Resamplers_[stream];
    if (!resampler) {
        if (swr_alloc_set_opts2(&resampler, &frame->ch_layout, AV_SAMPLE_FMT_S32, ssOutputSampleRate,
                                &frame->ch_layout, AVSampleFormat(frame->format), frame->sample_rate, 0,
                                nullptr) < 0 ||
            swr_init(resampler) < 0) {
            swr_free(&resampler);
            return false;
        }
        const int64_t delay = swr_get_delay(resampler, 1000);
        if (delay != 0)
            AudioClockOffset_.store(AudioClockOffset_.load() + double(delay) / 1000.0);
    }
    const int room = int(int64_t(frame->nb_samples) * ssOutputSampleRate / frame->sample_rate * 5 / 4) + 1;
    const int64_t needed = int64_t(header->filled) + int64_t(room) * channels * 4;
    if (needed > header->capacity) {
        if (needed + 64 > INT32_MAX)
            return false;
        auto* grown = static_cast<uint8_t*>(std::realloc(header->data, size_t(needed) + 64));
        if (!grown)
            return false;
        header->data = grown;
        header->capacity = int32_t(needed + 64);
    }
    uint8_t* out = header->data + header->filled;
    const int converted = swr_convert(resampler, &out, room, const_cast<const uint8_t**>(frame->extended_data),
                                      frame->nb_samples);
    if (converted <= 0)
        return false;
    header->filled += converted * channels * 4;
    return true;
}

void ssMediaDecoder3::VideoPacketRereads(const _avPacketHolder* holder)
{
    if (holder->rereads <= DecoderRereads_)
        return;
    DecoderRereads_ = holder->rereads;
    if (!holder->startsAfresh)
        return;
    // The file read again from before the end of the kept pass: the pictures of later passes
    // still inside the decoder go, and so do those of the kept pass it held unseen, which come
    // again. Every picture up to the latest one kept (or the whole pass) is on its way already.
    avcodec_flush_buffers(VideoCodecContext_);
    VideoDrained_.store(0);
    const double step = FrameStep_.load();
    const double cut = LeftCut_.load();
    const double kept = LastKeptPicture_.load();
    RereadFloor_.store(kept < cut - 0.5 * step ? kept : cut - step);
    FloorStart_.store(LeftStart_.load());
}

bool ssMediaDecoder3::KeepAfterLeftLoop(double time)
{
    if (!LeftMastersLoop())
        return true;
    const double step = FrameStep_.load();
    // Until the decoder has the packets queued since, a picture past the kept pass is a later
    // pass's; afterwards the ones read again that were kept before are.
    if (DecoderRereads_ < Rereads_.load())
        return time < LeftCut_.load() - 0.5 * step;
    if (FloorStart_.load() == LeftStart_.load())
        return time > RereadFloor_.load() + 0.5 * step;
    return true;
}
