#pragma once

#include "platform/audio/AudioBackend.h"
#include "platform/clock/MonotonicClock.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

namespace platform {

// A stream with no device behind it: a thread pulls one buffer per period on absolute deadlines
// of a monotonic clock, so the audio clock (and with it playback) runs at the right rate without
// a sound card. Given a ManualClock, the buffers are pulled exactly as a test steps time.
// With nothing to play it may rest: after each buffer it asks its rest function, which blocks
// while nothing needs the stream; the next buffer is due at once and the deadlines count anew.
class NullAudioSink final : public AudioBackend {
public:
    // Returns whether it rested; returns at once (false) when anything needs the stream, and
    // ends its rest when `stop` is requested.
    using RestFunction = std::function<bool(std::stop_token)>;

    explicit NullAudioSink(MonotonicClock& clock = realTimeClock(), RestFunction rest = nullptr);
    ~NullAudioSink() override;

    bool start(int sampleRate, int channels, int framesPerBuffer, RenderFunction render,
               FailureFunction failed) override;
    void stop() override;
    double latency() const override;
    std::string name() const override { return "null"; }

    // Buffers pulled since start.
    int64_t buffersPulled() const { return buffers_.load(std::memory_order_relaxed); }

private:
    void run(std::stop_token stop);

    MonotonicClock& clock_;
    RenderFunction render_;
    RestFunction rest_;
    int sampleRate_ = 48000;
    int channels_ = 2;
    int framesPerBuffer_ = 480;
    std::vector<float> buffer_;
    std::atomic<int64_t> buffers_{0};
    std::jthread thread_;
};

} // namespace platform
