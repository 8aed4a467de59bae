#include "platform/reporting/Breadcrumbs.h"

#include "platform/reporting/Identifiers.h"

namespace platform::reporting {

const char* breadcrumbTypeName(BreadcrumbType type)
{
    switch (type) {
    case BreadcrumbType::Manual: return "manual";
    case BreadcrumbType::Error: return "error";
    case BreadcrumbType::Log: return "log";
    case BreadcrumbType::Navigation: return "navigation";
    case BreadcrumbType::Process: return "process";
    case BreadcrumbType::Request: return "request";
    case BreadcrumbType::State: return "state";
    case BreadcrumbType::User: return "user";
    }
    return "manual";
}

nlohmann::json Breadcrumb::toJson() const
{
    nlohmann::json j = {{"timestamp", isoTimestamp(timestampMillis)},
                        {"name", message},
                        {"type", breadcrumbTypeName(type)}};
    if (metadata.is_object() && !metadata.empty())
        j["metaData"] = metadata;
    return j;
}

std::string truncateUtf8Bytes(std::string text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    std::size_t cut = maxBytes;
    // Step back over continuation bytes (10xxxxxx) to the start of the cut character.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    text.resize(cut);
    return text;
}

BreadcrumbRing::BreadcrumbRing(std::size_t capacity) : capacity_(capacity ? capacity : 1) {}

void BreadcrumbRing::add(Breadcrumb breadcrumb)
{
    breadcrumb.message = truncateUtf8Bytes(std::move(breadcrumb.message), kMaxMessageBytes);
    std::lock_guard lock(mutex_);
    ring_.push_back(std::move(breadcrumb));
    while (ring_.size() > capacity_)
        ring_.pop_front();
}

std::vector<Breadcrumb> BreadcrumbRing::entries() const
{
    std::lock_guard lock(mutex_);
    return {ring_.begin(), ring_.end()};
}

nlohmann::json BreadcrumbRing::toJson() const
{
    nlohmann::json array = nlohmann::json::array();
    for (const Breadcrumb& b : entries())
        array.push_back(b.toJson());
    return array;
}

} // namespace platform::reporting
