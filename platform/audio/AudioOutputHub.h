#pragma once

#include "platform/audio/AudioBackend.h"
#include "platform/audio/AudioVoice.h"
#include "platform/clock/MonotonicClock.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace platform {

// The process's one audio output: every voice is mixed onto a single device stream. The stream
// runs on PortAudio's default device when one opens; otherwise, or when the device stream dies,
// on a null sink paced by the monotonic clock. Playback is timed by the audio clock, so a stream
// must always be running while voices exist; the null sink alone rests while no voice sounds
// (AudioVoiceSource::sounding) and no meter falls, until wake().
class AudioOutputHub {
public:
    static constexpr int kSampleRate = 48000;
    static constexpr int kDeviceChannels = 2;
    static constexpr int kFramesPerBuffer = 480; // 10 ms

    enum class Backend { Automatic, Null };

    AudioOutputHub();
    ~AudioOutputHub();
    AudioOutputHub(const AudioOutputHub&) = delete;
    AudioOutputHub& operator=(const AudioOutputHub&) = delete;

    static AudioOutputHub& shared();

    // Adds a voice (channels clamped to 1..64) and starts the stream when it is the first. The
    // hub owns the voice until removeVoice.
    AudioVoice* addVoice(AudioVoiceSource* source, int channels);
    // After this returns the voice's source is never called again and the voice is gone.
    void removeVoice(AudioVoice* voice);
    // A source is about to sound: a resting stream runs again. Cheap; any thread.
    void wake();

    // Automatic: PortAudio, falling back to the null sink. Null: the null sink on `clock` (a
    // ManualClock in tests). Restarts a running stream on the new backend.
    void selectBackend(Backend backend, MonotonicClock* clock = nullptr);

    // Makes the device backend the automatic choice tries first (PortAudio unless replaced; tests
    // hand in a device that fails). Takes effect at the next stream start.
    using DeviceFactory = std::function<std::unique_ptr<AudioBackend>()>;
    void setDeviceFactory(DeviceFactory factory);

    // Seconds from the render call to the listener; 0 while no stream runs. Lock-free, so output
    // callbacks may ask.
    double streamLatency() const { return latency_.load(std::memory_order_relaxed); }
    // "portaudio", "null" or "" while no stream runs.
    std::string backendName() const;
    int sampleRate() const { return kSampleRate; }
    int deviceChannels() const { return kDeviceChannels; }
    int voiceCount() const;

    // Sees every mixed buffer on the output thread (a level display, a test listening to the
    // null sink). Null removes it.
    using OutputObserver = std::function<void(const float* samples, int frames, int channels)>;
    void setOutputObserver(OutputObserver observer);

private:
    void render(float* out, int frames);
    bool restWhileQuiet(std::stop_token stop);
    void startStreamLocked();
    void startNullSinkLocked();
    void stopStreamLocked();
    void supervise();

    mutable std::mutex controlMutex_;   // backend selection and start/stop
    mutable std::mutex voicesMutex_;    // the voice list, held while rendering
    std::vector<std::unique_ptr<AudioVoice>> voices_;
    OutputObserver observer_; // under voicesMutex_
    std::unique_ptr<AudioBackend> backend_;
    Backend preference_ = Backend::Automatic;
    DeviceFactory deviceFactory_;
    MonotonicClock* clock_;

    std::atomic<double> latency_{0.0};
    std::condition_variable failedCondition_;
    bool streamFailed_ = false; // under controlMutex_
    bool stopping_ = false;     // under controlMutex_
    std::thread supervisor_;
    std::mutex restMutex_;
    std::condition_variable_any restCondition_;
    bool quiet_ = false; // under restMutex_: the last buffer found nothing that needs the stream
    bool woken_ = false; // under restMutex_
};

} // namespace platform
