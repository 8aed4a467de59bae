#pragma once
// A thread that draws once per display refresh. Each frame reports how long its buffer swap took:
// a swap that returns within a quarter of a refresh period did not wait for the display (virtual
// X servers, swap interval 0), and the thread then paces itself at the refresh rate instead. A
// frame that presented nothing waits one period.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

class KLVDisplayLink {
public:
    using Clock = std::chrono::steady_clock;
    struct Callbacks {
        // On the link's thread before the first frame; false ends the link at once.
        std::function<bool()> begin;
        // Draws and presents one frame; how long the swap took, or nothing when nothing was presented.
        std::function<std::optional<Clock::duration>()> frame;
        // On the link's thread after the last frame.
        std::function<void()> end;
    };

    explicit KLVDisplayLink(Callbacks callbacks, double refreshRate = 60.0);
    ~KLVDisplayLink();
    KLVDisplayLink(const KLVDisplayLink&) = delete;
    KLVDisplayLink& operator=(const KLVDisplayLink&) = delete;

    // Any thread; values below 1 Hz are ignored.
    void setRefreshRate(double hz);
    double refreshRate() const { return refreshRate_.load(); }
    // Start and stop from any thread but the link's own; stop returns once the thread has ended.
    void start();
    void stop();
    bool isRunning() const;
    // Frames presented since the link was made.
    int64_t framesDrawn() const { return frames_.load(); }

private:
    void run();

    Callbacks callbacks_;
    mutable std::mutex threadLock_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<int64_t> frames_{0};
    std::atomic<double> refreshRate_;
};
