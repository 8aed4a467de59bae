#include "platform/reporting/ReportingLog.h"

#include <mutex>

namespace platform::reporting {

namespace {
std::mutex& sinkMutex()
{
    static std::mutex m;
    return m;
}
ReportingLogSink& sinkSlot()
{
    static ReportingLogSink sink;
    return sink;
}
} // namespace

void setReportingLogSink(ReportingLogSink sink)
{
    std::lock_guard lock(sinkMutex());
    sinkSlot() = std::move(sink);
}

void reportingLog(ReportingLogLevel level, std::string_view message)
{
    ReportingLogSink sink;
    {
        std::lock_guard lock(sinkMutex());
        sink = sinkSlot();
    }
    if (sink)
        sink(level, message);
}

} // namespace platform::reporting
