#include "platform/decklink/virtual/VirtualCardState.h"

#include "platform/clock/MonotonicClock.h"

namespace platform::decklink {
namespace {

std::atomic<MonotonicClock*> g_clock{nullptr};

} // namespace

MonotonicClock& currentClock()
{
    MonotonicClock* clock = g_clock.load(std::memory_order_acquire);
    return clock ? *clock : realTimeClock();
}

void setCurrentClock(MonotonicClock* clock)
{
    g_clock.store(clock, std::memory_order_release);
}

CardState::CardState(CardConfig config) : referenceLocked(config.referenceLocked), config_(std::move(config)) {}

const ModeSpec* CardState::findMode(DisplayModeId id) const
{
    for (const auto& m : config_.modes) {
        if (m.id == id)
            return &m;
    }
    return nullptr;
}

bool CardState::takeFailure(EnableCall call, Result* result)
{
    std::lock_guard lock(mutex_);
    Failure& f = failures_[int(call)];
    if (f.times == 0)
        return false;
    if (f.times > 0)
        --f.times;
    *result = f.result;
    return true;
}

void CardState::failEnable(EnableCall call, Result result, int times)
{
    std::lock_guard lock(mutex_);
    failures_[int(call)] = Failure{result, times};
}

void CardState::injectFault(InputFault fault, int64_t firstFrame, int64_t frameCount)
{
    std::lock_guard lock(mutex_);
    faults_.push_back(Fault{fault, firstFrame, frameCount});
}

bool CardState::hasFault(InputFault fault, int64_t frame)
{
    std::lock_guard lock(mutex_);
    for (const auto& f : faults_) {
        if (f.kind == fault && frame >= f.first && frame < f.first + f.count)
            return true;
    }
    return false;
}

OutputStats CardState::outputStats()
{
    std::lock_guard lock(mutex_);
    return output_;
}

InputStats CardState::inputStats()
{
    std::lock_guard lock(mutex_);
    return input_;
}

void CardState::updateOutput(const OutputStats& d)
{
    std::lock_guard lock(mutex_);
    output_.completed += d.completed;
    output_.late += d.late;
    output_.dropped += d.dropped;
    output_.flushed += d.flushed;
    output_.repeatedTicks += d.repeatedTicks;
    output_.audioFrames += d.audioFrames;
    output_.audioUnderrunFrames += d.audioUnderrunFrames;
    output_.audioCallbacks += d.audioCallbacks;
}

void CardState::updateInput(const InputStats& d)
{
    std::lock_guard lock(mutex_);
    input_.framesDelivered += d.framesDelivered;
    input_.framesSkipped += d.framesSkipped;
}

} // namespace platform::decklink
