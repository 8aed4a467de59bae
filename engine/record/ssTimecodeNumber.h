#pragma once

#include <cstdint>

// The frame number a time-code sample stores for a source time code given in seconds (whole
// seconds plus frames / frame rate, as the capture reports it). The number counts at the nominal
// whole-frame rate; at 29.97 and 59.94 it is a drop-frame count, as the movie's time-code track
// declares for those rates.
uint32_t ssTimecodeFrameNumber(double seconds, double frameRate);
