#pragma once
// The per-channel playback engine. It opens one media file at a time through FFmpeg over its own
// file I/O, demultiplexes it on a reader thread, decodes video and audio on two decoder threads
// and renders decoded pictures on a render thread into the frame ring that the presenting side
// (a screen output's draw or the DeckLink scheduling callback) takes frames from. The audio clock
// is the playback clock.
//
// Each worker thread has one state word (ssThreadState), written by the controlling side and read
// by the thread once per round under the word's own lock. A thread with nothing to do rests on
// its own wake event until something it waits for changes (see WakeThread).

#include "engine/base/ssEvent.h"
#include "engine/decoder/ssClipFile.h"
#include "engine/decoder/ssDecoderTypes.h"
#include "engine/decoder/ssFrameChoice.h"
#include "platform/gl/ssGLContext.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct AVCodec;
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVIOContext;
struct AVPacket;
struct SwrContext;
struct SwsContext;
class KLVChannelNotifier;
class ssAudioMTosx;
class ssBaseOutput;
class ssDVIOutput;
class ssDecklinkPlayout;
class ssEngineOutputSource;
class ssCriticalSection;
class ssDisplayGL;
class ssEBuffer;
class ssFile;
class ssMediaRender;
class ssSEBuffer;
class ssThread;
class ssTimer;

// The end-of-range bridge to the application: the one call the engine makes into it. The
// application supplies the call; it hands the notification to its main thread and returns at once
// (the engine never waits for the application).
class KLVChannelNotifier {
public:
    explicit KLVChannelNotifier(std::function<void()> endpointReached)
        : endpointReached_(std::move(endpointReached))
    {
    }
    void NotifyEndpointReached() const
    {
        if (endpointReached_)
            endpointReached_();
    }

private:
    std::function<void()> endpointReached_;
};

class ssMediaDecoder3 final : private ssAudioClockMaster {
public:
    // resourceBase: the application's base path (null: empty); fonts, shaders and archives are
    // read from "<base>/Contents/Resources". context: the engine's own GL context, shared with the
    // application's; null lets the render thread create one from the process's share root.
    // logName: what the engine's log lines carry as theirs ("channel 2"; null or empty: none),
    // on its threads and its card's callbacks (ssMessageScope).
    ssMediaDecoder3(const char* resourceBase, std::unique_ptr<ssGLContext> context, const char* logName = nullptr);
    ~ssMediaDecoder3();
    // The name the engine's log lines carry ("" for none); lasts as long as the engine.
    const char* LogName() const { return LogName_.c_str(); }
    ssMediaDecoder3(const ssMediaDecoder3&) = delete;
    ssMediaDecoder3& operator=(const ssMediaDecoder3&) = delete;

    // Stops every thread and frees the file, codecs, queues and audio output. The engine may be
    // opened again afterwards.
    void Shutdown();

    // Opens a file for playback: 0, -1 (file not opened, no output or display), -12 (no memory for
    // a codec context) or the FFmpeg error of the failing step. An empty path closes the open file.
    // The file's first frame is shown at once, also while paused, unless showFirstFrame is false:
    // then nothing of it is shown before the first seek (a cue that waits at its in point).
    int32_t Open(const char* path, bool hasPreview, bool showFirstFrame = true);

    // The cue that follows the open one when its range ends (behaviour 2), opened now so that its
    // first frame airs in the period after the last one of the open cue, through the running
    // threads. 0; -1 when the file cannot be opened or nothing is open; -2 when the clip cannot
    // follow through the same queues (another picture size, aspect, field order, rate or sound
    // layout): it is then opened when the open cue ends, as any cue is. Replaces a cue prepared
    // before. The range is the cue's (in and out as SetInOutPoints takes them).
    int32_t PrepareNext(const char* path, double in, double out, int32_t behaviour);
    // Drops a prepared cue (a hand-over already under way then stops at the open cue's end).
    void ClearNext();
    // Counts the prepared cues that went on air; each is also reported as the end of the range.
    uint64_t GetHandOvers() const { return HandOvers_.load(); }
    // The reader's steps through a hand-over: the out point reached with a cue prepared, and both
    // decoders done with the open clip (the prepared one is swapped in next). An observer is told
    // of each on the reader thread, which goes on once it returns: a test puts another thread's
    // step (a clear, a frame going on air) between two of them. Null: none.
    enum class HandOverStep { Ending, DecodersParked };
    void ObserveHandOver(std::function<void(HandOverStep)> observer);

    // The output the engine renders for (null: none): the frame ring is sized and the render
    // thread reconfigured for it. Returns 0.
    int32_t SetOutputFormat(const ssOutputFormat* format);

    // Transport.
    int32_t Play();
    int32_t Pause();
    int32_t Stop();
    // The seek handshake; the engine is left paused. Does nothing without an output. Answers -1
    // when the threads did not answer in time: before the move the seek is dropped (the demuxer
    // may still be in use), after it the wait for the new frame is skipped.
    int32_t Seek(double time, int32_t scrub);
    // Waits, at most `milliseconds`, until the output has shown the frame of the position an open
    // or a seek went to, or the slate standing for it. Not on the presenting thread, which shows it.
    void WaitForPositionShown(int32_t milliseconds);
    int32_t StepForward();
    int32_t StepBackward();
    // Nudge audio against video by a couple of blocks and one picture.
    int32_t AdjustForward();
    int32_t AdjustBackward();
    int32_t SetInPoint(double time);
    // -1 and nothing changes when the in point is not below the new out point.
    int32_t SetOutPoint(double time);
    int32_t SetInOutPoints(double in, double out);
    // 0 stop, 1 loop, 2 stop (only with a notifier; see EndPointReached).
    int32_t SetPlaybackBehavior(int32_t behaviour);
    int32_t GetPlaybackBehavior() const { return PlaybackBehavior_.load(); }
    int32_t SetDelegate(KLVChannelNotifier* notifier);
    int32_t SetVolume(float volume);
    int32_t SetAudioDelay(int32_t milliseconds);
    // 0 computer audio, 1 SDI embedded audio; 0 for those, -1 for any other kind.
    int32_t SetAudioOutput(int32_t kind);
    int32_t GetAudioOutput() const { return AudioOutputKind_.load(); }
    int32_t SetSyncMode(int32_t flag);
    // 0 none, 1 elapsed, 2 remaining; -1 without a DeckLink output.
    int32_t SetTimeCodeOutput(int32_t mode);
    int32_t GetTimeCodeOutput() const { return TimeCodeOutput_.load(); }
    int32_t SetShowSlate(int32_t flag);
    int32_t IsSlateShowing() const { return SlateShowing_.load(); }
    // Links this engine to a master (null unlinks): it follows the master's clock, offset seconds
    // behind it.
    int32_t SetMaster(ssMediaDecoder3* master, double offset);
    bool BuffersReady();

    double GetCurrentTime() const { return Present_.currentTime.load(); }
    float GetFrameRate() const { return float(FrameRate_.load()); }
    double GetFrameStep() const { return FrameStep_.load(); }
    // Until the prepared cue's first frame airs, the range and length are the cue on air's.
    double GetDuration() const { return HandOverStage_.load() == kHandOverSwapped ? Outgoing_.duration.load() : Duration_.load(); }
    double GetInPoint() const { return HandOverStage_.load() == kHandOverSwapped ? Outgoing_.in.load() : InPoint_.load(); }
    double GetOutPoint() const { return HandOverStage_.load() == kHandOverSwapped ? Outgoing_.out.load() : OutPoint_.load(); }
    double GetTimeCodeOffset() const { return TimeCodeOffset_; }
    int32_t HasTimeCode() const { return HasTimeCode_; }
    const char* GetTimeCodeText() const { return TimeCodeText_.c_str(); }
    // FormatTimeCode of the current time, or of the time remaining, into 256 bytes.
    int32_t GetCurrentTimeCodeString(char* buffer);
    int32_t GetRemainingTimeCodeString(char* buffer);
    int32_t IsFileOpen() const { return NoFile_.load() == 0; }
    // Counts the files closed. A view's GL context lets go of a closed file's textures only when
    // it next draws: the first draw after a close asks for the freed memory back (once per view).
    uint32_t ReleaseSerial() const { return ReleaseSerial_.load(); }
    int32_t GetAudioStreamCount() const { return AudioStreamCount_; }
    int32_t GetTotalAudioChannels() const { return TotalAudioChannels_; }
    int32_t GetMissedFrames() const { return Present_.missedFrames.load(); }
    // Rounds the worker threads have gone through, working or not: a resting engine adds none.
    uint64_t GetThreadPasses() const { return ThreadPasses_.load(); }
    float GetMeasuredFrameRate() const { return MeasuredRate_.load(); }
    int32_t GetDecodedPixelFormat() const { return DecodedPixelFormat_; }
    // The video stream's start time that every engine time is counted from.
    double GetStartTime() const { return StartTime_; }
    // The SDI output's audio clock (kept by the card's audio callback).
    void SetSdiAudioClock(double seconds) { SdiAudioClock_.store(seconds); }
    // Plays to an output device in one of its modes (null: none): the engine renders for it and
    // the device takes its frames (a screen draws them, a card is started). 0, or -1 when the
    // card could not be started.
    int32_t SetOutputDevice(ssBaseOutput* device, int32_t modeIndex);
    // The engine's display (the renderer's; null before the first output configuration).
    ssDisplayGL* GetDisplay() const;
    // A stream's PCM queue (null past the streams) and its channel count.
    ssEBuffer* GetSampleQueue(int32_t stream) const;
    int32_t GetStreamChannels(int32_t stream) const;
    int32_t GetFirstFrameShown() const { return FirstFrameShown_.load(); }
    ssMediaDecoder3* GetMaster() const { return Master_.load(); }
    double GetSlaveOffset() const { return SlaveOffset_.load(); }
    void GetTimeCodeParts(int32_t parts[4]) const;
    // The channel's renderer: its meters are fed by the audio path and read by the preview.
    ssMediaRender& GetRender() const { return *Render_; }

    // Rendering, from any thread. The overlay and slate pixels are copied (the caller keeps its
    // buffer); the overlay rectangle is in output pixels from the top-left of the raster.
    void SetOverlayImage(int32_t width, int32_t height, const uint8_t* rgba, float x, float y, float w, float h);
    // +1 fades in, -1 out, over fadeTime seconds.
    void FadeOverlay(int32_t direction, float fadeTime);
    // Shows a new frame with the slate (the engine seeks to 0); returns whether the slate shows.
    int32_t SetSlateImage(int32_t width, int32_t height, const uint8_t* rgba);
    // Non-zero keeps the picture's display aspect in the output raster (letter- or pillar-box).
    void SetAnamorphic(int32_t flag);
    void GetOutputSize(int32_t* width, int32_t* height) const;
    // 1 when playing to a card whose reference input is locked.
    int32_t HasReference() const;
    // The channel preview into the viewport (backing pixels) of the calling thread's current
    // context, which shares the engine's. Returns 0.
    int32_t DrawPreview(int32_t x, int32_t y, int32_t width, int32_t height);
    // Any thread, no GL: a value that changes whenever what DrawPreview would draw changes (the
    // frame on air, the meters, the output and the picture's sizes), so an unchanged preview need
    // not be drawn again.
    uint64_t PreviewStamp();
    // The texture of a ring slot for drawing in the calling thread's context, once the render
    // thread's drawing into it has finished on the GPU (0: none). Read under PresentLock_, as the
    // pixels are: the render thread frees the targets only while its threads are stopped under it.
    uint32_t AcquireFrameTexture(int32_t slot);

    // Presenting side: the ring slot of the frame to show now, or -1. Out: frame and display size
    // and the reader's state. A card names the period the frame goes on air in: playing is then
    // paced by the card's periods (see Play), not by the audio clock.
    int32_t GetFrameForOutput(int32_t* frameWidth, int32_t* frameHeight, int32_t* displayWidth,
                              int32_t* displayHeight, int32_t* state, const ssOutputPeriod* period = nullptr);
    // Frames rendered and not yet taken by the presenting side.
    int32_t GetFramesReady();
    // The ring slot a GetFrameForOutput result names. Its bytes and names are freed with the
    // targets when the render thread ends (a load, a close, an output change, which run under
    // PresentLock_): a thread that presents reads them with CopyFramePixels and
    // AcquireFrameTexture, which hold it, never through this pointer.
    const ssFrameTarget* GetFrameTarget(int32_t index) const;
    // Copies a slot's frame read back for a width x height card raster (2 bytes a pixel); false
    // for a frame read back for any other raster or none. Under PresentLock_: the render thread
    // frees the pixels only while the threads are stopped under it.
    bool CopyFramePixels(int32_t index, int32_t width, int32_t height, uint8_t* destination, size_t bytes);
    double GetPlaybackClock();
    // A linked slave whose master loops goes round with it by itself: its reader wraps at the end
    // of the master's pass (moved by the link's offset) and moves each pass on by the master's
    // pass length, so the first frames of its next pass are decoded before the seam and it airs
    // them in the period its master airs its in point. True while it does so and plays: there is
    // nothing to seek it to at the seam.
    bool PassesSeamsWithMaster();
    // masterClock (the master's own, a loop's later passes running on) plus the link's offsets as a
    // time on this engine's timeline: the master's position in its file, and for a slave going
    // round with it, in this engine's pass that the master's pass stands for.
    double FollowedTime(ssMediaDecoder3* master, double masterClock, double offsets);
    // The same clock as a position in the file: the later passes of a loop run on past the end of
    // its range, and are folded back into it. What an engine linked to this one follows.
    double GetPlaybackPosition();
    double GetAudioClock() override;

    // Inside the engine (and for the audio output).
    int32_t GetThreadState();
    // Linked audio follows this engine only while its threads play.
    bool IsPlaying() override { return GetThreadState() == ssStatePlaying; }
    void SetThreadStates(int32_t state);
    // Moves the threads from `from` to `to` only while they are all in `from`; false otherwise.
    bool SetThreadStatesFrom(int32_t from, int32_t to);
    bool AllThreadsInState(int32_t state);
    void EndPointReached();
    // A picture of a later pass made before this slave left its master's loop (see
    // LeaveMastersLoop): dropped on its way to the output.
    bool PastLeftPass(double time, int32_t rereads) const;
    // Converts a decoded picture into a frame of the engine's layout (Cb Y0 Cr Y1, 2 bytes per
    // pixel, rowBytes of the frame); never writes beyond rowBytes x height bytes of it.
    void CopyVideoFrame(const AVFrame* picture, _videoFrame* frame);

private:
    friend struct ssMediaDecoderThreads;

    // Stops the threads and frees the file with all its queues, codecs and render targets.
    void CloseFile();
    void ReleaseFile();
    void CloseCodecs();
    int32_t FailOpen(int32_t result);
    // The opened clip's objects and facts become the engine's (the clip is left empty), and back.
    void Install(ssClipFile& clip, bool sameShape = false);
    void TakeInstalled(ssClipFile& clip);
    void ConfigureAudioOutput();
    void CreatePacketQueues();
    void StartThreads();
    void StopThreads();
    void StopAudioThread();
    void FlushPacketQueues();
    // Asks the audio decode thread to idle and waits for its answer; false without the thread.
    bool HoldAudioDecoding();
    void StartThread(int index, int priority, void* (*loop)(void*));
    void EndThread(int index);

    void ReaderLoop();
    // One read, one step of a hand-over or of the wait at the out point; false when there was
    // nothing to do (the queues are full, or the reader waits at the out point).
    bool ReaderRound();
    // Whether the reader may read another packet: every queue has a free slot and the video
    // queue is within its byte budget, or audio still lags behind the video read (the next
    // audio packet may lie past more video in the file).
    bool ReaderHasRoom();
    void ReaderSeek();
    // Queues the packet (false: dropped, the reader was stopped); countedBytes go to the video
    // queue's byte count.
    bool ReaderQueuePacket(AVPacket* packet, ssEBuffer* queue, int64_t countedBytes, uint32_t streamBit);
    // Nothing read yet: the times the byte budget compares.
    void ResetReadTimes();
    // At the end of the file: loops, hands over or ends the clip with one end marker; false when
    // there was nothing more to do.
    bool ReaderAtEnd();
    // Queues a packet the reader read (or drops it: outside a loop's or a hand-over's range).
    void ReaderTakePacket();
    // Whether the reader stops at the out point to hand over to the prepared cue (decided once
    // per pass, before the out point is read).
    bool ReaderHandsOver();
    // At the out point of such a pass: hands over, or waits there for a prepared cue.
    void ReaderAtOutPoint();
    // The decoders are told to finish the open clip, and once both have, the prepared one takes
    // its place. False while that is still under way.
    void BeginHandOver();
    bool ReaderHandOver();
    // At the out point, waiting for a prepared cue; false while nothing changed.
    bool ReaderWaitAtOutPoint();
    void SwapInPreparedCue();
    // A seek or a close: the hand-over starts over, the decoders wait for no swap.
    void AbandonHandOver();
    void ReleaseParkedDecoders();
    int32_t OpenNext(const char* path, double in, double out, int32_t behaviour);
    void ReadRangeAgain();
    // Presenting side, under the presenting lock: the prepared cue's first frame goes on air now.
    void AdoptHandedOverCue();
    // Moves a packet of a further loop pass on by the passes before it.
    void ShiftPacketForLoop(AVPacket* packet);
    // A loop's pass ends (at the out point or the file's end): reading starts over at the in
    // point, one pass later on the timeline.
    void WrapLoop();
    // The range a loop goes round: the engine's own, or, for a slave going round with its master,
    // the master's pass from the master's in point moved by the link's offset (its last frame
    // no later than the slave's own out point). length: what each pass moves the timeline on
    // by (0: the length read).
    struct LoopPass {
        double in = 0.0;
        double last = 0.0;
        double length = 0.0;
    };
    LoopPass ReaderLoopPass() const;
    // The master up this engine's chain of links whose loop it goes round with: the highest one
    // whose End is Loop (itself when there is none, or the chain comes back on itself); offsets:
    // the offsets of the links up to it summed.
    const ssMediaDecoder3* LoopMaster(double* offsets = nullptr) const;
    // Linked, directly or through others, to a master whose End is Loop (and not handing over to
    // a next cue of its own).
    bool LinkedToLoop() const;
    // The pass a slave going round with its master loops over (its LoopMaster's pass).
    LoopPass MastersPass() const;
    // Linked to a loop, and going round with it: the reader has not read past the end of the
    // master's pass before it began to (what it read past it would air as later passes). Such a
    // slave is sought at the master's next seam as before, and goes round with it from there.
    bool FollowsMastersLoop() const;
    // Whether the reader wraps at the end of the pass: a loop of its own or its master's.
    bool ReaderLoops() const { return PlaybackBehavior_.load() == 1 || FollowsMastersLoop(); }
    // The length of this engine's loop pass, the one read or, before the first wrap, the range's.
    double LoopPassLength() const;
    // A slave that went round with its master whose master no longer loops plays on from the
    // pass standing for the master's last one, through its own file: the presenting side keeps
    // that pass (LeaveMastersLoop), the reader reads on from its end (ReaderLeaveLoop) and what
    // was made of later passes before is dropped on its way (PastLeftPass, the packet's alike).
    bool LeftMastersLoop() const { return LeftStart_.load() == TimelineStarts_.load(); }
    void LeaveMastersLoop();
    void ReaderLeaveLoop();
    bool PacketPastLeftPass(const _avPacketHolder* holder) const;
    // Video decoder: a packet of a later count of passes left; a picture it may keep.
    void VideoPacketRereads(const _avPacketHolder* holder);
    bool KeepAfterLeftLoop(double time);
    // Reader: queued packets carry their shift and count (and whether they start afresh).
    void TagHolder(_avPacketHolder* holder, uint32_t streamBit);
    // While looping, whether a packet belongs to the pass (false: dropped). Packets only needed
    // to decode others are marked to be decoded unseen; sound is cut to the range.
    bool KeepVideoPacketInLoop(AVPacket* packet);
    bool KeepAudioPacketInLoop(AVPacket* packet, int stream, bool ranged);
    // Every stream of a loop has been read up to the out point.
    bool LoopRangeRead() const;
    void VideoDecodeLoop();
    // False when the round found nothing to do (no packet, no free picture slot).
    bool VideoDecodeRound();
    bool DeliverPicture(_videoFrame* slot);
    // After the last picture of a clip that a prepared one follows: the decoder waits for the swap.
    bool ParkIfClipEnded();
    void AudioDecodeLoop();
    // False when the stream had nothing to do (no packet, no free sample block).
    bool AudioDecodeStream(int stream, AVFrame* frame);
    bool ResampleBlock(int stream, AVFrame* frame, SAMPLE_HEADER* header);
    void RenderLoop();
    void ConfigureRenderTargets();
    // Renders a decoded frame into ring slots (two for a deinterlaced one) and publishes them.
    void RenderDecodedFrame(_videoFrame* frame, ssFrameTarget* slot);
    // While the slate shows: one frame with the slate for the position, its decoded picture kept
    // for when playing starts. True when a slate frame was published.
    bool RenderSlateFrame(ssFrameTarget* slot);
    void ReleaseRenderResources();
    void UpdateFrameStats();

    int32_t ReadState(int thread);
    void AcknowledgeAtRoundEnd(int thread);
    // Ends a worker thread's round: the round is counted and, when it did nothing, the thread
    // rests until woken. Whoever changes what a thread waits for wakes it: its state word, a free
    // slot or a published one in its queues (their wake events), a flag it checks.
    void EndRound(int thread, bool worked);
    void WakeThread(int thread) { Wakes_[thread].Signal(); }
    void WakeThreads();
    // Connects the queues to the threads' wake events (producer and consumer of each).
    void ConnectQueueWakes();
    bool WaitForAllThreads(int32_t state);
    // Where the transport stands: the frame on air, or the frame a seek has placed that the
    // output has not taken yet.
    double TransportPosition() const;
    // The frame index the last seek's first picture landed on, once the decoder has it (bounded
    // wait); NaN when it delivered none (a seek past the last frame).
    double SeekLandingIndex();
    void PauseOutputAndThreads(int32_t state);
    // From the presenting thread at the end of the range: pauses only threads that play, so that
    // a seek's handshake begun meanwhile (a linked slave sought at its master's seam) is not undone.
    void PauseAtEndPoint();
    // A linked slave sought while it plays (at its master's seam, in the card period its master
    // chose its last frame for) first chooses its own frame for that period, so that the seek
    // does not take it away; bounded by a period.
    void WaitForMastersPeriod();
    // True while this engine's GetFrameForOutput runs on the calling thread.
    bool OnPresentingThread() const;
    // The audio clock of this engine alone: the card's or the computer's, with delay and offset.
    double OwnPlaybackClock();
    // The presenting side goes by this engine's own clock (FollowedTime learns its pass afresh).
    void FollowNone();
    // Where a card's play starts: the clip time that goes on air in which reference period.
    struct PaceAnchor {
        bool valid = false;
        double displayTime = 0.0;
        double clipTime = 0.0;
    };
    // On a card, play starts in the first period still open, with the frame after the one on air.
    void AnchorPlay();
    // A channel of its own on a card whose waiting periods only repeat the frame on air starts
    // in the first of them that can still be written (two periods on) and plays; false when it
    // cannot (the play then starts as AnchorPlay says).
    bool StartInScheduledPeriods();
    // The clip time a play shows in its first period (with a card output).
    double FirstPlayedClipTime() const;
    // The clip time of a card period: this engine's anchor, or that of the playing master it
    // follows (its offset applied). False without an anchor to go by.
    bool PacedClock(double displayTime, double* clipTime);
    // This engine's own anchor at a display time; false without one.
    bool AnchoredClipTime(double displayTime, double* clipTime) const;
    int32_t ChoosePacedFrame(const ssOutputPeriod& period, int32_t readerState, ssFrameChoice* choice);
    ssPresentTiming PresentTiming() const;
    // Every picture the decoder will give before a seek or a wrap is in the frame ring already.
    bool NoPictureToCome() const;
    // The time-code text of a time of this file.
    void FormatTimeCode(double seconds, char* buffer) const;
    double StreamTime(int64_t timestamp, int streamIndex) const;
    int64_t StreamTimestamp(double seconds) const;

    // Thread and lock indexes.
    enum { kVideoThread = 0, kRenderThread = 1, kAudioThread = 2, kReaderThread = 3 };
    enum { kReaderLock = 0, kVideoLock = 1, kRenderLock = 2, kAudioLock = 3, kFlagsLock = 4 };
    // Every thread's state lock, in the one order they are taken together.
    void LockThreadStates();
    void UnlockThreadStates();
    // Under those locks: every running thread is in `state`.
    bool StatesAre(int32_t state) const;

    // Set once, before any thread: the threads read it unlocked.
    const std::string LogName_;
    std::string ResourceDir_;
    std::string FilePath_;
    ssOutputFormat Output_{};
    std::atomic<bool> HasOutput_{false};
    AVFormatContext* FormatContext_ = nullptr;
    AVIOContext* IOContext_ = nullptr;
    AVCodecContext* VideoCodecContext_ = nullptr;
    AVCodecContext* AudioCodecContexts_[ssMaxAudioStreams] = {};
    const AVCodec* VideoDecoder_ = nullptr;
    SwsContext* Scaler_ = nullptr;
    bool ScalerLogged_ = false;
    std::vector<uint8_t> ScaleScratch_; // odd widths through the scaler
    SwrContext* Resamplers_[ssMaxAudioStreams] = {};
    ssThread* Threads_[4] = {};
    ssEBuffer* DecodedVideoQueue_ = nullptr;
    ssEBuffer* SampleQueues_[ssMaxAudioStreams] = {};
    ssSEBuffer* FrameRing_ = nullptr;
    ssEBuffer* AudioPacketQueues_[ssMaxAudioStreams] = {};
    ssEBuffer* VideoPacketQueue_ = nullptr;
    SAMPLE_HEADER* SampleHeaders_[ssMaxAudioStreams] = {};
    ssAudioMTosx* AudioOutput_ = nullptr;
    ssCriticalSection* Locks_[5] = {};
    ssTimer* Timer_ = nullptr;
    std::atomic<ssMediaDecoder3*> Master_{this};
    ssFile* File_ = nullptr;
    AVPacket** Packets_ = nullptr;
    _avPacketHolder* PacketHolders_ = nullptr;
    int32_t PacketCount_ = 0;
    AVFrame* VideoFrame_ = nullptr;
    AVPacket* ReadPacket_ = nullptr;
    std::unique_ptr<ssGLContext> GLContext_;
    std::unique_ptr<ssMediaRender> Render_;

    int32_t VideoStreamIndex_ = -1;
    int32_t AudioStreamIndexes_[ssMaxAudioStreams] = {};
    int32_t AudioStreamCount_ = 0;
    int32_t AudioChannels_[ssMaxAudioStreams] = {};
    std::atomic<int32_t> ThreadStates_[4];
    // Display time of the card period this engine chose a frame for last (-1: none yet).
    std::atomic<double> LastChosenPeriod_{-1.0};
    // One per worker thread, indexed like ThreadStates_: what a resting thread waits on.
    ssEvent Wakes_[4];
    std::atomic<uint64_t> ThreadPasses_{0};
    std::atomic<int32_t> OutputChanged_{0};
    int32_t CreateVideoQueue_ = 0;
    std::atomic<double> Duration_{0.0};
    std::atomic<double> LastVideoPacketTime_{0.0};
    std::atomic<double> SeekTarget_{0.0};
    std::atomic<int32_t> AudioAdjust_[ssMaxAudioStreams];
    std::atomic<int32_t> VideoAdjust_{0};
    ssCriticalSection* SeekLock_ = nullptr;
    std::atomic<int32_t> VideoReady_{0};
    std::atomic<int32_t> FirstFrameShown_{0};
    int32_t DecodedPixelFormat_ = -1;
    // The video stream's field order (the decoder's value) and average frame rate, as opened;
    // the render thread decides deinterlacing and interlacing from them.
    int32_t FieldOrder_ = 0;
    double MovieRate_ = 0.0;
    std::atomic<double> FrameRate_{29.97};
    std::atomic<double> AudioDelay_{0.0};
    int32_t BytesPerDecodedSample_ = 4;
    std::atomic<int32_t> StepDirection_{0};
    std::atomic<double> SlaveOffset_{0.0};
    int32_t TimeCodeParts_[4] = {};
    // The parts as the card's callbacks read them, published once Open has parsed them.
    std::atomic<int32_t> StartTimeCode_[4] = {};
    double TimeCodeOffset_ = 0.0;
    // Held by GetFrameForOutput, and wherever the frame ring and the decoded queue are replaced
    // or the threads stopped, so that the presenting thread never meets a ring being freed or a
    // handshake with threads that are ending.
    std::mutex PresentLock_;
    // Held while the preview draws with the render thread's programs and textures, and by the
    // render thread while it makes or frees them. The preview takes it under PresentLock_ and
    // then lets PresentLock_ go: a slow preview draw never holds up a card's frame.
    std::mutex PreviewLock_;
    ssPresentState Present_; // countdown, resync, loop-pending, current time, missed frames
    mutable std::mutex AnchorLock_; // Anchor_, read by the presenting threads of linked engines
    PaceAnchor Anchor_;
    std::atomic<int32_t> SlateShowing_{0};
    std::atomic<int32_t> ShowSlate_{1};
    int32_t HasTimeCode_ = 0;
    std::string TimeCodeText_;
    std::atomic<int32_t> AudioOutputKind_{0};
    std::atomic<int32_t> SyncMode_{0};
    std::atomic<int32_t> TimeCodeOutput_{0};
    std::atomic<double> SdiAudioClock_{0.0};
    // The device played to: the outputs' view of this engine, the screen drawing it or the card
    // playout.
    std::unique_ptr<ssEngineOutputSource> OutputSource_;
    ssDVIOutput* ScreenOutput_ = nullptr;
    std::unique_ptr<ssDecklinkPlayout> Playout_;
    // Held while Playout_ changes and by HasReference, which the preview's thread calls.
    mutable std::mutex PlayoutLock_;
    int32_t OutputSampleRate_ = ssOutputSampleRate;
    std::atomic<double> FrameStep_{1.0 / 29.97};
    std::atomic<double> FrameDuration_{1.0 / 29.97};
    std::atomic<double> InPoint_{0.0};
    std::atomic<double> OutPoint_{0.0};
    std::atomic<int32_t> PlaybackBehavior_{0};
    std::atomic<int32_t> NoFile_{1};
    // A file is being opened in place of the one on air: until its first frame is shown the
    // outputs keep the last picture (a card never goes black between two clips).
    std::atomic<int32_t> Opening_{0};
    int32_t TotalAudioChannels_ = 0;
    std::atomic<int32_t> SkipToTarget_{0};
    std::atomic<double> LastSeekPosition_{0.0};
    // Time of the first picture the decoder kept after the last seek (NaN until it has one).
    std::atomic<double> SeekLanding_{0.0};
    std::atomic<int32_t> ScrubMode_{0};
    std::atomic<double> AudioClockOffset_{0.0};
    std::atomic<bool> HasPreview_{false}; // set by Open, read by the render thread
    std::atomic<KLVChannelNotifier*> Notifier_{nullptr};
    // Seconds of the video stream's first timestamp; engine times count from it.
    double StartTime_ = 0.0;
    // A loop over the whole file wraps in the reader: the packets of each further pass are moved
    // on by the length of a pass, so decoders, audio clock and presenting side see one unbroken
    // timeline (no seam to re-base at) and the presenting side folds the times back for display.
    std::atomic<double> LoopShift_{0.0};
    std::atomic<double> LoopLength_{0.0};
    // Counts the starts of the timeline (an open, a seek, a hand-over: no pass moved on yet). A
    // slave going round with its master counts the master's passes from the one it started in
    // (FollowedFirstPass_, kept by the presenting thread for FollowedStart_ and FollowedEngine_,
    // the engine it follows: null while it goes by its own clock).
    std::atomic<int32_t> TimelineStarts_{0};
    // The reader's: the latest video frame time (unshifted) queued to be shown since the timeline
    // started, before the first wrap.
    std::atomic<double> ReadUpTo_{-1.0};
    std::atomic<int32_t> FollowedStart_{-1};
    std::atomic<const ssMediaDecoder3*> FollowedEngine_{nullptr};
    std::atomic<int64_t> FollowedFirstPass_{0};
    // The timeline (TimelineStarts_) whose reader read with the master's pass, and the one that
    // left the master's loop (-1: none); that one's kept pass is moved on by LeftShift_ (its
    // base from then on) and ends before LeftCut_. Rereads_ counts the passes left; the reader's,
    // the video decoder's and the audio decoder's own counts say how far each has come.
    std::atomic<int32_t> RoundStart_{-1};
    std::atomic<int32_t> LeftStart_{-1};
    std::atomic<double> LeftShift_{0.0};
    std::atomic<double> LeftCut_{0.0};
    std::atomic<int32_t> Rereads_{0};
    int32_t ReaderRereads_ = 0;
    // The reader's: streams whose first packet read again starts their decoder afresh (bit 0
    // video, 1 + j audio), and the time each audio stream was queued up to before (shifted).
    uint32_t RereadFresh_ = 0;
    uint32_t RereadAudio_ = 0;
    double RereadAudioFrom_[ssMaxAudioStreams] = {};
    // The video decoder's: its count, the latest picture it kept, and after starting afresh
    // the picture time up to which everything was kept already.
    int32_t DecoderRereads_ = 0;
    std::atomic<double> LastKeptPicture_{0.0};
    std::atomic<double> RereadFloor_{0.0};
    std::atomic<int32_t> FloorStart_{-1};
    double ReadEnd_ = 0.0; // the reader's: end of the latest video packet read, unshifted
    // Bytes of the video packets queued and not yet taken by the video decoder.
    std::atomic<int64_t> QueuedVideoBytes_{0};
    // The reader's: times (shifted for loops) of the latest video packet and of the end of each
    // audio stream's latest packet it queued.
    double VideoReadTime_ = 0.0;
    double AudioReadTime_[ssMaxAudioStreams] = {};
    // The reader's: streams read past the loop's out point in this pass (bit 0 video, 1 + j audio).
    uint32_t LoopStreamsDone_ = 0;
    // The reader has read all it will of this clip (the end of the file, its end marker queued;
    // or the out point a next cue takes over from) until a seek, a wrap, a swap or a new range.
    std::atomic<bool> ReadThrough_{false};
    // The video decoder was sent its end of stream and has given everything back.
    std::atomic<int32_t> VideoDrained_{0};
    // The render thread holds a decoded picture it took, not yet in the frame ring.
    std::atomic<bool> RenderingPicture_{false};

    // The prepared next cue (PrepareNext) and the shape of the open clip it must match.
    struct PreparedCue {
        std::unique_ptr<ssClipFile> clip;
        double in = 0.0;
        double out = 0.0;
        int32_t behaviour = 0;
    };
    std::mutex NextLock_;
    PreparedCue Next_;
    ssClipShape Shape_;
    std::atomic<bool> NextReady_{false};
    // The latest frame to be shown the reader queued since the last seek or open (-1: none). One
    // past the out point keeps the cue from handing over in this pass: it would air first.
    std::atomic<double> QueuedUpTo_{-1.0};
    bool ReadPastOutPoint() const;
    // The reader's: this pass stops at the out point for the hand-over (0 undecided, 1 yes, -1 no,
    // 2 handing over at the out point, 4 waiting there for one), and
    // how far the hand-over has come (bit 0 video marker queued, 1 + j audio stream j's).
    int32_t HandOverPass_ = 0;
    uint32_t HandOverMarkers_ = 0;
    // Decoders: a marker said the clip ends here; they finish it and wait for the swap.
    std::atomic<int32_t> VideoSwitchPending_{0};
    std::atomic<int32_t> VideoParked_{0};
    std::atomic<uint32_t> AudioSwitchSeen_{0};
    std::atomic<int32_t> AudioParked_{0};
    // The next picture the video decoder keeps is the prepared cue's first.
    std::atomic<int32_t> ClipStartPending_{0};
    // Ending: the reader is at the out point, handing over. Swapped: the prepared cue is the
    // engine's, its first frame has not aired yet; until it does, the presenting side keeps the
    // outgoing cue's range.
    enum { kHandOverNone = 0, kHandOverEnding = 1, kHandOverSwapped = 2 };
    std::atomic<int32_t> HandOverStage_{kHandOverNone};
    struct OutgoingRange {
        std::atomic<double> in{0.0};
        std::atomic<double> out{0.0};
        std::atomic<double> duration{0.0};
    } Outgoing_;
    std::atomic<int32_t> IncomingTimeCode_[4] = {};
    std::atomic<uint64_t> HandOvers_{0};
    // The presenting side took the open cue's last frame while a hand-over was under way, and so
    // left its end to the prepared cue; should that cue be dropped before it goes on air, the end
    // is the open cue's after all. The timeline start (TimelineStarts_) the frame belonged to, so
    // that a seek or an open since never ends anything; -1: none.
    std::atomic<int32_t> EndAwaitsHandOver_{-1};
    bool HandOverDroppedAfterEnd();
    // The presenting side: whether no hand-over is to come (none under way, or nothing prepared
    // any more, which calls off the one under way). Under NextLock_, as the reader's swap.
    bool HandOverDropped();
    // Under NextLock_: the cue ended while its hand-over was under way with nothing prepared; the
    // reader's swap then swaps in nothing, whatever has been prepared since.
    bool HandOverCalledOff_ = false;
    std::mutex ObserverLock_;
    std::function<void(HandOverStep)> HandOverObserver_;
    void TellHandOverStep(HandOverStep step);

    // Rendering state (the render thread's own, but for the sizes).
    std::atomic<int32_t> DisplayWidth_{0};
    std::atomic<int32_t> DisplayHeight_{0};
    bool ContextCurrent_ = false;
    bool ShadersLoaded_ = false;
    // Set while the file is closed for good (an empty path): the render thread then frees every
    // GL object and its context too as it ends.
    std::atomic<bool> ReleaseProgramsOnExit_{false};
    // Counts the seeks that emptied the frame ring (the render thread redraws a slate after one).
    std::atomic<int32_t> RingResets_{0};
    int32_t DeinterlaceMode_ = 0; // of the interlace decision for this file and output
    // The preview's last frame (a ring slot of the current configuration, -1: none yet); the
    // view's thread's own, reset under the presenting lock when the ring is replaced.
    std::atomic<int32_t> PreviewSlot_{-1};
    // The levels the preview meters show (ssRenderMeterChannels at most); how many.
    int32_t GatherPreviewLevels(double* levels);
    // Counts the frames the presenting side has put on air (each a new preview picture).
    std::atomic<uint64_t> PreviewSerial_{0};
    // Files closed; the count the preview last drew after (it asks for a trim when they differ).
    std::atomic<uint32_t> ReleaseSerial_{0};
    std::atomic<uint32_t> PreviewSeenRelease_{0};

    // Frame statistics of the presenting side.
    int64_t FrameIntervals_[120] = {};
    int32_t FrameIntervalIndex_ = 0;
    int64_t FrameIntervalSum_ = 0;
    int64_t LastFrameReading_ = -1;
    std::atomic<float> MeasuredRate_{0.0f};
};
