#pragma once
// One loaded texture: its pixels as decoded, the names it was loaded under (the cache key), and
// the GL name once the display uploaded it.
#include <cstdint>
#include <string>
#include <vector>

// Pixel layouts the loaders produce and the display uploads.
enum ssTextureType : int32_t {
    ssTexIndexed8 = 1,         // one byte per pixel
    ssTexRGB = 5,              // R, G, B
    ssTexRGBA = 6,             // R, G, B, A
    ssTexRGB565 = 7,           // 16-bit words, red in the high bits
    ssTexRGBAAlt = 10,         // uploaded as ssTexRGBA
    ssTexRGBA4444 = 11,        // 16-bit words, red in the high nibble
    ssTexCompressedAlpha = 12, // container 0xABCD0001 with alpha
    ssTexCompressed = 13,      // container 0xABCD0001 without alpha
    ssTexCompressed3 = 16,     // container 0xABCD0003
    ssTexLuminanceAlpha = 17,
    ssTexAsSource = 18,        // asked for by callers that take the file's own layout
};

// Results of texture loading (the display keeps the last one).
inline constexpr int32_t ssTexOK = 0;
inline constexpr int32_t ssTexRawLoaded = static_cast<int32_t>(0x80000000u);
inline constexpr int32_t ssTexNoMemory = static_cast<int32_t>(0x80000001u);
inline constexpr int32_t ssTexDecodeFailed = static_cast<int32_t>(0x80000002u);
inline constexpr int32_t ssTexFileMissing = static_cast<int32_t>(0x80000005u);

// Largest picture any loader accepts: bounds the memory a hostile header can make us allocate.
inline constexpr int ssTexMaxSide = 16384;
inline constexpr int64_t ssTexMaxPixels = 7680LL * 4320LL;

struct ssTexture
{
    std::vector<uint8_t> pixels;
    std::string name;
    std::string directory;
    std::string archive;
    int32_t glName = -1;
    int32_t type = ssTexAsSource;
    uint16_t width = 0;
    uint16_t height = 0;
    int32_t useCount = 0;

    // Drops the pixels and the size; what a refused or undecodable file leaves behind.
    void Clear()
    {
        pixels.clear();
        pixels.shrink_to_fit();
        width = 0;
        height = 0;
    }
};
