#pragma once
// A thread that draws once per display refresh. Each frame reports how long its buffer swap took:
// a swap that returns within a quarter of a refresh period did not wait for the display (virtual
// X servers, swap interval 0), and the thread then paces itself at the refresh rate instead. A
// frame that presented nothing waits one period.
//
// A frame also says whether anything was live (a new picture, a playing source). After a run of
// frames with nothing live the link rests: it runs one frame per rest period (a slow look for
// changes nobody announced) until wake() or a live frame brings back the refresh rate. So a view
// with nothing to show costs no CPU to speak of.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

class KLVDisplayLink {
public:
    using Clock = std::chrono::steady_clock;
    struct Frame {
        // How long the swap took; nothing when nothing was presented.
        std::optional<Clock::duration> swap;
        // Something changed or moves: keep the refresh rate.
        bool live = true;
    };
    struct Callbacks {
        // On the link's thread before the first frame; false ends the link at once.
        std::function<bool()> begin;
        // Draws (when there is something new) and presents one frame.
        std::function<Frame()> frame;
        // On the link's thread after the last frame.
        std::function<void()> end;
    };
    // Frames with nothing live before the link rests (half a second at 60 Hz).
    static constexpr int kQuietFramesBeforeRest = 30;
    static constexpr std::chrono::milliseconds kRestPeriod{100};

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
    // Any thread: something will change, run the next frame now and at the refresh rate again.
    void wake();
    // Whether the link is resting (nothing was live for a while).
    bool isResting() const { return resting_.load(); }
    // Times the link went from the refresh rate to resting.
    int64_t rests() const { return rests_.load(); }
    // Frames presented since the link was made.
    int64_t framesDrawn() const { return frames_.load(); }

private:
    void run();
    // Waits until the deadline, a wake or stop; true when woken.
    bool waitUntil(Clock::time_point deadline);

    Callbacks callbacks_;
    mutable std::mutex threadLock_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> resting_{false};
    std::atomic<int64_t> frames_{0};
    std::atomic<int64_t> rests_{0};
    std::atomic<double> refreshRate_;
    std::mutex waitLock_;
    std::condition_variable waitCondition_;
    bool woken_ = false; // guarded by waitLock_
};
