#pragma once
// Font streams and family files written byte by byte for the tests, in all three stream layouts.
#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

namespace fontfiles {

struct Spec
{
    uint32_t version = 0x102;
    std::string name = "Test";
    int span = 95;        // characters 32..126
    int height = 12;
    int glyphWidth = 6;   // every glyph; "i" decides the space advance
    int8_t before = 0;    // spacing tables, every character
    int8_t after = 0;
    uint8_t ink = 0xFF;   // every glyph pixel
};

Bytes stream(const Spec& spec);
// A family file (version given) holding one stream per size, each of height = size.
Bytes family(const std::vector<int>& sizes, uint32_t version = 0x101, Spec base = {});

} // namespace fontfiles
