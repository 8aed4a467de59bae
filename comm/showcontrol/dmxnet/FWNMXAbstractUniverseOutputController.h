#pragma once
// Decides when a universe's frame goes out: on each of the three ticks after the frame changed,
// then whenever more than the heartbeat interval (2 s) has passed since the last send. It holds
// no timer and no thread; the owner ticks it at the rate it chooses. Times are in the host's
// absolute-time units (nanoseconds of the monotonic clock here), read through an injectable
// clock. Not thread-safe: tick and set the frame from one thread or under the owner's lock.
#include <QByteArray>

#include <cstdint>
#include <functional>
#include <optional>

class FWNMXAbstractUniverseOutputController {
public:
    using Clock = std::function<std::uint64_t()>;
    static constexpr unsigned kFramesToSendOnChange = 3;

    FWNMXAbstractUniverseOutputController();
    virtual ~FWNMXAbstractUniverseOutputController() = default;

    // The monotonic clock in nanoseconds.
    static std::uint64_t absoluteTime();
    // 2 s in absolute-time units.
    static std::uint64_t defaultHeartbeatInterval();
    // Replaces the clock tick() reads (an empty one restores absoluteTime).
    void setClock(Clock clock) { clock_ = std::move(clock); }

    void tick();
    void tick(std::uint64_t time);
    bool shouldSendAtTime(std::uint64_t time) const;
    unsigned framesToSendOnChange() const { return kFramesToSendOnChange; }
    // Sends DMX(); does nothing here.
    virtual void send() {}

    const std::optional<QByteArray>& DMX() const { return dmx_; }
    void setDMX(const QByteArray& dmx) { dmx_ = dmx; }
    const std::optional<QByteArray>& lastDMX() const { return lastDMX_; }
    bool sendsEveryTick() const { return sendsEveryTick_; }
    void setSendsEveryTick(bool every) { sendsEveryTick_ = every; }
    std::uint64_t lastSend() const { return lastSend_; }
    std::uint64_t heartbeatInterval() const { return heartbeatInterval_; }
    unsigned sendCount() const { return sendCount_; }

private:
    std::optional<QByteArray> lastDMX_;
    unsigned sendCount_ = 0;
    std::uint64_t lastSend_ = 0;
    std::uint64_t heartbeatInterval_;
    bool sendsEveryTick_ = false;
    std::optional<QByteArray> dmx_;
    Clock clock_;
};
