#include "platform/encode/PixelConvert.h"

namespace platform::encode {

namespace {

uint16_t* rowOf(uint16_t* base, ptrdiff_t stride, int row)
{
    return reinterpret_cast<uint16_t*>(reinterpret_cast<uint8_t*>(base) + stride * row);
}

} // namespace

void uyvyToYuv422p10(const uint8_t* source, ptrdiff_t sourceRowBytes, int width, int height,
                     uint16_t* y, ptrdiff_t yStride, uint16_t* cb, ptrdiff_t cbStride, uint16_t* cr,
                     ptrdiff_t crStride)
{
    const int pairs = width / 2;
    for (int row = 0; row < height; ++row) {
        const uint8_t* __restrict s = source + sourceRowBytes * row;
        uint16_t* __restrict yr = rowOf(y, yStride, row);
        uint16_t* __restrict ur = rowOf(cb, cbStride, row);
        uint16_t* __restrict vr = rowOf(cr, crStride, row);
        for (int i = 0; i < pairs; ++i) {
            ur[i] = uint16_t(s[4 * i] << 2);
            yr[2 * i] = uint16_t(s[4 * i + 1] << 2);
            vr[i] = uint16_t(s[4 * i + 2] << 2);
            yr[2 * i + 1] = uint16_t(s[4 * i + 3] << 2);
        }
    }
}

void uyvyToYuv444p10(const uint8_t* source, ptrdiff_t sourceRowBytes, int width, int height,
                     uint16_t* y, ptrdiff_t yStride, uint16_t* cb, ptrdiff_t cbStride, uint16_t* cr,
                     ptrdiff_t crStride)
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
            // The next pair's chroma, or this one's again at the right edge.
            const int j = i + 1 < pairs ? 4 * (i + 1) : 4 * i;
            const int un = s[j];
            const int vn = s[j + 2];
            yr[2 * i] = uint16_t(s[4 * i + 1] << 2);
            yr[2 * i + 1] = uint16_t(s[4 * i + 3] << 2);
            ur[2 * i] = uint16_t(u << 2);
            vr[2 * i] = uint16_t(v << 2);
            ur[2 * i + 1] = uint16_t((u + un) << 1);
            vr[2 * i + 1] = uint16_t((v + vn) << 1);
        }
    }
}

} // namespace platform::encode
