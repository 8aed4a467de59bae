#pragma once

#include "platform/decklink/virtual/ReferenceGrid.h"
#include "platform/decklink/virtual/VirtualConfig.h"

#include <atomic>
#include <functional>
#include <memory>

namespace platform::decklink {

// The periods of a running playback or capture: period(k) at the start of every frame period of
// a mode on the card's clock. Periods lie on the reference grid of the clock (period n of a mode
// starts at mode.periodStartNs(n) from the clock's origin), as cards locked to one house
// reference do: two cards in one mode start their periods together, whenever each was started,
// and are served by the one thread of their grid.
class FramePacer {
public:
    FramePacer() = default;
    FramePacer(const FramePacer&) = delete;
    FramePacer& operator=(const FramePacer&) = delete;
    ~FramePacer() { stop(); }

    // Calls period(k) at the start of period k = 0, 1, ... from the next grid period on, and
    // finished() once stopped.
    void start(const ModeSpec& mode, std::function<void(int64_t)> period, std::function<void()> finished);
    // Ends the periods and waits for finished(); from the grid's thread (inside a callback) only
    // asks.
    void stop();
    // Waits for a stop that was asked from inside a callback.
    void reap();

    bool running() const { return stream_ && !grid_->finished(stream_); }
    // The grid period that period 0 is (valid once started).
    int64_t firstReferencePeriod() const { return firstPeriod_.load(); }
    // The first grid period of a mode starting at or after `nowNs`.
    static int64_t nextReferencePeriod(const ModeSpec& mode, int64_t nowNs)
    {
        return ReferenceGrid::nextPeriod(mode, nowNs);
    }
    // Whether this runs on the thread that calls this pacer's periods.
    bool onPacingThread() const
    {
        return ReferenceGrid::current() != nullptr && ReferenceGrid::current() == gridId_.load();
    }

private:
    std::shared_ptr<ReferenceGrid> grid_;
    std::shared_ptr<ReferenceGrid::Stream> stream_;
    std::atomic<const ReferenceGrid*> gridId_{nullptr};
    std::atomic<int64_t> firstPeriod_{0};
};

} // namespace platform::decklink
