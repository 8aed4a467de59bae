#include "tests/support/OnAirAccuracy.h"

#include <algorithm>
#include <cmath>

namespace testsupport {

OnAirAccuracy judgeOnAir(const std::vector<int64_t>& codes, int64_t first, int64_t last, double clipPerPeriod)
{
    OnAirAccuracy result;
    // A frame is due for this many periods; a faster clip advances this many frames a period.
    const int64_t hold = clipPerPeriod < 1.0 ? int64_t(std::ceil(1.0 / clipPerPeriod - 1e-9)) : 1;
    const int64_t advance = clipPerPeriod > 1.0 ? int64_t(std::llround(clipPerPeriod)) : 1;
    // Until the play shows its first frame, the cued frame (a step before it) may stay on air.
    size_t i = 0;
    while (i < codes.size() && codes[i] == first - advance)
        ++i;
    int64_t previous = first - advance;
    int64_t run = 0;
    bool started = false;
    for (; i < codes.size(); ++i) {
        const int64_t code = codes[i];
        ++result.periods;
        if (code < 0) {
            ++result.black;
            continue;
        }
        if (started && code == previous) {
            if (++run > hold)
                ++result.repeated;
        } else {
            const int64_t step = code - previous;
            if (step < 0)
                result.skipped += -step; // went back
            else if (step > advance)
                result.skipped += step - advance;
            previous = code;
            run = 1;
            started = true;
        }
        if (code >= last) {
            result.skipped += code - last;
            // Its own cadence still counts, the hold after it does not.
            for (size_t j = i + 1; j < codes.size() && int64_t(j - i) < hold; ++j)
                result.black += codes[j] < 0 ? 1 : 0;
            return result;
        }
    }
    // The run never reached its last frame.
    result.skipped += last - (started ? previous : first - advance);
    return result;
}

std::vector<int64_t> unwrapLoop(const std::vector<int64_t>& codes, int64_t in, int64_t last)
{
    std::vector<int64_t> out;
    int64_t passes = 0;
    int64_t previous = -1;
    for (int64_t code : codes) {
        if (code >= 0 && previous >= 0 && code < previous)
            ++passes;
        if (code >= 0)
            previous = code;
        out.push_back(code < 0 ? code : code + passes * (last - in + 1));
    }
    return out;
}

std::string describeRuns(const std::vector<int64_t>& codes)
{
    std::string text;
    for (size_t i = 0; i < codes.size();) {
        size_t j = i;
        while (j < codes.size() && codes[j] == codes[i])
            ++j;
        text += std::to_string(codes[i]) + "x" + std::to_string(j - i) + " ";
        i = j;
    }
    return text;
}

} // namespace testsupport
