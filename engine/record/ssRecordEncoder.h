#pragma once

#include "engine/base/ssCriticalSection.h"
#include "engine/base/ssThread.h"
#include "engine/base/ssTimer.h"
#include "platform/encode/H264Session.h"
#include "platform/encode/ProResSession.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class ssAudioMTosx;
class ssDeckLinkInput;
class ssEBuffer;
class ssMovieWriter;
class ssSEBuffer;
struct ssCaptureFrame;
struct SAMPLE_HEADER;
class ssRecordPreview;

// Record mode's encoder: reads the captured frames from the input ring, compresses them (ProRes for
// codecs 0 to 4, H.264 for any other) while a recording runs, makes up for late frames by writing the last one again, hands frames and
// audio to the movie writer, plays the captured audio on the monitor output and keeps the preview
// with its meters and buffer-health border alive whether or not a recording runs.
class ssRecordEncoder final : private platform::encode::CompressedFrameSink {
public:
    // Encoder states (see EncodeLoop).
    enum : int32_t {
        kIdle = 0,
        kStart = 1,
        kEncoding = 2,
        kShutdown = 3,
        kHold = 4,
        kStopRecording = 5,
        kEnded = 99,
    };
    // Buffer health of the preview border.
    enum : int32_t { kHealthy = 0, kLow = 1, kCritical = 2 };

    explicit ssRecordEncoder(const char* bundlePath);
    ~ssRecordEncoder() override;
    ssRecordEncoder(const ssRecordEncoder&) = delete;
    ssRecordEncoder& operator=(const ssRecordEncoder&) = delete;

    void SetFilePath(const char* path);
    void SetAudioMonitor(int32_t enabled);

    // Prepares a recording of this input format into the file path: a new movie writer, the
    // compression session, the monitor output and the encoder thread. 0; -1 when the file cannot
    // be made; else the session's error.
    int32_t Open(int32_t width, int32_t height, int32_t interlaced, int32_t audioChannels, double durationLimit,
                 double frameRate, int32_t codecIndex);
    // The input ring: the encoder reads as reader 0, the preview as a reader of its own.
    void SetInputBuffer(ssSEBuffer* ring);

    void Start();
    void StartRecording();
    void StopRecording();

    int32_t GetNoSignalFrameCount();
    int32_t GetOversizeFrameCount() { return oversizeFrames_.exchange(0); }
    int32_t GetRepeatedFrameCount() { return repeatedFrames_.exchange(0); }
    float GetInputBufferHeadroom() const { return inputHeadroom_.load() * 100.0f; }
    float GetWriteBufferHeadroom() const { return writerHeadroom_.load() * 100.0f; }
    int32_t GetInputHealth() const { return inputState_.load(); }
    int32_t GetWriterHealth() const { return writerState_.load(); }
    int64_t GetEstimatedFileSize(int32_t codecIndex, double seconds);
    // The same estimate for a picture format: the codec's slots (ProRes) or peak rate (H.264) and
    // 16-bit 48 kHz audio.
    static int64_t EstimateFileSize(int32_t codecIndex, int32_t width, int32_t height, double frameRate,
                                    int32_t audioChannels, double seconds);
    double GetElapsedTime();
    double GetMaxDuration();
    // Video frames handed to the file so far, and the most the file takes (the duration limit
    // in frames of the input's rate); 0 without a file.
    int64_t GetWrittenFrameCount();
    int64_t GetFrameCapacity();
    bool IsRecording() const { return recording_.load() != 0; }
    int32_t GetState();

    // The preview's side of the ring, without drawing: takes the newest input frame (null after
    // an empty poll), counts empty polls towards "No Input Signal" and, every 20th call, measures
    // the buffer health. DrawPreview calls it; it is public so the health logic runs without GL.
    const ssCaptureFrame* PollPreview();
    bool IsShowingNoSignal() const { return noSignal_.load(); }

    // Any thread, no GL: changes whenever DrawPreview would draw something else (a new input
    // frame, the no-signal notice, the buffer health, the monitored levels).
    uint64_t PreviewStamp();
    // Draws into the current GL context: 1 when "No Input Signal" was drawn, else 0.
    int32_t DrawPreview(float x, float y, float width, float height);

    ssDeckLinkInput* Input_ = nullptr;

private:
    // What the encoder keeps of one input frame while its compressed frame is on the way.
    struct FrameRecord {
        double time = 0;
        double timecode = 0;
        std::vector<uint8_t> audio;
        int32_t audioBytes = 0;
    };

    static void* ThreadEntry(void* self);
    void EncodeLoop();
    void EncodeNextFrame();
    void Monitor(const uint8_t* samples, int32_t bytes, double time);
    void compressedFrame(const uint8_t* data, int size, int64_t tag) override;
    void FinishRecording();
    // Readies the compressor off the recording's time (see CompressionSession::warmUp).
    void WarmUp();
    void StopThread();
    void SetState(int32_t state);

    platform::encode::ProResSession proRes_;
    platform::encode::H264Session h264_;
    platform::encode::CompressionSession* session_ = &proRes_;
    std::unique_ptr<ssRecordPreview> preview_;
    std::atomic<float> inputHeadroom_{1.0f};
    std::atomic<float> writerHeadroom_{1.0f};
    std::atomic<int32_t> inputState_{kHealthy};
    std::atomic<int32_t> writerState_{kHealthy};
    std::unique_ptr<ssMovieWriter> writer_;
    std::atomic<ssSEBuffer*> ring_{nullptr}; // set by record mode while the thread runs
    int previewReader_ = -1;
    ssThread thread_;
    ssCriticalSection stateLock_;
    int32_t state_ = kIdle;
    ssTimer timer_;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t slotSize_ = 0;
    int32_t audioChannels_ = 0;
    int32_t codecIndex_ = 1;
    std::unique_ptr<ssAudioMTosx> monitor_;
    int32_t monitorStart_ = -2;
    std::unique_ptr<ssEBuffer> monitorQueue_;
    std::vector<SAMPLE_HEADER> monitorBlocks_;
    std::vector<uint8_t> silence_;
    std::atomic<int32_t> recording_{0};
    std::atomic<int32_t> accepting_{0}; // new input frames go to the compressor; off from StopRecording
    std::atomic<double> firstFrameTime_{-1};
    std::atomic<double> lastWrittenTime_{-1};
    double frameInterval_ = 0;  // one frame period with 1 % tolerance: later input is a gap
    std::atomic<int32_t> repeatedFrames_{0};
    std::atomic<int32_t> oversizeFrames_{0};
    std::atomic<int32_t> limitReached_{0};
    int32_t emptyPolls_ = 0;
    std::atomic<bool> noSignal_{false};
    double lastPreviewTime_ = -1;
    int32_t previewCount_ = 0;
    std::string resourceDirectory_;
    std::string filePath_;
    std::atomic<int32_t> audioMonitor_{0};
    FrameRecord records_[platform::encode::CompressionSession::kMaxInFlight + 1];
    int64_t submitted_ = 0;
    bool threadRunning_ = false;
};
