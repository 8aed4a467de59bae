#pragma once
// The two images the helper makes from a clip: a thumbnail of one frame for the playlist table
// and a slate (title card). Frames of non-square-pixel clips are stretched to the display size
// first, so neither image is squashed.

#include <QImage>
#include <QString>

class ssMediaDecoder3Light;

namespace clipwright {

inline constexpr double kThumbnailBoxWidth = 114;
inline constexpr double kThumbnailBoxHeight = 70;
inline constexpr double kDefaultThumbnailTime = 3.0;

// The thumbnail of the frame near `seconds` (not-a-number: 3.0 s), fitted into 114 x 70 at
// one pixel per point; null when no frame could be had. Needs an open decoder.
QImage _thumb(ssMediaDecoder3Light& decoder, double seconds);

// The slate from four frames spread over in..out (the whole clip when in is not a number or
// not below out); null when fewer than four frames could be had.
QImage _slate(ssMediaDecoder3Light& decoder, const QString& sourcePath, double inPoint, double outPoint);

// Pixel size of a thumbnail for a display size: the largest that fits 114 x 70, rounded.
QSize thumbnailSize(double displayWidth, double displayHeight);

// "%02ld:%02ld:%02ld" of whole seconds.
QString slateDurationText(double seconds);

} // namespace clipwright
