#include "comm/showcontrol/dmxnet/FWNError.h"

namespace fwnmx {

void log(const QString& message, platform::LogLevel level)
{
    platform::log(kLogSubsystem, kLogCategory, level, message);
}

} // namespace fwnmx
