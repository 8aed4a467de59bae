#pragma once
// Row converters from planar YUV into '2vuy' (bytes Cb Y0 Cr Y1 per pixel pair). Each converts
// `pairs` whole pixel pairs of one row; the caller handles an odd width's last pixel. Deep
// samples are clamped to their range and truncated to 8 bits; 4:4:4 chroma becomes the rounded
// mean of each pair. Wide spans use SSE2 where the build has it, the rest (and every sample on
// other targets) the plain loop, with the same results.

#include <cstdint>

namespace ss2vuy {

// 8-bit planes; chromaShift is log2 of the horizontal chroma subsampling (1 for 4:2:2 and
// 4:2:0, 2 for 4:1:1).
void rowPlanar8(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int pairs, int chromaShift);

// 16-bit little- or big-endian samples of `bits` significant bits (9 to 16), 4:2:2.
void row422Deep(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int pairs, int bits,
                bool bigEndian);

// The same for 4:4:4.
void row444Deep(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int pairs, int bits,
                bool bigEndian);

// One deep sample, clamped and truncated to 8 bits (the odd last pixel of a row).
inline uint8_t deepTo8(const uint8_t* plane, int x, int bits, bool bigEndian)
{
    const uint8_t* p = plane + 2 * x;
    const unsigned v = bigEndian ? unsigned(p[0] << 8 | p[1]) : unsigned(p[1] << 8 | p[0]);
    const unsigned top = (1u << bits) - 1u;
    return uint8_t((v < top ? v : top) >> (bits - 8));
}

} // namespace ss2vuy
