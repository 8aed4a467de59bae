#pragma once
// Scheduled playout of one engine to an SDI card: a few card frames cycled through the card with
// RP188 time code, and 8 channels of embedded audio that keep the channel's audio clock.

#include "engine/output/ssPlayoutSource.h"
#include "platform/decklink/DeckLinkInterfaces.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class ssDecklinkOutput;

class ssDecklinkPlayout {
public:
    static constexpr int32_t kPrerollFrames = 3;
    // Card frames, each a whole raster (4 MB at 1080). A new picture is copied into one that is
    // not waiting to go on air: at most kPrerollFrames + 1 are (the lead and the one on air), so
    // one more would always be free. The count is even: at fast progressive rates pictures
    // alternate between the two RP188 slots and a frame keeps the slot it was not written in, so
    // frames taken in turn must each keep to one of them.
    static constexpr int32_t kCardFrames = kPrerollFrames + 3;
    static constexpr int32_t kAudioChannels = 8;
    static constexpr int32_t kAudioFramesPerCall = 960; // 20 ms at 48 kHz
    static constexpr int32_t kAudioBufSize = 245760;
    static constexpr int32_t kMaxStreams = 20;

    // logName: the name the card's callbacks log under (ssMessageScope; the engine's, which
    // outlives the playout); null: none.
    explicit ssDecklinkPlayout(ssPlayoutSource* source, const char* logName = nullptr);
    ~ssDecklinkPlayout();
    ssDecklinkPlayout(const ssDecklinkPlayout&) = delete;
    ssDecklinkPlayout& operator=(const ssDecklinkPlayout&) = delete;

    // Enables the card in that mode (an index past the mode count selects mode 0), prerolls and
    // starts playback. -1 when the device cannot play out or video cannot be enabled at all.
    int32_t Start(ssDecklinkOutput* device, int32_t modeIndex);
    // Stops playback and gives the card back. Must not be called holding a lock the source's
    // calls take (the card waits for its callbacks).
    void Stop();

    // Card threads.
    void ScheduleNextFrame(platform::decklink::CompletionResult result);
    int32_t RenderAudioSamples();

    // The reference time (seconds) of a period whose frame is still to be chosen on every card of
    // the reference, with a period to spare: where a play started now begins.
    double NextFreePeriodTime();
    double GetPeriodDuration() const;

    // A play can start sooner than NextFreePeriodTime: the periods already handed to the card
    // that only repeat the held picture get the play's frames instead. The caller holds the
    // scheduling (no card period is chosen meanwhile) from choosing the start until the frames
    // are chosen again.
    std::unique_lock<std::mutex> HoldScheduling() { return std::unique_lock(ScheduleLock_); }
    // The earliest period (reference seconds) whose card frame is still far enough from air to be
    // written and that follows the latest new picture handed over; -1 when a period handed over
    // from there on shares its card frame with another period still waiting or on air.
    double RewritablePeriodTime();
    // Chooses again, from the source, the frames of the periods from `displayTime` on that were
    // already handed to the card, writing them into their card frames.
    void RechooseScheduledFrom(double displayTime);

    double GetAudioClock() const { return AudioClock_.load(); }
    void SetAudioClock(double seconds) { AudioClock_.store(seconds); }
    int32_t GetWidth() const { return Width_; }
    int32_t GetHeight() const { return Height_; }
    int32_t GetInterlaced() const { return Interlaced_; }
    float GetFrameRate() const { return FrameRate_; }
    bool HasTimecode() const { return Ancillary_ != nullptr; }
    bool HasAudio() const { return AudioEnabled_; }
    // True while playing to a card whose reference input is locked.
    bool ReferenceLocked() const;

private:
    class VideoDelegate;
    class AudioDelegate;

    void WriteTimecode(platform::decklink::IDeckLinkMutableVideoFrame* frame);
    // The reference period the card is in now (false without a reference clock).
    bool CurrentReferencePeriod(int64_t* period);
    // Keeps the reference period of stream period 0 up to date; the period a frame scheduled now
    // goes on air in.
    int64_t ReferencePeriodOfScheduled();
    void FillAudio(int32_t* block);
    // Gives back the audio packets still held and forgets where they were read to.
    void ReleaseLeftovers();
    size_t FrameBytes() const { return size_t(Width_) * size_t(Height_) * 2; }

    ssPlayoutSource* Source_;
    const char* const LogName_;
    platform::decklink::IDeckLinkOutput* Output_ = nullptr;
    int32_t Width_ = 0;
    int32_t Height_ = 0;
    int32_t Interlaced_ = 0;
    float FrameRate_ = 0.0f;
    platform::decklink::TimeValue FrameDuration_ = 0;
    platform::decklink::TimeScale TimeScale_ = 0;
    platform::decklink::IDeckLinkMutableVideoFrame* Frames_[kCardFrames] = {};
    // The schedule count each card frame was last handed to the card at.
    int64_t ScheduledAt_[kCardFrames] = {};
    // What each card frame holds: kBlackPicture, or the serial of the picture written into it
    // (copies of a held picture share it), so a picture already there is not written again.
    static constexpr uint64_t kBlackPicture = 0;
    uint64_t Picture_[kCardFrames] = {};
    uint64_t PictureSerial_ = 0;
    // The card frame handed over at each of the latest schedule counts (count % kScheduledRecord).
    static constexpr int32_t kScheduledRecord = 8;
    int32_t FrameOfScheduled_[kScheduledRecord] = {};
    // The schedule count of the latest period given a new picture: a play never starts before
    // it has aired.
    int64_t LastNewPicture_ = -1;
    // Card periods are chosen one at a time: the card's callback, or a play choosing again.
    std::mutex ScheduleLock_;
    platform::decklink::IDeckLinkVideoFrameAncillary* Ancillary_ = nullptr;
    std::unique_ptr<VideoDelegate> VideoDelegate_;
    std::unique_ptr<AudioDelegate> AudioDelegate_;
    bool AudioEnabled_ = false;
    std::atomic<int64_t> ScheduledCount_{0};
    // The reference period of stream period 0; a late callback can only make it seem later, so
    // the earliest reading is the true one. kUnknownOrigin until the first reading.
    static constexpr int64_t kUnknownOrigin = INT64_MAX;
    std::atomic<int64_t> ReferenceOrigin_{kUnknownOrigin};
    // The card frame scheduled last (a held picture schedules it again) and where the search for
    // a free one starts.
    int32_t LastFrame_ = 0;
    int32_t NextFrame_ = 0;
    // The card frame is within the lead already handed to the card, or on air: it may still be read.
    bool MayStillAir(int32_t index) const;
    // The card frame a new picture goes into: one no longer waiting to air (overwriting one that
    // is would show the new picture too early); failing that, the one scheduled longest ago.
    int32_t FreeCardFrame() const;
    // The card frame a repeated picture (or black) goes into: one not waiting to air, preferring
    // one that holds it already. Every period handed over thus has a card frame of its own, which
    // a play starting sooner can write.
    int32_t CardFrameForRepeat(uint64_t picture) const;
    // Puts a picture into a card frame: a ring slot's pixels (false when they cannot be read), or
    // the copy of another card frame.
    bool WriteSlot(int32_t index, int32_t slot);
    void WriteCopy(int32_t index, int32_t from);

    std::atomic<double> AudioClock_{0.0};
    const double SampleDuration_ = 1.0 / 48000.0;
    std::vector<int32_t> AudioBlock_; // kAudioBufSize bytes
    ssAudioPacket Leftover_[kMaxStreams] = {};
    int32_t LeftoverPosition_[kMaxStreams] = {};
};
