#include "platform/audio/AudioVoice.h"

#include <algorithm>
#include <cmath>

namespace platform {
namespace {
constexpr float kSampleScale = 1.0f / 2147483648.0f;
// Meters fall by this factor per block when the signal drops, so they read like a level meter.
constexpr float kMeterDecay = 0.82f;
// Below the meters' -100 dB floor: a meter that falls under it reads 0, so a silent voice's
// meters come to rest instead of sinking into subnormal numbers.
constexpr float kMeterUnseen = 1e-10f;
} // namespace

AudioVoice::AudioVoice(AudioVoiceSource* source, int channels)
    : source_(source), channels_(std::clamp(channels, 1, kMaxChannels)),
      scratch_(size_t(kMaxFrames) * size_t(channels_), 0)
{
    for (auto& meter : meters_)
        meter.store(0.0f, std::memory_order_relaxed);
}

void AudioVoice::setGain(float gain)
{
    if (!(gain >= 0.0f)) // also catches NaN
        gain = 0.0f;
    gain_.store(std::min(gain, 1.0f), std::memory_order_relaxed);
}

int AudioVoice::levels(float* decibels, int count) const
{
    int n = std::min(count, channels_);
    for (int c = 0; c < n; ++c)
        decibels[c] = 20.0f * std::log10(meters_[c].load(std::memory_order_relaxed) + 0.00001f);
    return n;
}

void AudioVoice::mixInto(float* mix, int frames, int deviceChannels)
{
    frames = std::clamp(frames, 0, kMaxFrames);
    if (frames == 0)
        return;
    std::fill_n(scratch_.data(), size_t(frames) * size_t(channels_), 0);
    source_->renderVoice(scratch_.data(), frames, channels_);
    const float gain = gain_.load(std::memory_order_relaxed) * kSampleScale;
    for (int c = 0; c < channels_; ++c) {
        double sumSquares = 0.0;
        const int32_t* in = scratch_.data() + c;
        for (int i = 0; i < frames; ++i) {
            float v = float(in[size_t(i) * size_t(channels_)]) * gain;
            sumSquares += double(v) * double(v);
            if (channels_ == 1) {
                for (int d = 0; d < deviceChannels; ++d)
                    mix[size_t(i) * size_t(deviceChannels) + size_t(d)] += v;
            } else if (c < deviceChannels) {
                mix[size_t(i) * size_t(deviceChannels) + size_t(c)] += v;
            }
        }
        float meanSquare = float(sumSquares / frames);
        float decayed = meters_[c].load(std::memory_order_relaxed) * kMeterDecay;
        float level = std::max(meanSquare, decayed);
        meters_[c].store(level < kMeterUnseen ? 0.0f : level, std::memory_order_relaxed);
    }
    frames_.fetch_add(frames, std::memory_order_relaxed);
}

bool AudioVoice::needsPulling() const
{
    if (source_->sounding())
        return true;
    for (int c = 0; c < channels_; ++c) {
        if (meters_[c].load(std::memory_order_relaxed) != 0.0f)
            return true;
    }
    return false;
}

} // namespace platform
