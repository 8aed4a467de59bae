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

QMTimeCodeRate qmTimeCodeRate(double fps)
{
    QMTimeCodeRate rate;
    if (!(fps > 0.0) || !std::isfinite(fps))
        return rate;
    for (const double base : {24.0, 30.0, 60.0}) {
        const double ntsc = base * 1000.0 / 1001.0;
        if (std::fabs(fps - ntsc) < 0.01) {
            rate.exact = ntsc;
            rate.nominal = std::uint64_t(base);
            rate.dropFrame = base != 24.0;
            return rate;
        }
    }
    rate.exact = fps;
    rate.nominal = std::uint64_t(std::ceil(fps - 1e-9));
    return rate;
}

namespace {

// Frame numbers left out at each minute but every tenth (2 at 29.97, 4 at 59.94).
std::uint64_t droppedPerMinute(const QMTimeCodeRate& rate)
{
    return rate.dropFrame ? rate.nominal / 15 : 0;
}

// Time-code fields of a frame count: whole seconds (hours x 3600 + ...) and frames.
void splitFrameCount(std::uint64_t count, const QMTimeCodeRate& rate, std::uint64_t* wholeSeconds,
                     std::uint64_t* frames)
{
    if (const std::uint64_t drop = droppedPerMinute(rate)) {
        const std::uint64_t perMinute = rate.nominal * 60 - drop;
        const std::uint64_t perTenMinutes = rate.nominal * 600 - 9 * drop;
        const std::uint64_t tens = count / perTenMinutes;
        const std::uint64_t rest = count % perTenMinutes;
        // The first minute of ten keeps every number; each later one leaves `drop` out.
        count += 9 * drop * tens + (rest > drop ? drop * ((rest - drop) / perMinute) : 0);
    }
    *wholeSeconds = count / rate.nominal;
    *frames = count % rate.nominal;
}

} // namespace

std::uint64_t qmFrameCount(std::uint64_t hours, std::uint64_t minutes, std::uint64_t seconds, std::uint64_t frames,
                           const QMTimeCodeRate& rate)
{
    const std::uint64_t totalMinutes = hours * 60 + minutes + seconds / 60;
    std::uint64_t count = (totalMinutes * 60 + seconds % 60) * rate.nominal + frames;
    if (const std::uint64_t drop = droppedPerMinute(rate)) {
        const std::uint64_t dropped = drop * (totalMinutes - totalMinutes / 10);
        count = count > dropped ? count - dropped : 0;
    }
    return count;
}

double qmSecondsOfTimeCode(std::uint64_t hours, std::uint64_t minutes, std::uint64_t seconds, double frames,
                           double fps)
{
    const QMTimeCodeRate rate = qmTimeCodeRate(fps);
    if (rate.nominal == 0)
        return double(hours) * 3600.0 + double(minutes) * 60.0 + double(seconds);
    // A fractional frame (a typed decimal) keeps its fraction on top of the whole frames.
    const double whole = std::floor(std::max(0.0, frames));
    const std::uint64_t count = qmFrameCount(hours, minutes, seconds, std::uint64_t(whole), rate);
    return (double(count) + (std::max(0.0, frames) - whole)) / rate.exact;
}

std::uint64_t qmFramesInLength(double seconds, const QMTimeCodeRate& rate)
{
    if (rate.nominal == 0 || !(seconds > 0.0) || !std::isfinite(seconds))
        return 0;
    const double exact = std::min(seconds, kMaxSeconds) * rate.exact;
    const double nearest = std::round(exact);
    // Within a quarter of a whole count, it is that count; a length that ends well inside a frame
    // (a point typed with a fraction) counts the frame it ends in, as a position would.
    const double frames = std::fabs(exact - nearest) <= kQMLengthTolerance ? nearest : std::floor(exact);
    return frames >= kMaxSeconds ? std::uint64_t(kMaxSeconds) : std::uint64_t(frames);
}

std::uint64_t qmFramesInLength(double seconds, double fps)
{
    return qmFramesInLength(seconds, qmTimeCodeRate(fps));
}

QMFrameSplit qmSplitLength(double seconds, double fps)
{
    const QMTimeCodeRate rate = qmTimeCodeRate(fps);
    if (rate.nominal == 0)
        return qmSplitSeconds(std::max(seconds, 0.0), fps);
    QMFrameSplit split;
    splitFrameCount(qmFramesInLength(seconds, rate), rate, &split.wholeSeconds, &split.frames);
    return split;
}

QMFrameSplit qmSplitSeconds(double seconds, double fps)
{
    QMFrameSplit split;
    if (!std::isfinite(seconds))
        return split;
    split.negative = seconds < 0.0;
    const double magnitude = std::min(std::fabs(seconds), kMaxSeconds);
    const QMTimeCodeRate rate = qmTimeCodeRate(fps);
    if (rate.nominal == 0) {
        split.wholeSeconds = std::uint64_t(std::floor(magnitude));
        return split;
    }
    const double exactFrames = magnitude * rate.exact;
    if (exactFrames >= kMaxSeconds) {
        split.wholeSeconds = std::uint64_t(std::floor(magnitude));
        return split;
    }
    const auto count = std::uint64_t(std::floor(exactFrames + kQMFrameEpsilon));
    splitFrameCount(count, rate, &split.wholeSeconds, &split.frames);
    return split;
}
