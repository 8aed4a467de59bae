#pragma once
// The one delivery thread of the reporting layer. Clients hand it JSON bodies; it gzips them,
// commits them to the ReportStore before returning, and posts them in order, one channel's
// oldest row at a time, to that channel's endpoint:
//   2xx                      the row is delivered and deleted;
//   408, 429, 5xx, no answer the row stays, and the channel waits (doubling from
//                            initialRetryMillis up to maxRetryMillis) before trying again;
//   any other 4xx            the service refused the row for good: it is dropped.
// An empty endpoint means that channel never sends anything (its rows stay, within the caps).
//
// Each channel has a gate: Held (rows are kept, nothing is sent: the state until the user's
// choice is known), Open (rows are sent) and Closed (rows are purged and new ones refused).

#include "platform/reporting/ReportStore.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace platform::reporting {

class HttpPost;

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct Endpoints {
    std::string notify;
    std::string sessions;
    std::string analytics;

    const std::string& of(Channel channel) const;
};

struct DeliveryOptions {
    Endpoints endpoints;      // empty: nothing is ever sent
    StoreLimits limits;
    int initialRetryMillis = 15000;
    int maxRetryMillis = 10 * 60 * 1000;
    long requestTimeoutMillis = 30000;
};

enum class Gate { Held, Open, Closed };

class DeliveryQueue {
public:
    // Opens the store at databasePath and starts the thread. Null (*error set) when the store
    // cannot be opened.
    static std::shared_ptr<DeliveryQueue> open(const std::string& databasePath, DeliveryOptions options,
                                               std::string* error = nullptr);
    // Stops the thread; a request in flight is aborted and its row kept.
    ~DeliveryQueue();
    DeliveryQueue(const DeliveryQueue&) = delete;
    DeliveryQueue& operator=(const DeliveryQueue&) = delete;

    // Headers sent with every request of the channel (the API key, the app secret), besides
    // Content-Type (JSON) and Content-Encoding (gzip).
    void setHeaders(Channel channel, HttpHeaders headers);

    Gate gate(Channel channel) const;
    // Closing purges the channel's rows at once.
    void setGate(Channel channel, Gate gate);

    // Commits the body (gzipped) for delivery. False when the channel is closed or the store
    // refused the row.
    bool enqueue(Channel channel, std::string_view json);

    ReportStore& store() { return *store_; }
    const DeliveryOptions& options() const { return options_; }

private:
    DeliveryQueue(std::unique_ptr<ReportStore> store, DeliveryOptions options);
    void run();
    void kickLocked();
    bool sendOne(std::unique_lock<std::mutex>& lock, Channel channel, HttpPost& http);

    std::unique_ptr<ReportStore> store_;
    const DeliveryOptions options_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::uint64_t generation_ = 0;
    std::atomic<bool> stop_ {false};
    std::array<Gate, kChannelCount> gates_ {Gate::Held, Gate::Held, Gate::Held};
    std::array<HttpHeaders, kChannelCount> headers_;
    std::array<int, kChannelCount> failures_ {};
    std::array<std::chrono::steady_clock::time_point, kChannelCount> retryAt_ {};
    std::thread thread_;
};

} // namespace platform::reporting
