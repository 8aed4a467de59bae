#pragma once
// Time stamps and random identifiers for reports, sessions and analytics logs.

#include <cstdint>
#include <string>

namespace platform::reporting {

// Wall-clock milliseconds since the Unix epoch (stored rows and report times survive restarts).
std::int64_t nowMillis();
// "2026-12-08T19:55:56.123Z".
std::string isoTimestamp(std::int64_t millis);
// A random (version 4) UUID in lower-case text form.
std::string randomUuid();

} // namespace platform::reporting
