#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace platform {

// Pixel layouts the barcode is drawn into and read from. Uyvy422 is the 8-bit 4:2:2 layout
// capture cards call '2vuy': bytes U Y0 V Y1 for each pair of pixels.
enum class BarcodePixels { Rgb24, Rgba, Bgra, Uyvy422 };

// A frame index written into a picture as a row of large black and white cells, so that a test
// (or the virtual capture card) can tell exactly which frame it is looking at after encoding,
// decoding, chroma subsampling and scaling.
//
// The cells lie in a horizontal band across the middle of the picture (rows 5/12 to 7/12 of the
// height, 1/16 of the width kept clear at each side against overscan cropping). The band holds
// 32 equal cells: a start marker (white, black, white), the 24 bits of the index, most
// significant first, an even-parity bit, and a stop marker (black, white, black, white). Cells
// are neutral grey levels only, so chroma subsampling cannot disturb them; positions are
// fractions of the picture, so scaling keeps them. The reader takes the black and white levels
// from the markers (full-range RGB and video-range YUV both work) and refuses a picture whose
// cells are not clearly black or white, whose markers are missing or whose parity is wrong.
class FrameBarcode {
public:
    static constexpr int kIndexBits = 24;
    static constexpr std::uint32_t kIndexMask = (1u << kIndexBits) - 1;
    static constexpr int kCells = 32;
    // Smallest picture that holds one pixel per cell.
    static constexpr int kMinWidth = 40;
    static constexpr int kMinHeight = 6;

    struct Rect {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
    };

    // The rows and columns the band covers in a width x height picture (empty when too small).
    static Rect band(int width, int height);

    // Draws index (taken modulo 2^24) over the band; the rest of the picture is left as it is.
    // Returns false, drawing nothing, when the picture is too small or rowBytes too short.
    static bool draw(std::uint32_t index, std::uint8_t* pixels, int width, int height,
                     std::ptrdiff_t rowBytes, BarcodePixels layout);

    // The index the picture carries, or nothing when no valid barcode is found.
    static std::optional<std::uint32_t> read(const std::uint8_t* pixels, int width, int height,
                                             std::ptrdiff_t rowBytes, BarcodePixels layout);

    // Bytes one row of `width` pixels needs in `layout`.
    static std::ptrdiff_t minRowBytes(int width, BarcodePixels layout);
};

} // namespace platform
