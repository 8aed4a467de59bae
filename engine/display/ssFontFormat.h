#pragma once
// Bitmap font stream layout. The in-memory header is the file's first 2196 bytes with the
// bitmap reference widened to 8 bytes, which moves the two spacing tables 4 bytes on.
#include <cstddef>
#include <cstdint>

inline constexpr uint32_t ssFontVersion100 = 0x100;
inline constexpr uint32_t ssFontVersion101 = 0x101;
inline constexpr uint32_t ssFontVersion102 = 0x102;
inline constexpr int ssFontFirstCode = 32;
inline constexpr int ssFontGlyphSlots = 256;
inline constexpr int ssFontSpacingSlots = 512;
inline constexpr size_t ssFontNameSize = 128;

#pragma pack(push, 1)
struct ssFontGlyph
{
    uint16_t column; // x of the glyph's first pixel in the bitmap
    uint16_t width;
};

struct ssFontHeader
{
    uint32_t version;
    char name[ssFontNameSize];
    uint16_t span;     // characters 32 .. 31 + span exist
    uint16_t first;    // first character present
    uint16_t height;   // glyph height in rows
    uint16_t rowBytes; // bitmap row length
    uint16_t reserved;
    ssFontGlyph glyphs[ssFontGlyphSlots]; // index: character code - 32
    uint8_t reserved2[2];
    uint8_t bitmapSlot[8];
    int8_t spaceBefore[ssFontSpacingSlots];
    int8_t spaceAfter[ssFontSpacingSlots];
};
#pragma pack(pop)

static_assert(sizeof(ssFontHeader) == 2200);
static_assert(offsetof(ssFontHeader, glyphs) == 142);
static_assert(offsetof(ssFontHeader, spaceBefore) == 1176);
static_assert(offsetof(ssFontHeader, spaceAfter) == 1688);

// File offsets of the current (0x102) layout.
inline constexpr size_t ssFontFileSpacingAt = 1172;
inline constexpr size_t ssFontFileBitmapAt = 2196;
// Bytes of header in the 0x101 layout, and of the whole old (0x100) header.
inline constexpr size_t ssFontHeader101Size = 1176;
inline constexpr size_t ssFontHeader100Size = 656;

// Font family file: version 0x101, N, N ascending pixel sizes, N absolute stream offsets.
inline constexpr uint32_t ssFontFamilyVersion = 0x101;
