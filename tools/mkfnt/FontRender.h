#pragma once
// Renders one face at one pixel size into a bitmap font stream (current layout).
#include <cstdint>
#include <string>
#include <vector>

struct FT_FaceRec_;

// The stream bytes of `face` at `pixelSize`, named `name`; empty on a FreeType failure.
std::vector<uint8_t> renderFontStream(FT_FaceRec_* face, int pixelSize, const std::string& name);
// A family file: the sizes ascending, each with the offset of its stream, then the streams.
std::vector<uint8_t> buildFamilyFile(const std::vector<int>& sizes, const std::vector<std::vector<uint8_t>>& streams);
