#pragma once
// The engine's computer audio output: one voice on the process's audio hub that pulls each audio
// stream's PCM queue, keeps the audio clock playback is timed by, and meters what it plays.

#include "engine/audio/ssAudioTypes.h"
#include "engine/output/ssPacketTiming.h"
#include "platform/audio/AudioVoice.h"

#include <atomic>
#include <cstdint>
#include <mutex>

class ssEBuffer;

class ssAudioMT {
public:
    virtual ~ssAudioMT() = default;
    virtual int32_t Open() = 0;
    virtual int32_t Close() = 0;
    virtual int32_t Configure(ssAudioClockMaster* engine, int32_t channels, int32_t bytesPerSample,
                              int32_t interleaved, int32_t sampleRate) = 0;
    virtual int32_t Play() = 0;
    virtual int32_t Pause() = 0;
    virtual int32_t Abort() = 0;
    virtual double GetClock() = 0;
    virtual int32_t SetVolume(float gain) = 0;
};

class ssAudioMTosx final : public ssAudioMT, private platform::AudioVoiceSource {
public:
    // Play states.
    static constexpr int32_t kStopped = 0;
    static constexpr int32_t kPaused = 1; // silence
    static constexpr int32_t kPlaying = 2;
    // A/V tolerance of a linked engine's packets against its master's clock.
    static constexpr double kSyncTolerance = ssComputerSyncTolerance;

    ssAudioMTosx() = default;
    ~ssAudioMTosx() override;
    ssAudioMTosx(const ssAudioMTosx&) = delete;
    ssAudioMTosx& operator=(const ssAudioMTosx&) = delete;

    int32_t Open() override;
    int32_t Close() override;
    int32_t Configure(ssAudioClockMaster* engine, int32_t channels, int32_t bytesPerSample,
                      int32_t interleaved, int32_t sampleRate) override;
    int32_t Start();
    int32_t Play() override;
    // Returns once the output thread is no longer reading any queue, so the caller may flush them.
    int32_t Pause() override;
    int32_t Abort() override;
    // The audio clock: time of the sample being heard now (the stream latency taken off).
    double GetClock() override;
    int32_t SetVolume(float gain) override;
    // Per channel 20 x log10(level + 0.00001) dB; returns the channel count written (<= count).
    int32_t GetLevels(float* decibels, int32_t count);

    // The per-stream PCM queues; the queue's user data holds the stream's channel count.
    void ClearQueues();
    void AddQueue(ssEBuffer* queue);
    void SetClockBase(double seconds) { clock_.store(seconds); }
    // The engine this output keeps in step with (null: none) and the offset added to its clock.
    void SetMaster(ssAudioClockMaster* master, double offset);
    int32_t GetState() const { return state_.load(); }

private:
    void renderVoice(int32_t* samples, int frames, int channels) override;
    bool sounding() const override;
    // Next due PCM block of a queue, or null (early block, nothing queued).
    SAMPLE_HEADER* NextBlock(ssEBuffer* queue);
    void ResetLeftovers();

    std::atomic<int32_t> abort_{0};
    std::atomic<int32_t> state_{kStopped};
    int32_t channels_ = 2;
    int32_t bytesPerSample_ = 4;
    int32_t interleaved_ = 1;
    int32_t sampleRate_ = ssOutputSampleRate;
    std::mutex voiceLock_; // the voice handle
    platform::AudioVoice* voice_ = nullptr;
    std::atomic<float> volume_{1.0f};
    std::atomic<double> clock_{0.0};
    double sampleDuration_ = 1.0 / ssOutputSampleRate;
    std::atomic<ssAudioClockMaster*> engine_{nullptr};
    std::atomic<ssAudioClockMaster*> master_{nullptr};
    std::atomic<double> masterOffset_{0.0};

    // Held by the output thread while it reads the queues; Pause takes it to wait that out.
    std::mutex callbackLock_;
    int32_t queueCount_ = 0;
    ssEBuffer* queues_[ssMaxAudioStreams] = {};
    SAMPLE_HEADER* leftover_[ssMaxAudioStreams] = {};
    int32_t leftoverPosition_[ssMaxAudioStreams] = {};
};
