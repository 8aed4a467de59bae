#include "engine/base/ssHeapPolicy.h"

#include <cstdlib> // defines __GLIBC__ on the C library it names

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {
// Above the largest compressed 1080 frame (ProRes 4444 XQ is about 2 MB), below a 1080 picture of
// packed 4:2:2 (4,147,200 bytes).
constexpr int kMapThreshold = 3 << 20;
// A packet or two of free space kept at an arena's end, so a reader does not give pages back and
// fault them in again every frame.
constexpr int kTrimThreshold = 1 << 20;
} // namespace

void ssApplyHeapPolicy()
{
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, kMapThreshold);
    mallopt(M_TRIM_THRESHOLD, kTrimThreshold);
    mallopt(M_MXFAST, 0);
#endif
}

void ssReturnFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}
