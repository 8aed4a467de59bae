#pragma once
// Splitting a time in seconds into whole seconds and frames, and the way back. Shared by every
// time text and time code made from seconds and every time read from one, so that they all agree
// on which frame a time belongs to. A time code counts frames: at 29.97 frame 30 (00:00:01;00)
// starts at 1.001 s, and 29.97 and 59.94 count drop-frame (two or four frame numbers left out at
// each minute but every tenth), so time codes stay with the clock over hours. Seconds are always
// real time, frame count / exact rate, so time code -> seconds -> time code is exact.

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

// Splits |seconds| at fps frames per second into the time code of the frame it falls in: the
// frame count (seconds x exact rate, plus the epsilon) as time-code seconds and frames. NaN and
// infinite times count as 0; magnitudes beyond 2^53 s saturate there. A rate that is not above 0
// gives whole seconds and no frames.
QMFrameSplit qmSplitSeconds(double seconds, double fps);

// Splits a length of |seconds| at fps into the time code of its frame count (qmFramesInLength:
// a hair short of a whole frame is that frame); NaN, infinite and negative lengths count as 0. A
// rate that is not above 0 gives whole seconds and no frames, as qmSplitSeconds does.
QMFrameSplit qmSplitLength(double seconds, double fps);

// How time codes count at a frame rate.
struct QMTimeCodeRate {
    double exact = 0.0;         // frames per second (30000/1001 for 29.97); 0: no frames
    std::uint64_t nominal = 0;  // frame numbers in a time-code second (30 for 29.97)
    bool dropFrame = false;     // 29.97 and 59.94
};
// 23.976, 29.97 and 59.94 (within 0.01, as a single-precision rate gives them) are taken as the
// exact 24000/1001, 30000/1001 and 60000/1001; other rates as given (nominal: rounded up).
QMTimeCodeRate qmTimeCodeRate(double fps);
// How far (in frames) a length may be from a whole frame count and still be that count: container
// time scales are finer (1/600 s is a tenth of a frame at 59.94).
inline constexpr double kQMLengthTolerance = 0.25;

// Whole frames in a length of `seconds` at fps. A clip holds a whole number of frames, and the
// seconds its container states are rounded to the container's own time scale, up or down (360
// frames at 29.97 are 12.012 s, which a 1/600 s scale states as 12.011667 s), so a length within
// kQMLengthTolerance of a whole count is that count; any other is truncated. 0 for NaN, infinite
// or negative lengths and without a rate; saturates at 2^53.
std::uint64_t qmFramesInLength(double seconds, const QMTimeCodeRate& rate);
std::uint64_t qmFramesInLength(double seconds, double fps);
// Frames since 00:00:00:00 of a time code's fields (drop-frame numbers that do not exist count as
// the next that does); the fields are not normalized (90 seconds is 1:30).
std::uint64_t qmFrameCount(std::uint64_t hours, std::uint64_t minutes, std::uint64_t seconds, std::uint64_t frames,
                           const QMTimeCodeRate& rate);
// The seconds a time code's fields stand for at fps (whole seconds only without a rate).
double qmSecondsOfTimeCode(std::uint64_t hours, std::uint64_t minutes, std::uint64_t seconds, double frames,
                           double fps);

// Whole frames in `exactFrames` (a frame count computed in floating point) with the same
// epsilon; sets *carry when that reaches framesPerSecond (rounded up) and returns 0 then.
std::uint64_t qmWholeFrames(double exactFrames, double framesPerSecond, bool* carry);
