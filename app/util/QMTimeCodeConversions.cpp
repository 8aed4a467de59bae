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
    return qmSecondsOfTimeCode(timeCode.hours(), timeCode.minutes(), timeCode.seconds(), double(timeCode.frames()),
                               double(fps));
}

} // namespace QMTimeCodeConversions
