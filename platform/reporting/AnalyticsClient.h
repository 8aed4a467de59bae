#pragma once
// The usage-analytics client: events with text properties, delivered by a DeliveryQueue on its
// analytics channel with the app secret as a header.
//
// The enabled flag is kept in the report store, so it outlives the process. Like the error
// reporter, the channel starts Held: the first setEnabled() opens it (what was kept goes out)
// or closes it (what was kept is purged). Events tracked while disabled are dropped.
//
// The service's limits are applied before an event is kept: a name of 1 to 256 characters
// (else the event is dropped), at most 20 properties (the rest, in key order, are dropped),
// keys and values of at most 125 characters (longer ones are cut).

#include "platform/reporting/DeliveryQueue.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace platform::reporting {

using EventProperties = std::map<std::string, std::string>;

class AnalyticsClient {
public:
    static constexpr std::size_t kMaxNameLength = 256;
    static constexpr std::size_t kMaxProperties = 20;
    static constexpr std::size_t kMaxPropertyLength = 125;

    explicit AnalyticsClient(std::shared_ptr<DeliveryQueue> delivery);

    // Once. When enabled, the start of the service and of a session are the first logs kept.
    bool start(const std::string& appSecret, const std::string& appVersion);
    bool isStarted() const;

    bool isEnabled() const;
    void setEnabled(bool enabled);

    void setCountryCode(std::string code);
    std::optional<std::string> countryCode() const;

    // Answers whether the event was kept for delivery.
    bool trackEvent(const std::string& name, const std::optional<EventProperties>& properties = std::nullopt);

private:
    nlohmann::json deviceJson() const;
    bool enqueueLogs(nlohmann::json logs);

    std::shared_ptr<DeliveryQueue> delivery_;
    mutable std::mutex mutex_;
    bool started_ = false;
    std::string appVersion_;
    std::string sessionId_;
    std::optional<std::string> countryCode_;
};

// The region of a POSIX locale name ("de_CH.UTF-8@euro" gives "CH"), upper-case; nothing for
// "C", "POSIX", a bare language ("en") or anything malformed.
std::optional<std::string> countryCodeFromLocaleName(std::string_view locale);
// The region of the first set of LC_ALL, LC_MESSAGES and LANG (the order the C library uses).
std::optional<std::string> countryCodeFromEnvironment();

// Number of characters (code points) of UTF-8 text, and the text cut to at most max characters.
std::size_t utf8Length(std::string_view text);
std::string truncateUtf8Characters(std::string_view text, std::size_t maxCharacters);

} // namespace platform::reporting
