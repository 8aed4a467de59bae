#include "tests/ui/support/ManualTimerSource.h"

#include <limits>

namespace testsupport {

struct ManualTimerSource::Entry {
    double due = 0;
    double interval = 0;
    bool repeating = false;
    bool active = true;
    std::function<void()> fn;
};

namespace {
class ManualTimer final : public KLVTimer {
public:
    explicit ManualTimer(std::shared_ptr<ManualTimerSource::Entry> entry) : entry_(std::move(entry)) {}
    ~ManualTimer() override { entry_->active = false; }
    void cancel() override { entry_->active = false; }
    bool isActive() const override { return entry_->active; }

private:
    std::shared_ptr<ManualTimerSource::Entry> entry_;
};
} // namespace

ManualTimerSource::ManualTimerSource() : entries_(std::make_shared<std::map<long, std::shared_ptr<Entry>>>()) {}
ManualTimerSource::~ManualTimerSource() = default;

std::unique_ptr<KLVTimer> ManualTimerSource::schedule(int intervalMs, bool repeating, std::function<void()> fn)
{
    auto entry = std::make_shared<Entry>();
    entry->due = now_ + intervalMs;
    entry->interval = intervalMs > 0 ? intervalMs : 1;
    entry->repeating = repeating;
    entry->fn = std::move(fn);
    (*entries_)[nextId_++] = entry;
    return std::make_unique<ManualTimer>(entry);
}

void ManualTimerSource::advance(double ms)
{
    const double end = now_ + ms;
    for (;;) {
        // The earliest active timer due by the end.
        std::shared_ptr<Entry> next;
        long nextKey = 0;
        double due = std::numeric_limits<double>::infinity();
        for (auto it = entries_->begin(); it != entries_->end();) {
            if (!it->second->active) {
                it = entries_->erase(it);
                continue;
            }
            if (it->second->due < due) {
                due = it->second->due;
                next = it->second;
                nextKey = it->first;
            }
            ++it;
        }
        if (!next || due > end)
            break;
        now_ = due;
        if (next->repeating)
            next->due += next->interval;
        else
            next->active = false;
        auto fn = next->fn; // the callback may cancel or destroy its own timer
        (void)nextKey;
        fn();
    }
    now_ = end;
}

int ManualTimerSource::activeCount() const
{
    int n = 0;
    for (const auto& [key, entry] : *entries_)
        n += entry->active ? 1 : 0;
    return n;
}

} // namespace testsupport
