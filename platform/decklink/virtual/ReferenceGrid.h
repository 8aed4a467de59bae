#pragma once

#include "platform/clock/MonotonicClock.h"
#include "platform/decklink/virtual/VirtualConfig.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace platform::decklink {

// The house reference the cards are locked to, for one frame rate on one clock: a single thread
// wakes at the start of every period of the grid and runs the period of every stream on it in
// turn. Cards in one mode start their periods together anyway; sharing the wake makes four cued
// cards cost one wake a period instead of four. The thread runs only while streams are on the grid.
class ReferenceGrid : public std::enable_shared_from_this<ReferenceGrid> {
public:
    struct Stream {
        std::function<void(int64_t)> period; // period(k) at the start of grid period first + k
        std::function<void()> finished;      // once, after the last period
        int64_t first = 0;
        int64_t served = 0;    // periods called; the grid's thread alone counts them
        bool stopping = false; // under the grid's mutex
        bool done = false;     // under the grid's mutex: finished() has returned
    };

    // The grid of the mode's rate on the clock, shared by every stream of that rate.
    static std::shared_ptr<ReferenceGrid> of(const ModeSpec& mode, MonotonicClock& clock);
    // The grid whose thread this is, or null.
    static const ReferenceGrid* current();
    // The first period of a mode starting at or after `nowNs`.
    static int64_t nextPeriod(const ModeSpec& mode, int64_t nowNs);
    ~ReferenceGrid();
    ReferenceGrid(const ReferenceGrid&) = delete;
    ReferenceGrid& operator=(const ReferenceGrid&) = delete;

    // Adds a stream whose period 0 is grid period `first`; periods already past are caught up.
    std::shared_ptr<Stream> add(int64_t first, std::function<void(int64_t)> period, std::function<void()> finished);
    MonotonicClock& clock() const { return clock_; }
    // Ends a stream: no period after the one running, then finished(). Waits for finished() unless
    // called on the grid's thread (from inside a callback), where it only asks. Off the grid's
    // thread, a thread that has ended with its last stream is joined as well.
    void stop(const std::shared_ptr<Stream>& stream);
    // Waits until a stream that was asked to end has finished, and joins a thread that ended with
    // it; on the grid's thread it does not.
    void reap(const std::shared_ptr<Stream>& stream);
    bool finished(const std::shared_ptr<Stream>& stream) const;
    bool onThread() const { return threadId_.load() == std::this_thread::get_id(); }

private:
    ReferenceGrid(const ModeSpec& mode, MonotonicClock& clock);
    void run(std::shared_ptr<ReferenceGrid> self);
    void finishStopping(std::unique_lock<std::mutex>& lock);
    void joinIdleThread(std::unique_lock<std::mutex>& lock);
    // Calls every period due by the current one; false when none was.
    bool serveRound(std::unique_lock<std::mutex>& lock);

    ModeSpec mode_; // its rate; the grid is the same for every mode of the rate
    MonotonicClock& clock_;
    mutable std::mutex mutex_;
    std::condition_variable finished_; // a stopping stream has finished
    std::vector<std::shared_ptr<Stream>> streams_;
    std::vector<std::shared_ptr<Stream>> round_; // the thread's: streams served this period
    int64_t period_ = 0;                         // the grid period the thread waits for or serves
    std::stop_source interrupt_; // cuts the thread's sleep short to serve a stop at once
    bool running_ = false;
    std::thread thread_;
    std::atomic<std::thread::id> threadId_{};
};

} // namespace platform::decklink
