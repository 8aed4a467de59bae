#pragma once
// Thumbnails as the media server sends them: the requested size (optionally keeping the image's
// aspect ratio), the image redrawn at it and encoded in the requested format. A thumbnail whose
// encoding passes the 65535 bytes its size field can describe is drawn smaller until it fits.
// No thumbnail is drawn larger than the image it is made from.
#include <QByteArray>
#include <QImage>
#include <QSize>

#include <cstdint>
#include <optional>

struct QMCITPThumbnail {
    QByteArray data;
    int width = 0;
    int height = 0;
};

// The requested size; with flags 1 the image's aspect ratio within it.
QSizeF QMCITPThumbnailTargetSize(const QSize& image, std::uint16_t width, std::uint16_t height, std::uint8_t flags);
// The requested size scaled down, keeping its shape, to fit the held thumbnail and a fixed
// ceiling: a console's request is a preference and never makes the server draw more than it has.
QSize QMCITPBoundThumbnailSize(const QSize& requested, const QSize& held);
// The whole image drawn over the whole target (copy compositing, opacity 1).
QImage QMCITPRedrawImage(const QImage& image, const QSize& target);
// "JPEG" at quality 0.8, "PNG ", raw "RGB8" (blue-green-red for MSEX 1.0); other formats: empty.
QByteArray QMCITPEncodeThumbnail(const QImage& image, std::uint32_t format, bool msex10);
// Nothing when no thumbnail can be drawn (a zero target size) or none fits 65535 bytes.
std::optional<QMCITPThumbnail> QMCITPMakeThumbnail(const QImage& image, std::uint16_t width, std::uint16_t height,
                                                   std::uint8_t flags, std::uint32_t format, bool msex10);
