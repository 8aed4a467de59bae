// Opening a file: demuxer over the engine's own file I/O, stream selection, time code, codecs,
// resamplers and the preallocated queues; closing it again.

#include "engine/decoder/ssMediaDecoder3.h"

#include "engine/base/ssCriticalSection.h"
#include "engine/base/ssEBuffer.h"
#include "engine/base/ssMessage.h"
#include "engine/base/ssHeapPolicy.h"
#include "engine/capture/ssSEBuffer.h"
#include "engine/audio/ssAudioMTosx.h"
#include "engine/decoder/ssClipFile.h"
#include "engine/files/ssFile.h"

#include <algorithm>
#include <cmath>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

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
    Present_.slateTaken.store(false);
    LastVideoPacketTime_.store(0.0);
    LoopShift_.store(0.0);
    LoopLength_.store(0.0);
    ReadUpTo_.store(-1.0);
    TimelineStarts_.fetch_add(1);
    ReadEnd_ = 0.0;
    ResetReadTimes();
    LoopStreamsDone_ = 0;
    ReadThrough_.store(false);
    SkipToTarget_.store(0);
    LastSeekPosition_.store(0.0);
    SeekLanding_.store(0.0);
    Duration_ = 0.0;

    if (!path || !*path) {
        // Closing: a DeckLink output keeps playing out black, which its frames already hold.
        return HasOutput_ && Output_.kind == 2 ? 0 : -1;
    }
    ssClipFile clip;
    if (const int32_t result = clip.Open(path, Output_, HasOutput_.load()); result != 0)
        return FailOpen(result);
    Install(clip);
    InPoint_.store(0.0);
    // The out point names the last frame's time: the whole file plays, its last frame included.
    OutPoint_.store(std::max(0.0, Duration_ - FrameDuration_));
    ConfigureAudioOutput();

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
    WakeThread(kRenderThread);
    return 0;
}

int32_t ssMediaDecoder3::FailOpen(int32_t result)
{
    // Whatever step failed, nothing of the attempt stays behind for the next Open to trip over.
    Opening_.store(0);
    CloseFile();
    return result;
}

void ssMediaDecoder3::Install(ssClipFile& clip, bool sameShape)
{
    // The clip's objects become the engine's; the clip is left empty. A clip of the same shape
    // leaves what the outputs read of the sound's layout as it is: it is the same.
    if (!sameShape) {
        std::lock_guard next(NextLock_);
        Shape_ = clip.Shape();
    }
    FilePath_ = clip.path;
    File_ = std::exchange(clip.file, nullptr);
    FormatContext_ = std::exchange(clip.format, nullptr);
    IOContext_ = std::exchange(clip.io, nullptr);
    VideoCodecContext_ = std::exchange(clip.video, nullptr);
    VideoDecoder_ = std::exchange(clip.videoDecoder, nullptr);
    for (int j = 0; j < ssMaxAudioStreams; ++j) {
        AudioCodecContexts_[j] = std::exchange(clip.audio[j], nullptr);
        AudioStreamIndexes_[j] = clip.audioStreams[j];
        if (!sameShape)
            AudioChannels_[j] = clip.audioChannels[j];
    }
    VideoStreamIndex_ = std::exchange(clip.videoStream, -1);
    if (!sameShape) {
        AudioStreamCount_ = clip.audioStreamCount;
        // The preview's thread reads the count under PresentLock_.
        std::lock_guard present(PresentLock_);
        TotalAudioChannels_ = clip.totalAudioChannels;
    }
    clip.audioStreamCount = 0;
    clip.totalAudioChannels = 0;
    BytesPerDecodedSample_ = clip.bytesPerDecodedSample;
    Duration_.store(clip.duration);
    FrameRate_.store(clip.frameRate);
    MovieRate_ = clip.movieRate;
    FrameStep_.store(1.0 / clip.frameRate);
    FrameDuration_.store(1.0 / clip.frameRate);
    StartTime_ = clip.startTime;
    AudioClockOffset_.store(clip.audioClockOffset);
    DecodedPixelFormat_ = clip.pixelFormat;
    FieldOrder_ = clip.fieldOrder;
    HasTimeCode_ = clip.hasTimeCode;
    TimeCodeText_ = clip.timeCodeText;
    std::copy(std::begin(clip.timeCodeParts), std::end(clip.timeCodeParts), TimeCodeParts_);
    TimeCodeOffset_ = clip.timeCodeOffset;
}

void ssMediaDecoder3::TakeInstalled(ssClipFile& clip)
{
    clip.Close();
    clip.path = FilePath_;
    clip.file = std::exchange(File_, nullptr);
    clip.format = std::exchange(FormatContext_, nullptr);
    clip.io = std::exchange(IOContext_, nullptr);
    clip.video = std::exchange(VideoCodecContext_, nullptr);
    clip.videoDecoder = std::exchange(VideoDecoder_, nullptr);
    for (int j = 0; j < ssMaxAudioStreams; ++j)
        clip.audio[j] = std::exchange(AudioCodecContexts_[j], nullptr);
    clip.videoStream = std::exchange(VideoStreamIndex_, -1);
    clip.audioStreamCount = AudioStreamCount_;
    for (int j = 0; j < ssMaxAudioStreams; ++j) {
        swr_free(&Resamplers_[j]);
        clip.audioStreams[j] = AudioStreamIndexes_[j];
    }
    sws_freeContext(Scaler_);
    Scaler_ = nullptr;
}

void ssMediaDecoder3::ConfigureAudioOutput()
{
    if (!AudioOutput_) {
        // Published under PresentLock_, which the preview's thread reads it under.
        auto* output = new ssAudioMTosx();
        std::lock_guard present(PresentLock_);
        AudioOutput_ = output;
    }
    OutputSampleRate_ = ssOutputSampleRate;
    const int channels = AudioStreamCount_ > 0 ? TotalAudioChannels_ : 2;
    AudioOutput_->Configure(this, channels, 4, 1, ssOutputSampleRate);
    AudioOutput_->ClearQueues();
    AudioOutput_->Start();
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
    ConnectQueueWakes();
}

void ssMediaDecoder3::CloseCodecs()
{
    ssClipFile clip;
    TakeInstalled(clip);
}

void ssMediaDecoder3::CloseFile()
{
    const bool hadFile = File_ != nullptr;
    ReleaseFile();
    // Everything of the file is freed, the render thread's textures and buffers included; the
    // presenting side is not held while the pages go back.
    if (hadFile) {
        ReleaseSerial_.fetch_add(1);
        ssReturnFreedMemory();
    }
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
    // A prepared cue followed this file; the next one names its own.
    ClearNext();
    {
        std::lock_guard next(NextLock_);
        HandOverCalledOff_ = false;
    }
    HandOverPass_ = 0;
    HandOverMarkers_ = 0;
    QueuedUpTo_.store(-1.0);
    HandOverStage_.store(kHandOverNone);
    ClipStartPending_.store(0);
    ReleaseParkedDecoders();
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
