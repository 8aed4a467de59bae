#include "privhelper/tool/ToolLog.h"

#include "privhelper/shared/HelperService.h"

#include <cstdio>
#include <mutex>
#include <string>

void toolLog(ToolLogLevel level, std::string_view message)
{
    static std::mutex mutex;
    const char* name = level == ToolLogLevel::error ? "error"
                       : level == ToolLogLevel::info ? "info"
                                                     : "default";
    std::string line = std::string("[") + HelperService::logSubsystem + ":Client] " + name + ": ";
    // Paths come from clients: control characters are shown escaped so a name cannot forge lines.
    for (unsigned char c : message) {
        if (c < 0x20 || c == 0x7f) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            line += escaped;
        } else {
            line += static_cast<char>(c);
        }
    }
    line += '\n';
    std::lock_guard lock(mutex);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}
