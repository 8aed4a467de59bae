#pragma once
// Texture files built byte by byte for the tests: Targa, raw, containers, and PNG and JPEG
// encoded with the system libraries.
#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

namespace samples {

// Little-endian writers into a buffer already sized to hold the value.
void put16(Bytes& out, size_t at, uint32_t value);
void put32(Bytes& out, size_t at, uint32_t value);

// Pixels are given top row first, R, G, B(, A).
Bytes targa(int width, int height, int bits, const Bytes& pixelsTopDown, bool runLength = false,
    const std::string& id = {}, bool topOrigin = false);
Bytes raw(int width, int height, const Bytes& indices);
Bytes container(uint32_t magic, int width, int height, int alphaMarker, const Bytes& data);
// Container 0xABCD0004 holding one or two JPEGs.
Bytes jpegContainer(const Bytes& first, const Bytes* second, int alphaMarker);

Bytes jpeg(int width, int height, int components, const Bytes& pixels, int quality = 95);
// colorType as libpng's PNG_COLOR_TYPE_*; bitDepth 8 or 16 (16-bit samples given big-endian).
Bytes png(int width, int height, int colorType, int bitDepth, const Bytes& samples);

// Bytes a pixel of the texture type takes; 0 for compressed types, which have no such size.
int bytesPerPixel(int32_t type);

// A solid picture of width x height with the given 3 or 4 components.
Bytes solid(int width, int height, std::initializer_list<uint8_t> pixel);

void writeFile(const std::string& path, const Bytes& data);

} // namespace samples
