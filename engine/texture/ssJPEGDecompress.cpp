#include "engine/texture/ssImageDecode.h"

#include "engine/base/ssMessage.h"
#include "engine/texture/ssPixelLayout.h"
#include "engine/texture/ssTexture.h"

#include <csetjmp>
#include <cstdio>
#include <new>

#include <jpeglib.h>

namespace {

struct JpegError
{
    jpeg_error_mgr manager;
    jmp_buf jump;
};

[[noreturn]] void jumpBack(j_common_ptr info)
{
    char text[JMSG_LENGTH_MAX];
    info->err->format_message(info, text);
    ssMessage(2, "ssJPEGDecompress: %s", text);
    std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

// Corrupt-data warnings are not failures; libjpeg fills what is missing.
void quiet(j_common_ptr) {}

int nextPowerOfTwo(int v)
{
    int p = 1;
    while (p < v)
        p <<= 1;
    return p;
}

// Everything that must survive a longjmp out of libjpeg lives here, outside the jumping frame.
struct JpegJob
{
    const uint8_t* data;
    size_t size;
    int32_t requested;
    bool powerOfTwo;
    ssDecodedImage* out;
    std::vector<uint8_t>* row;
};

// Returns 0 on success, 1 when libjpeg reported an error, 2 when a buffer could not be had.
int decode(jpeg_decompress_struct& info, JpegJob& job)
{
    if (setjmp(reinterpret_cast<JpegError*>(info.err)->jump))
        return 1;
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, job.data, static_cast<unsigned long>(job.size));
    jpeg_read_header(&info, TRUE);
    // Grey pictures come out as RGB so every request sees three or four components.
    if (info.num_components != 4)
        info.out_color_space = JCS_RGB;
    if (!ssPictureSizeAllowed(info.image_width, info.image_height)) {
        ssMessage(2, "ssJPEGDecompress: picture %ux%u too large", info.image_width, info.image_height);
        return 1;
    }
    jpeg_start_decompress(&info);
    const int width = static_cast<int>(info.output_width);
    const int height = static_cast<int>(info.output_height);
    const int components = info.output_components;
    if (components != 3 && components != 4)
        return 1;
    const ssPixelLayout layout = ssChoosePixelLayout(components, job.requested);
    const int bufferWidth = job.powerOfTwo ? nextPowerOfTwo(width) : width;
    const int bufferHeight = job.powerOfTwo ? nextPowerOfTwo(height) : height;
    if (!ssPictureSizeAllowed(bufferWidth, bufferHeight))
        return 1;
    ssDecodedImage& out = *job.out;
    out.rowBytes = bufferWidth * layout.bytesPerPixel;
    try {
        out.pixels.assign(static_cast<size_t>(out.rowBytes) * bufferHeight, 0);
        job.row->resize(static_cast<size_t>(width) * components);
    } catch (const std::bad_alloc&) {
        return 2;
    }
    out.width = bufferWidth;
    out.height = bufferHeight;
    out.type = layout.type;
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = {job.row->data()};
        const unsigned line = info.output_scanline;
        if (jpeg_read_scanlines(&info, rows, 1) != 1)
            return 1;
        ssConvertRow(job.row->data(), components, width, layout, out.pixels.data() + static_cast<size_t>(line) * out.rowBytes);
    }
    jpeg_finish_decompress(&info);
    return 0;
}

} // namespace

ssDecodedImage ssJPEGDecompress(const uint8_t* data, size_t size, int32_t requestedType, bool powerOfTwo)
{
    ssDecodedImage out;
    if (!data || size == 0)
        return out;
    std::vector<uint8_t> row;
    jpeg_decompress_struct info{};
    JpegError error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jumpBack;
    error.manager.output_message = quiet;
    JpegJob job{data, size, requestedType, powerOfTwo, &out, &row};
    const int result = decode(info, job);
    jpeg_destroy_decompress(&info);
    if (result != 0) {
        out.pixels.clear();
        out.width = out.height = out.rowBytes = 0;
        if (result == 2)
            ssMessage(2, "ssJPEGDecompress: out of memory");
        return out;
    }
    out.ok = true;
    return out;
}
