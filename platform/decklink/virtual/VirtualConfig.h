#pragma once

// The virtual cards a configuration describes. JSON form:
//   { "cards": [ { "name": "Virtual SDI 1", "output": true, "input": true,
//                  "referenceLocked": true, "startTimecode": "01:00:00:00",
//                  "modes": [ "HD 1080i 29.97",
//                             { "name": "Test 64x36", "width": 64, "height": 36,
//                               "frameDuration": 1, "timeScale": 50, "field": "progressive" } ] } ] }
// Every key but "name" may be left out: a card then has output and input, a locked reference, the
// start time code 00:00:00:00 and every standard mode. "field" is "progressive", "upper" or "lower".

#include "platform/decklink/DeckLinkTypes.h"

#include <string>
#include <vector>

namespace platform::decklink {

struct ModeSpec {
    DisplayModeId id = 0;
    std::string name;
    int width = 0;
    int height = 0;
    TimeValue frameDuration = 1;
    TimeScale timeScale = 1;
    FieldDominance field = FieldDominance::Progressive;

    // Nanoseconds from the start of frame period 0 to the start of period k (exact, no drift).
    int64_t periodStartNs(int64_t k) const;
    // 48 kHz sample frames from the start of period 0 to the start of period k.
    int64_t audioFramesBefore(int64_t k) const;
    // 48 kHz sample frames within period k (they vary by one where the rate is fractional).
    int64_t audioFramesIn(int64_t k) const { return audioFramesBefore(k + 1) - audioFramesBefore(k); }
    // Whole frames per second, as time codes count them (30 for 29.97).
    int timecodeRate() const;
};

struct Timecode {
    int hours = 0, minutes = 0, seconds = 0, frames = 0;
    // This time code plus `count` frames at `rate` frames per second, wrapping at 24 hours.
    Timecode plusFrames(int64_t count, int rate) const;
};

struct CardConfig {
    std::string name;
    bool output = true;
    bool input = true;
    bool referenceLocked = true;
    Timecode startTimecode;
    std::vector<ModeSpec> modes;
};

struct BackendConfig {
    std::vector<CardConfig> cards;
};

// The modes a card has when its configuration lists none.
const std::vector<ModeSpec>& standardModes();

// False, with a reason, for malformed JSON, unknown mode names or impossible values.
bool parseConfig(const std::string& json, BackendConfig* config, std::string* error);

// One card with output and input and every standard mode.
BackendConfig defaultConfig();

} // namespace platform::decklink
