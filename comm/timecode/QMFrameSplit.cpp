#include "comm/timecode/QMFrameSplit.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kMaxSeconds = 9007199254740992.0; // 2^53: every whole second still exact
}

std::uint64_t qmWholeFrames(double exactFrames, double framesPerSecond, bool* carry)
{
    if (carry)
        *carry = false;
    if (!(exactFrames > 0.0)) // also NaN
        return 0;
    const double whole = std::floor(exactFrames + kQMFrameEpsilon);
    if (framesPerSecond > 0.0 && whole >= std::ceil(framesPerSecond)) {
        if (carry)
            *carry = true;
        return 0;
    }
    if (whole >= kMaxSeconds)
        return std::uint64_t(kMaxSeconds);
    return std::uint64_t(whole);
}

QMFrameSplit qmSplitSeconds(double seconds, double fps)
{
    QMFrameSplit split;
    if (!std::isfinite(seconds))
        return split;
    split.negative = seconds < 0.0;
    const double magnitude = std::min(std::fabs(seconds), kMaxSeconds);
    const double whole = std::floor(magnitude);
    split.wholeSeconds = std::uint64_t(whole);
    if (fps > 0.0 && std::isfinite(fps)) {
        bool carry = false;
        split.frames = qmWholeFrames((magnitude - whole) * fps, fps, &carry);
        if (carry)
            ++split.wholeSeconds;
    }
    return split;
}
