#include "mediahelper/imaging/DiscBlur.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

QImage discBlur(const QImage& source, int radius)
{
    if (source.isNull() || radius <= 0)
        return source;
    const QImage in = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int w = in.width();
    const int h = in.height();

    // Per row and channel: prefix[x] = sum of the first x pixels.
    const std::size_t stride = std::size_t(w + 1) * 4;
    std::vector<std::uint32_t> prefix(stride * std::size_t(h), 0);
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(in.constScanLine(y));
        std::uint32_t* p = prefix.data() + stride * std::size_t(y);
        for (int x = 0; x < w; ++x) {
            const std::uint32_t px = row[x];
            for (int c = 0; c < 4; ++c)
                p[std::size_t(x + 1) * 4 + std::size_t(c)] = p[std::size_t(x) * 4 + std::size_t(c)] + ((px >> (8 * c)) & 0xff);
        }
    }
    std::vector<int> halfWidth(std::size_t(2 * radius + 1));
    for (int dy = -radius; dy <= radius; ++dy)
        halfWidth[std::size_t(dy + radius)] = int(std::floor(std::sqrt(double(radius * radius - dy * dy))));

    QImage out(w, h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y) {
        auto* dst = reinterpret_cast<std::uint32_t*>(out.scanLine(y));
        for (int x = 0; x < w; ++x) {
            std::uint64_t sum[4] = {0, 0, 0, 0};
            std::uint64_t count = 0;
            for (int dy = -radius; dy <= radius; ++dy) {
                const int yy = std::clamp(y + dy, 0, h - 1);
                const int hw = halfWidth[std::size_t(dy + radius)];
                const int x0 = x - hw;
                const int x1 = x + hw;
                const int a = std::max(x0, 0);
                const int b = std::min(x1, w - 1);
                const std::uint32_t* p = prefix.data() + stride * std::size_t(yy);
                const auto* row = reinterpret_cast<const std::uint32_t*>(in.constScanLine(yy));
                const std::uint64_t left = std::uint64_t(a - x0);
                const std::uint64_t right = std::uint64_t(x1 - b);
                for (int c = 0; c < 4; ++c) {
                    sum[c] += p[std::size_t(b + 1) * 4 + std::size_t(c)] - p[std::size_t(a) * 4 + std::size_t(c)];
                    sum[c] += left * ((row[0] >> (8 * c)) & 0xff) + right * ((row[w - 1] >> (8 * c)) & 0xff);
                }
                count += std::uint64_t(2 * hw + 1);
            }
            std::uint32_t px = 0;
            for (int c = 0; c < 4; ++c)
                px |= std::uint32_t((sum[c] + count / 2) / count) << (8 * c);
            dst[x] = px;
        }
    }
    return out;
}
