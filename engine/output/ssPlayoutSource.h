#pragma once
// What the SDI playout takes from the engine that plays to a card. Called on the card's threads.

#include "engine/output/ssOutputPeriod.h"
#include "engine/output/ssSdiTimecode.h"

#include <cstddef>
#include <cstdint>

// A block of decoded audio: signed 32-bit interleaved samples at 48 kHz.
struct ssAudioPacket {
    const int32_t* samples = nullptr;
    int32_t frames = 0;
    int32_t channels = 0;
    double time = 0.0; // presentation time of the first sample, seconds
};

class ssPlayoutSource {
public:
    virtual ~ssPlayoutSource() = default;

    // The ring slot of the frame to put out in `period`, or -1 (none new). Out: the playback state
    // (3: stopped).
    virtual int32_t GetFrameForOutput(int32_t* state, const ssOutputPeriod& period) = 0;
    // Copies the 2vuy bytes of a slot GetFrameForOutput named (width x height of the output mode,
    // 2 bytes a pixel) while they cannot be released; false when the slot has none for that raster.
    virtual bool CopyFramePixels(int32_t slot, uint8_t* destination, size_t bytes) = 0;
    // 0 stop, 1 loop, 2 next: with 2 a stopped engine keeps its last picture on air.
    virtual int32_t GetPlaybackBehavior() = 0;
    virtual double GetPosition() = 0;
    virtual double GetDuration() = 0;
    // 0 off, 1 elapsed, 2 remaining.
    virtual int32_t GetTimeCodeOutput() = 0;
    virtual ssTimecodeParts GetStartTimeCode() = 0;

    // Audio: true while the audio thread plays and the channel's audio goes to the card.
    virtual bool AudioPlaying() = 0;
    virtual int32_t GetAudioStreamCount() = 0;
    virtual int32_t GetStreamChannels(int32_t stream) = 0;
    // False until the playback clock has its start time.
    virtual bool AudioClockStarted() = 0;
    // 0 with the next due packet of a stream (kept valid until ReleaseAudioPacket), else non-zero.
    virtual int32_t PullAudioPacket(int32_t stream, ssAudioPacket* packet) = 0;
    virtual void ReleaseAudioPacket(int32_t stream) = 0;
    // Meters: samples of one stream placed in `stride`-wide frames from `firstChannel` on.
    virtual void AccumulateMeterLevels(const int32_t* block, int32_t frames, int32_t stride,
                                       int32_t firstChannel, int32_t channels) = 0;
    virtual void DecayMeters() = 0;
};
