#include "tools/mkfnt/FontRender.h"

#include "engine/display/ssFontFormat.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstring>

namespace {

// Printable ASCII: the engine's texts are plain ASCII.
constexpr int firstCode = ssFontFirstCode;
constexpr int lastCode = 126;

void put16(std::vector<uint8_t>& out, size_t at, int value)
{
    out[at] = static_cast<uint8_t>(value);
    out[at + 1] = static_cast<uint8_t>(value >> 8);
}

void put32(std::vector<uint8_t>& out, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

struct Cell
{
    int width = 0;      // cell width in the bitmap
    int advance = 0;    // pen advance
    int inkLeft = 0;    // ink offset inside the cell
    int inkTop = 0;     // ink row of the bitmap's first row
    int inkWidth = 0;
    int inkRows = 0;
    std::vector<uint8_t> ink;
};

} // namespace

std::vector<uint8_t> renderFontStream(FT_FaceRec_* face, int pixelSize, const std::string& name)
{
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelSize)) != 0)
        return {};
    const int ascender = static_cast<int>((face->size->metrics.ascender + 63) >> 6);
    const int descender = static_cast<int>(-face->size->metrics.descender >> 6);
    const int height = std::max(1, ascender + descender);

    std::vector<Cell> cells(lastCode - firstCode + 1);
    for (int code = firstCode; code <= lastCode; ++code) {
        Cell& cell = cells[code - firstCode];
        if (FT_Load_Char(face, static_cast<FT_ULong>(code), FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) != 0)
            continue;
        const FT_GlyphSlot slot = face->glyph;
        cell.advance = static_cast<int>((slot->advance.x + 32) >> 6);
        cell.inkLeft = std::max(0, slot->bitmap_left);
        cell.inkTop = ascender - slot->bitmap_top;
        cell.inkWidth = static_cast<int>(slot->bitmap.width);
        cell.inkRows = static_cast<int>(slot->bitmap.rows);
        cell.width = std::max(cell.advance, cell.inkLeft + cell.inkWidth);
        cell.ink.resize(static_cast<size_t>(cell.inkWidth) * cell.inkRows);
        for (int row = 0; row < cell.inkRows; ++row)
            std::memcpy(cell.ink.data() + static_cast<size_t>(row) * cell.inkWidth,
                slot->bitmap.buffer + static_cast<ptrdiff_t>(row) * slot->bitmap.pitch, cell.inkWidth);
    }

    int rowBytes = 0;
    for (const Cell& cell : cells)
        rowBytes += cell.width;
    rowBytes = std::max(rowBytes, 1);

    std::vector<uint8_t> out(ssFontFileBitmapAt + static_cast<size_t>(height) * rowBytes, 0);
    put32(out, 0, ssFontVersion102);
    std::memcpy(out.data() + 4, name.data(), std::min(name.size(), ssFontNameSize - 1));
    put16(out, 132, lastCode - firstCode + 1);
    put16(out, 134, firstCode);
    put16(out, 136, height);
    put16(out, 138, rowBytes);
    int column = 0;
    for (int code = firstCode; code <= lastCode; ++code) {
        const Cell& cell = cells[code - firstCode];
        const size_t glyphAt = 14 + 4 * static_cast<size_t>(code);
        put16(out, glyphAt, column);
        put16(out, glyphAt + 2, cell.width);
        // Ink reaching past the advance (italic overhangs) is taken back by the spacing after.
        out[ssFontFileSpacingAt + ssFontSpacingSlots + (code - firstCode)]
            = static_cast<uint8_t>(static_cast<int8_t>(std::min(cell.width - cell.advance, 127)));
        for (int row = 0; row < cell.inkRows; ++row) {
            const int y = cell.inkTop + row;
            if (y < 0 || y >= height)
                continue;
            uint8_t* target = out.data() + ssFontFileBitmapAt + static_cast<size_t>(y) * rowBytes + column + cell.inkLeft;
            std::memcpy(target, cell.ink.data() + static_cast<size_t>(row) * cell.inkWidth, cell.inkWidth);
        }
        column += cell.width;
    }
    return out;
}

std::vector<uint8_t> buildFamilyFile(const std::vector<int>& sizes, const std::vector<std::vector<uint8_t>>& streams)
{
    const size_t count = sizes.size();
    const size_t tableEnd = 5 + count + 4 * count;
    std::vector<uint8_t> out(tableEnd, 0);
    put32(out, 0, ssFontFamilyVersion);
    out[4] = static_cast<uint8_t>(count);
    size_t offset = tableEnd;
    for (size_t i = 0; i < count; ++i) {
        out[5 + i] = static_cast<uint8_t>(sizes[i]);
        put32(out, 5 + count + 4 * i, static_cast<uint32_t>(offset));
        offset += streams[i].size();
    }
    for (const auto& stream : streams)
        out.insert(out.end(), stream.begin(), stream.end());
    return out;
}
