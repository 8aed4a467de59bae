#include "engine/texture/ssImageDecode.h"

#include "engine/base/ssMessage.h"
#include "engine/texture/ssPixelLayout.h"
#include "engine/texture/ssTexture.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <new>

namespace {

struct PngSource
{
    const uint8_t* data;
    size_t size;
    size_t offset;
};

void readFromMemory(png_structp png, png_bytep target, png_size_t length)
{
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (length > source->size - source->offset)
        png_error(png, "illegal data read");
    std::memcpy(target, source->data + source->offset, length);
    source->offset += length;
}

void quietWarning(png_structp, png_const_charp) {}
void errorMessage(png_structp png, png_const_charp text)
{
    ssMessage(2, "ssPNGDecompress: %s", text);
    png_longjmp(png, 1);
}

struct PngJob
{
    PngSource source;
    int32_t requested;
    ssDecodedImage* out;
    std::vector<png_bytep>* rows;
    std::vector<uint8_t>* decoded;
};

enum class Stage { Ok, InitIo, ReadImage, Unsupported, NoMemory };

Stage decode(png_structp png, png_infop info, PngJob& job)
{
    volatile Stage stage = Stage::InitIo;
    if (setjmp(png_jmpbuf(png)))
        return stage;
    png_set_read_fn(png, &job.source, readFromMemory);
    png_set_sig_bytes(png, 8);
    png_set_user_limits(png, ssTexMaxSide, ssTexMaxSide);
    png_read_info(png, info);
    png_set_strip_16(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const int bits = png_get_bit_depth(png, info) * png_get_channels(png, info);
    if (!ssPictureSizeAllowed(width, height)) {
        ssMessage(2, "ssPNGDecompress: picture %ux%u too large", width, height);
        return Stage::Unsupported;
    }
    if (bits != 24 && bits != 32) {
        // Grey, grey with alpha and palette pictures have no texture layout here.
        ssMessage(2, "ssPNGDecompress: %d bits per pixel not supported", bits);
        return Stage::Unsupported;
    }
    const size_t rowBytes = png_get_rowbytes(png, info);
    if (rowBytes != static_cast<size_t>(width) * (bits / 8))
        return Stage::Unsupported;
    try {
        job.decoded->resize(rowBytes * height);
        job.rows->resize(height);
    } catch (const std::bad_alloc&) {
        return Stage::NoMemory;
    }
    for (png_uint_32 y = 0; y < height; ++y)
        (*job.rows)[y] = job.decoded->data() + y * rowBytes;
    stage = Stage::ReadImage;
    png_read_image(png, job.rows->data());

    ssDecodedImage& out = *job.out;
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    if (bits == 24 && job.requested == ssTexRGB565) {
        const ssPixelLayout layout{2, ssTexRGB565};
        out.rowBytes = out.width * 2;
        out.pixels.resize(static_cast<size_t>(out.rowBytes) * height);
        for (png_uint_32 y = 0; y < height; ++y)
            ssConvertRow((*job.rows)[y], 3, out.width, layout, out.pixels.data() + y * out.rowBytes);
        out.type = ssTexRGB565;
    } else {
        out.rowBytes = static_cast<int>(rowBytes);
        out.pixels.swap(*job.decoded);
        out.type = bits == 24 ? ssTexRGB : ssTexRGBA;
    }
    return Stage::Ok;
}

} // namespace

ssDecodedImage ssPNGDecompress(const uint8_t* data, size_t size, int32_t requestedType)
{
    ssDecodedImage out;
    if (!data || size < 8 || png_sig_cmp(data, 0, 8) != 0)
        return out;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, errorMessage, quietWarning);
    if (!png) {
        ssMessage(2, "ssPNGDecompress::png_create_read_struct failed");
        return out;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        ssMessage(2, "ssPNGDecompress::png_create_info_struct failed");
        png_destroy_read_struct(&png, nullptr, nullptr);
        return out;
    }
    std::vector<png_bytep> rows;
    std::vector<uint8_t> decoded;
    PngJob job{{data + 8, size - 8, 0}, requestedType, &out, &rows, &decoded};
    const Stage stage = decode(png, info, job);
    png_destroy_read_struct(&png, &info, nullptr);
    switch (stage) {
    case Stage::Ok:
        out.ok = true;
        return out;
    case Stage::InitIo:
        ssMessage(2, "ssPNGDecompress::Error during init_io");
        break;
    case Stage::ReadImage:
        ssMessage(2, "ssPNGDecompress::Error during read_image");
        break;
    case Stage::NoMemory:
        ssMessage(2, "ssPNGDecompress: out of memory");
        break;
    case Stage::Unsupported:
        break;
    }
    out = ssDecodedImage{};
    return out;
}
