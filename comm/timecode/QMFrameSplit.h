#pragma once
// Splitting a time in seconds into whole seconds and frames. Shared by every time text and time
// code made from seconds, so that they all agree on which frame a time belongs to.

#include <cstdint>

// Times that are meant to sit exactly on a frame boundary (1.2 s at 25 fps) are often a hair
// below it in binary floating point; plain truncation would give the previous frame. This much
// of a frame is added before truncating.
inline constexpr double kQMFrameEpsilon = 1e-4;

struct QMFrameSplit {
    bool negative = false;          // the time was below zero
    std::uint64_t wholeSeconds = 0; // of the magnitude
    std::uint64_t frames = 0;       // within that second
};

// Splits |seconds| at fps frames per second. NaN and infinite times count as 0; magnitudes
// beyond 2^53 s saturate there. A rate that is not above 0 gives no frames. When the epsilon
// carries the frame count up to a full second, the second is counted instead.
QMFrameSplit qmSplitSeconds(double seconds, double fps);

// Whole frames in `exactFrames` (a frame count computed in floating point) with the same
// epsilon; sets *carry when that reaches framesPerSecond (rounded up) and returns 0 then.
std::uint64_t qmWholeFrames(double exactFrames, double framesPerSecond, bool* carry);
