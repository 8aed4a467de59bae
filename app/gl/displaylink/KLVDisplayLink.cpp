#include "app/gl/displaylink/KLVDisplayLink.h"

namespace {
// A swap that returns sooner than this share of a frame period did not wait for the display.
constexpr double kNonBlockingSwapShare = 0.25;
} // namespace

KLVDisplayLink::KLVDisplayLink(Callbacks callbacks, double refreshRate)
    : callbacks_(std::move(callbacks))
    , refreshRate_(refreshRate >= 1.0 ? refreshRate : 60.0)
{
}

KLVDisplayLink::~KLVDisplayLink()
{
    stop();
}

void KLVDisplayLink::setRefreshRate(double hz)
{
    if (hz >= 1.0)
        refreshRate_.store(hz);
}

void KLVDisplayLink::start()
{
    std::lock_guard lock(threadLock_);
    if (thread_.joinable() && running_.load())
        return;
    if (thread_.joinable())
        thread_.join(); // ended on its own (begin failed)
    running_.store(true);
    thread_ = std::thread([this] { run(); });
}

void KLVDisplayLink::stop()
{
    std::lock_guard lock(threadLock_);
    {
        std::lock_guard wait(waitLock_);
        running_.store(false);
    }
    waitCondition_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

bool KLVDisplayLink::isRunning() const
{
    std::lock_guard lock(threadLock_);
    return thread_.joinable() && running_.load();
}

void KLVDisplayLink::wake()
{
    {
        std::lock_guard wait(waitLock_);
        woken_ = true;
    }
    waitCondition_.notify_all();
}

bool KLVDisplayLink::waitUntil(Clock::time_point deadline)
{
    std::unique_lock wait(waitLock_);
    waitCondition_.wait_until(wait, deadline, [this] { return woken_ || !running_.load(); });
    const bool woken = woken_;
    woken_ = false;
    return woken;
}

void KLVDisplayLink::run()
{
    if (callbacks_.begin && !callbacks_.begin()) {
        running_.store(false);
        return;
    }
    auto deadline = Clock::now();
    int quiet = 0;
    while (running_.load()) {
        const Frame frame = callbacks_.frame ? callbacks_.frame() : Frame{std::nullopt, false};
        const auto now = Clock::now();
        const auto period =
            std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / refreshRate_.load()));
        if (frame.swap)
            frames_.fetch_add(1);
        quiet = frame.live ? 0 : quiet + 1;
        if (quiet >= kQuietFramesBeforeRest) {
            if (quiet == kQuietFramesBeforeRest)
                rests_.fetch_add(1);
            resting_.store(true);
            if (waitUntil(now + kRestPeriod))
                quiet = 0;
            resting_.store(false);
            deadline = Clock::now();
        } else if (!frame.swap || *frame.swap < period * kNonBlockingSwapShare) {
            deadline += period;
            if (deadline < now - period)
                deadline = now; // fell behind (stall): start again from now, no catching up
            if (waitUntil(deadline))
                deadline = Clock::now();
        } else {
            deadline = now;
        }
    }
    if (callbacks_.end)
        callbacks_.end();
}
