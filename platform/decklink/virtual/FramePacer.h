#pragma once

#include "platform/decklink/virtual/VirtualConfig.h"

#include <atomic>
#include <functional>
#include <thread>

namespace platform::decklink {

// The thread of a running playback or capture: it wakes at the start of every frame period of a
// mode on the card's clock. Deadlines are absolute, so a late wake-up catches up instead of
// drifting. Periods lie on the reference grid of the clock (period n of a mode starts at
// mode.periodStartNs(n) from the clock's origin), as cards locked to one house reference do: two
// cards in one mode start their periods together, whenever each was started.
class FramePacer {
public:
    FramePacer() = default;
    FramePacer(const FramePacer&) = delete;
    FramePacer& operator=(const FramePacer&) = delete;
    ~FramePacer() { stop(); }

    // Calls period(k) at the start of period k = 0, 1, ... from the next grid period on, and
    // finished() once stopped. `mode` must outlive the thread.
    void start(const ModeSpec& mode, std::function<void(int64_t)> period, std::function<void()> finished);
    // Ends the thread and waits for it; from the thread itself (inside a callback) only asks it to end.
    void stop();
    // Waits for a thread that was asked to end from inside its own callback.
    void reap();

    bool running() const { return thread_.joinable(); }
    // The grid period that period 0 of the running thread is (valid once started).
    int64_t firstReferencePeriod() const { return firstPeriod_.load(); }
    // The first grid period of a mode starting at or after `nowNs`.
    static int64_t nextReferencePeriod(const ModeSpec& mode, int64_t nowNs);
    bool onPacingThread() const { return threadId_.load() == std::this_thread::get_id(); }

private:
    std::jthread thread_;
    std::atomic<std::thread::id> threadId_{};
    std::atomic<int64_t> firstPeriod_{0};
};

} // namespace platform::decklink
