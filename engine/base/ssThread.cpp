#include "engine/base/ssThread.h"

#include "engine/base/ssMessage.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <sched.h>
#include <unistd.h>

namespace {

constexpr int kHighestTimeSharingPriority = 50;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr size_t kStackFloor = 4 * ssMinimumThreadStackSize;
#else
constexpr size_t kStackFloor = ssMinimumThreadStackSize;
#endif

void logDefaultSchedulingOnce(const char* reason)
{
    static std::atomic<bool> logged{false};
    if (!logged.exchange(true))
        ssMessage(2, "Real-time scheduling unavailable (%s): engine threads use the default policy",
                  reason);
}

bool realTimeDisabled()
{
    const char* value = getenv("KLV_NO_RT");
    return value && *value && !(value[0] == '0' && value[1] == '\0');
}

size_t stackSizeFor(int requested)
{
    size_t size = std::max(requested > 0 ? static_cast<size_t>(requested) : 0, kStackFloor);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pageSize > 0) {
        const size_t page = static_cast<size_t>(pageSize);
        size = (size + page - 1) / page * page;
    }
    return size;
}

// Puts the explicit policy and priority for the engine priority into the attributes.
int setExplicitScheduling(pthread_attr_t* attributes, int priority)
{
    int policy = SCHED_OTHER;
    sched_param parameter{};
    if (priority > kHighestTimeSharingPriority) {
        policy = SCHED_RR;
        parameter.sched_priority = std::clamp(priority, sched_get_priority_min(SCHED_RR),
                                              sched_get_priority_max(SCHED_RR));
    }
    int result = pthread_attr_setinheritsched(attributes, PTHREAD_EXPLICIT_SCHED);
    if (result == 0)
        result = pthread_attr_setschedpolicy(attributes, policy);
    if (result == 0)
        result = pthread_attr_setschedparam(attributes, &parameter);
    return result;
}

} // namespace

ssThread::~ssThread()
{
    // A thread nobody joined keeps running on its own rather than leaking its handle.
    Detach();
}

int ssThread::Create(int priority, void* argument, StartRoutine start, int stackSize)
{
    if (state_ == State::Joinable) {
        ssMessage(2, "Error - CreateThread %d", EBUSY);
        return EBUSY;
    }

    pthread_attr_t attributes;
    int result = pthread_attr_init(&attributes);
    if (result != 0) {
        ssMessage(2, "Error - Attr Init %d", result);
        return result;
    }
    result = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_JOINABLE);
    if (result != 0)
        ssMessage(2, "Error - SetDetachState %d", result);
    result = pthread_attr_setstacksize(&attributes, stackSizeFor(stackSize));
    if (result != 0)
        ssMessage(2, "Error - SetStackSize %d", result);

    bool explicitScheduling = true;
    if (priority > kHighestTimeSharingPriority && realTimeDisabled()) {
        logDefaultSchedulingOnce("KLV_NO_RT is set");
        explicitScheduling = false;
    }
    if (explicitScheduling) {
        result = setExplicitScheduling(&attributes, priority);
        if (result != 0)
            ssMessage(2, "Error - SetSchedParam %d", result);
    }

    result = pthread_create(&thread_, &attributes, start, argument);
    if (result == EPERM && explicitScheduling) {
        // No CAP_SYS_NICE or RLIMIT_RTPRIO: run with what the creating thread has.
        logDefaultSchedulingOnce("not permitted");
        pthread_attr_setinheritsched(&attributes, PTHREAD_INHERIT_SCHED);
        result = pthread_create(&thread_, &attributes, start, argument);
    }
    if (result != 0)
        ssMessage(2, "Error - CreateThread %d", result);
    else
        state_ = State::Joinable;

    pthread_attr_destroy(&attributes);
    return result;
}

int ssThread::Join()
{
    if (state_ != State::Joinable)
        return 0;
    int result = pthread_join(thread_, nullptr);
    if (result != 0) {
        ssMessage(2, "Fatal error waiting for thread to exit %d", result);
        result = pthread_join(thread_, nullptr);
    }
    if (result == 0)
        state_ = State::Joined;
    return result;
}

int ssThread::Detach()
{
    if (state_ != State::Joinable)
        return 0;
    int result = pthread_detach(thread_);
    if (result == 0)
        state_ = State::Detached;
    return result;
}
