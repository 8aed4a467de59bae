#pragma once
// A bitmap font read from a font stream: the header with glyph and spacing tables, and the grey
// glyph bitmap until the drawing side has turned it into whatever it draws from.
#include "engine/display/ssFontFormat.h"

#include <cstdint>
#include <memory>
#include <vector>

class ssFile;

class ssFont
{
public:
    explicit ssFont(int32_t depth);
    virtual ~ssFont();
    ssFont(const ssFont&) = delete;
    ssFont& operator=(const ssFont&) = delete;

    // Reads a font stream (any of the three versions). 0 on success, -1 without a stream or when
    // the stream is truncated or its sizes are out of range. Closes the stream.
    virtual int32_t Load(ssFile* stream, float horizontalScale, float verticalScale);
    // Draws text in 0xAARRGGBB; the base font has nothing to draw with.
    virtual void DrawText(uint32_t colour, const char* text, float x, float y, float scale);

    // Replaces the name in the header (the cache key), cut to fit its field.
    void SetName(const char* name);
    const char* GetName() const { return header_.name; }
    const ssFontHeader& GetHeader() const { return header_; }

    // Glyph of a text byte, or null for bytes the font does not hold.
    const ssFontGlyph* Glyph(unsigned char code) const;
    // Horizontal advance of a glyph: its width less the spacing before and after it.
    int Advance(unsigned char code) const;
    int GlyphHeight() const { return header_.height; }
    int SpaceAdvance() const { return spaceAdvance_; }
    int LineStep() const { return lineStep_; }

    int32_t useCount = 0;

protected:
    // Multiplies glyph widths and height by the font's scales, once the bitmap has been used.
    void ApplyScale();

    ssFontHeader header_{};
    std::vector<uint8_t> bitmap_;
    int32_t depth_;
    int32_t lineStep_ = -1;
    int32_t spaceAdvance_ = 0;
    float horizontalScale_ = 1.0f;
    float verticalScale_ = 1.0f;
};
