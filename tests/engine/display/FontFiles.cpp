#include "tests/engine/display/FontFiles.h"

#include "tests/engine/texture/samples/TextureSamples.h"

#include <cstring>

namespace fontfiles {

using samples::put16;
using samples::put32;

Bytes stream(const Spec& spec)
{
    const int rowBytes = spec.span * spec.glyphWidth;
    // Field offsets of each layout: name, the five 16-bit values, glyph table, bitmap.
    size_t nameAt = 4, valuesAt = 132, glyphsAt = 142, bitmapAt = 2196;
    if (spec.version == 0x101)
        bitmapAt = 1176;
    if (spec.version == 0x100)
        nameAt = 0, valuesAt = 128, glyphsAt = 138, bitmapAt = 656;
    Bytes out(bitmapAt + static_cast<size_t>(spec.height) * rowBytes, 0);
    if (spec.version != 0x100)
        put32(out, 0, spec.version);
    std::memcpy(out.data() + nameAt, spec.name.data(), std::min<size_t>(spec.name.size(), 127));
    put16(out, valuesAt, static_cast<uint32_t>(spec.span));
    put16(out, valuesAt + 2, 32);
    put16(out, valuesAt + 4, static_cast<uint32_t>(spec.height));
    put16(out, valuesAt + 6, static_cast<uint32_t>(rowBytes));
    const int glyphs = spec.version == 0x100 ? std::min(spec.span, 127) : spec.span;
    for (int i = 0; i < glyphs; ++i) {
        put16(out, glyphsAt + 4 * i, static_cast<uint32_t>(i * spec.glyphWidth));
        put16(out, glyphsAt + 4 * i + 2, static_cast<uint32_t>(spec.glyphWidth));
    }
    if (spec.version == 0x102) {
        std::memset(out.data() + 1172, static_cast<uint8_t>(spec.before), 512);
        std::memset(out.data() + 1684, static_cast<uint8_t>(spec.after), 512);
    }
    std::memset(out.data() + bitmapAt, spec.ink, static_cast<size_t>(spec.height) * rowBytes);
    return out;
}

Bytes family(const std::vector<int>& sizes, uint32_t version, Spec base)
{
    const size_t count = sizes.size();
    Bytes out(5 + 5 * count, 0);
    put32(out, 0, version);
    out[4] = static_cast<uint8_t>(count);
    for (size_t i = 0; i < count; ++i) {
        base.height = sizes[i];
        base.name = "Size" + std::to_string(sizes[i]);
        const Bytes s = stream(base);
        out[5 + i] = static_cast<uint8_t>(sizes[i]);
        put32(out, 5 + count + 4 * i, static_cast<uint32_t>(out.size()));
        out.insert(out.end(), s.begin(), s.end());
    }
    return out;
}

} // namespace fontfiles
