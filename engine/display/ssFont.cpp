#include "engine/display/ssFont.h"

#include "engine/display/ssReadExactly.h"
#include "engine/files/ssFile.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// Bitmaps beyond these are not fonts but damage: refuse them before allocating.
constexpr int maxGlyphHeight = 1024;
constexpr size_t maxBitmapBytes = 64u << 20;

uint16_t le16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

} // namespace

ssFont::ssFont(int32_t depth) : depth_(depth) {}

ssFont::~ssFont() = default;

int32_t ssFont::Load(ssFile* stream, float horizontalScale, float verticalScale)
{
    if (!stream)
        return -1;
    horizontalScale_ = horizontalScale;
    verticalScale_ = verticalScale;
    header_ = ssFontHeader{};
    const int64_t origin = stream->Seek(0, SEEK_CUR);
    auto fail = [&] {
        header_ = ssFontHeader{};
        bitmap_.clear();
        stream->Close();
        return -1;
    };

    uint32_t version = 0;
    if (!ssReadExactly(stream, &version, sizeof version) || stream->Seek(origin, SEEK_SET) != origin)
        return fail();
    if (version == ssFontVersion102) {
        // The file's bitmap reference is 4 bytes narrower than the header's, so the spacing
        // tables are read on their own, from where the file keeps them.
        if (!ssReadExactly(stream, &header_, ssFontFileSpacingAt)
            || !ssReadExactly(stream, header_.spaceBefore, sizeof header_.spaceBefore + sizeof header_.spaceAfter))
            return fail();
        std::memset(header_.bitmapSlot, 0, sizeof header_.bitmapSlot);
    } else if (version == ssFontVersion101) {
        // No spacing tables in this layout: they stay zero.
        if (!ssReadExactly(stream, &header_, ssFontHeader101Size))
            return fail();
        header_.version = ssFontVersion102;
        header_.glyphs[0].column = static_cast<uint16_t>(header_.height / 3);
    } else {
        uint8_t old[ssFontHeader100Size];
        if (!ssReadExactly(stream, old, sizeof old))
            return fail();
        std::memcpy(header_.name, old, ssFontNameSize);
        header_.span = le16(old + 128);
        header_.first = le16(old + 130);
        header_.height = le16(old + 132);
        header_.rowBytes = le16(old + 134);
        header_.reserved = le16(old + 136);
        std::memcpy(header_.glyphs, old + 138, 510);
        header_.version = ssFontVersion100;
        header_.glyphs[0].column = static_cast<uint16_t>(header_.height / 3);
    }
    header_.name[ssFontNameSize - 1] = '\0';

    const size_t bitmapBytes = static_cast<size_t>(header_.height) * header_.rowBytes;
    if (header_.height > maxGlyphHeight || bitmapBytes > maxBitmapBytes)
        return fail();
    lineStep_ = header_.height < 8 ? -1 : -(header_.height / 8);
    const int w = Glyph('i') ? Glyph('i')->width : 0;
    spaceAdvance_ = static_cast<int>((w + w / 2) * horizontalScale);
    try {
        bitmap_.resize(bitmapBytes);
    } catch (const std::bad_alloc&) {
        return fail();
    }
    if (!ssReadExactly(stream, bitmap_.data(), static_cast<int64_t>(bitmapBytes)))
        return fail();
    stream->Close();
    return 0;
}

void ssFont::DrawText(uint32_t, const char*, float, float, float) {}

void ssFont::SetName(const char* name)
{
    std::memset(header_.name, 0, sizeof header_.name);
    std::strncpy(header_.name, name, sizeof header_.name - 1);
}

const ssFontGlyph* ssFont::Glyph(unsigned char code) const
{
    const int index = code - ssFontFirstCode;
    if (index < 0 || index >= header_.span || index >= ssFontGlyphSlots)
        return nullptr;
    return &header_.glyphs[index];
}

int ssFont::Advance(unsigned char code) const
{
    const ssFontGlyph* glyph = Glyph(code);
    if (!glyph)
        return 0;
    const int index = code - ssFontFirstCode;
    return glyph->width - header_.spaceBefore[index] - header_.spaceAfter[index];
}

void ssFont::ApplyScale()
{
    // Rounded down, but a size chosen as t / size times size must come back as t, not t - 1.
    constexpr float slack = 1e-3f;
    for (ssFontGlyph& glyph : header_.glyphs)
        glyph.width = static_cast<uint16_t>(glyph.width * horizontalScale_ + slack);
    header_.height = static_cast<uint16_t>(header_.height * verticalScale_ + slack);
}
