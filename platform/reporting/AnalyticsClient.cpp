#include "platform/reporting/AnalyticsClient.h"

#include "platform/reporting/Identifiers.h"
#include "platform/reporting/ReportingLog.h"

#include <cctype>
#include <cstdlib>

namespace platform::reporting {

namespace {
constexpr const char* kEnabledSetting = "analytics.enabled";

bool isContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}
} // namespace

std::size_t utf8Length(std::string_view text)
{
    std::size_t n = 0;
    for (char c : text)
        n += isContinuationByte(c) ? 0 : 1;
    return n;
}

std::string truncateUtf8Characters(std::string_view text, std::size_t maxCharacters)
{
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!isContinuationByte(text[i]) && characters++ == maxCharacters)
            return std::string(text.substr(0, i));
    }
    return std::string(text);
}

std::optional<std::string> countryCodeFromLocaleName(std::string_view locale)
{
    // language[_territory][.codeset][@modifier]
    locale = locale.substr(0, locale.find_first_of(".@"));
    const auto underscore = locale.find('_');
    if (underscore == std::string_view::npos || underscore == 0)
        return std::nullopt;
    const std::string_view region = locale.substr(underscore + 1);
    if (region.size() != 2 || !std::isalpha(static_cast<unsigned char>(region[0]))
        || !std::isalpha(static_cast<unsigned char>(region[1])))
        return std::nullopt;
    std::string code(region);
    for (char& c : code)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return code;
}

std::optional<std::string> countryCodeFromEnvironment()
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return countryCodeFromLocaleName(value);
    }
    return std::nullopt;
}

AnalyticsClient::AnalyticsClient(std::shared_ptr<DeliveryQueue> delivery) : delivery_(std::move(delivery)) {}

bool AnalyticsClient::start(const std::string& appSecret, const std::string& appVersion)
{
    {
        std::lock_guard lock(mutex_);
        if (started_)
            return false;
        started_ = true;
        appVersion_ = appVersion;
        sessionId_ = randomUuid();
    }
    delivery_->setHeaders(Channel::Analytics, {{"App-Secret", appSecret}});
    if (isEnabled()) {
        const std::string now = isoTimestamp(nowMillis());
        enqueueLogs(nlohmann::json::array(
            {{{"type", "startService"}, {"timestamp", now}, {"services", nlohmann::json::array({"Analytics"})}},
             {{"type", "startSession"}, {"timestamp", now}}}));
    }
    return true;
}

bool AnalyticsClient::isStarted() const
{
    std::lock_guard lock(mutex_);
    return started_;
}

bool AnalyticsClient::isEnabled() const
{
    // Enabled unless switched off before: the switch itself is the owner's to apply.
    return delivery_->store().setting(kEnabledSetting).value_or("1") == "1";
}

void AnalyticsClient::setEnabled(bool enabled)
{
    delivery_->store().setSetting(kEnabledSetting, enabled ? "1" : "0");
    delivery_->setGate(Channel::Analytics, enabled ? Gate::Open : Gate::Closed);
}

void AnalyticsClient::setCountryCode(std::string code)
{
    std::lock_guard lock(mutex_);
    countryCode_ = std::move(code);
}

std::optional<std::string> AnalyticsClient::countryCode() const
{
    std::lock_guard lock(mutex_);
    return countryCode_;
}

nlohmann::json AnalyticsClient::deviceJson() const
{
    nlohmann::json device = {{"appVersion", appVersion_}};
    if (const auto& host = operatingSystem()) {
        device["osName"] = host->name;
        device["osVersion"] = host->version;
    }
    if (countryCode_)
        device["carrierCountry"] = *countryCode_;
    return device;
}

bool AnalyticsClient::enqueueLogs(nlohmann::json logs)
{
    {
        std::lock_guard lock(mutex_);
        const nlohmann::json device = deviceJson();
        for (auto& log : logs) {
            log["sid"] = sessionId_;
            log["device"] = device;
        }
    }
    return delivery_->enqueue(Channel::Analytics, nlohmann::json {{"logs", std::move(logs)}}.dump());
}

bool AnalyticsClient::trackEvent(const std::string& name, const std::optional<EventProperties>& properties)
{
    if (!isStarted() || !isEnabled())
        return false;
    const std::size_t length = utf8Length(name);
    if (length == 0 || length > kMaxNameLength) {
        reportingLog(ReportingLogLevel::Error, "Analytics event dropped: its name must have 1 to "
                         + std::to_string(kMaxNameLength) + " characters");
        return false;
    }
    nlohmann::json log = {{"type", "event"}, {"id", randomUuid()}, {"name", name}, {"timestamp", isoTimestamp(nowMillis())}};
    if (properties) {
        nlohmann::json kept = nlohmann::json::object();
        std::size_t count = 0;
        for (const auto& [key, value] : *properties) {
            if (key.empty())
                continue;
            if (count == kMaxProperties) {
                reportingLog(ReportingLogLevel::Info, "Analytics event \"" + name + "\": properties beyond "
                                 + std::to_string(kMaxProperties) + " dropped");
                break;
            }
            // Cut keys may collide; the first one in key order keeps the place.
            const std::string k = truncateUtf8Characters(key, kMaxPropertyLength);
            if (kept.contains(k))
                continue;
            kept[k] = truncateUtf8Characters(value, kMaxPropertyLength);
            ++count;
        }
        log["properties"] = std::move(kept);
    }
    return enqueueLogs(nlohmann::json::array({std::move(log)}));
}

} // namespace platform::reporting
