#include "engine/base/ssCriticalSection.h"

#include "engine/base/ssMutex.h"

ssCriticalSection::ssCriticalSection()
{
    ssMutexCreate(&mutex_, PTHREAD_MUTEX_RECURSIVE);
}

ssCriticalSection::~ssCriticalSection()
{
    pthread_mutex_destroy(&mutex_);
}

int ssCriticalSection::Lock()
{
    return pthread_mutex_lock(&mutex_);
}

int ssCriticalSection::Unlock()
{
    return pthread_mutex_unlock(&mutex_);
}
