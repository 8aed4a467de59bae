#include "app/util/QMTimeCodeConversions.h"

#include "comm/timecode/QMFrameSplit.h"

namespace QMTimeCodeConversions {

namespace {
QMTimeCode timeCodeOf(const QMFrameSplit& split)
{
    if (split.negative)
        return QMTimeCode::zeroTime();
    const std::uint64_t s = split.wholeSeconds;
    return QMTimeCode::timecodeWithFrames(split.frames, s % 60, (s / 60) % 60, s / 3600);
}
} // namespace

QMTimeCode timecodeWithTimeInterval(double seconds, float fps)
{
    return timeCodeOf(qmSplitSeconds(seconds, fps));
}

QMTimeCode timecodeWithLength(double seconds, float fps)
{
    return timeCodeOf(qmSplitLength(seconds, fps));
}

double secondsWithFrameRate(const QMTimeCode& timeCode, float fps)
{
    return qmSecondsOfTimeCode(timeCode.hours(), timeCode.minutes(), timeCode.seconds(), double(timeCode.frames()),
                               double(fps));
}

} // namespace QMTimeCodeConversions
