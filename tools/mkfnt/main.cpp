// mkfnt face.ttf family size[,size...] out.fnt
//
// Renders a TrueType face into a bitmap font family file: one font stream per pixel size, the
// sizes ascending. The output is written beside its final path and renamed into place.
#include "tools/mkfnt/FontRender.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

bool parseSizes(std::string_view text, std::vector<int>& sizes)
{
    while (!text.empty()) {
        const size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        int value = 0;
        const auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), value);
        if (error != std::errc() || end != item.data() + item.size() || value < 4 || value > 255)
            return false;
        sizes.push_back(value);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    }
    std::sort(sizes.begin(), sizes.end());
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
    return !sizes.empty();
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& data)
{
    const std::string temporary = path + ".tmp";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file)
        return false;
    const bool ok = std::fwrite(data.data(), 1, data.size(), file) == data.size();
    if (std::fclose(file) != 0 || !ok) {
        std::remove(temporary.c_str());
        return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<int> sizes;
    if (argc != 5 || !parseSizes(argv[3], sizes)) {
        std::fprintf(stderr, "usage: mkfnt face.ttf family size[,size...] out.fnt (sizes 4..255)\n");
        return 2;
    }
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&library) != 0 || FT_New_Face(library, argv[1], 0, &face) != 0) {
        std::fprintf(stderr, "mkfnt: cannot open face %s\n", argv[1]);
        return 1;
    }
    std::vector<std::vector<uint8_t>> streams;
    for (int size : sizes) {
        streams.push_back(renderFontStream(face, size, std::string(argv[2]) + std::to_string(size)));
        if (streams.back().empty()) {
            std::fprintf(stderr, "mkfnt: cannot render %s at %d pixels\n", argv[1], size);
            return 1;
        }
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    if (!writeFile(argv[4], buildFamilyFile(sizes, streams))) {
        std::fprintf(stderr, "mkfnt: cannot write %s\n", argv[4]);
        return 1;
    }
    return 0;
}
