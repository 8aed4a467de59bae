#include "engine/texture/ssPixelLayout.h"

#include "engine/texture/ssTexture.h"

#include <cstring>

ssPixelLayout ssChoosePixelLayout(int components, int32_t requested)
{
    switch (requested) {
    case 4:
    case 7:
    case 11:
        // 5-6-5 from colour, 4-4-4-4 when the source carries a fourth component.
        return components == 4 ? ssPixelLayout{2, ssTexRGBA4444} : ssPixelLayout{2, ssTexRGB565};
    case 6:
    case 8:
    case 9:
        return {4, ssTexRGBA};
    case ssTexAsSource:
        return components == 4 ? ssPixelLayout{4, ssTexRGBA} : ssPixelLayout{3, ssTexRGB};
    default:
        return {3, ssTexRGB};
    }
}

void ssConvertRow(const uint8_t* src, int components, int width, const ssPixelLayout& layout, uint8_t* dst)
{
    if (layout.bytesPerPixel == components) {
        std::memcpy(dst, src, static_cast<size_t>(width) * components);
        return;
    }
    for (int x = 0; x < width; ++x, src += components) {
        switch (layout.bytesPerPixel) {
        case 2: {
            const uint16_t word = layout.type == ssTexRGBA4444
                ? static_cast<uint16_t>((src[0] >> 4) << 12 | (src[1] >> 4) << 8 | (src[2] >> 4) << 4 | src[3] >> 4)
                : static_cast<uint16_t>((src[0] >> 3) << 11 | (src[1] >> 2) << 5 | src[2] >> 3);
            std::memcpy(dst, &word, 2); // native order, as GL reads packed 16-bit pixels
            dst += 2;
            break;
        }
        case 3:
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
            dst += 3;
            break;
        default: // 4 from 3: opaque
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
            dst[3] = 255;
            dst += 4;
            break;
        }
    }
}

bool ssPictureSizeAllowed(int64_t width, int64_t height)
{
    return width > 0 && height > 0 && width <= ssTexMaxSide && height <= ssTexMaxSide
        && width * height <= ssTexMaxPixels;
}
