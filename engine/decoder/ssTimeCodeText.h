#pragma once
// Reading a time-code text ("01:00:00;00" drop-frame form or "01:00:00:00") without the C
// locale's number parsing.

#include <cstddef>
#include <string_view>

// Parses "h:m:s;f" or "h:m:s:f" into parts[4]. True on success; semicolon tells which separator
// the frames had. Parts are untouched on failure.
bool ssParseTimeCode(std::string_view text, int parts[4], bool* semicolon);

// Size of every time-code text buffer the engine writes.
inline constexpr size_t ssTimeCodeTextSize = 256;

// "hh:mm:ss;ff" of a time: whole seconds split into hours, minutes and seconds, frames counted
// as whole frame durations modulo the rounded frame rate. Negative times give 00:00:00;00.
void ssFormatTimeCode(double seconds, double frameDuration, double frameRate, char* buffer, size_t size);
