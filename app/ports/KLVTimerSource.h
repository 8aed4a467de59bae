#pragma once
// Main-loop timers behind an interface, so retries, progress updates and waits can be stepped by a
// manual clock in tests. Callbacks run on the main thread.

#include <functional>
#include <memory>

class KLVTimer {
public:
    virtual ~KLVTimer() = default; // destroying a timer cancels it
    virtual void cancel() = 0;
    virtual bool isActive() const = 0;
};

class KLVTimerSource {
public:
    virtual ~KLVTimerSource() = default;
    // Calls fn after intervalMs, again every intervalMs while repeating, until cancelled or
    // destroyed. A one-shot timer is inactive once it has fired.
    virtual std::unique_ptr<KLVTimer> schedule(int intervalMs, bool repeating, std::function<void()> fn) = 0;
    // A repeating timer that only keeps a display current. Its ticks may come up to 5 % early or
    // late, so that every display of one interval (each channel's progress) shares one wake.
    virtual std::unique_ptr<KLVTimer> scheduleDisplay(int intervalMs, std::function<void()> fn)
    {
        return schedule(intervalMs, true, std::move(fn));
    }
    // Milliseconds on the source's monotonic clock.
    virtual double nowMs() const = 0;

    // The QTimer-backed source of the running application.
    static KLVTimerSource& mainLoop();
};
