#pragma once

// Longest text one ssMessage call writes; longer output is cut here.
inline constexpr int ssMessageMaxLength = 1023;

// Engine log call: formats with printf rules and writes one line to standard output in a single
// write, so lines from different threads never interleave. The level is accepted for the callers'
// sake and not used.
void ssMessage(unsigned level, const char* format, ...) __attribute__((format(printf, 2, 3)));
