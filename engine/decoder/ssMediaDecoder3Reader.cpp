// The reader thread: demultiplexes packets into the video and audio packet queues and carries out
// seeks.

#include "engine/decoder/ssMediaDecoder3.h"

#include "engine/base/ssEBuffer.h"
#include "engine/base/ssMessage.h"
#include "engine/capture/ssSEBuffer.h"
#include "engine/audio/ssAudioMTosx.h"

#include <algorithm>
#include <cmath>
#include <limits>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/intreadwrite.h>
}

namespace {
constexpr int kPacketWaitMs = 125;
// A slave that leaves its master's loop reads its file again from this many frames before where
// it had read the kept pass to: the video decoder starts afresh there, and every picture of the
// pass it still held unseen comes again.
constexpr double kRereadFrames = 16.0;
} // namespace

double ssMediaDecoder3::StreamTime(int64_t timestamp, int streamIndex) const
{
    const AVRational base = FormatContext_->streams[streamIndex]->time_base;
    return double(timestamp) * av_q2d(base) - StartTime_;
}

int64_t ssMediaDecoder3::StreamTimestamp(double seconds) const
{
    // Engine times count from the video stream's start; the demuxer wants the stream's own clock.
    int64_t microseconds = std::llround((seconds + StartTime_) * 1000000.0);
    const AVRational base = FormatContext_->streams[VideoStreamIndex_]->time_base;
    if (base.den == 0)
        return microseconds;
    return av_rescale_q(microseconds, AVRational{1, 1000000}, base);
}

void ssMediaDecoder3::ReaderLoop()
{
    const ssMessageScope logName(LogName());
    int32_t state = ReadState(kReaderThread);
    while (state != ssStateExit) {
        bool worked = false;
        if (VideoPacketQueue_ && state == ssStateSeek) {
            ReaderSeek();
            worked = true;
        } else if (VideoPacketQueue_ && (state == ssStatePlaying || state == ssStatePaused)) {
            worked = ReaderRound();
        }
        EndRound(kReaderThread, worked);
        state = ReadState(kReaderThread);
    }
    // Held packets are released by whoever stopped the thread, once the decoders have ended too.
}

bool ssMediaDecoder3::ReaderRound()
{
    // Full queues, or at the out point waiting for the decoders or for a prepared cue: the reader
    // rests until a decoder takes a packet or parks, or a prepared cue, a range or an End comes.
    if (ReaderRereads_ != Rereads_.load() && LeftMastersLoop()) {
        ReaderLeaveLoop();
        return true;
    }
    if (HandOverPass_ == 2)
        return ReaderHandOver();
    if (HandOverPass_ == 4)
        return ReaderWaitAtOutPoint();
    if (!ReaderHasRoom())
        return false;
    if (av_read_frame(FormatContext_, ReadPacket_) < 0)
        return ReaderAtEnd();
    ReaderTakePacket();
    return true;
}

void ssMediaDecoder3::ReaderTakePacket()
{
    // Within a loop, and before a hand-over, only the range is read.
    const bool loops = ReaderLoops();
    const bool ranged = loops || ReaderHandsOver();
    if (loops && RoundStart_.load() != TimelineStarts_.load() && FollowsMastersLoop())
        RoundStart_.store(TimelineStarts_.load());
    if (ReadPacket_->stream_index == VideoStreamIndex_) {
        if (ReadPacket_->pts != AV_NOPTS_VALUE) {
            const double time = StreamTime(ReadPacket_->pts, VideoStreamIndex_);
            LastVideoPacketTime_.store(time);
            const double duration = ReadPacket_->duration > 0
                ? double(ReadPacket_->duration) * av_q2d(FormatContext_->streams[VideoStreamIndex_]->time_base)
                : FrameDuration_.load();
            ReadEnd_ = std::max(ReadEnd_, time + duration);
        }
        if (ranged && !KeepVideoPacketInLoop(ReadPacket_)) {
            av_packet_unref(ReadPacket_);
        } else {
            if (ReadPacket_->pts != AV_NOPTS_VALUE && !(ReadPacket_->flags & AV_PKT_FLAG_DISCARD)) {
                const double time = StreamTime(ReadPacket_->pts, VideoStreamIndex_);
                QueuedUpTo_.store(std::max(QueuedUpTo_.load(), time));
                if (LoopShift_.load() <= 0.0)
                    ReadUpTo_.store(std::max(ReadUpTo_.load(), time));
            }
            ShiftPacketForLoop(ReadPacket_);
            const int64_t bytes = ReadPacket_->size;
            const int64_t pts = ReadPacket_->pts;
            if (ReaderQueuePacket(ReadPacket_, VideoPacketQueue_, bytes, 1u) && pts != AV_NOPTS_VALUE)
                VideoReadTime_ = StreamTime(pts, VideoStreamIndex_);
        }
    } else {
        int stream = -1;
        for (int j = 0; j < AudioStreamCount_; ++j)
            if (AudioStreamIndexes_[j] == ReadPacket_->stream_index)
                stream = j;
        const bool cut = stream >= 0 && (ranged || (RereadAudio_ & (1u << stream)));
        if (stream >= 0 && (!cut || KeepAudioPacketInLoop(ReadPacket_, stream, ranged))) {
            ShiftPacketForLoop(ReadPacket_);
            const int64_t pts = ReadPacket_->pts;
            const int64_t end = pts + std::max<int64_t>(ReadPacket_->duration, 0);
            if (ReaderQueuePacket(ReadPacket_, AudioPacketQueues_[stream], 0, 2u << stream) && pts != AV_NOPTS_VALUE)
                AudioReadTime_[stream] = StreamTime(end, AudioStreamIndexes_[stream]);
        } else {
            av_packet_unref(ReadPacket_);
        }
    }
    if (ranged && LoopRangeRead()) {
        if (loops)
            WrapLoop();
        else
            ReaderAtOutPoint();
    }
}

bool ssMediaDecoder3::ReaderHasRoom()
{
    bool room = VideoPacketQueue_->HasRoom();
    for (int j = 0; room && j < AudioStreamCount_; ++j)
        room = AudioPacketQueues_[j]->HasRoom();
    if (!room || QueuedVideoBytes_.load() < ssVideoPacketBudget)
        return room;
    for (int j = 0; j < AudioStreamCount_; ++j)
        if (AudioReadTime_[j] < VideoReadTime_)
            return true;
    return false;
}

bool ssMediaDecoder3::ReaderQueuePacket(AVPacket* packet, ssEBuffer* queue, int64_t countedBytes, uint32_t streamBit)
{
    for (;;) {
        _avPacketHolder* holder = nullptr;
        if (queue->GetWriteSlot(&holder, kPacketWaitMs) == 0) {
            av_packet_unref(holder->packet);
            av_packet_move_ref(holder->packet, packet);
            holder->inUse = 1;
            holder->endsClip = 0;
            TagHolder(holder, streamBit);
            // Counted before the decoder can take it, so the count never goes below what is queued.
            QueuedVideoBytes_.fetch_add(countedBytes);
            queue->CommitWrite(0);
            return true;
        }
        if (ReadState(kReaderThread) != ssStatePlaying)
            break;
    }
    av_packet_unref(packet);
    return false;
}

void ssMediaDecoder3::ResetReadTimes()
{
    VideoReadTime_ = -std::numeric_limits<double>::infinity();
    for (double& time : AudioReadTime_)
        time = -std::numeric_limits<double>::infinity();
}

bool ssMediaDecoder3::ReaderAtEnd()
{
    if (ReaderLoops()) {
        // The file ended before the out point: the pass ends with its last frame.
        WrapLoop();
        return true;
    }
    if (ReaderHandsOver()) {
        // The file ended before the out point: the cue ends with its last frame.
        ReaderAtOutPoint();
        return true;
    }
    if (ReadThrough_.load())
        return false;
    // An empty packet marks the end; decoding it drains the pictures the decoder still holds.
    // One is enough: the decoder then has nothing more to do until a seek or a wrap.
    _avPacketHolder* holder = nullptr;
    if (VideoPacketQueue_->GetWriteSlot(&holder, kPacketWaitMs) != 0)
        return false;
    av_packet_unref(holder->packet);
    holder->inUse = 0;
    holder->endsClip = 0;
    TagHolder(holder, 0u);
    VideoPacketQueue_->CommitWrite(0);
    ReadThrough_.store(true);
    return true;
}

void ssMediaDecoder3::WrapLoop()
{
    // Back to the in point; the decoders see the file continue from there, one pass later on the
    // timeline. A slave going round with its master moves on by the master's pass, however much
    // of its own file it read.
    const LoopPass pass = ReaderLoopPass();
    const double passEnd = std::min(ReadEnd_, pass.last + FrameStep_.load());
    const double length = pass.length > 0.0 ? pass.length : passEnd - pass.in;
    if (length > 0) {
        LoopLength_.store(length);
        LoopShift_.store(LoopShift_.load() + length);
    }
    ReadEnd_ = 0.0;
    LoopStreamsDone_ = 0;
    ReadThrough_.store(false);
    const int64_t target = StreamTimestamp(pass.in);
    avformat_seek_file(FormatContext_, VideoStreamIndex_, INT64_MIN, target, target, 0);
    Present_.loopPending.store(1);
}

bool ssMediaDecoder3::LoopRangeRead() const
{
    const uint32_t all = (1u << (AudioStreamCount_ + 1)) - 1;
    return LoopStreamsDone_ == all;
}

bool ssMediaDecoder3::KeepVideoPacketInLoop(AVPacket* packet)
{
    if (LoopStreamsDone_ & 1u)
        return false;
    const double step = FrameStep_.load();
    const LoopPass pass = ReaderLoopPass();
    const double lastFrame = pass.last + 0.5 * step;
    const int64_t order = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    if (order != AV_NOPTS_VALUE && StreamTime(order, VideoStreamIndex_) > lastFrame) {
        // Decoded after every frame of the range, and shown after it: nothing of the range needs
        // this packet or any after it.
        LoopStreamsDone_ |= 1u;
        return false;
    }
    if (packet->pts != AV_NOPTS_VALUE) {
        const double time = StreamTime(packet->pts, VideoStreamIndex_);
        // Frames the decoder needs as references but nobody sees: those before the in point after
        // a wrap, those past the out point still decoded for the frames before it. (A cue that
        // hands over shows what it was sought to, the in point or not.)
        const bool wrapped = ReaderLoops();
        if (time > lastFrame || (wrapped && time < pass.in - 0.05 * step))
            packet->flags |= AV_PKT_FLAG_DISCARD;
    }
    return true;
}

bool ssMediaDecoder3::KeepAudioPacketInLoop(AVPacket* packet, int stream, bool ranged)
{
    const uint32_t bit = 1u << (stream + 1);
    if ((LoopStreamsDone_ & bit) || packet->pts == AV_NOPTS_VALUE)
        return !(LoopStreamsDone_ & bit);
    const AVStream* s = FormatContext_->streams[packet->stream_index];
    const int rate = s->codecpar->sample_rate;
    const double start = StreamTime(packet->pts, packet->stream_index);
    const double end = start + (packet->duration > 0 ? double(packet->duration) * av_q2d(s->time_base) : 0.0);
    const LoopPass pass = ReaderLoopPass();
    double in = ranged && ReaderLoops() ? pass.in : -std::numeric_limits<double>::infinity();
    // Read again after leaving a master's loop: the sound queued before stays, the rest follows it.
    const uint32_t reread = 1u << stream;
    if (RereadAudio_ & reread)
        in = std::max(in, RereadAudioFrom_[stream] - LoopShift_.load());
    const double rangeEnd = ranged ? pass.last + FrameStep_.load() : std::numeric_limits<double>::infinity();
    const double sample = rate > 0 ? 1.0 / rate : 0.0;
    if (start >= rangeEnd - 0.5 * sample) {
        LoopStreamsDone_ |= bit;
        return false;
    }
    if (end > start && end <= in + 0.5 * sample)
        return false;
    RereadAudio_ &= ~reread;
    if (rate <= 0 || end <= start)
        return true;
    // A packet across the in or the out point keeps only the samples inside the range, so each
    // pass's sound is as long as its pictures.
    const int64_t skip = start < in ? std::llround((in - start) * rate) : 0;
    const int64_t discard = ranged && end > rangeEnd ? std::llround((end - rangeEnd) * rate) : 0;
    if (skip > 0 || discard > 0) {
        uint8_t* side = av_packet_new_side_data(packet, AV_PKT_DATA_SKIP_SAMPLES, 10);
        if (side) {
            AV_WL32(side, uint32_t(skip));
            AV_WL32(side + 4, uint32_t(discard));
            side[8] = 0;
            side[9] = 0;
        }
    }
    return true;
}

void ssMediaDecoder3::ShiftPacketForLoop(AVPacket* packet)
{
    const double shift = LoopShift_.load();
    if (shift <= 0.0)
        return;
    const AVRational base = FormatContext_->streams[packet->stream_index]->time_base;
    if (base.num <= 0 || base.den <= 0)
        return;
    const int64_t ticks = std::llround(shift / av_q2d(base));
    if (packet->pts != AV_NOPTS_VALUE)
        packet->pts += ticks;
    if (packet->dts != AV_NOPTS_VALUE)
        packet->dts += ticks;
}

void ssMediaDecoder3::ReaderSeek()
{
    // A seek starts the file's own timeline again; a hand-over under way starts over from there.
    AbandonHandOver();
    LoopShift_.store(0.0);
    ReadUpTo_.store(-1.0);
    TimelineStarts_.fetch_add(1);
    ReadEnd_ = 0.0;
    ResetReadTimes();
    LoopStreamsDone_ = 0;
    ReadThrough_.store(false);
    RereadFresh_ = 0;
    RereadAudio_ = 0;
    if (AudioOutput_)
        AudioOutput_->Pause();
    const double frame = FrameDuration_;
    // Snapped to its frame; a time that is exactly a frame's (in decimal) must not fall to the
    // frame before through the rounding of the division.
    const double target = std::trunc(SeekTarget_.load() / frame + 1e-6) * frame;
    const double bias = StepDirection_.load() > 0 ? 0.1 : -0.1;
    const double t = std::max(0.0, target + frame * bias);
    // Always the keyframe at or before the target; the decoders drop the pictures before it.
    const int64_t timestamp = StreamTimestamp(t);
    if (avformat_seek_file(FormatContext_, VideoStreamIndex_, INT64_MIN, timestamp, timestamp, 0) < 0) {
        Present_.currentTime.store(target);
        Present_.frameTime.store(target);
    }
    avcodec_flush_buffers(VideoCodecContext_);
    for (int j = 0; j < AudioStreamCount_; ++j)
        avcodec_flush_buffers(AudioCodecContexts_[j]);
    VideoDrained_.store(0);
    FlushPacketQueues();
    VideoPacketQueue_->Flush();
    DecodedVideoQueue_->Flush();
    FrameRing_->Reset();
    RingResets_.fetch_add(1);
    LastSeekPosition_.store(target);
    SeekLanding_.store(std::numeric_limits<double>::quiet_NaN());
    // A scrub lands where it says as well: long-GOP material has no keyframe there, and the
    // picture a seek shows is where playing then starts.
    SkipToTarget_.store(AudioStreamCount_ > 0 ? 3 : 1);
    Present_.countdown.store(ssPostSeekFrames);
    SetThreadStates(ssStatePaused);
    Present_.resync.store(1);
}

void ssMediaDecoder3::TagHolder(_avPacketHolder* holder, uint32_t streamBit)
{
    holder->shift = LoopShift_.load();
    holder->rereads = ReaderRereads_;
    holder->startsAfresh = (RereadFresh_ & streamBit) ? 1 : 0;
    RereadFresh_ &= ~streamBit;
}

void ssMediaDecoder3::ReaderLeaveLoop()
{
    // The kept pass's timeline goes on through the file: what follows its end is read with its
    // shift. Packets queued from here on carry the new count; the decoders drop the older ones
    // of later passes.
    ReaderRereads_ = Rereads_.load();
    const double shift = LeftShift_.load();
    const double cut = LeftCut_.load();
    const double step = FrameStep_.load();
    const bool samePass = LoopShift_.load() < shift + 0.5 * step;
    // Still in the kept pass, nothing past its end read or passed over: reading simply goes on.
    const bool readPast = !samePass || LoopStreamsDone_ != 0;
    LoopShift_.store(shift);
    LoopLength_.store(0.0);
    LoopStreamsDone_ = 0;
    ReadThrough_.store(false);
    if (!readPast)
        return;
    // Where each stream had been queued up to in the kept pass (all of it when a later pass was
    // read); the sound before that stays, the pictures before it are dropped by the decoder.
    const double videoFrom = samePass ? std::min(cut, ReadEnd_ + shift) : cut;
    for (int j = 0; j < AudioStreamCount_; ++j)
        RereadAudioFrom_[j] = samePass ? std::min(cut, AudioReadTime_[j]) : cut;
    const double target = std::max(0.0, videoFrom - shift - kRereadFrames * step);
    const int64_t timestamp = StreamTimestamp(target);
    avformat_seek_file(FormatContext_, VideoStreamIndex_, INT64_MIN, timestamp, timestamp, 0);
    ReadEnd_ = 0.0;
    ResetReadTimes();
    RereadFresh_ = (2u << AudioStreamCount_) - 1;
    RereadAudio_ = (1u << AudioStreamCount_) - 1;
}
