#pragma once
// JPEG (libjpeg-turbo) and PNG (libpng) decoding from memory into texture pixel layouts.
#include <cstddef>
#include <cstdint>
#include <vector>

struct ssDecodedImage
{
    std::vector<uint8_t> pixels;
    int width = 0;  // of the buffer (rounded up to powers of two when asked)
    int height = 0;
    int rowBytes = 0;
    int32_t type = 0;
    bool ok = false;
};

// Decodes a JPEG into the layout the requested texture type asks for. With powerOfTwo the buffer
// is sized up to powers of two and the picture sits in its top-left corner.
ssDecodedImage ssJPEGDecompress(const uint8_t* data, size_t size, int32_t requestedType, bool powerOfTwo);
// Decodes an 8-bit RGB or RGBA PNG (16-bit channels are reduced to 8); other layouts fail.
ssDecodedImage ssPNGDecompress(const uint8_t* data, size_t size, int32_t requestedType);
