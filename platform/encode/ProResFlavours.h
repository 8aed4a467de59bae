#pragma once

#include <cstdint>

namespace platform::encode {

// One member of the ProRes family as a recording names it: the codec index the user picks, the
// sample description type, the compressor name stored in the movie, FFmpeg's profile number and
// the bytes per pixel a compressed frame may take at most (the movie's fixed slot size).
struct ProResFlavour {
    int index;
    char fourcc[5];
    const char* compressorName;
    int encoderProfile;
    double bytesPerPixel;
    bool fullChroma; // 4:4:4 sampling: the encoder is fed upsampled chroma
};

inline constexpr int kProResFlavourCount = 5;

// The flavour of codec index 0..4, or null for any other index (those are not recordable).
const ProResFlavour* proResFlavour(int index);

} // namespace platform::encode
