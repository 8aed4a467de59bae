#pragma once
// An image rendered into width x height x 4 RGBA bytes (rows top to bottom, no padding), handed to
// a callback synchronously: overlay pictures and slates go to the engine this way.

#include <QImage>


#include <cstdint>
#include <functional>

namespace KLVBitmapData {

// Images larger than this on either side are refused (nothing is allocated for them).
inline constexpr int kMaxSide = 8192;

// False (and the callback not called) for a null image or one past kMaxSide.
bool generateBitmapData(const QImage& image, const std::function<void(int width, int height, const uint8_t* rgba)>& fn);

} // namespace KLVBitmapData
