#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

namespace platform {

// What feeds a voice: fills interleaved signed 32-bit samples on the output thread. It must not
// block for long; silence is zeros.
class AudioVoiceSource {
public:
    virtual ~AudioVoiceSource() = default;
    virtual void renderVoice(int32_t* samples, int frames, int channels) = 0;
    // Whether the source may sound, or needs its clock to run, now. A source that says no until
    // it tells the hub (AudioOutputHub::wake) lets a stream with no device behind it rest.
    virtual bool sounding() const { return true; }
};

// One source mixed onto the device stream (a channel's engine, the record monitor), with its own
// gain, meters and sample clock. Created and destroyed by AudioOutputHub.
class AudioVoice {
public:
    static constexpr int kMaxChannels = 64;
    // Largest block rendered at once; longer device buffers are rendered in several blocks.
    static constexpr int kMaxFrames = 4096;

    AudioVoice(AudioVoiceSource* source, int channels);
    AudioVoice(const AudioVoice&) = delete;
    AudioVoice& operator=(const AudioVoice&) = delete;

    int channels() const { return channels_; }
    // 0.0 muted to 1.0 full; values outside are clamped.
    void setGain(float gain);
    float gain() const { return gain_.load(std::memory_order_relaxed); }
    // Per channel: 20 x log10(mean square + 0.00001) dB of the recent output, decaying between
    // blocks. Writes up to `count` values; returns how many it wrote.
    int levels(float* decibels, int count) const;
    // Sample frames this voice has rendered: its own clock.
    int64_t framesRendered() const { return frames_.load(std::memory_order_relaxed); }

    // Output thread: renders `frames` (<= kMaxFrames) and adds them into `mix`, which has
    // `deviceChannels` interleaved channels. A mono voice feeds every device channel; channels
    // beyond the device's are left out.
    void mixInto(float* mix, int frames, int deviceChannels);
    // Whether the next buffer may differ from silence: the source sounds, or a meter still falls.
    bool needsPulling() const;

private:
    AudioVoiceSource* source_;
    int channels_;
    std::atomic<float> gain_{1.0f};
    std::vector<int32_t> scratch_;
    std::atomic<float> meters_[kMaxChannels];
    std::atomic<int64_t> frames_{0};
};

} // namespace platform
