#pragma once
// The time-code value that crosses the system: deck-control parsers build it from their wire
// formats, the command interpreter answers cue queries with it and the application uses it for
// in points, out points and durations.
//
// A plain value: copies are independent. There is deliberately no equality operator; callers
// compare the fields they mean. The fields are not normalized: any value may be stored in any
// field. Not locked: one instance is not changed on one thread while read on another.

#include <QString>
#include <cstdint>

class QMTimeCode {
public:
    QMTimeCode() = default;

    // 00:00:00:00, frame rate 0.
    static QMTimeCode zeroTime() { return QMTimeCode(); }
    static QMTimeCode timecodeWithFrames(std::uint64_t frames, std::uint64_t seconds,
                                         std::uint64_t minutes, std::uint64_t hours);
    // value / timeScale seconds at frameRate (a rate below 1 counts as 1); the rate is not
    // stored. A time scale of 0 gives the zero time code.
    static QMTimeCode timecodeWithTimeValue(std::uint64_t timeValue, std::uint64_t timeScale,
                                            float frameRate);

    std::uint64_t frames() const { return frames_; }
    std::uint64_t seconds() const { return seconds_; }
    std::uint64_t minutes() const { return minutes_; }
    std::uint64_t hours() const { return hours_; }
    double framerate() const { return frameRate_; }
    bool dropFrameFlag() const { return dropFrameFlag_; }
    bool negativeFlag() const { return negativeFlag_; }

    void setFrames(std::uint64_t v) { frames_ = v; }
    void setSeconds(std::uint64_t v) { seconds_ = v; }
    void setMinutes(std::uint64_t v) { minutes_ = v; }
    void setHours(std::uint64_t v) { hours_ = v; }
    void setFramerate(double v) { frameRate_ = v; }

    // "HH:MM:SS:FF", each field at least two digits, never wrapped (100 hours -> "100:...").
    QString stringValue() const;
    // Frames since 00:00:00:00 at the stored rate (just `frames` without one), counted as time
    // codes count (drop-frame at 29.97 and 59.94). A result that is negative or not a number
    // (negative or NaN rate) is 0; one beyond the range saturates.
    std::uint64_t totalFrames() const;
    // "<QMTimeCode: 0x...> HH:MM:SS:FF", for logs.
    QString description() const;

private:
    std::uint64_t frames_ = 0;
    std::uint64_t seconds_ = 0;
    std::uint64_t minutes_ = 0;
    std::uint64_t hours_ = 0;
    bool dropFrameFlag_ = false;
    bool negativeFlag_ = false;
    double frameRate_ = 0.0;
};
