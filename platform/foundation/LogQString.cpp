#include "platform/foundation/Log.h"

namespace platform {

void log(std::string_view subsystem, std::string_view category, LogLevel level, const QString& message)
{
    const QByteArray utf8 = message.toUtf8();
    log(subsystem, category, level, std::string_view(utf8.constData(), std::size_t(utf8.size())));
}

void logRepeating(std::string_view subsystem, std::string_view category, LogLevel level, std::string_view repeatKey,
                  const QString& message)
{
    const QByteArray utf8 = message.toUtf8();
    logRepeating(subsystem, category, level, repeatKey, std::string_view(utf8.constData(), std::size_t(utf8.size())));
}

} // namespace platform
