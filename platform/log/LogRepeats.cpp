#include "platform/log/LogRepeats.h"

#include "platform/clock/MonotonicClock.h"

#include <algorithm>

namespace platform {

LogRepeats::LogRepeats(const MonotonicClock& clock, int64_t interval, std::size_t remembered)
    : clock_(clock), interval_(interval), remembered_(std::max<std::size_t>(remembered, 1))
{
}

void LogRepeats::pass(const LogRecord& record, std::string_view key, std::vector<LogRecord>& out)
{
    pass(record.subsystem, record.category, record.level, record.message, key, out);
}

void LogRepeats::pass(std::string_view subsystem, std::string_view category, LogLevel level,
                      std::string_view message, std::string_view key, std::vector<LogRecord>& out)
{
    out.clear();
    const int64_t now = clock_.now();
    writeDue(now, out);

    const std::string_view text = key.empty() ? message : key;
    key_.clear();
    key_.append(subsystem).push_back('\x1f');
    key_.append(category).push_back('\x1f');
    key_.push_back(char('0' + int(level)));
    key_.append(text);
    if (const auto found = seen_.find(key_); found != seen_.end()) {
        found->second.latest.message.assign(message);
        ++found->second.count;
        return;
    }
    if (seen_.size() >= remembered_)
        makeRoom(out);
    LogRecord record{std::string(subsystem), std::string(category), level, std::string(message)};
    seen_.emplace(key_, Seen{record, now, 0});
    out.push_back(std::move(record));
}

void LogRepeats::flush(std::vector<LogRecord>& out)
{
    out.clear();
    std::vector<Seen*> pending;
    for (auto& [key, seen] : seen_)
        if (seen.count > 0)
            pending.push_back(&seen);
    std::sort(pending.begin(), pending.end(), [](const Seen* a, const Seen* b) { return a->since < b->since; });
    for (Seen* seen : pending)
        summarise(*seen, out);
    seen_.clear();
}

void LogRepeats::writeDue(int64_t now, std::vector<LogRecord>& out)
{
    std::vector<Seen*> due;
    for (auto it = seen_.begin(); it != seen_.end();) {
        if (now - it->second.since < interval_) {
            ++it;
        } else if (it->second.count == 0) {
            it = seen_.erase(it); // quiet for a whole interval: forgotten
        } else {
            due.push_back(&it->second);
            ++it;
        }
    }
    // Oldest first, so the summaries read in the order their lines were first written.
    std::sort(due.begin(), due.end(), [](const Seen* a, const Seen* b) { return a->since < b->since; });
    for (Seen* seen : due) {
        summarise(*seen, out);
        seen->since = now;
    }
}

void LogRepeats::makeRoom(std::vector<LogRecord>& out)
{
    const auto oldest = std::min_element(seen_.begin(), seen_.end(),
                                         [](const auto& a, const auto& b) { return a.second.since < b.second.since; });
    if (oldest->second.count > 0)
        summarise(oldest->second, out);
    seen_.erase(oldest);
}

void LogRepeats::summarise(Seen& seen, std::vector<LogRecord>& out)
{
    LogRecord summary = seen.latest;
    summary.message += " ... repeated " + std::to_string(seen.count) + (seen.count == 1 ? " time" : " times");
    out.push_back(std::move(summary));
    seen.count = 0;
}

} // namespace platform
