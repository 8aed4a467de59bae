#pragma once
// Time stamps, random identifiers and the host's system for reports, sessions and analytics logs.

#include <cstdint>
#include <optional>
#include <string>

namespace platform::reporting {

// Wall-clock milliseconds since the Unix epoch (stored rows and report times survive restarts).
std::int64_t nowMillis();
// "2026-12-08T19:55:56.123Z".
std::string isoTimestamp(std::int64_t millis);
// A random (version 4) UUID in lower-case text form.
std::string randomUuid();

// The running kernel's name and release ("Linux", "6.1.0-…"), asked once per process; none when
// the system will not say.
struct OperatingSystem {
    std::string name;
    std::string version;
};
const std::optional<OperatingSystem>& operatingSystem();

} // namespace platform::reporting
