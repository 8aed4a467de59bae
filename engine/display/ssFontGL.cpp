#include "engine/display/ssFontGL.h"

#include "engine/display/ssDisplay.h"
#include "engine/texture/ssTexture.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr int maxAtlasSize = 4096;

} // namespace

ssFontGL::ssFontGL(ssDisplay* display, int32_t depth) : ssFont(depth), display_(display) {}

ssFontGL::~ssFontGL()
{
    if (atlas_) {
        if (atlas_->glName != -1)
            display_->DeleteTexture(atlas_);
        delete atlas_;
    }
}

int32_t ssFontGL::Load(ssFile* stream, float horizontalScale, float verticalScale)
{
    const int32_t result = ssFont::Load(stream, horizontalScale, verticalScale);
    if (result != 0)
        return result;
    BuildAtlas();
    ApplyScale();
    return 0;
}

void ssFontGL::BuildAtlas()
{
    const int height = header_.height;
    const int glyphCount = std::min<int>(header_.span, ssFontGlyphSlots);
    // Glyphs go left to right on rows one line apart, a texel between neighbours; place(i, x, y)
    // is told where each one starts. Returns the height the rows take.
    auto pack = [&](int edge, auto&& place) {
        int x = 0;
        int y = 0;
        for (int i = 0; i < glyphCount; ++i) {
            const int w = header_.glyphs[i].width;
            if (x + w > edge) {
                x = 0;
                y += height + 1;
            }
            place(i, x, y);
            x += w + 1;
        }
        return y + height;
    };
    int edge = 16;
    while (edge <= maxAtlasSize - 1 && edge < pack(edge, [](int, int, int) {}))
        edge *= 2;
    atlasSize_ = edge;

    atlas_ = new ssTexture;
    atlas_->name = header_.name;
    atlas_->type = ssTexRGBA4444;
    atlas_->width = static_cast<uint16_t>(edge);
    atlas_->height = static_cast<uint16_t>(edge);
    atlas_->pixels.assign(static_cast<size_t>(edge) * edge * 2, 0);
    auto* texels = reinterpret_cast<uint16_t*>(atlas_->pixels.data());

    pack(edge, [&](int i, int x, int y) {
        const int w = header_.glyphs[i].width;
        const int column = header_.glyphs[i].column;
        // Glyphs that do not fit the largest atlas, or reach outside the bitmap, stay blank.
        const bool fits = w <= edge && y + height <= edge && column + w <= header_.rowBytes;
        if (!fits) {
            rects_[i] = {0, 0, 0, 0};
            return;
        }
        for (int row = 0; row < height; ++row) {
            const uint8_t* grey = bitmap_.data() + static_cast<size_t>(row) * header_.rowBytes + column;
            uint16_t* out = texels + static_cast<size_t>(y + row) * edge + x;
            for (int i2 = 0; i2 < w; ++i2)
                out[i2] = static_cast<uint16_t>(0xFFF0 | grey[i2] >> 4);
        }
        rects_[i] = {static_cast<float>(x), static_cast<float>(y), static_cast<float>(x + w),
            static_cast<float>(y + height)};
    });
    bitmap_.clear();
    bitmap_.shrink_to_fit();
    display_->UploadTexture(atlas_, 1);
}

void ssFontGL::Flush(int count)
{
    if (count == 0)
        return;
    glVertexPointer(2, GL_FLOAT, sizeof(Vertex), &vertices_[0].x);
    glTexCoordPointer(2, GL_FLOAT, sizeof(Vertex), &vertices_[0].s);
    glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(Vertex), vertices_[0].rgba);
    glDrawArrays(GL_QUADS, 0, count);
}

void ssFontGL::DrawText(uint32_t colour, const char* text, float x, float y, float scale)
{
    if (!text || !atlas_)
        return;
    glUseProgram(0);
    glDisable(GL_CULL_FACE);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    display_->BindTexture(atlas_);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_DEPTH_TEST);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);

    const uint8_t rgba[4] = {static_cast<uint8_t>(colour >> 16), static_cast<uint8_t>(colour >> 8),
        static_cast<uint8_t>(colour), static_cast<uint8_t>(colour >> 24)};
    const float halfWidth = display_->GetHalfWidth();
    const float halfHeight = display_->GetHalfHeight();
    const float lineHeight = header_.height * scale;
    float penX = x;
    float penY = y;
    int count = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        const unsigned char c = *p;
        if (c == '\n') {
            penX = x;
            penY -= lineHeight;
            continue;
        }
        if (c == ' ') {
            penX += spaceAdvance_ * scale;
            continue;
        }
        const ssFontGlyph* glyph = Glyph(c);
        if (!glyph)
            continue;
        const auto& r = rects_[c - ssFontFirstCode];
        const float left = penX / halfWidth - 1.0f;
        const float right = (penX + glyph->width * scale) / halfWidth - 1.0f;
        const float top = penY / halfHeight - 1.0f;
        const float bottom = (penY - lineHeight) / halfHeight - 1.0f;
        const Vertex quad[4] = {{left, top, r[0], r[1], {}}, {right, top, r[2], r[1], {}},
            {right, bottom, r[2], r[3], {}}, {left, bottom, r[0], r[3], {}}};
        for (const Vertex& v : quad) {
            vertices_[count] = v;
            std::memcpy(vertices_[count].rgba, rgba, 4);
            ++count;
        }
        if (count == vertexCapacity) {
            Flush(count);
            count = 0;
        }
        penX += Advance(c) * scale;
    }
    Flush(count);
}
