#pragma once
// The engine logs every refused file; millions of them say nothing in a fuzz run, so the
// engine's fuzz targets let only errors and faults through to the log before the first input.

#include "platform/log/Log.h"

namespace fuzzsupport {

inline void silenceEngineLog()
{
    platform::setLogMinimumLevel(platform::LogLevel::Error);
}

} // namespace fuzzsupport
