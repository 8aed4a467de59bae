#include "engine/output/ssSdiTimecode.h"

#include <cmath>

using namespace platform::decklink;

ssTimecodeParts ssSdiTimecodeAt(double t, double frameDuration, int32_t rate, const ssTimecodeParts& start)
{
    if (rate <= 0)
        rate = 1;
    if (!(t >= 0.0))
        t = 0.0;
    // A frame's own time divided by the frame duration may land just below its index; a microsecond
    // of slack keeps each frame on its own number.
    constexpr double kSlack = 1e-6;
    const int64_t seconds = int64_t(t + kSlack);
    const int64_t frame = frameDuration > 0 ? int64_t(t / frameDuration + kSlack) % rate : 0;
    const int64_t day = int64_t(24) * 3600 * rate;
    const int64_t startFrames =
        ((int64_t(start.hours) * 60 + start.minutes) * 60 + start.seconds) * rate + start.frames;
    int64_t total = (seconds * rate + frame + startFrames) % day;
    if (total < 0)
        total += day;
    ssTimecodeParts parts;
    parts.frames = int32_t(total % rate);
    total /= rate;
    parts.seconds = int32_t(total % 60);
    total /= 60;
    parts.minutes = int32_t(total % 60);
    parts.hours = int32_t(total / 60);
    return parts;
}

int32_t ssRP188Slots(bool interlaced, float frameRate, ssTimecodeParts* parts, ssRP188Write out[2])
{
    if (interlaced) {
        out[0] = {kTimecodeRP188VITC1, kTimecodeFlagDefault};
        out[1] = {kTimecodeRP188VITC2, kTimecodeFieldMark};
        return 2;
    }
    if (frameRate <= 30.0f) {
        out[0] = {kTimecodeRP188VITC1, kTimecodeFlagDefault};
        return 1;
    }
    const bool odd = parts->frames & 1;
    parts->frames /= 2;
    out[0] = odd ? ssRP188Write{kTimecodeRP188VITC2, kTimecodeFieldMark}
                 : ssRP188Write{kTimecodeRP188VITC1, kTimecodeFlagDefault};
    return 1;
}
