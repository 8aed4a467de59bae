#pragma once

#include <pthread.h>

// Recursive lock: the owning thread may take it again.
class ssCriticalSection {
public:
    ssCriticalSection();
    ~ssCriticalSection();
    ssCriticalSection(const ssCriticalSection&) = delete;
    ssCriticalSection& operator=(const ssCriticalSection&) = delete;

    // Both return the POSIX result, 0 on success.
    int Lock();
    int Unlock();

private:
    pthread_mutex_t mutex_;
};
