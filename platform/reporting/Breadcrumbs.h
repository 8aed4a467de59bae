#pragma once
// Breadcrumbs: short notes of what the program did just before a report, kept in a ring of
// the most recent ones and attached to every report (crash reports included).

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace platform::reporting {

// The service's breadcrumb kinds, with their fixed numbers.
enum class BreadcrumbType {
    Manual = 0,
    Error = 1,
    Log = 2,
    Navigation = 3,
    Process = 4,
    Request = 5,
    State = 6,
    User = 7,
};
const char* breadcrumbTypeName(BreadcrumbType type); // "manual", "error", ... "user"

struct Breadcrumb {
    std::int64_t timestampMillis = 0;
    std::string message;
    BreadcrumbType type = BreadcrumbType::Manual;
    nlohmann::json metadata; // an object, or null for none

    nlohmann::json toJson() const;
};

// Thread-safe ring of the latest breadcrumbs; the oldest goes when a new one exceeds capacity.
class BreadcrumbRing {
public:
    static constexpr std::size_t kDefaultCapacity = 100;
    // Longer messages are cut (at a character boundary) so the ring stays bounded.
    static constexpr std::size_t kMaxMessageBytes = 1024;

    explicit BreadcrumbRing(std::size_t capacity = kDefaultCapacity);

    void add(Breadcrumb breadcrumb);
    std::vector<Breadcrumb> entries() const;
    nlohmann::json toJson() const; // array, oldest first
    std::size_t capacity() const { return capacity_; }

private:
    const std::size_t capacity_;
    mutable std::mutex mutex_;
    std::deque<Breadcrumb> ring_;
};

// Cuts UTF-8 text to at most maxBytes bytes without splitting a character.
std::string truncateUtf8Bytes(std::string text, std::size_t maxBytes);

} // namespace platform::reporting
