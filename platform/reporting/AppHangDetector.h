#pragma once
// Watches the main thread from a thread of its own. Every pollMillis it hands the main thread
// a heartbeat through the given dispatcher, and at the next poll looks whether it ran. A
// heartbeat that has not run after thresholdMillis (seen at the first poll past it) is a hang: onHangBegan is called at once (the program may yet be
// killed while it hangs); when the heartbeat finally runs, onHangEnded gets the time the main
// thread was unresponsive.
//
// suspend()/resume() (counted, from any thread) bracket work that blocks the main thread on
// purpose: no hang is reported for a heartbeat that was pending at any time while suspended.
// Such a hang still ends with onHangEnded(duration, false) when onHangBegan was called.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace platform::reporting {

class AppHangDetector {
public:
    using Dispatcher = std::function<void(std::function<void()>)>;
    using HangBegan = std::function<void()>;
    // reportable is false when the hang overlapped a suspension or the detector is stopping.
    using HangEnded = std::function<void(std::chrono::milliseconds duration, bool reportable)>;

    AppHangDetector(int thresholdMillis, Dispatcher toMainThread, HangBegan onHangBegan, HangEnded onHangEnded,
                    int pollMillis = 100);
    ~AppHangDetector();
    AppHangDetector(const AppHangDetector&) = delete;
    AppHangDetector& operator=(const AppHangDetector&) = delete;

    void suspend();
    void resume();
    bool isSuspended() const;

private:
    struct Shared; // outlives the detector for heartbeats still queued on the main thread
    void run();

    const int thresholdMillis_;
    const int pollMillis_;
    Dispatcher toMainThread_;
    HangBegan onHangBegan_;
    HangEnded onHangEnded_;
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

} // namespace platform::reporting
