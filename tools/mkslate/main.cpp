// mkslate face.ttf out.jpg
//
// Draws the engine's slate still: a dark gradient with a frame and the product name, written as
// a 1920 x 1080 baseline JPEG beside its final path and renamed into place.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <jpeglib.h>
#include <string>
#include <vector>

namespace {

constexpr int width = 1920;
constexpr int height = 1080;

void drawText(std::vector<uint8_t>& rgb, FT_Face face, const char* text, int pixelSize)
{
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelSize));
    int textWidth = 0;
    for (const char* p = text; *p; ++p) {
        if (FT_Load_Char(face, static_cast<unsigned char>(*p), FT_LOAD_DEFAULT) == 0)
            textWidth += static_cast<int>(face->glyph->advance.x >> 6);
    }
    int penX = (width - textWidth) / 2;
    const int baseline = height / 2 + pixelSize / 3;
    for (const char* p = text; *p; ++p) {
        if (FT_Load_Char(face, static_cast<unsigned char>(*p), FT_LOAD_RENDER) != 0)
            continue;
        const FT_GlyphSlot slot = face->glyph;
        for (unsigned row = 0; row < slot->bitmap.rows; ++row) {
            const int y = baseline - slot->bitmap_top + static_cast<int>(row);
            for (unsigned column = 0; column < slot->bitmap.width; ++column) {
                const int x = penX + slot->bitmap_left + static_cast<int>(column);
                if (x < 0 || x >= width || y < 0 || y >= height)
                    continue;
                const int a = slot->bitmap.buffer[row * slot->bitmap.pitch + column];
                uint8_t* px = &rgb[(static_cast<size_t>(y) * width + x) * 3];
                for (int c = 0; c < 3; ++c)
                    px[c] = static_cast<uint8_t>((px[c] * (255 - a) + 235 * a) / 255);
            }
        }
        penX += static_cast<int>(slot->advance.x >> 6);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: mkslate face.ttf out.jpg\n");
        return 2;
    }
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* px = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            const int shade = 20 + 30 * (height - y) / height;
            const bool frame = x < 24 || x >= width - 24 || y < 24 || y >= height - 24;
            px[0] = static_cast<uint8_t>(frame ? 90 : shade);
            px[1] = static_cast<uint8_t>(frame ? 96 : shade + 4);
            px[2] = static_cast<uint8_t>(frame ? 110 : shade + 14);
        }
    }
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&library) != 0 || FT_New_Face(library, argv[1], 0, &face) != 0) {
        std::fprintf(stderr, "mkslate: cannot open face %s\n", argv[1]);
        return 1;
    }
    drawText(rgb, face, "Kalvanto", 160);
    FT_Done_Face(face);
    FT_Done_FreeType(library);

    const std::string temporary = std::string(argv[2]) + ".tmp";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "mkslate: cannot write %s\n", argv[2]);
        return 1;
    }
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = width;
    info.image_height = height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = &rgb[static_cast<size_t>(info.next_scanline) * width * 3];
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    if (std::fclose(file) != 0 || std::rename(temporary.c_str(), argv[2]) != 0) {
        std::remove(temporary.c_str());
        std::fprintf(stderr, "mkslate: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
