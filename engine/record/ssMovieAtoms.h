#pragma once

#include "engine/record/ssAtom.h"

#include <cstdint>
#include <memory>
#include <vector>

// Time scale and per-frame sample duration of a recording's video track.
struct ssMovieTimeBase {
    uint32_t timeScale;
    uint32_t sampleDuration;
};

// 23.976, 29.97 and 59.94 count in 1001ths; every other rate in thousandths of its own value.
ssMovieTimeBase ssTimeBaseForRate(double frameRate);

// Drop-frame time code exists only for the NTSC rates 29.97 and 59.94.
bool ssIsDropFrameRate(double frameRate);

// Whole frames per second as time codes count them (30 for 29.97).
int ssTimecodeFrames(double frameRate);

// Everything the movie atom of a recording says. The offset arrays are owned by the caller.
struct ssMovieDescription {
    int32_t width = 0;
    int32_t height = 0;
    int32_t interlaced = 0;
    int32_t bottomFieldFirst = 0;
    double frameRate = 0;
    int32_t codecIndex = 0;
    int32_t channels = 0;
    int64_t slotSize = 0;
    int64_t frames = 0;                    // video samples, one per slot
    const int64_t* videoOffsets = nullptr; // frames entries
    int64_t fullChunks = 0;                // one-second audio chunks
    int64_t partialSamples = 0;            // sample frames of one more, shorter chunk (0: none)
    const int64_t* audioOffsets = nullptr; // fullChunks (+1 with a partial chunk) entries
    int64_t timecodeOffset = 0;            // file position of the time-code sample
    uint32_t creationTime = 0;             // seconds since 1904
    const uint32_t* sampleSizes = nullptr; // frames entries; null: every sample is slotSize
    // H.264 (codecs outside 0..4): the 'avcC' payload.
    const std::vector<uint8_t>* decoderConfiguration = nullptr;
};

// The seconds since 1904 of now, as movie headers count time.
uint32_t ssMovieTimeNow();

// The whole 'moov' tree, ready to be measured and laid out.
std::unique_ptr<ssAtom> ssBuildMovieAtom(const ssMovieDescription& movie);
