#pragma once
// The per-channel playback engine. It opens one media file at a time through FFmpeg over its own
// file I/O, demultiplexes it on a reader thread, decodes video and audio on two decoder threads
// and renders decoded pictures on a render thread into the frame ring that the presenting side
// (a screen output's draw or the DeckLink scheduling callback) takes frames from. The audio clock
// is the playback clock.
//
// Each worker thread has one state word (ssThreadState), written by the controlling side and read
// by the thread once per round under the word's own lock.

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

class ssMediaDecoder3 {
public:
    // resourceBase: the application's base path (null: empty); fonts, shaders and archives are
    // read from "<base>/Contents/Resources". context: the engine's own GL context, shared with the
    // application's; null lets the render thread create one from the process's share root.
    ssMediaDecoder3(const char* resourceBase, std::unique_ptr<ssGLContext> context);
    ~ssMediaDecoder3();
    ssMediaDecoder3(const ssMediaDecoder3&) = delete;
    ssMediaDecoder3& operator=(const ssMediaDecoder3&) = delete;

    // Stops every thread and frees the file, codecs, queues and audio output. The engine may be
    // opened again afterwards.
    void Shutdown();

    // Opens a file for playback: 0, -1 (file not opened, no output or display), -12 (no memory for
    // a codec context) or the FFmpeg error of the failing step. An empty path closes the open file.
    int32_t Open(const char* path, bool hasPreview);

    // The output the engine renders for (null: none): the frame ring is sized and the render
    // thread reconfigured for it. Returns 0.
    int32_t SetOutputFormat(const ssOutputFormat* format);

    // Transport.
    int32_t Play();
    int32_t Pause();
    int32_t Stop();
    // The seek handshake; the engine is left paused. Does nothing without an output.
    int32_t Seek(double time, int32_t scrub);
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
    int32_t GetPlaybackBehavior() const { return m_PlaybackBehavior.load(); }
    int32_t SetDelegate(KLVChannelNotifier* notifier);
    int32_t SetVolume(float volume);
    int32_t SetAudioDelay(int32_t milliseconds);
    // 0 computer audio, 1 SDI embedded audio; 0 for those, -1 for any other kind.
    int32_t SetAudioOutput(int32_t kind);
    int32_t GetAudioOutput() const { return m_AudioOutputKind.load(); }
    int32_t SetSyncMode(int32_t flag);
    // 0 none, 1 elapsed, 2 remaining; -1 without a DeckLink output.
    int32_t SetTimeCodeOutput(int32_t mode);
    int32_t GetTimeCodeOutput() const { return m_TimeCodeOutput.load(); }
    int32_t SetShowSlate(int32_t flag);
    int32_t IsSlateShowing() const { return m_SlateShowing.load(); }
    // Links this engine to a master (null unlinks): it follows the master's clock, offset seconds
    // behind it.
    int32_t SetMaster(ssMediaDecoder3* master, double offset);
    bool BuffersReady();

    double GetCurrentTime() const { return m_Present.currentTime.load(); }
    double GetDuration() const { return m_Duration.load(); }
    float GetFrameRate() const { return float(m_FrameRate.load()); }
    double GetFrameStep() const { return m_FrameStep.load(); }
    double GetInPoint() const { return m_InPoint.load(); }
    double GetOutPoint() const { return m_OutPoint.load(); }
    double GetTimeCodeOffset() const { return m_TimeCodeOffset; }
    int32_t HasTimeCode() const { return m_HasTimeCode; }
    const char* GetTimeCodeText() const { return m_TimeCodeText.c_str(); }
    // FormatTimeCode of the current time, or of the time remaining, into 256 bytes.
    int32_t GetCurrentTimeCodeString(char* buffer);
    int32_t GetRemainingTimeCodeString(char* buffer);
    int32_t IsFileOpen() const { return m_NoFile.load() == 0; }
    int32_t GetAudioStreamCount() const { return m_AudioStreamCount; }
    int32_t GetTotalAudioChannels() const { return m_TotalAudioChannels; }
    int32_t GetMissedFrames() const { return m_Present.missedFrames.load(); }
    float GetMeasuredFrameRate() const { return m_MeasuredRate.load(); }
    int32_t GetDecodedPixelFormat() const { return m_DecodedPixelFormat; }
    // The video stream's start time that every engine time is counted from.
    double GetStartTime() const { return m_StartTime; }
    // The SDI output's audio clock (kept by the card's audio callback).
    void SetSdiAudioClock(double seconds) { m_SdiAudioClock.store(seconds); }
    // Plays to an output device in one of its modes (null: none): the engine renders for it and
    // the device takes its frames (a screen draws them, a card is started). 0, or -1 when the
    // card could not be started.
    int32_t SetOutputDevice(ssBaseOutput* device, int32_t modeIndex);
    // The engine's display (the renderer's; null before the first output configuration).
    ssDisplayGL* GetDisplay() const;
    // A stream's PCM queue (null past the streams) and its channel count.
    ssEBuffer* GetSampleQueue(int32_t stream) const;
    int32_t GetStreamChannels(int32_t stream) const;
    int32_t GetFirstFrameShown() const { return m_FirstFrameShown.load(); }
    ssMediaDecoder3* GetMaster() const { return m_Master.load(); }
    double GetSlaveOffset() const { return m_SlaveOffset.load(); }
    void GetTimeCodeParts(int32_t parts[4]) const;
    // The channel's renderer: its meters are fed by the audio path and read by the preview.
    ssMediaRender& GetRender() const { return *m_Render; }

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
    // The texture of a ring slot for drawing in the calling thread's context, once the render
    // thread's drawing into it has finished on the GPU (0: none).
    uint32_t AcquireFrameTexture(int32_t slot);

    // Presenting side: the ring slot of the frame to show now, or -1. Out: frame and display size
    // and the reader's state.
    int32_t GetFrameForOutput(int32_t* frameWidth, int32_t* frameHeight, int32_t* displayWidth,
                              int32_t* displayHeight, int32_t* state);
    // The ring slot a GetFrameForOutput result names (valid until the next two frames are taken).
    const ssFrameTarget* GetFrameTarget(int32_t index) const;
    double GetPlaybackClock();
    double GetAudioClock();

    // Inside the engine (and for the audio output).
    int32_t GetThreadState();
    void SetThreadStates(int32_t state);
    bool AllThreadsInState(int32_t state);
    void EndPointReached();
    // Converts a decoded picture into a frame of the engine's layout (Cb Y0 Cr Y1, 2 bytes per
    // pixel, rowBytes of the frame); never writes beyond rowBytes x height bytes of it.
    void CopyVideoFrame(const AVFrame* picture, _videoFrame* frame);

    // FFmpeg I/O callbacks over the engine's ssFile.
    static int ReadCallback(void* opaque, uint8_t* buffer, int size);
    static int64_t SeekCallback(void* opaque, int64_t offset, int whence);

private:
    friend struct ssMediaDecoderThreads;

    void CloseFile();
    void CloseCodecs();
    int32_t FailOpen(int32_t result);
    int32_t OpenDemuxer();
    int32_t FindVideoStream();
    int32_t ScanStreams();
    int32_t OpenVideoCodec();
    int32_t OpenAudio();
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
    void ReaderSeek();
    void ReaderQueuePacket(AVPacket* packet, ssEBuffer* queue);
    void ReaderAtEnd();
    void VideoDecodeLoop();
    void VideoDecodeRound();
    bool DeliverPicture(_videoFrame* slot);
    void AudioDecodeLoop();
    void AudioDecodeStream(int stream, AVFrame* frame);
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
    bool WaitForAllThreads(int32_t state);
    void PauseOutputAndThreads(int32_t state);
    // True while this engine's GetFrameForOutput runs on the calling thread.
    bool OnPresentingThread() const;
    // The audio clock of this engine alone: the card's or the computer's, with delay and offset.
    double OwnPlaybackClock();
    ssPresentTiming PresentTiming() const;
    // The time-code text of a time of this file.
    void FormatTimeCode(double seconds, char* buffer) const;
    double StreamTime(int64_t timestamp, int streamIndex) const;
    int64_t StreamTimestamp(double seconds) const;

    // Thread and lock indexes.
    enum { kVideoThread = 0, kRenderThread = 1, kAudioThread = 2, kReaderThread = 3 };
    enum { kReaderLock = 0, kVideoLock = 1, kRenderLock = 2, kAudioLock = 3, kFlagsLock = 4 };

    std::string m_ResourceDir;
    std::string m_FilePath;
    ssOutputFormat m_Output{};
    std::atomic<bool> m_HasOutput{false};
    AVFormatContext* m_FormatContext = nullptr;
    AVIOContext* m_IOContext = nullptr;
    AVCodecContext* m_VideoCodecContext = nullptr;
    AVCodecContext* m_AudioCodecContexts[ssMaxAudioStreams] = {};
    const AVCodec* m_VideoDecoder = nullptr;
    SwsContext* m_Scaler = nullptr;
    bool m_ScalerLogged = false;
    std::vector<uint8_t> m_ScaleScratch; // odd widths through the scaler
    SwrContext* m_Resamplers[ssMaxAudioStreams] = {};
    ssThread* m_Threads[4] = {};
    ssEBuffer* m_DecodedVideoQueue = nullptr;
    ssEBuffer* m_SampleQueues[ssMaxAudioStreams] = {};
    ssSEBuffer* m_FrameRing = nullptr;
    ssEBuffer* m_AudioPacketQueues[ssMaxAudioStreams] = {};
    ssEBuffer* m_VideoPacketQueue = nullptr;
    SAMPLE_HEADER* m_SampleHeaders[ssMaxAudioStreams] = {};
    ssAudioMTosx* m_AudioOutput = nullptr;
    ssCriticalSection* m_Locks[5] = {};
    ssTimer* m_Timer = nullptr;
    std::atomic<ssMediaDecoder3*> m_Master{this};
    ssFile* m_File = nullptr;
    AVPacket** m_Packets = nullptr;
    _avPacketHolder* m_PacketHolders = nullptr;
    int32_t m_PacketCount = 0;
    AVFrame* m_VideoFrame = nullptr;
    AVPacket* m_ReadPacket = nullptr;
    std::unique_ptr<ssGLContext> m_GLContext;
    std::unique_ptr<ssMediaRender> m_Render;

    int32_t m_VideoStreamIndex = -1;
    int32_t m_AudioStreamIndexes[ssMaxAudioStreams] = {};
    int32_t m_AudioStreamCount = 0;
    int32_t m_AudioChannels[ssMaxAudioStreams] = {};
    std::atomic<int32_t> m_ThreadStates[4];
    std::atomic<int32_t> m_OutputChanged{0};
    int32_t m_CreateVideoQueue = 0;
    std::atomic<double> m_Duration{0.0};
    std::atomic<double> m_LastVideoPacketTime{0.0};
    std::atomic<double> m_SeekTarget{0.0};
    std::atomic<int32_t> m_AudioAdjust[ssMaxAudioStreams];
    std::atomic<int32_t> m_VideoAdjust{0};
    ssCriticalSection* m_SeekLock = nullptr;
    std::atomic<int32_t> m_VideoReady{0};
    std::atomic<int32_t> m_FirstFrameShown{0};
    int32_t m_DecodedPixelFormat = -1;
    // The video stream's field order (the decoder's value) and average frame rate, as opened;
    // the render thread decides deinterlacing and interlacing from them.
    int32_t m_FieldOrder = 0;
    double m_MovieRate = 0.0;
    std::atomic<double> m_FrameRate{29.97};
    std::atomic<double> m_AudioDelay{0.0};
    int32_t m_BytesPerDecodedSample = 4;
    std::atomic<int32_t> m_StepDirection{0};
    std::atomic<double> m_SlaveOffset{0.0};
    int32_t m_TimeCodeParts[4] = {};
    // The parts as the card's callbacks read them, published once Open has parsed them.
    std::atomic<int32_t> m_StartTimeCode[4] = {};
    double m_TimeCodeOffset = 0.0;
    // Held by GetFrameForOutput, and wherever the frame ring and the decoded queue are replaced
    // or the threads stopped, so that the presenting thread never meets a ring being freed or a
    // handshake with threads that are ending.
    std::mutex m_PresentLock;
    ssPresentState m_Present; // countdown, resync, loop-pending, current time, missed frames
    std::atomic<int32_t> m_SlateShowing{0};
    std::atomic<int32_t> m_ShowSlate{1};
    int32_t m_HasTimeCode = 0;
    std::string m_TimeCodeText;
    std::atomic<int32_t> m_AudioOutputKind{0};
    std::atomic<int32_t> m_SyncMode{0};
    std::atomic<int32_t> m_TimeCodeOutput{0};
    std::atomic<double> m_SdiAudioClock{0.0};
    // The device played to: the outputs' view of this engine, the screen drawing it or the card
    // playout.
    std::unique_ptr<ssEngineOutputSource> m_OutputSource;
    ssDVIOutput* m_ScreenOutput = nullptr;
    std::unique_ptr<ssDecklinkPlayout> m_Playout;
    int32_t m_OutputSampleRate = ssOutputSampleRate;
    std::atomic<double> m_FrameStep{1.0 / 29.97};
    std::atomic<double> m_FrameDuration{1.0 / 29.97};
    std::atomic<double> m_InPoint{0.0};
    std::atomic<double> m_OutPoint{0.0};
    std::atomic<int32_t> m_PlaybackBehavior{0};
    std::atomic<int32_t> m_NoFile{1};
    int32_t m_TotalAudioChannels = 0;
    std::atomic<int32_t> m_SkipToTarget{0};
    std::atomic<double> m_LastSeekPosition{0.0};
    std::atomic<int32_t> m_ScrubMode{0};
    std::atomic<double> m_AudioClockOffset{0.0};
    bool m_HasPreview = false;
    std::atomic<KLVChannelNotifier*> m_Notifier{nullptr};
    // Seconds of the video stream's first timestamp; engine times count from it.
    double m_StartTime = 0.0;
    // The video decoder was sent its end of stream and has given everything back.
    std::atomic<int32_t> m_VideoDrained{0};

    // Rendering state (the render thread's own, but for the sizes).
    std::atomic<int32_t> m_DisplayWidth{0};
    std::atomic<int32_t> m_DisplayHeight{0};
    bool m_ContextCurrent = false;
    bool m_ShadersLoaded = false;
    // Counts the seeks that emptied the frame ring (the render thread redraws a slate after one).
    std::atomic<int32_t> m_RingResets{0};
    int32_t m_DeinterlaceMode = 0; // of the interlace decision for this file and output
    // The preview's last frame (a ring slot of the current configuration, -1: none yet); the
    // view's thread's own, reset under the presenting lock when the ring is replaced.
    std::atomic<int32_t> m_PreviewSlot{-1};

    // Frame statistics of the presenting side.
    int64_t m_FrameIntervals[120] = {};
    int32_t m_FrameIntervalIndex = 0;
    int64_t m_FrameIntervalSum = 0;
    int64_t m_LastFrameReading = -1;
    std::atomic<float> m_MeasuredRate{0.0f};
};
