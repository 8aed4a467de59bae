#pragma once

#include <cstddef>
#include <pthread.h>

// The stack size the engine asks for its worker threads.
inline constexpr int ssEngineThreadStackSize = 0x20020;

// Every engine thread gets at least this much stack: 0x20020 bytes is too little for sanitizer
// builds and for deep library calls.
inline constexpr size_t ssMinimumThreadStackSize = size_t{1} << 20;

// One joinable POSIX thread with a priority and a stack size.
//
// Priorities up to 50 run under the time-sharing policy (SCHED_OTHER, priority 0); 51 and above
// ask for round robin (SCHED_RR) at that priority, clamped to what the system allows. When the
// process may not use real-time scheduling, or KLV_NO_RT is set, the thread runs with the default
// (inherited) scheduling instead; this is logged once per process and never fails the creation.
class ssThread {
public:
    using StartRoutine = void* (*)(void*);

    ssThread() = default;
    ~ssThread();
    ssThread(const ssThread&) = delete;
    ssThread& operator=(const ssThread&) = delete;

    // Returns 0 or the POSIX error; refuses (EBUSY) while a thread it created was neither joined
    // nor detached.
    int Create(int priority, void* argument, StartRoutine start, int stackSize);

    // Waits for the thread to end. A no-op (0) when there is no thread left to join.
    int Join();

    // Lets the thread run on unjoined. A no-op (0) when it was joined, detached or never created.
    int Detach();

    bool IsJoinable() const { return state_ == State::Joinable; }

private:
    enum class State { None, Joinable, Joined, Detached };

    pthread_t thread_{};
    State state_ = State::None;
};
