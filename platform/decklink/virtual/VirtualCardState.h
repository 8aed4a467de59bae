#pragma once

// What one virtual card's output and input share: its configuration and the test controls.

#include "platform/decklink/virtual/VirtualCardControl.h"
#include "platform/decklink/virtual/VirtualConfig.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace platform {
class MonotonicClock;
}

namespace platform::decklink {

// The clock frame periods are timed by (the real-time clock unless a test set another).
MonotonicClock& currentClock();
void setCurrentClock(MonotonicClock* clock);

class CardState {
public:
    explicit CardState(CardConfig config);

    const CardConfig& config() const { return config_; }
    const ModeSpec* findMode(DisplayModeId id) const;

    // True (with the result to return) when a forced failure of this call is pending.
    bool takeFailure(EnableCall call, Result* result);
    void failEnable(EnableCall call, Result result, int times);

    void injectFault(InputFault fault, int64_t firstFrame, int64_t frameCount);
    bool hasFault(InputFault fault, int64_t frame);

    std::atomic<bool> referenceLocked;
    std::atomic<OutputTap*> tap{nullptr};

    // Counters, read by tests while the card runs.
    OutputStats outputStats();
    InputStats inputStats();
    void updateOutput(const OutputStats& delta);
    void updateInput(const InputStats& delta);

private:
    struct Failure {
        Result result = kOk;
        int times = 0;
    };
    struct Fault {
        InputFault kind;
        int64_t first, count;
    };

    const CardConfig config_;
    std::mutex mutex_;
    Failure failures_[4];
    std::vector<Fault> faults_;
    OutputStats output_;
    InputStats input_;
};

} // namespace platform::decklink
