#include "engine/base/ssMessage.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <unistd.h>

void ssMessage(unsigned /*level*/, const char* format, ...)
{
    // The text plus its newline; vsnprintf cuts the text at ssMessageMaxLength.
    char line[ssMessageMaxLength + 2];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(line, ssMessageMaxLength + 1, format, args);
    va_end(args);
    if (n < 0)
        n = 0;
    size_t length = n > ssMessageMaxLength ? ssMessageMaxLength : static_cast<size_t>(n);
    line[length++] = '\n';

    const char* p = line;
    while (length > 0) {
        ssize_t written = write(STDOUT_FILENO, p, length);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        p += written;
        length -= static_cast<size_t>(written);
    }
}
