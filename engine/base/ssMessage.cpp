#include "engine/base/ssMessage.h"

#include "platform/log/Log.h"

#include <cstdarg>
#include <cstdio>
#include <string_view>

namespace {
thread_local const char* tCurrentName = nullptr;
} // namespace

ssMessageScope::ssMessageScope(const char* name) : previous_(tCurrentName)
{
    tCurrentName = name && *name ? name : nullptr;
}

ssMessageScope::~ssMessageScope()
{
    tCurrentName = previous_;
}

const char* ssMessageScope::Current()
{
    return tCurrentName;
}

void ssMessage(unsigned /*level*/, const char* format, ...)
{
    // Formatted on the stack: vsnprintf cuts the text at ssMessageMaxLength.
    char text[ssMessageMaxLength + 1];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n < 0)
        n = 0;
    const size_t length = n > ssMessageMaxLength ? ssMessageMaxLength : static_cast<size_t>(n);
    const char* name = tCurrentName;
    platform::log(ssMessageSubsystem, name ? name : ssMessageNoName, platform::LogLevel::Default,
                  std::string_view(text, length));
}
