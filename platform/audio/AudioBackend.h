#pragma once

#include <functional>
#include <string>

namespace platform {

// One device stream the hub mixes into. A backend calls the render function on its own thread
// with interleaved float samples to fill; the hub owns everything the function touches.
class AudioBackend {
public:
    using RenderFunction = std::function<void(float* out, int frames)>;
    // Called (on any thread, at most once per stream) when the stream stopped by itself.
    using FailureFunction = std::function<void()>;

    virtual ~AudioBackend() = default;

    // Opens and starts the stream; false when no stream could be had.
    virtual bool start(int sampleRate, int channels, int framesPerBuffer, RenderFunction render,
                       FailureFunction failed) = 0;
    // Stops the stream; the render function is not called after this returns.
    virtual void stop() = 0;
    // Seconds between a sample leaving the render function and reaching the listener.
    virtual double latency() const = 0;
    virtual std::string name() const = 0;
};

} // namespace platform
