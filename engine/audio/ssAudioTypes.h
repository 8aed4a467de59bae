#pragma once
// What the decoders hand the audio output: resampled PCM blocks at one rate.

#include <cstdint>

// Most audio streams one engine plays; further streams of a file are ignored.
inline constexpr int ssMaxAudioStreams = 20;
// Every PCM block is resampled to this rate, 32-bit interleaved.
inline constexpr int ssOutputSampleRate = 48000;

// One resampled PCM block: signed 32-bit samples, interleaved, at 48 kHz.
struct SAMPLE_HEADER {
    uint8_t* data = nullptr; // grown with realloc, with 64 bytes of slack, kept across blocks
    int32_t capacity = 0;    // bytes
    int32_t filled = 0;      // bytes
    double time = 0.0;       // presentation time of the first sample, seconds
    int32_t rereads = 0;     // the engine's count of passes left when it was decoded (see ssRenderFrame)
};

// The playing side an audio output keeps in step with when linked: its clock, and whether it plays.
class ssAudioClockMaster {
public:
    virtual double GetAudioClock() = 0;
    virtual bool IsPlaying() = 0;

protected:
    ~ssAudioClockMaster() = default;
};
