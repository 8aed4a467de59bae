#pragma once
// Reading a time-code text ("01:00:00;00" drop-frame form or "01:00:00:00") without the C
// locale's number parsing.

#include <string_view>

// Parses "h:m:s;f" or "h:m:s:f" into parts[4]. True on success; semicolon tells which separator
// the frames had. Parts are untouched on failure.
bool ssParseTimeCode(std::string_view text, int parts[4], bool* semicolon);
