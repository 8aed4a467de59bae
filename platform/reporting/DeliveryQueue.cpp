#include "platform/reporting/DeliveryQueue.h"

#include "platform/reporting/Gzip.h"
#include "platform/reporting/HttpPost.h"
#include "platform/reporting/Identifiers.h"
#include "platform/reporting/ReportingLog.h"

#include <algorithm>
#include <optional>

namespace platform::reporting {

namespace {

constexpr Channel kChannels[] = {Channel::Notify, Channel::Sessions, Channel::Analytics};

int index(Channel channel)
{
    return static_cast<int>(channel);
}

bool isRetryable(long status)
{
    return status == 0 || status == 408 || status == 429 || status >= 500 || status < 400;
}

} // namespace

const std::string& Endpoints::of(Channel channel) const
{
    switch (channel) {
    case Channel::Notify: return notify;
    case Channel::Sessions: return sessions;
    case Channel::Analytics: return analytics;
    }
    return notify;
}

std::shared_ptr<DeliveryQueue> DeliveryQueue::open(const std::string& databasePath, DeliveryOptions options,
                                                   std::string* error)
{
    auto store = ReportStore::open(databasePath, options.limits, error);
    if (!store)
        return nullptr;
    return std::shared_ptr<DeliveryQueue>(new DeliveryQueue(std::move(store), std::move(options)));
}

DeliveryQueue::DeliveryQueue(std::unique_ptr<ReportStore> store, DeliveryOptions options)
    : store_(std::move(store)), options_(std::move(options))
{
    thread_ = std::thread([this] { run(); });
}

DeliveryQueue::~DeliveryQueue()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        kickLocked();
    }
    thread_.join();
}

void DeliveryQueue::kickLocked()
{
    ++generation_;
    wake_.notify_all();
}

void DeliveryQueue::setHeaders(Channel channel, HttpHeaders headers)
{
    std::lock_guard lock(mutex_);
    headers_[index(channel)] = std::move(headers);
}

Gate DeliveryQueue::gate(Channel channel) const
{
    std::lock_guard lock(mutex_);
    return gates_[index(channel)];
}

void DeliveryQueue::setGate(Channel channel, Gate gate)
{
    std::lock_guard lock(mutex_);
    gates_[index(channel)] = gate;
    if (gate == Gate::Closed) {
        const std::size_t purged = store_->purge(channel);
        if (purged)
            reportingLog(ReportingLogLevel::Info, "Purged " + std::to_string(purged) + " pending "
                             + channelName(channel) + " report(s)");
    }
    kickLocked();
}

bool DeliveryQueue::enqueue(Channel channel, std::string_view json)
{
    std::lock_guard lock(mutex_);
    // Under the lock, so a row never slips in after the channel was closed and purged.
    if (gates_[index(channel)] == Gate::Closed)
        return false;
    const std::string body = gzipCompress(json);
    if (body.empty() || !store_->add(channel, body, nowMillis())) {
        reportingLog(ReportingLogLevel::Error, std::string("Could not store a ") + channelName(channel) + " report");
        return false;
    }
    kickLocked();
    return true;
}

void DeliveryQueue::run()
{
    HttpPost http(&stop_, options_.requestTimeoutMillis);
    std::unique_lock lock(mutex_);
    while (!stop_) {
        const std::uint64_t seen = generation_;
        bool worked = false;
        std::optional<std::chrono::steady_clock::time_point> wakeAt;
        for (Channel channel : kChannels) {
            const int i = index(channel);
            if (gates_[i] != Gate::Open || options_.endpoints.of(channel).empty())
                continue;
            if (failures_[i] > 0 && std::chrono::steady_clock::now() < retryAt_[i]) {
                wakeAt = wakeAt ? std::min(*wakeAt, retryAt_[i]) : retryAt_[i];
                continue;
            }
            worked = sendOne(lock, channel, http) || worked;
            if (stop_)
                return;
        }
        if (worked)
            continue;
        const auto awake = [&] { return stop_ || generation_ != seen; };
        if (wakeAt)
            wake_.wait_until(lock, *wakeAt, awake);
        else
            wake_.wait(lock, awake);
    }
}

// Sends the channel's oldest row; answers whether there was one. Called with the lock held;
// the request itself runs without it.
bool DeliveryQueue::sendOne(std::unique_lock<std::mutex>& lock, Channel channel, HttpPost& http)
{
    const int i = index(channel);
    // Every body is JSON, gzipped by enqueue().
    HttpHeaders headers = {{"Content-Type", "application/json"}, {"Content-Encoding", "gzip"}};
    headers.insert(headers.end(), headers_[i].begin(), headers_[i].end());
    const std::string& url = options_.endpoints.of(channel);
    lock.unlock();
    std::optional<StoredReport> row = store_->oldest(channel);
    HttpResult result;
    if (row)
        result = http.post(url, headers, row->body);
    lock.lock();
    if (!row)
        return false;
    if (stop_ && result.status == 0)
        return true; // aborted by shutdown: the row stays for the next run
    if (result.status >= 200 && result.status < 300) {
        store_->remove(row->id);
        failures_[i] = 0;
    } else if (isRetryable(result.status)) {
        store_->countAttempt(row->id);
        ++failures_[i];
        const int shift = std::min(failures_[i] - 1, 20);
        const long long delay = std::min<long long>(static_cast<long long>(options_.initialRetryMillis) << shift,
                                                    options_.maxRetryMillis);
        retryAt_[i] = std::chrono::steady_clock::now() + std::chrono::milliseconds(delay);
        reportingLog(ReportingLogLevel::Info,
                     std::string("Delivery of a ") + channelName(channel) + " report failed ("
                         + (result.status ? "HTTP " + std::to_string(result.status) : result.error)
                         + "); retrying in " + std::to_string(delay) + " ms");
    } else {
        store_->remove(row->id);
        failures_[i] = 0;
        reportingLog(ReportingLogLevel::Error, std::string("A ") + channelName(channel)
                         + " report was refused (HTTP " + std::to_string(result.status) + ") and dropped");
    }
    return true;
}

} // namespace platform::reporting
