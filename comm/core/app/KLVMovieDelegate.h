#pragma once
// A transport target: one channel's movie controller, or the application sending the same
// operation to every channel in column order.
#include "comm/timecode/QMTimeCode.h"

class KLVMovieDelegate {
public:
    virtual ~KLVMovieDelegate() = default;
    // Seconds from the start of the file; scrubMode 1 while a control is dragged.
    virtual void seekToSeconds(double seconds, int scrubMode) = 0;
    // Seeks to in point + time code.
    virtual void seekToTimeCode(const QMTimeCode& timeCode) = 0;
    virtual void goToBeginning() = 0;
    virtual void rewind() = 0;
    virtual void stepBackward() = 0;
    virtual void play() = 0;
    virtual void stop() = 0;
    // Plays at a rate: rate < 0 rewinds at that speed, rate > 1 fast-forwards, 0 pauses; any other
    // rate plays normally. A reverse rate never plays forwards.
    virtual void playAtRate(float rate) = 0;
    virtual void pause() = 0;
    virtual void stepForward() = 0;
    virtual void fastForward() = 0;
    virtual void goToEnd() = 0;
    // The range setters answer whether the engine took the point: an out point that is not after
    // the in point is refused and changes nothing, so callers never store it.
    virtual bool setInPoint(const QMTimeCode& inPoint) = 0;
    virtual bool setOutPoint(const QMTimeCode& outPoint) = 0;
    // Out point = in point + duration.
    virtual bool setOutPointAsDurationFromInPoint(const QMTimeCode& duration) = 0;
    // Elapsed since the in point, left until the out point, and the range's length.
    virtual QMTimeCode currentTime() const = 0;
    virtual QMTimeCode remainingTime() const = 0;
    virtual QMTimeCode duration() const = 0;
};
