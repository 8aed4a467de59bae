#pragma once
// Timers that fire only when the test moves the clock: advance(ms) runs every timer that falls
// due on the way, in deadline order, repeating ones as often as they fit.

#include "app/ports/KLVTimerSource.h"

#include <map>
#include <memory>

namespace testsupport {

class ManualTimerSource final : public KLVTimerSource {
public:
    ManualTimerSource();
    ~ManualTimerSource() override;
    std::unique_ptr<KLVTimer> schedule(int intervalMs, bool repeating, std::function<void()> fn) override;
    double nowMs() const override { return now_; }

    void advance(double ms);
    // Timers still waiting to fire.
    int activeCount() const;

    struct Entry;

private:
    double now_ = 0;
    std::shared_ptr<std::map<long, std::shared_ptr<Entry>>> entries_;
    long nextId_ = 1;
};

} // namespace testsupport
