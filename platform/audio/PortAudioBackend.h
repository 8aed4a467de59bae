#pragma once

#include "platform/audio/AudioBackend.h"

#include <atomic>

namespace platform {

// The system's "default" output device through PortAudio in callback mode. The libraries below
// PortAudio (ALSA, JACK) print their probing noise to stderr; it is kept out of our log.
class PortAudioBackend final : public AudioBackend {
public:
    PortAudioBackend();
    ~PortAudioBackend() override;

    bool start(int sampleRate, int channels, int framesPerBuffer, RenderFunction render,
               FailureFunction failed) override;
    void stop() override;
    double latency() const override { return latency_.load(); }
    std::string name() const override { return "portaudio"; }

    // Called from PortAudio's thread.
    int process(float* out, unsigned long frames);
    void finished();

private:
    bool initialized_ = false;
    void* stream_ = nullptr;
    RenderFunction render_;
    FailureFunction failed_;
    std::atomic<bool> stopping_{false};
    std::atomic<double> latency_{0.0};
};

} // namespace platform
