#include "platform/encode/PixelConvert.h"

namespace platform::encode {

namespace {

uint16_t* rowOf(uint16_t* base, ptrdiff_t stride, int row)
{
    return reinterpret_cast<uint16_t*>(reinterpret_cast<uint8_t*>(base) + stride * row);
}

// One loop for both layouts, so the per-pixel work is instantiated without a branch.
template <bool FullChroma>
void convert(const uint8_t* source, ptrdiff_t sourceRowBytes, int width, int height, uint16_t* y, ptrdiff_t yStride,
             uint16_t* cb, ptrdiff_t cbStride, uint16_t* cr, ptrdiff_t crStride)
{
    const int pairs = width / 2;
    for (int row = 0; row < height; ++row) {
        const uint8_t* __restrict s = source + sourceRowBytes * row;
        uint16_t* __restrict yr = rowOf(y, yStride, row);
        uint16_t* __restrict ur = rowOf(cb, cbStride, row);
        uint16_t* __restrict vr = rowOf(cr, crStride, row);
        for (int i = 0; i < pairs; ++i) {
            const int u = s[4 * i];
            const int v = s[4 * i + 2];
            yr[2 * i] = uint16_t(s[4 * i + 1] << 2);
            yr[2 * i + 1] = uint16_t(s[4 * i + 3] << 2);
            if constexpr (FullChroma) {
                // The next pair's chroma, or this one's again at the right edge.
                const int j = i + 1 < pairs ? 4 * (i + 1) : 4 * i;
                ur[2 * i] = uint16_t(u << 2);
                vr[2 * i] = uint16_t(v << 2);
                ur[2 * i + 1] = uint16_t((u + s[j]) << 1);
                vr[2 * i + 1] = uint16_t((v + s[j + 2]) << 1);
            } else {
                ur[i] = uint16_t(u << 2);
                vr[i] = uint16_t(v << 2);
            }
        }
    }
}

} // namespace

void uyvyToYuv422p10(const uint8_t* source, ptrdiff_t sourceRowBytes, int width, int height, uint16_t* y,
                     ptrdiff_t yStride, uint16_t* cb, ptrdiff_t cbStride, uint16_t* cr, ptrdiff_t crStride)
{
    convert<false>(source, sourceRowBytes, width, height, y, yStride, cb, cbStride, cr, crStride);
}

void uyvyToYuv444p10(const uint8_t* source, ptrdiff_t sourceRowBytes, int width, int height, uint16_t* y,
                     ptrdiff_t yStride, uint16_t* cb, ptrdiff_t cbStride, uint16_t* cr, ptrdiff_t crStride)
{
    convert<true>(source, sourceRowBytes, width, height, y, yStride, cb, cbStride, cr, crStride);
}

} // namespace platform::encode

namespace platform::encode {

void uyvyToYuv422p(const uint8_t* source, ptrdiff_t sourceRowBytes, int width, int height, uint8_t* y,
                   ptrdiff_t yStride, uint8_t* cb, ptrdiff_t cbStride, uint8_t* cr, ptrdiff_t crStride)
{
    const int pairs = width / 2;
    for (int row = 0; row < height; ++row) {
        const uint8_t* __restrict s = source + sourceRowBytes * row;
        uint8_t* __restrict yr = y + yStride * row;
        uint8_t* __restrict ur = cb + cbStride * row;
        uint8_t* __restrict vr = cr + crStride * row;
        for (int i = 0; i < pairs; ++i) {
            ur[i] = s[4 * i];
            yr[2 * i] = s[4 * i + 1];
            vr[i] = s[4 * i + 2];
            yr[2 * i + 1] = s[4 * i + 3];
        }
    }
}

} // namespace platform::encode
