#pragma once
// One error report as the notifier builds it and an editing callback may change it before it
// is stored: the errors (class, message, stack), severity, whether the program died of it,
// and metadata in named sections.

#include "platform/reporting/StackTrace.h"

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace platform::reporting {

enum class Severity { Error, Warning, Info };
const char* severityName(Severity severity); // "error", "warning", "info"

struct ReportError {
    std::string errorClass;
    std::string message;
    std::vector<StackFrame> stacktrace;
};

struct ReportEvent {
    std::vector<ReportError> errors;
    Severity severity = Severity::Warning;
    // Why the severity is what it is: "handledError", "handledException", "unhandledException",
    // "signal", "appHang", "userSpecifiedSeverity".
    std::string severityReason = "handledError";
    bool unhandled = false;
    std::string context;
    nlohmann::json metadata = nlohmann::json::object(); // section -> { key -> value }

    // Sets metadata[section][key] = value (replacing an earlier value of the same key).
    void addMetadata(const std::string& section, const std::string& key, nlohmann::json value);
    nlohmann::json metadataValue(const std::string& section, const std::string& key) const;

    // The event's own fields (without app, device, session and breadcrumbs).
    nlohmann::json toJson() const;
};

} // namespace platform::reporting
