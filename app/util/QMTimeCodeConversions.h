#pragma once
// Conversions between seconds and QMTimeCode used by the playback side.

#include "comm/timecode/QMTimeCode.h"

namespace QMTimeCodeConversions {

// t seconds at fps as hours, minutes, seconds and frames; the rate is not stored in the result.
// Negative, NaN and infinite times give 00:00:00:00; a rate that is not above 0 gives frame 0.
QMTimeCode timecodeWithTimeInterval(double seconds, float fps);
// A length of `seconds` at fps as the time code of its frame count (qmFramesInLength); the rate
// is not stored in the result.
QMTimeCode timecodeWithLength(double seconds, float fps);

// The seconds the time code's frame stands for at fps (frame count / exact rate, drop-frame at
// 29.97 and 59.94); a rate that is not above 0 adds no frame term.
double secondsWithFrameRate(const QMTimeCode& timeCode, float fps);

} // namespace QMTimeCodeConversions
