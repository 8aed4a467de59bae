#include "engine/base/ssTimer.h"

#include <ctime>

ssTimer::ssTimer()
    : start_(GetTime())
{
}

void ssTimer::Reset()
{
    start_ = GetTime();
}

int64_t ssTimer::GetTime() const
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}
