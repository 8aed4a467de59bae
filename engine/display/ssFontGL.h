#pragma once
// A bitmap font drawn with OpenGL from a glyph atlas: a square 4-4-4-4 texture of white glyphs
// whose alpha is the glyph's grey.
#include "engine/display/ssFont.h"

#include <array>

class ssDisplay;
struct ssTexture;

class ssFontGL final : public ssFont
{
public:
    ssFontGL(ssDisplay* display, int32_t depth);
    ~ssFontGL() override;

    // Reads the font, builds and uploads the atlas, then scales the glyph sizes.
    int32_t Load(ssFile* stream, float horizontalScale, float verticalScale) override;
    // Draws text with (x, y) the top-left corner of its box in pixels from the bottom-left of the
    // display; lines run downwards. Needs the display's context current.
    void DrawText(uint32_t colour, const char* text, float x, float y, float scale) override;

    int AtlasSize() const { return atlasSize_; }
    const ssTexture* Atlas() const { return atlas_; }

private:
    struct Vertex
    {
        float x, y, s, t;
        uint8_t rgba[4];
    };
    static constexpr int vertexCapacity = 4 * 128; // quads per draw call before the buffer is flushed

    void BuildAtlas();
    void Flush(int count);

    ssDisplay* display_;
    int32_t atlasSize_ = 0;
    std::array<std::array<float, 4>, ssFontGlyphSlots> rects_{}; // left, top, right, bottom in texels
    std::array<Vertex, vertexCapacity> vertices_{};
    ssTexture* atlas_ = nullptr;
};
