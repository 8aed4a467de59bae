#pragma once

#include <pthread.h>

// Creates a mutex of the given type (PTHREAD_MUTEX_RECURSIVE or PTHREAD_MUTEX_NORMAL); each failing
// step is logged and creation goes on, as the engine's locks expect. Shared by ssCriticalSection
// and ssEvent.
void ssMutexCreate(pthread_mutex_t* mutex, int type);
