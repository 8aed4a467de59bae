#pragma once

#include <cstddef>
#include <cstdint>

namespace platform::encode {

// Converters from 8-bit 4:2:2 '2vuy' (bytes U Y0 V Y1 per pixel pair) to FFmpeg's 10-bit planar
// layouts, little-endian 16-bit words. Width must be even. Each destination row holds `width`
// luma words and, for 4:2:2, width / 2 chroma words (strides in bytes).

void uyvyToYuv422p10(const uint8_t* source, ptrdiff_t sourceRowBytes, int width, int height,
                     uint16_t* y, ptrdiff_t yStride, uint16_t* cb, ptrdiff_t cbStride, uint16_t* cr,
                     ptrdiff_t crStride);

// 4:4:4: co-sited chroma samples are kept, the ones between are the mean of their neighbours
// (the last column repeats its neighbour).
void uyvyToYuv444p10(const uint8_t* source, ptrdiff_t sourceRowBytes, int width, int height,
                     uint16_t* y, ptrdiff_t yStride, uint16_t* cb, ptrdiff_t cbStride, uint16_t* cr,
                     ptrdiff_t crStride);

// 8-bit planar 4:2:2: the samples as they are, only separated into planes.
void uyvyToYuv422p(const uint8_t* source, ptrdiff_t sourceRowBytes, int width, int height, uint8_t* y,
                   ptrdiff_t yStride, uint8_t* cb, ptrdiff_t cbStride, uint8_t* cr, ptrdiff_t crStride);

} // namespace platform::encode
