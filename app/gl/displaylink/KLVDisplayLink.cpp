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
    running_.store(false);
    if (thread_.joinable())
        thread_.join();
}

bool KLVDisplayLink::isRunning() const
{
    std::lock_guard lock(threadLock_);
    return thread_.joinable() && running_.load();
}

void KLVDisplayLink::run()
{
    if (callbacks_.begin && !callbacks_.begin()) {
        running_.store(false);
        return;
    }
    auto deadline = Clock::now();
    while (running_.load()) {
        const std::optional<Clock::duration> swap = callbacks_.frame ? callbacks_.frame() : std::nullopt;
        const auto now = Clock::now();
        const auto period =
            std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / refreshRate_.load()));
        if (swap)
            frames_.fetch_add(1);
        if (!swap || *swap < period * kNonBlockingSwapShare) {
            deadline += period;
            if (deadline < now - period)
                deadline = now; // fell behind (stall): start again from now, no catching up
            std::this_thread::sleep_until(deadline);
        } else {
            deadline = now;
        }
    }
    if (callbacks_.end)
        callbacks_.end();
}
