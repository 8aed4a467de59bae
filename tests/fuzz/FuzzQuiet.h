#pragma once
// The engine logs every refused file to standard output; millions of them say nothing in a fuzz
// run, so the engine's fuzz targets send it to /dev/null before the first input.

#include <fcntl.h>
#include <unistd.h>

namespace fuzzsupport {

inline void silenceStandardOutput()
{
    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (devNull >= 0) {
        ::dup2(devNull, STDOUT_FILENO);
        ::close(devNull);
    }
}

} // namespace fuzzsupport
