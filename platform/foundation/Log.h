#pragma once
// Logging for code that speaks Qt: the log (platform/log/Log.h) and its calls that take a
// QString, written as UTF-8.

#include "platform/log/Log.h"

#include <QString>

namespace platform {

void log(std::string_view subsystem, std::string_view category, LogLevel level,
         const QString& message);
void logRepeating(std::string_view subsystem, std::string_view category, LogLevel level,
                  std::string_view repeatKey, const QString& message);

} // namespace platform
