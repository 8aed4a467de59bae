#include "platform/reporting/ReportEvent.h"

namespace platform::reporting {

const char* severityName(Severity severity)
{
    switch (severity) {
    case Severity::Error: return "error";
    case Severity::Warning: return "warning";
    case Severity::Info: return "info";
    }
    return "warning";
}

void ReportEvent::addMetadata(const std::string& section, const std::string& key, nlohmann::json value)
{
    if (!metadata.is_object())
        metadata = nlohmann::json::object();
    nlohmann::json& s = metadata[section];
    if (!s.is_object())
        s = nlohmann::json::object();
    s[key] = std::move(value);
}

nlohmann::json ReportEvent::metadataValue(const std::string& section, const std::string& key) const
{
    if (!metadata.is_object() || !metadata.contains(section) || !metadata[section].is_object())
        return nullptr;
    const auto& s = metadata[section];
    return s.contains(key) ? s[key] : nlohmann::json();
}

nlohmann::json ReportEvent::toJson() const
{
    nlohmann::json exceptions = nlohmann::json::array();
    for (const ReportError& e : errors) {
        nlohmann::json frames = nlohmann::json::array();
        for (const StackFrame& f : e.stacktrace)
            frames.push_back(f.toJson());
        exceptions.push_back({{"errorClass", e.errorClass}, {"message", e.message}, {"stacktrace", frames}});
    }
    nlohmann::json j = {{"exceptions", exceptions},
                        {"severity", severityName(severity)},
                        {"severityReason", {{"type", severityReason}}},
                        {"unhandled", unhandled},
                        {"metaData", metadata.is_object() ? metadata : nlohmann::json::object()}};
    if (!context.empty())
        j["context"] = context;
    return j;
}

} // namespace platform::reporting
