#include "platform/audio/AudioOutputHub.h"

#include "platform/audio/NullAudioSink.h"
#include "platform/audio/PortAudioBackend.h"

#include <algorithm>
#include <cstdio>

namespace platform {
namespace {

std::unique_ptr<AudioBackend> portAudioDevice()
{
    return std::make_unique<PortAudioBackend>();
}

} // namespace

AudioOutputHub::AudioOutputHub() : deviceFactory_(portAudioDevice), clock_(&realTimeClock())
{
    // The real-time clock is constructed first, so it outlives the hub's threads at exit.
    supervisor_ = std::thread([this] { supervise(); });
}

AudioOutputHub::~AudioOutputHub()
{
    {
        std::lock_guard control(controlMutex_);
        stopping_ = true;
    }
    failedCondition_.notify_all();
    supervisor_.join();
    std::lock_guard control(controlMutex_);
    stopStreamLocked();
}

AudioOutputHub& AudioOutputHub::shared()
{
    static AudioOutputHub hub;
    return hub;
}

AudioVoice* AudioOutputHub::addVoice(AudioVoiceSource* source, int channels)
{
    if (!source)
        return nullptr;
    auto voice = std::make_unique<AudioVoice>(source, channels);
    AudioVoice* result = voice.get();
    std::lock_guard control(controlMutex_);
    {
        std::lock_guard voices(voicesMutex_);
        voices_.push_back(std::move(voice));
    }
    if (!backend_)
        startStreamLocked();
    else
        wake();
    return result;
}

void AudioOutputHub::removeVoice(AudioVoice* voice)
{
    std::unique_ptr<AudioVoice> gone;
    std::lock_guard control(controlMutex_);
    bool last = false;
    {
        std::lock_guard voices(voicesMutex_);
        auto it = std::find_if(voices_.begin(), voices_.end(),
                               [voice](const auto& v) { return v.get() == voice; });
        if (it == voices_.end())
            return;
        gone = std::move(*it);
        voices_.erase(it);
        last = voices_.empty();
    }
    // Nothing left to play: the stream (a device's or the null sink's pacing thread) stops until
    // the next voice comes.
    if (last && backend_)
        stopStreamLocked();
}

void AudioOutputHub::wake()
{
    {
        std::lock_guard rest(restMutex_);
        woken_ = true;
    }
    restCondition_.notify_all();
}

bool AudioOutputHub::restWhileQuiet(std::stop_token stop)
{
    std::unique_lock rest(restMutex_);
    const bool rests = quiet_ && !woken_;
    if (rests)
        restCondition_.wait(rest, stop, [this] { return woken_; });
    woken_ = false;
    return rests;
}

void AudioOutputHub::selectBackend(Backend backend, MonotonicClock* clock)
{
    std::lock_guard control(controlMutex_);
    preference_ = backend;
    clock_ = clock ? clock : &realTimeClock();
    if (backend_) {
        stopStreamLocked();
        startStreamLocked();
    }
}

void AudioOutputHub::setDeviceFactory(DeviceFactory factory)
{
    std::lock_guard control(controlMutex_);
    deviceFactory_ = factory ? std::move(factory) : DeviceFactory(portAudioDevice);
}

std::string AudioOutputHub::backendName() const
{
    std::lock_guard control(controlMutex_);
    return backend_ ? backend_->name() : std::string();
}

int AudioOutputHub::voiceCount() const
{
    std::lock_guard voices(voicesMutex_);
    return int(voices_.size());
}

void AudioOutputHub::setOutputObserver(OutputObserver observer)
{
    std::lock_guard voices(voicesMutex_);
    observer_ = std::move(observer);
}

void AudioOutputHub::render(float* out, int frames)
{
    std::fill_n(out, size_t(frames) * kDeviceChannels, 0.0f);
    std::lock_guard voices(voicesMutex_);
    for (int done = 0; done < frames;) {
        int block = std::min(frames - done, AudioVoice::kMaxFrames);
        float* mix = out + size_t(done) * kDeviceChannels;
        for (auto& voice : voices_)
            voice->mixInto(mix, block, kDeviceChannels);
        done += block;
    }
    const bool quiet = std::none_of(voices_.begin(), voices_.end(), [](const auto& v) { return v->needsPulling(); });
    {
        std::lock_guard rest(restMutex_);
        quiet_ = quiet;
    }
    for (int i = 0; i < frames * kDeviceChannels; ++i)
        out[i] = std::clamp(out[i], -1.0f, 1.0f);
    if (observer_)
        observer_(out, frames, kDeviceChannels);
}

void AudioOutputHub::startStreamLocked()
{
    auto failedFn = [this] {
        {
            std::lock_guard control(controlMutex_);
            streamFailed_ = true;
        }
        failedCondition_.notify_all();
    };
    streamFailed_ = false;
    if (preference_ == Backend::Automatic) {
        auto device = deviceFactory_();
        if (device && device->start(kSampleRate, kDeviceChannels, kFramesPerBuffer,
                                    [this](float* out, int frames) { render(out, frames); }, failedFn)) {
            backend_ = std::move(device);
            latency_.store(backend_->latency());
            return;
        }
        std::fprintf(stdout, "No audio device opened; audio runs on the null sink\n");
    }
    startNullSinkLocked();
}

void AudioOutputHub::startNullSinkLocked()
{
    // The null sink never fails, so it needs no failure function.
    auto sink = std::make_unique<NullAudioSink>(*clock_, [this](std::stop_token stop) { return restWhileQuiet(stop); });
    sink->start(kSampleRate, kDeviceChannels, kFramesPerBuffer, [this](float* out, int frames) { render(out, frames); },
                nullptr);
    backend_ = std::move(sink);
    latency_.store(backend_->latency());
}

void AudioOutputHub::stopStreamLocked()
{
    if (backend_)
        backend_->stop();
    backend_.reset();
    latency_.store(0.0);
}

void AudioOutputHub::supervise()
{
    // A device stream that stops by itself is replaced by the null sink, so the audio clock, and
    // with it presentation, keeps running.
    std::unique_lock control(controlMutex_);
    for (;;) {
        failedCondition_.wait(control, [this] { return streamFailed_ || stopping_; });
        if (stopping_)
            break;
        streamFailed_ = false;
        std::fprintf(stdout, "Audio device stream stopped; audio runs on the null sink\n");
        stopStreamLocked();
        startNullSinkLocked();
    }
}

} // namespace platform
