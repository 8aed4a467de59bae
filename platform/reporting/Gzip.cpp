#include "platform/reporting/Gzip.h"

#include <zlib.h>

namespace platform::reporting {

namespace {
constexpr int kGzipWindowBits = 15 + 16; // 15-bit window, gzip header and trailer
constexpr std::size_t kChunk = 16384;
} // namespace

std::string gzipCompress(std::string_view data)
{
    z_stream zs {};
    if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kGzipWindowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    std::string out;
    out.resize(deflateBound(&zs, static_cast<uLong>(data.size())) + 32);
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return rc == Z_STREAM_END ? out : std::string();
}

std::optional<std::string> gzipDecompress(std::string_view data, std::size_t maxSize)
{
    z_stream zs {};
    if (inflateInit2(&zs, kGzipWindowBits) != Z_OK)
        return std::nullopt;
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    std::string out;
    char buffer[kChunk];
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        zs.next_out = reinterpret_cast<Bytef*>(buffer);
        zs.avail_out = sizeof buffer;
        rc = inflate(&zs, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END)
            break;
        const std::size_t produced = sizeof buffer - zs.avail_out;
        if (out.size() + produced > maxSize) {
            rc = Z_MEM_ERROR;
            break;
        }
        out.append(buffer, produced);
        if (rc == Z_OK && produced == 0 && zs.avail_in == 0) {
            rc = Z_DATA_ERROR; // truncated stream
            break;
        }
    }
    inflateEnd(&zs);
    if (rc != Z_STREAM_END)
        return std::nullopt;
    return out;
}

} // namespace platform::reporting
