#pragma once
// gzip bodies for report delivery (Content-Encoding: gzip).

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform::reporting {

std::string gzipCompress(std::string_view data);
// Inflates a gzip stream. Nothing (no value) for a damaged stream or one that would inflate to
// more than maxSize bytes.
std::optional<std::string> gzipDecompress(std::string_view data, std::size_t maxSize = 64u << 20);

} // namespace platform::reporting
