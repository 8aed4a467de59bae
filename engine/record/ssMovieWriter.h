#pragma once

#include "engine/base/ssCriticalSection.h"
#include "engine/base/ssThread.h"
#include "engine/files/ssFile.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class ssSEBuffer;

// Writes one recording as a QuickTime movie whose layout is fixed when it opens: the movie atom
// first, sized for the longest recording allowed, then the media data with one fixed-size slot per
// video frame and a one-second audio chunk after each frame that completes a second. Every frame
// and chunk therefore has a known file position before it arrives, each is written there, and the
// file stays readable up to the last frame written even when the recording is cut off.
//
// ProRes frames fill their slot (zero padded). H.264 frames (codecs outside 0..4) vary in size: each
// slot holds the frame's NAL units and a filler unit over the rest, so a file cut off still reads
// slot by slot; the finished file's sample sizes are the frames' own.
//
// The encoder calls WriteAudio and WriteVideo from its thread; a writer thread moves the queued
// frames and chunks to disk; Finish shrinks the tables to what was recorded.
class ssMovieWriter {
public:
    static constexpr int kAudioQueueDepth = 8;
    static constexpr int kQueueReserve = 3;
    static constexpr int kSampleRate = 48000;

    ssMovieWriter();
    ~ssMovieWriter();
    ssMovieWriter(const ssMovieWriter&) = delete;
    ssMovieWriter& operator=(const ssMovieWriter&) = delete;

    // Bytes an H.264 slot keeps beyond the largest frame, for the filler unit's header.
    static constexpr int32_t kFillerRoom = 8;

    void SetCodecIndex(int32_t index) { codecIndex_ = index; }
    // The 'avcC' payload of an H.264 recording; set before Open.
    void SetDecoderConfiguration(std::vector<uint8_t> avcC) { decoderConfiguration_ = std::move(avcC); }

    // 0, or -1 with a log line when the file cannot be made or the arguments are impossible. A
    // duration limit longer than 32-bit movie durations can describe is shortened, with a log line.
    int32_t Open(const char* path, int32_t width, int32_t height, int32_t interlaced, int32_t bottomFieldFirst,
                 double frameRate, double durationLimit, int32_t audioChannels, int32_t videoSlotSize);

    // The source time code (seconds, frames as a fraction) of the first frame.
    void SetStartTimecode(double seconds);

    // Adds captured audio (16-bit interleaved) to what the next chunk takes.
    void WriteAudio(const void* bytes, int32_t length);

    // Queues one compressed frame into the next slot: 0, -1 without an open file, -2 when the
    // write queue was full (frame lost), -3 when the frame was longer than a slot and was cut.
    int32_t WriteVideo(const void* frame, int32_t length);

    // Completes the file; only the first call does anything.
    void Finish();

    double GetFrameRate() const { return frameRate_; }
    double GetDurationLimit() const { return durationLimit_; }
    int64_t GetMaxFrames() const { return maxFrames_; }
    int64_t GetFramesWritten() const { return framesWritten_.load(); }
    uint32_t GetStartFrameNumber() const { return startFrame_; }
    bool IsFinished() const { return finished_.load(); }
    // Free part of the write queue, 0..1.
    float GetQueueHeadroom() const;

private:
    struct VideoBuffer {
        uint8_t* data = nullptr;
        int64_t offset = 0;
        int64_t length = 0;      // bytes of data to write at offset
        bool fillerEnd = false;  // the slot's last byte closes a filler unit
        int64_t audioChunk = -1; // the chunk that follows this frame, or -1
        int32_t audioQueued = 0; // its bytes are in the audio queue
    };
    struct AudioBuffer {
        uint8_t* data = nullptr;
        int64_t offset = 0;
    };

    static void* ThreadEntry(void* self);
    void WriterLoop();
    bool WriteAt(const void* bytes, int64_t length, int64_t offset);
    void ComputeChunkOffsets();
    // Lays out the movie atom for `frames` frames and `chunks` chunks; empty when it does not fit.
    std::vector<uint8_t> MovieAtom(int64_t frames, int64_t fullChunks, int64_t partialSamples);
    void WriteTimecodeSample();
    void StopThread();

    std::unique_ptr<ssSEBuffer> audioQueue_;
    std::unique_ptr<ssSEBuffer> videoQueue_;
    ssThread thread_;
    ssFile file_;
    ssCriticalSection lock_;
    std::atomic<int32_t> stop_{0}; // 0 running, 1 stop requested, 2 thread ended
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t interlaced_ = 0;
    int32_t bottomFieldFirst_ = 0;
    int64_t moovReserved_ = 0; // bytes before the mdat header
    int64_t payloadOffset_ = 0;
    uint32_t startFrame_ = 0;
    double frameRate_ = 0;
    double durationLimit_ = 0;
    int64_t maxFrames_ = 0;
    int32_t codecIndex_ = 1;
    std::atomic<int64_t> framesWritten_{0};
    int64_t slotSize_ = 0;
    int64_t chunkSize_ = 0;
    int32_t channels_ = 2;
    int64_t chunkCount_ = 0;
    int64_t chunksWritten_ = 0;
    std::vector<int64_t> chunkAfterFrame_; // frame number (1-based) after which chunk i is due
    // H.264: the frame plus a filler unit into the buffer; the frame's own length, or -1 when
    // not even its first unit fits (then the slot holds filler only). Whole units that do not fit
    // are left out.
    int64_t FillVariableSlot(VideoBuffer* video, const uint8_t* frame, int64_t length, bool* cut);

    std::vector<int64_t> videoOffsets_;
    bool variableSize_ = false;            // H.264: frames of their own size in fixed slots
    std::vector<uint32_t> sampleSizes_;    // per frame, when variableSize_
    std::vector<uint8_t> decoderConfiguration_;
    std::vector<int64_t> audioOffsets_; // one more than chunks: room for a last partial chunk
    std::vector<uint8_t> audio_;        // accumulated audio, four seconds
    size_t audioFill_ = 0;
    std::vector<uint8_t> zeros_;        // a chunk of silence for a chunk that never arrived
    std::vector<VideoBuffer> videoBuffers_;
    std::vector<AudioBuffer> audioBuffers_;
    std::vector<uint8_t> videoStore_;
    std::vector<uint8_t> audioStore_;
    uint32_t creationTime_ = 0;
    std::atomic<bool> finished_{false};
    bool threadStarted_ = false;
};
