#pragma once
// RP188 time code of an SDI frame: the playback position as a time code, plus the file's start
// time code, and which of the two RP188 slots it goes into.

#include "platform/decklink/DeckLinkTypes.h"

#include <cstdint>

struct ssTimecodeParts {
    int32_t hours = 0, minutes = 0, seconds = 0, frames = 0;
};

// Position t (seconds) at `rate` whole frames per second plus `start`, added as frame counts with
// carry between the components and wrapping at 24 hours.
ssTimecodeParts ssSdiTimecodeAt(double t, double frameDuration, int32_t rate, const ssTimecodeParts& start);

struct ssRP188Write {
    platform::decklink::TimecodeFormat format = 0;
    platform::decklink::TimecodeFlags flags = 0;
};

// The slots a frame's time code is written to (count returned, at most 2): interlaced: VITC1 and
// VITC2 with the field mark; progressive up to 30 fps: VITC1; faster: VITC1 on even frames, VITC2
// with the field mark on odd ones, frames halved. `parts.frames` is adjusted for the fast case.
int32_t ssRP188Slots(bool interlaced, float frameRate, ssTimecodeParts* parts, ssRP188Write out[2]);
