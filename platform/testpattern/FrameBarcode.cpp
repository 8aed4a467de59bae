#include "platform/testpattern/FrameBarcode.h"

#include <algorithm>
#include <array>
#include <bit>

namespace platform {
namespace {

constexpr int kStartCells = 3;
constexpr int kParityCell = kStartCells + FrameBarcode::kIndexBits;
constexpr int kStopCell = kParityCell + 1;
static_assert(kStopCell + 4 == FrameBarcode::kCells);

// Marker cells: true is white.
constexpr std::array<bool, 3> kStart{true, false, true};
constexpr std::array<bool, 4> kStop{false, true, false, true};

// Levels written: full range for RGB, video range (16..235) for YUV, neutral chroma.
constexpr std::uint8_t kRgbBlack = 0;
constexpr std::uint8_t kRgbWhite = 255;
constexpr std::uint8_t kYuvBlack = 16;
constexpr std::uint8_t kYuvWhite = 235;
constexpr std::uint8_t kYuvNeutralChroma = 128;

// Below this difference between the marker levels, the picture holds no barcode.
constexpr int kMinContrast = 40;
// Rows sampled per cell when reading; enough to average away compression noise.
constexpr int kSampleRows = 8;

std::array<bool, FrameBarcode::kCells> cellsFor(std::uint32_t index)
{
    std::array<bool, FrameBarcode::kCells> cells{};
    std::copy(kStart.begin(), kStart.end(), cells.begin());
    for (int bit = 0; bit < FrameBarcode::kIndexBits; ++bit)
        cells[kStartCells + bit] = (index >> (FrameBarcode::kIndexBits - 1 - bit)) & 1u;
    cells[kParityCell] = std::popcount(index) % 2 != 0;
    std::copy(kStop.begin(), kStop.end(), cells.begin() + kStopCell);
    return cells;
}

// First column of cell i (cell kCells gives the end of the last one).
int cellStart(const FrameBarcode::Rect& band, int cell)
{
    return band.x + static_cast<int>(static_cast<long long>(cell) * band.width / FrameBarcode::kCells);
}

int bytesPerPixel(BarcodePixels layout)
{
    switch (layout) {
    case BarcodePixels::Rgb24: return 3;
    case BarcodePixels::Rgba:
    case BarcodePixels::Bgra: return 4;
    case BarcodePixels::Uyvy422: return 2;
    }
    return 4;
}

bool usable(const void* pixels, int width, int height, std::ptrdiff_t rowBytes, BarcodePixels layout)
{
    return pixels && width >= FrameBarcode::kMinWidth && height >= FrameBarcode::kMinHeight
        && rowBytes >= FrameBarcode::minRowBytes(width, layout);
}

// BT.601 luma of one pixel, 0..255 in the buffer's own range.
int lumaAt(const std::uint8_t* row, int x, BarcodePixels layout)
{
    switch (layout) {
    case BarcodePixels::Rgb24: {
        const std::uint8_t* p = row + 3 * x;
        return (77 * p[0] + 150 * p[1] + 29 * p[2]) >> 8;
    }
    case BarcodePixels::Rgba: {
        const std::uint8_t* p = row + 4 * x;
        return (77 * p[0] + 150 * p[1] + 29 * p[2]) >> 8;
    }
    case BarcodePixels::Bgra: {
        const std::uint8_t* p = row + 4 * x;
        return (77 * p[2] + 150 * p[1] + 29 * p[0]) >> 8;
    }
    case BarcodePixels::Uyvy422:
        return row[2 * x + 1];
    }
    return 0;
}

void setPixel(std::uint8_t* row, int x, bool white, BarcodePixels layout)
{
    switch (layout) {
    case BarcodePixels::Rgb24: {
        const std::uint8_t v = white ? kRgbWhite : kRgbBlack;
        std::uint8_t* p = row + 3 * x;
        p[0] = p[1] = p[2] = v;
        break;
    }
    case BarcodePixels::Rgba:
    case BarcodePixels::Bgra: {
        const std::uint8_t v = white ? kRgbWhite : kRgbBlack;
        std::uint8_t* p = row + 4 * x;
        p[0] = p[1] = p[2] = v;
        p[3] = 255;
        break;
    }
    case BarcodePixels::Uyvy422: {
        // Chroma is shared by the pixel pair; neutral keeps both pixels grey.
        std::uint8_t* p = row + 4 * (x / 2);
        p[0] = p[2] = kYuvNeutralChroma;
        p[x % 2 == 0 ? 1 : 3] = white ? kYuvWhite : kYuvBlack;
        break;
    }
    }
}

} // namespace

std::ptrdiff_t FrameBarcode::minRowBytes(int width, BarcodePixels layout)
{
    if (width <= 0)
        return 0;
    if (layout == BarcodePixels::Uyvy422)
        return static_cast<std::ptrdiff_t>((width + 1) / 2) * 4;
    return static_cast<std::ptrdiff_t>(width) * bytesPerPixel(layout);
}

FrameBarcode::Rect FrameBarcode::band(int width, int height)
{
    if (width < kMinWidth || height < kMinHeight)
        return {};
    const int margin = width / 16;
    const int top = static_cast<int>(static_cast<long long>(height) * 5 / 12);
    const int bottom = static_cast<int>(static_cast<long long>(height) * 7 / 12);
    return {margin, top, width - 2 * margin, std::max(1, bottom - top)};
}

bool FrameBarcode::draw(std::uint32_t index, std::uint8_t* pixels, int width, int height,
                        std::ptrdiff_t rowBytes, BarcodePixels layout)
{
    if (!usable(pixels, width, height, rowBytes, layout))
        return false;
    const Rect r = band(width, height);
    const auto cells = cellsFor(index & kIndexMask);
    for (int y = r.y; y < r.y + r.height; ++y) {
        std::uint8_t* row = pixels + static_cast<std::ptrdiff_t>(y) * rowBytes;
        for (int cell = 0; cell < kCells; ++cell) {
            const int end = cellStart(r, cell + 1);
            for (int x = cellStart(r, cell); x < end; ++x)
                setPixel(row, x, cells[cell], layout);
        }
    }
    return true;
}

std::optional<std::uint32_t> FrameBarcode::read(const std::uint8_t* pixels, int width, int height,
                                                std::ptrdiff_t rowBytes, BarcodePixels layout)
{
    if (!usable(pixels, width, height, rowBytes, layout))
        return std::nullopt;
    const Rect r = band(width, height);

    // Average luma over the middle half of each cell, in both directions: the edges are where
    // compression rings and scaling blurs.
    const int rowsFrom = r.y + r.height / 4;
    const int rowsSpan = std::max(1, r.height / 2);
    const int rows = std::min(kSampleRows, rowsSpan);
    std::array<int, kCells> level{};
    for (int cell = 0; cell < kCells; ++cell) {
        const int start = cellStart(r, cell);
        const int span = cellStart(r, cell + 1) - start;
        const int from = start + span / 4;
        const int to = std::max(from + 1, start + span - span / 4);
        long long sum = 0;
        long long count = 0;
        for (int i = 0; i < rows; ++i) {
            const int y = rowsFrom + (rows > 1 ? i * (rowsSpan - 1) / (rows - 1) : 0);
            const std::uint8_t* row = pixels + static_cast<std::ptrdiff_t>(y) * rowBytes;
            for (int x = from; x < to; ++x) {
                sum += lumaAt(row, x, layout);
                ++count;
            }
        }
        level[cell] = static_cast<int>(sum / count);
    }

    // Reference levels from the markers.
    long long white = 0, black = 0;
    int whites = 0, blacks = 0;
    auto addMarker = [&](int cell, bool isWhite) {
        if (isWhite) {
            white += level[cell];
            ++whites;
        } else {
            black += level[cell];
            ++blacks;
        }
    };
    for (int i = 0; i < static_cast<int>(kStart.size()); ++i)
        addMarker(i, kStart[i]);
    for (int i = 0; i < static_cast<int>(kStop.size()); ++i)
        addMarker(kStopCell + i, kStop[i]);
    const int whiteLevel = static_cast<int>(white / whites);
    const int blackLevel = static_cast<int>(black / blacks);
    const int contrast = whiteLevel - blackLevel;
    if (contrast < kMinContrast)
        return std::nullopt;
    const int threshold = (whiteLevel + blackLevel) / 2;
    const int margin = contrast / 4;

    std::array<bool, kCells> cells{};
    for (int cell = 0; cell < kCells; ++cell) {
        if (level[cell] >= threshold + margin)
            cells[cell] = true;
        else if (level[cell] <= threshold - margin)
            cells[cell] = false;
        else
            return std::nullopt; // neither clearly black nor clearly white
    }

    std::uint32_t index = 0;
    for (int bit = 0; bit < kIndexBits; ++bit)
        index = (index << 1) | (cells[kStartCells + bit] ? 1u : 0u);
    if (cells != cellsFor(index))
        return std::nullopt; // a marker or the parity bit disagrees
    return index;
}

} // namespace platform
