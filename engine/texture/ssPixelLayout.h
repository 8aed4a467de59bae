#pragma once
// Conversion of decoded 8-bit rows (3 components R, G, B or 4 components) into the layout a
// texture type asks for. Shared by the Targa, JPEG and PNG readers so every format produces the
// same bytes for the same request.
#include <cstdint>

struct ssPixelLayout
{
    int bytesPerPixel; // 2, 3 or 4
    int32_t type;      // the texture type those bytes are: 5, 6, 7 or 11
};

// Layout for `components` (3 or 4) decoded components under the requested texture type.
ssPixelLayout ssChoosePixelLayout(int components, int32_t requested);
// Converts one row of `width` pixels of `components` components into `layout`.
void ssConvertRow(const uint8_t* src, int components, int width, const ssPixelLayout& layout, uint8_t* dst);
// True when a width x height picture is within the loaders' limits.
bool ssPictureSizeAllowed(int64_t width, int64_t height);
