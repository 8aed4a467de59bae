#pragma once

// The audio the virtual card's input generator delivers: channel c carries a sine of
// 1000 x (c + 1) Hz at a quarter of full scale. 1000 Hz divides 48 kHz, so every channel repeats
// within 48 samples and any sample can be checked exactly from its index.

#include <array>
#include <cmath>
#include <cstdint>

namespace platform::decklink {

inline int16_t virtualToneSample(int channel, int64_t sampleIndex)
{
    static const std::array<int16_t, 48> table = [] {
        std::array<int16_t, 48> t{};
        for (int i = 0; i < 48; ++i)
            t[i] = int16_t(std::lround(8192.0 * std::sin(2.0 * M_PI * i / 48.0)));
        return t;
    }();
    return table[size_t((sampleIndex % 48) * (channel + 1) % 48)];
}

} // namespace platform::decklink
