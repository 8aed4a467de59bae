#include "engine/record/ssTimecodeNumber.h"

#include "engine/record/ssMovieAtoms.h"

#include <cmath>

uint32_t ssTimecodeFrameNumber(double seconds, double frameRate)
{
    if (!(seconds > 0) || !(frameRate > 0))
        return 0;
    const int nominal = ssTimecodeFrames(frameRate);
    // Whole seconds and the frame within the second, rounding away the float error of the division.
    int64_t whole = int64_t(std::floor(seconds + 1e-9));
    int64_t frame = std::llround((seconds - double(whole)) * frameRate);
    if (frame >= nominal) {
        whole += 1;
        frame = 0;
    }
    const int64_t hours = whole / 3600;
    const int64_t minutes = whole / 60 % 60;
    const int64_t secs = whole % 60;
    int64_t number = ((hours * 60 + minutes) * 60 + secs) * nominal + frame;
    if (ssIsDropFrameRate(frameRate)) {
        // Two frame numbers (four at 59.94) are skipped each minute except every tenth.
        const int64_t drop = nominal / 15;
        const int64_t totalMinutes = hours * 60 + minutes;
        number -= drop * (totalMinutes - totalMinutes / 10);
    }
    return uint32_t(number);
}
