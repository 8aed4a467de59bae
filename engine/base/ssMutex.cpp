#include "engine/base/ssMutex.h"

#include "engine/base/ssMessage.h"

void ssMutexCreate(pthread_mutex_t* mutex, int type)
{
    pthread_mutexattr_t attributes;
    if (pthread_mutexattr_init(&attributes) != 0)
        ssMessage(2, "CriticalSection mutexattr_init error");
    if (pthread_mutexattr_settype(&attributes, type) != 0)
        ssMessage(2, "CriticalSection mutexattr_settype error");
    if (pthread_mutex_init(mutex, &attributes) != 0)
        ssMessage(2, "CriticalSection mutex_init error");
    if (pthread_mutexattr_destroy(&attributes) != 0)
        ssMessage(2, "CriticalSection mutexattr_destroy error");
}
