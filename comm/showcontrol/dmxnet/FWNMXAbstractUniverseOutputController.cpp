#include "comm/showcontrol/dmxnet/FWNMXAbstractUniverseOutputController.h"

#include <chrono>

FWNMXAbstractUniverseOutputController::FWNMXAbstractUniverseOutputController()
    : heartbeatInterval_(defaultHeartbeatInterval())
{
}

std::uint64_t FWNMXAbstractUniverseOutputController::absoluteTime()
{
    return std::uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                             std::chrono::steady_clock::now().time_since_epoch()).count());
}

std::uint64_t FWNMXAbstractUniverseOutputController::defaultHeartbeatInterval()
{
    // The monotonic clock counts nanoseconds: the timebase is 1/1.
    return 2'000'000'000ull;
}

void FWNMXAbstractUniverseOutputController::tick()
{
    tick(clock_ ? clock_() : absoluteTime());
}

void FWNMXAbstractUniverseOutputController::tick(std::uint64_t time)
{
    // A missing frame never equals anything.
    if (!dmx_ || !lastDMX_ || *dmx_ != *lastDMX_)
        sendCount_ = 0;
    if (!sendsEveryTick_ && !shouldSendAtTime(time))
        return;
    send();
    lastSend_ = time;
    ++sendCount_;
    lastDMX_ = dmx_;
}

bool FWNMXAbstractUniverseOutputController::shouldSendAtTime(std::uint64_t time) const
{
    return sendCount_ < kFramesToSendOnChange || (time >= heartbeatInterval_ && lastSend_ < time - heartbeatInterval_);
}
