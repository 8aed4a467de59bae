#include "platform/audio/NullAudioSink.h"

namespace platform {

NullAudioSink::NullAudioSink(MonotonicClock& clock, RestFunction rest) : clock_(clock), rest_(std::move(rest)) {}

NullAudioSink::~NullAudioSink()
{
    stop();
}

bool NullAudioSink::start(int sampleRate, int channels, int framesPerBuffer, RenderFunction render,
                          FailureFunction)
{
    stop();
    if (sampleRate <= 0 || channels <= 0 || framesPerBuffer <= 0 || !render)
        return false;
    sampleRate_ = sampleRate;
    channels_ = channels;
    framesPerBuffer_ = framesPerBuffer;
    render_ = std::move(render);
    buffer_.assign(size_t(framesPerBuffer) * size_t(channels), 0.0f);
    buffers_.store(0, std::memory_order_relaxed);
    thread_ = std::jthread([this](std::stop_token stop) { run(stop); });
    return true;
}

void NullAudioSink::stop()
{
    if (thread_.joinable()) {
        thread_.request_stop();
        thread_.join();
    }
}

double NullAudioSink::latency() const
{
    return double(framesPerBuffer_) / double(sampleRate_);
}

void NullAudioSink::run(std::stop_token stop)
{
    // Deadlines count from the start in whole samples, so rounding never accumulates drift: buffer
    // n is due at start + n * framesPerBuffer / rate.
    int64_t start = clock_.now();
    int64_t pulled = 0;
    int64_t sinceStart = 0;
    while (!stop.stop_requested()) {
        render_(buffer_.data(), framesPerBuffer_);
        ++pulled;
        ++sinceStart;
        buffers_.store(pulled, std::memory_order_relaxed);
        if (rest_ && rest_(stop)) {
            // Woken to play: as a stream just started, the next buffer is due now.
            start = clock_.now();
            sinceStart = 0;
            continue;
        }
        const int64_t deadline =
            start + sinceStart * int64_t(framesPerBuffer_) * 1000000000 / int64_t(sampleRate_);
        if (!clock_.sleepUntil(deadline, stop))
            break;
    }
}

} // namespace platform
