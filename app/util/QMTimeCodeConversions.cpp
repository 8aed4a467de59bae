#include "app/util/QMTimeCodeConversions.h"

#include "comm/timecode/QMFrameSplit.h"

namespace QMTimeCodeConversions {

QMTimeCode timecodeWithTimeInterval(double seconds, float fps)
{
    const QMFrameSplit split = qmSplitSeconds(seconds, fps);
    if (split.negative)
        return QMTimeCode::zeroTime();
    const std::uint64_t s = split.wholeSeconds;
    return QMTimeCode::timecodeWithFrames(split.frames, s % 60, (s / 60) % 60, s / 3600);
}

double secondsWithFrameRate(const QMTimeCode& timeCode, float fps)
{
    double seconds = double(timeCode.hours()) * 3600.0 + double(timeCode.minutes()) * 60.0
        + double(timeCode.seconds());
    if (fps > 0.0f)
        seconds += double(float(timeCode.frames()) / fps);
    return seconds;
}

} // namespace QMTimeCodeConversions
