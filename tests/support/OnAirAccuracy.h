#pragma once
// How faithfully a card put a clip on air, from the clip frame index it showed in each period
// (-1: no clip frame). Counts what an operator would see as wrong: clip frames that never aired
// (or aired out of order), frames held longer than the clip's cadence on the card, and periods
// without a clip frame.

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct OnAirAccuracy {
    int64_t skipped = 0;  // frames of the expected run that never aired, and steps backward
    int64_t repeated = 0; // periods a frame stayed on air beyond its cadence
    int64_t black = 0;    // periods without a clip frame
    int64_t periods = 0;  // periods judged
    int64_t total() const { return skipped + repeated + black; }
};

// `codes`: one entry per card period, from the play command on (the cued frame, a cadence step
// before `first`, may still be on air at first). The play must start with frame `first` and run to frame `last` (the hold after
// `last` is not judged); `clipPerPeriod` is clip frames per card period (1 for equal rates, 0.5
// for a 29.97 clip on a 59.94 card, 2 for the reverse).
OnAirAccuracy judgeOnAir(const std::vector<int64_t>& codes, int64_t first, int64_t last, double clipPerPeriod);

// Passes of a loop over frames in..last laid end to end: each time the clip goes back, the codes
// after it count on from where the pass before ended, so a seamless loop reads as one straight
// play.
std::vector<int64_t> unwrapLoop(const std::vector<int64_t>& codes, int64_t in, int64_t last);

// "NxK" runs (frame N for K periods), for failure messages.
std::string describeRuns(const std::vector<int64_t>& codes);

} // namespace testsupport
