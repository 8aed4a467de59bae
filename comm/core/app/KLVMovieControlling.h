#pragma once
// One channel's transport (implemented by the channel's movie controller). On a channel without
// an engine every operation does nothing.
#include "comm/core/app/KLVMovieDelegate.h"

class KLVMovieControlling : public KLVMovieDelegate {
public:
    virtual void updateTimeCode() = 0;
    virtual bool isPlaying() const = 0;
};
