#pragma once
// One channel's transport (implemented by the channel's movie controller). On a channel without
// an engine every operation does nothing.
#include "comm/core/app/KLVMovieDelegate.h"

class KLVMovieControlling : public KLVMovieDelegate {
public:
    virtual void updateTimeCode() = 0;
    // Puts the loaded cue's own in and out points back: a range that came with a remote cue
    // lasts for that cue only.
    virtual void restoreCueRange() = 0;
    virtual bool isPlaying() const = 0;
    // The channel has taken a cue and is still loading it (cue-done is not yet reached).
    virtual bool isCueing() const { return false; }
};
