#pragma once
// One channel's transport (implemented by the channel's movie controller). On a channel without
// an engine every operation does nothing.
#include "comm/core/app/KLVMovieDelegate.h"
#include "comm/timecode/QMTimeCode.h"

class KLVMovieControlling : public KLVMovieDelegate {
public:
    virtual void setInPoint(const QMTimeCode& inPoint) = 0;
    // Out point = in point + duration.
    virtual void setOutPointAsDurationFromInPoint(const QMTimeCode& duration) = 0;
    // Seeks to in point + time code.
    virtual void seekToTimeCode(const QMTimeCode& timeCode) = 0;
    virtual void updateTimeCode() = 0;
    virtual QMTimeCode currentTime() const = 0;
    virtual QMTimeCode remainingTime() const = 0;
    virtual bool isPlaying() const = 0;
};
