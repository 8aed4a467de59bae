#pragma once
// Image encoders for media-server thumbnails: JPEG and PNG files, and raw 8-bit pixels in
// red-green-blue or blue-green-red order. Stateless; safe from any thread.
#include <QByteArray>
#include <QImage>

namespace NSImageBitmapData {

// Quality is clamped to 0..1. A null image gives an empty result.
QByteArray jpegRepresentationWithQuality(const QImage& image, float quality);
// The clamped quality is passed to the PNG writer too (as its compression setting).
QByteArray pngRepresentationWithQuality(const QImage& image, float quality);
// 3 bytes a pixel, rows from the top, alpha dropped; empty for an image of no size.
QByteArray RGB8Representation(const QImage& image);
QByteArray BGR8Representation(const QImage& image);

} // namespace NSImageBitmapData
