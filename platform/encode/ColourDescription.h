#pragma once

#include <cstdint>

namespace platform::encode {

// Colour primaries, transfer function and matrix as ITU-T H.273 code points (the numbers QuickTime
// 'colr' atoms, ProRes frame headers and FFmpeg share).
struct ColourDescription {
    uint16_t primaries;
    uint16_t transfer;
    uint16_t matrix;
};

// What a captured picture of this height carries: BT.709 for HD, BT.601 for standard definition
// (525-line primaries for 486/480 lines, 625-line primaries for 576).
ColourDescription colourForHeight(int height);

} // namespace platform::encode
