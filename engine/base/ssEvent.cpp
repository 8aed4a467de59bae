#include "engine/base/ssEvent.h"

#include "engine/base/ssMessage.h"
#include "engine/base/ssMutex.h"

#include <ctime>

namespace {

constexpr long kEmptyWaitSleepNanoseconds = 600000L;

timespec monotonicNow()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now;
}

} // namespace

ssEvent::ssEvent(const char* name)
    : name_(name ? name : "")
{
    ssMutexCreate(&mutex_, PTHREAD_MUTEX_NORMAL);

    pthread_condattr_t attributes;
    int result = pthread_condattr_init(&attributes);
    if (result == 0)
        result = pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    if (result == 0)
        result = pthread_cond_init(&condition_, &attributes);
    if (result != 0) {
        ssMessage(2, "Event %s cond_init error %d", name_.c_str(), result);
        pthread_cond_init(&condition_, nullptr);
    }
    pthread_condattr_destroy(&attributes);
}

ssEvent::~ssEvent()
{
    pthread_cond_destroy(&condition_);
    pthread_mutex_destroy(&mutex_);
}

void ssEvent::Signal()
{
    pthread_mutex_lock(&mutex_);
    count_.fetch_add(1, std::memory_order_relaxed);
    pthread_mutex_unlock(&mutex_);
    pthread_cond_signal(&condition_);
}

int ssEvent::Wait(int milliseconds)
{
    if (count_.load(std::memory_order_relaxed) == 0) {
        timespec pause{0, kEmptyWaitSleepNanoseconds};
        nanosleep(&pause, nullptr);
    }

    int result = pthread_mutex_lock(&mutex_);
    if (result != 0) {
        // Waiting on the condition without holding its mutex is undefined: give up instead.
        ssMessage(2, "mutex_lock failed %d", result);
        return result;
    }

    const int waitResult = ssWaitWithin(
        milliseconds, monotonicNow, [this] { return count_.load(std::memory_order_relaxed) > 0; },
        [this](const timespec& deadline) { return pthread_cond_timedwait(&condition_, &mutex_, &deadline); });

    // A signal that arrived together with the time-out is taken rather than left behind.
    if (count_.load(std::memory_order_relaxed) > 0) {
        count_.fetch_sub(1, std::memory_order_relaxed);
        result = 0;
    } else {
        result = waitResult;
    }
    pthread_mutex_unlock(&mutex_);
    return result;
}

int ssEvent::Drain()
{
    pthread_mutex_lock(&mutex_);
    int dropped = count_.exchange(0, std::memory_order_relaxed);
    pthread_mutex_unlock(&mutex_);
    return dropped;
}
