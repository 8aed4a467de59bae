#include "platform/decklink/virtual/FramePacer.h"

#include "platform/clock/MonotonicClock.h"
#include "platform/decklink/virtual/VirtualCardState.h"

namespace platform::decklink {

void FramePacer::start(const ModeSpec& mode, std::function<void(int64_t)> period, std::function<void()> finished)
{
    grid_ = ReferenceGrid::of(mode, currentClock());
    gridId_.store(grid_.get());
    // Known before the first period can be called.
    const int64_t first = nextReferencePeriod(mode, grid_->clock().now());
    firstPeriod_.store(first);
    stream_ = grid_->add(first, std::move(period), std::move(finished));
}

void FramePacer::stop()
{
    if (stream_)
        grid_->stop(stream_);
}

void FramePacer::reap()
{
    if (stream_)
        grid_->reap(stream_);
}

} // namespace platform::decklink
