#include "tests/engine/texture/samples/TextureSamples.h"

#include "engine/texture/ssTexture.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <jpeglib.h>
#include <stdexcept>

namespace samples {

int bytesPerPixel(int32_t type)
{
    switch (type) {
    case ssTexIndexed8:
        return 1;
    case ssTexRGB:
        return 3;
    case ssTexRGBA:
        return 4;
    case ssTexRGB565:
    case ssTexRGBA4444:
        return 2;
    default:
        return 0;
    }
}

void put16(Bytes& out, size_t at, uint32_t v)
{
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
}

void put32(Bytes& out, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

namespace {

void appendPng(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

} // namespace

Bytes targa(int width, int height, int bits, const Bytes& pixelsTopDown, bool runLength, const std::string& id,
    bool topOrigin)
{
    const int bpp = bits / 8;
    Bytes out(18, 0);
    out[0] = static_cast<uint8_t>(id.size());
    out[2] = runLength ? 10 : 2;
    put16(out, 12, static_cast<uint32_t>(width));
    put16(out, 14, static_cast<uint32_t>(height));
    out[16] = static_cast<uint8_t>(bits);
    out[17] = topOrigin ? 0x20 : 0;
    for (const char c : id)
        out.push_back(static_cast<uint8_t>(c));
    for (int row = 0; row < height; ++row) {
        // Stored bottom row first unless the origin is the top, blue before red.
        const int source = topOrigin ? row : height - 1 - row;
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = &pixelsTopDown[(static_cast<size_t>(source) * width + x) * bpp];
            Bytes pixel = {p[2], p[1], p[0]};
            if (bpp == 4)
                pixel.push_back(p[3]);
            if (runLength) {
                out.push_back(0x80); // a run of one: keeps the packets simple and the layout known
            }
            out.insert(out.end(), pixel.begin(), pixel.end());
        }
    }
    return out;
}

Bytes raw(int width, int height, const Bytes& indices)
{
    Bytes out(1040, 0);
    put32(out, 0, 0x0CAAD001);
    put32(out, 4, static_cast<uint32_t>(width));
    put32(out, 8, static_cast<uint32_t>(height));
    out.insert(out.end(), indices.begin(), indices.end());
    return out;
}

Bytes container(uint32_t magic, int width, int height, int alphaMarker, const Bytes& data)
{
    Bytes out(52, 0);
    put32(out, 0, magic);
    put16(out, 8, static_cast<uint32_t>(width));
    put32(out, 12, static_cast<uint32_t>(height));
    put32(out, 16, static_cast<uint32_t>(alphaMarker));
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Bytes jpegContainer(const Bytes& first, const Bytes* second, int alphaMarker)
{
    Bytes out(52, 0);
    put32(out, 0, 0xABCD0004);
    put32(out, 16, static_cast<uint32_t>(alphaMarker));
    put32(out, 20, second ? 1 : 0);
    put32(out, 24, static_cast<uint32_t>(first.size()));
    put32(out, 28, second ? static_cast<uint32_t>(second->size()) : 0);
    out.insert(out.end(), first.begin(), first.end());
    if (second)
        out.insert(out.end(), second->begin(), second->end());
    return out;
}

Bytes jpeg(int width, int height, int components, const Bytes& pixels, int quality)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = components;
    info.in_color_space = components == 1 ? JCS_GRAYSCALE : (components == 4 ? JCS_CMYK : JCS_RGB);
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(&pixels[static_cast<size_t>(info.next_scanline) * width * components]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    Bytes out(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

Bytes png(int width, int height, int colorType, int bitDepth, const Bytes& data)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    Bytes out;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error("png encode failed");
    }
    png_set_write_fn(png, &out, appendPng, nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), bitDepth, colorType,
        PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    for (int y = 0; y < height; ++y)
        png_write_row(png, const_cast<uint8_t*>(&data[static_cast<size_t>(y) * rowBytes]));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes solid(int width, int height, std::initializer_list<uint8_t> pixel)
{
    Bytes out;
    out.reserve(static_cast<size_t>(width) * height * pixel.size());
    for (int i = 0; i < width * height; ++i)
        out.insert(out.end(), pixel.begin(), pixel.end());
    return out;
}

void writeFile(const std::string& path, const Bytes& data)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (!file)
        throw std::runtime_error("cannot write " + path);
}

} // namespace samples
