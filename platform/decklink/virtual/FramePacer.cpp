#include "platform/decklink/virtual/FramePacer.h"

#include "platform/clock/MonotonicClock.h"
#include "platform/decklink/virtual/VirtualCardState.h"

namespace platform::decklink {

void FramePacer::start(const ModeSpec& mode, std::function<void(int64_t)> period, std::function<void()> finished)
{
    MonotonicClock* clock = &currentClock();
    const int64_t startNs = clock->now();
    thread_ = std::jthread([this, &mode, clock, startNs, period = std::move(period),
                            finished = std::move(finished)](std::stop_token stop) {
        threadId_.store(std::this_thread::get_id());
        for (int64_t k = 0; clock->sleepUntil(startNs + mode.periodStartNs(k), stop); ++k)
            period(k);
        finished();
        threadId_.store(std::thread::id());
    });
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
