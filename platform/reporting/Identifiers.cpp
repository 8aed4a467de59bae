#include "platform/reporting/Identifiers.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>

#include <sys/utsname.h>

namespace platform::reporting {

std::int64_t nowMillis()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string isoTimestamp(std::int64_t millis)
{
    const std::time_t seconds = static_cast<std::time_t>(millis / 1000);
    std::tm utc {};
    gmtime_r(&seconds, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(millis % 1000));
    return text;
}

std::string randomUuid()
{
    thread_local std::mt19937_64 engine {std::random_device {}()};
    unsigned char b[16];
    for (int i = 0; i < 16; i += 8) {
        const std::uint64_t r = engine();
        for (int j = 0; j < 8; ++j)
            b[i + j] = static_cast<unsigned char>(r >> (8 * j));
    }
    b[6] = static_cast<unsigned char>((b[6] & 0x0f) | 0x40);
    b[8] = static_cast<unsigned char>((b[8] & 0x3f) | 0x80);
    char text[37];
    std::snprintf(text, sizeof text,
                  "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0], b[1],
                  b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
                  b[15]);
    return text;
}

const std::optional<OperatingSystem>& operatingSystem()
{
    static const std::optional<OperatingSystem> host = []() -> std::optional<OperatingSystem> {
        utsname names {};
        if (uname(&names) != 0)
            return std::nullopt;
        return OperatingSystem {names.sysname, names.release};
    }();
    return host;
}

} // namespace platform::reporting
