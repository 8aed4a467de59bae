#pragma once

#include "platform/decklink/DeckLinkInterfaces.h"
#include "platform/decklink/virtual/CallbackSlot.h"
#include "platform/decklink/virtual/FramePacer.h"
#include "platform/decklink/virtual/RefCounted.h"
#include "platform/decklink/virtual/VirtualCardState.h"

#include <memory>
#include <mutex>
#include <vector>

namespace platform::decklink {

// The playout side of a virtual card. While playback runs, a thread wakes at the start of every
// frame period, puts out the frame due for that period, reports the frame it replaces, and takes
// that period's share of embedded audio (48 kHz) from the audio buffer, asking the application
// for more while the buffer is low.
class VirtualOutput final : public RefCounted<IDeckLinkOutput> {
public:
    explicit VirtualOutput(std::shared_ptr<CardState> card);

    Result GetDisplayModeIterator(IDeckLinkDisplayModeIterator** iterator) override;
    Result EnableVideoOutput(DisplayModeId mode, VideoOutputFlags flags) override;
    Result DisableVideoOutput() override;
    Result CreateVideoFrame(int32_t width, int32_t height, int32_t rowBytes, PixelFormat format, FrameFlags flags,
                            IDeckLinkMutableVideoFrame** frame) override;
    Result CreateAncillaryData(PixelFormat format, IDeckLinkVideoFrameAncillary** ancillary) override;
    Result SetScheduledFrameCompletionCallback(IDeckLinkVideoOutputCallback* callback) override;
    Result ScheduleVideoFrame(IDeckLinkVideoFrame* frame, TimeValue displayTime, TimeValue displayDuration,
                              TimeScale timeScale) override;
    Result StartScheduledPlayback(TimeValue playbackStartTime, TimeScale timeScale, double playbackSpeed) override;
    Result StopScheduledPlayback(TimeValue stopTime, TimeValue* actualStopTime, TimeScale timeScale) override;
    Result GetScheduledStreamTime(TimeScale timeScale, TimeValue* streamTime, double* playbackSpeed) override;
    Result GetHardwareReferenceClock(TimeScale timeScale, TimeValue* hardwareTime, TimeValue* timeInFrame,
                                     TimeValue* ticksPerFrame) override;
    Result EnableAudioOutput(uint32_t sampleRate, AudioSampleType sampleType, uint32_t channelCount,
                             AudioOutputStreamType streamType) override;
    Result DisableAudioOutput() override;
    Result SetAudioCallback(IDeckLinkAudioOutputCallback* callback) override;
    Result ScheduleAudioSamples(const void* buffer, uint32_t sampleFrameCount, TimeValue streamTime,
                                TimeScale timeScale, uint32_t* sampleFramesWritten) override;
    Result GetReferenceStatus(ReferenceStatus* status) override;

private:
    struct Scheduled {
        IDeckLinkVideoFrame* frame; // one reference per scheduling
        TimeValue time;             // in the mode's time scale
    };
    struct Completion {
        IDeckLinkVideoFrame* frame;
        CompletionResult result;
    };

    ~VirtualOutput() override;

    void playPeriod(int64_t tick);
    // The playout thread's last act: everything still held is flushed.
    void finishPlayback();
    void refillAudio(int64_t tick);
    // Moves the frame on air and every scheduled frame to the completions as flushed.
    void takeAllLocked();
    void reportCompletions();

    const std::shared_ptr<CardState> card_;

    std::mutex mutex_; // guards everything below but the callbacks
    const ModeSpec* mode_ = nullptr;
    VideoOutputFlags flags_ = 0;
    std::vector<Scheduled> queue_; // by display time
    IDeckLinkVideoFrame* onAir_ = nullptr;
    CompletionResult onAirResult_ = CompletionResult::Completed;
    bool playing_ = false;
    TimeValue startStreamTime_ = 0; // mode time scale
    int64_t tick_ = 0;              // frame periods played

    bool audioEnabled_ = false;
    uint32_t channels_ = 0;
    AudioSampleType sampleType_ = AudioSampleType::Integer32;
    size_t bytesPerFrame_ = 0;
    std::vector<uint8_t> audioRing_;
    size_t ringRead_ = 0, ringFill_ = 0; // in sample frames of the one-second ring
    std::vector<uint8_t> audioPeriod_; // one period's samples, handed to the tap
    int64_t audioTotal_ = 0;

    // Used by the playout thread only (and by Disable while no thread runs).
    std::vector<Completion> completions_;

    CallbackSlot<IDeckLinkVideoOutputCallback> videoCallback_;
    CallbackSlot<IDeckLinkAudioOutputCallback> audioCallback_;
    FramePacer pacer_; // last: its thread ends before anything it uses goes
};

} // namespace platform::decklink
