#include "platform/decklink/virtual/FramePacer.h"

#include "platform/clock/MonotonicClock.h"
#include "platform/decklink/virtual/VirtualCardState.h"

namespace platform::decklink {

void FramePacer::start(const ModeSpec& mode, std::function<void(int64_t)> period, std::function<void()> finished)
{
    MonotonicClock* clock = &currentClock();
    const int64_t first = nextReferencePeriod(mode, clock->now());
    firstPeriod_.store(first);
    thread_ = std::jthread([this, &mode, clock, first, period = std::move(period),
                            finished = std::move(finished)](std::stop_token stop) {
        threadId_.store(std::this_thread::get_id());
        for (int64_t k = 0; clock->sleepUntil(mode.periodStartNs(first + k), stop); ++k)
            period(k);
        finished();
        threadId_.store(std::thread::id());
    });
}

int64_t FramePacer::nextReferencePeriod(const ModeSpec& mode, int64_t nowNs)
{
    int64_t n = int64_t((__int128(nowNs) * mode.timeScale) / (__int128(mode.frameDuration) * 1'000'000'000));
    if (mode.periodStartNs(n) < nowNs)
        ++n;
    return n;
}

void FramePacer::stop()
{
    if (!thread_.joinable())
        return;
    thread_.request_stop();
    if (!onPacingThread())
        thread_.join();
}

void FramePacer::reap()
{
    if (thread_.joinable() && !onPacingThread())
        thread_.join();
}

} // namespace platform::decklink
