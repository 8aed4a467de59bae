#pragma once
// Where the reporting layer says what it dropped or could not do. The layer knows no logging
// system of its own: the application installs a sink; without one, nothing is written.

#include <functional>
#include <string_view>

namespace platform::reporting {

enum class ReportingLogLevel { Debug, Info, Error };

using ReportingLogSink = std::function<void(ReportingLogLevel, std::string_view)>;

void setReportingLogSink(ReportingLogSink sink);
void reportingLog(ReportingLogLevel level, std::string_view message);

} // namespace platform::reporting
