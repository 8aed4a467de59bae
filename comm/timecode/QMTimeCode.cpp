#include "comm/timecode/QMTimeCode.h"

#include "comm/timecode/QMFrameSplit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

QMTimeCode QMTimeCode::timecodeWithFrames(std::uint64_t frames, std::uint64_t seconds,
                                          std::uint64_t minutes, std::uint64_t hours)
{
    QMTimeCode tc;
    tc.frames_ = frames;
    tc.seconds_ = seconds;
    tc.minutes_ = minutes;
    tc.hours_ = hours;
    return tc;
}

QMTimeCode QMTimeCode::timecodeWithTimeValue(std::uint64_t timeValue, std::uint64_t timeScale,
                                             float frameRate)
{
    if (timeScale == 0)
        return zeroTime();
    std::uint64_t whole = timeValue / timeScale;
    const std::uint64_t remainder = timeValue % timeScale;
    // A rate below 1 (or not a number) counts as 1.
    const float rate = frameRate >= 1.0f ? frameRate : 1.0f;
    const float unitsPerFrame = float(timeScale) / rate;
    bool carry = false;
    const std::uint64_t frames = qmWholeFrames(double(remainder) / double(unitsPerFrame), rate, &carry);
    if (carry)
        ++whole;
    return timecodeWithFrames(frames, whole % 60, (whole % 3600) / 60, whole / 3600);
}

QString QMTimeCode::stringValue() const
{
    char text[96];
    std::snprintf(text, sizeof text, "%02llu:%02llu:%02llu:%02llu",
                  static_cast<unsigned long long>(hours_), static_cast<unsigned long long>(minutes_),
                  static_cast<unsigned long long>(seconds_), static_cast<unsigned long long>(frames_));
    return QString::fromLatin1(text);
}

std::uint64_t QMTimeCode::totalFrames() const
{
    // At a rate time codes count (23.976 to 60, drop-frame at 29.97 and 59.94) the frame count is
    // exact: 00:00:03;00 at 29.97 is 90 frames.
    if (frameRate_ >= 1.0 && frameRate_ <= 120.0 && hours_ < 1000000 && minutes_ < 1000000 && seconds_ < 1000000)
        return qmFrameCount(hours_, minutes_, seconds_, frames_, qmTimeCodeRate(frameRate_));
    const double total = (double(hours_) * 3600.0) * frameRate_ + (double(minutes_) * 60.0) * frameRate_
        + double(seconds_) * frameRate_ + double(frames_);
    if (!(total > 0.0))
        return 0;
    if (total >= 18446744073709551615.0)
        return UINT64_MAX;
    return std::uint64_t(total);
}

QString QMTimeCode::description() const
{
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "<QMTimeCode: %p> ", static_cast<const void*>(this));
    return QString::fromLatin1(prefix) + stringValue();
}
