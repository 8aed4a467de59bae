#pragma once
// Logging of the communications module, and the "CommModuleDebug" byte trace.
#include "platform/foundation/Log.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

namespace qmcomm {

inline constexpr char kLogSubsystem[] = "com.quenmark.kalvanto";
inline constexpr char kLogCategory[] = "comm";
inline constexpr char kCommModuleDebugKey[] = "CommModuleDebug";

void log(const QString& message, platform::LogLevel level = platform::LogLevel::Default);
inline void logError(const QString& message) { log(message, platform::LogLevel::Error); }
// For a line whose text changes with every call while it says the same thing: lines with the
// same repeatKey are summed up as repeats of one another (platform/log/LogRepeats.h).
void logRepeating(const QString& repeatKey, const QString& message, platform::LogLevel level = platform::LogLevel::Default);

// True when the user default "CommModuleDebug" is set.
bool debugEnabled();
// Logs "<arrow> <bytes>" when "CommModuleDebug" is set.
void traceBytes(const char* arrow, const QByteArray& data);

// Bytes as "<0a1b2c3d 4e5f>": hexadecimal, a space after every four bytes.
QString dataDescription(const QByteArray& data);
// Values for log lines: strings as they are, dictionaries as "{ key = value; }", lists as
// "( a, b )", bytes as above.
QString valueDescription(const QVariant& value);

} // namespace qmcomm
