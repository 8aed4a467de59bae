#pragma once
// Under AddressSanitizer, looks for leaks now, at the end of the tests, instead of at exit: the
// application object still holds its display connection and the GL driver with its threads, which
// are torn down and unloaded afterwards; what the driver kept could no longer be named then.

#if defined(__SANITIZE_ADDRESS__)
#define KLV_LEAK_CHECK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KLV_LEAK_CHECK 1
#endif
#endif

#ifdef KLV_LEAK_CHECK
#include <sanitizer/lsan_interface.h>
#endif

inline void klvCheckLeaksAfterTests()
{
#ifdef KLV_LEAK_CHECK
    __lsan_do_leak_check();
#endif
}
