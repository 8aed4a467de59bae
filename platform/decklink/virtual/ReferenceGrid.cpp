#include "platform/decklink/virtual/ReferenceGrid.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace platform::decklink {
namespace {

using GridKey = std::tuple<const MonotonicClock*, TimeValue, TimeScale>;

std::mutex& registryMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::map<GridKey, std::weak_ptr<ReferenceGrid>>& registry()
{
    static std::map<GridKey, std::weak_ptr<ReferenceGrid>> grids;
    return grids;
}

thread_local const ReferenceGrid* currentGrid = nullptr;

} // namespace

std::shared_ptr<ReferenceGrid> ReferenceGrid::of(const ModeSpec& mode, MonotonicClock& clock)
{
    std::lock_guard lock(registryMutex());
    auto& grids = registry();
    // Grids of clocks and rates no stream uses any more are gone; their entries go too.
    std::erase_if(grids, [](const auto& entry) { return entry.second.expired(); });
    std::weak_ptr<ReferenceGrid>& entry = grids[GridKey{&clock, mode.frameDuration, mode.timeScale}];
    std::shared_ptr<ReferenceGrid> grid = entry.lock();
    if (!grid) {
        grid.reset(new ReferenceGrid(mode, clock));
        entry = grid;
    }
    return grid;
}

const ReferenceGrid* ReferenceGrid::current()
{
    return currentGrid;
}

int64_t ReferenceGrid::nextPeriod(const ModeSpec& mode, int64_t nowNs)
{
    int64_t n = int64_t((__int128(nowNs) * mode.timeScale) / (__int128(mode.frameDuration) * 1'000'000'000));
    if (mode.periodStartNs(n) < nowNs)
        ++n;
    return n;
}

ReferenceGrid::ReferenceGrid(const ModeSpec& mode, MonotonicClock& clock) : mode_(mode), clock_(clock)
{
    round_.reserve(8);
}

ReferenceGrid::~ReferenceGrid()
{
    // The last owner may be the thread itself, on its way out: it touches nothing after this.
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();
        else
            thread_.join();
    }
}

std::shared_ptr<ReferenceGrid::Stream> ReferenceGrid::add(int64_t first, std::function<void(int64_t)> period,
                                                          std::function<void()> finished)
{
    auto stream = std::make_shared<Stream>();
    stream->period = std::move(period);
    stream->finished = std::move(finished);
    stream->first = first;
    std::lock_guard lock(mutex_);
    streams_.push_back(stream);
    if (!running_) {
        // A thread that ran out of streams has ended, or is about to without the lock.
        if (thread_.joinable())
            thread_.join();
        running_ = true;
        period_ = stream->first;
        thread_ = std::thread([this, self = shared_from_this()]() mutable { run(std::move(self)); });
    }
    return stream;
}

void ReferenceGrid::stop(const std::shared_ptr<Stream>& stream)
{
    std::unique_lock lock(mutex_);
    if (!stream->done) {
        stream->stopping = true;
        interrupt_.request_stop();
        if (onThread())
            return;
        finished_.wait(lock, [&] { return stream->done; });
    } else if (onThread()) {
        return;
    }
    joinIdleThread(lock);
}

void ReferenceGrid::reap(const std::shared_ptr<Stream>& stream)
{
    if (onThread())
        return;
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [&] { return stream->done || !stream->stopping; });
    joinIdleThread(lock);
}

void ReferenceGrid::joinIdleThread(std::unique_lock<std::mutex>& lock)
{
    // The thread ends with its last stream (it sets running_ in the same hold of the lock that
    // marks that stream done); whoever saw that stream end joins it, so no ended thread is left
    // unjoined while the grid lives on in a pacer.
    if (running_ || !thread_.joinable())
        return;
    std::thread ended = std::move(thread_);
    lock.unlock();
    ended.join();
    lock.lock();
}

bool ReferenceGrid::finished(const std::shared_ptr<Stream>& stream) const
{
    std::lock_guard lock(mutex_);
    return stream->done;
}

void ReferenceGrid::finishStopping(std::unique_lock<std::mutex>& lock)
{
    for (;;) {
        const auto it = std::find_if(streams_.begin(), streams_.end(), [](const auto& s) { return s->stopping; });
        if (it == streams_.end())
            return;
        const std::shared_ptr<Stream> stream = *it;
        streams_.erase(it);
        lock.unlock();
        stream->finished();
        lock.lock();
        stream->done = true;
        finished_.notify_all();
    }
}

bool ReferenceGrid::serveRound(std::unique_lock<std::mutex>& lock)
{
    // Streams added from inside a callback of this period are served in it too, as their own
    // thread would have been.
    round_.clear();
    for (const auto& s : streams_) {
        if (!s->stopping && s->first + s->served <= period_)
            round_.push_back(s);
    }
    if (round_.empty())
        return false;
    lock.unlock();
    for (const auto& s : round_) {
        for (; s->first + s->served <= period_; ++s->served) {
            {
                std::lock_guard check(mutex_);
                if (s->stopping)
                    break;
            }
            s->period(s->served);
        }
    }
    round_.clear();
    lock.lock();
    return true;
}

void ReferenceGrid::run(std::shared_ptr<ReferenceGrid> self)
{
    currentGrid = this;
    threadId_.store(std::this_thread::get_id());
    std::unique_lock lock(mutex_);
    for (;;) {
        finishStopping(lock);
        if (streams_.empty())
            break;
        const std::stop_token interrupted = interrupt_.get_token();
        const int64_t deadline = mode_.periodStartNs(period_);
        lock.unlock();
        // Deadlines are absolute, so a late wake-up catches up instead of drifting.
        const bool due = clock_.sleepUntil(deadline, interrupted);
        lock.lock();
        if (!due) {
            // Woken to end a stream at once: the same period is still ahead.
            interrupt_ = std::stop_source();
            continue;
        }
        while (serveRound(lock)) {
        }
        ++period_;
    }
    running_ = false;
    threadId_.store(std::thread::id());
    currentGrid = nullptr;
    lock.unlock();
    // Dropping the last reference ends the grid; its destructor lets this thread go.
    self.reset();
}

} // namespace platform::decklink
