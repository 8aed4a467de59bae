#include "engine/base/ssHeapPolicy.h"

#include <cstdlib> // defines __GLIBC__ on the C library it names

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {
// Above the largest compressed 1080 frame (ProRes 4444 XQ is about 2 MB), below a 1080 picture of
// packed 4:2:2 (4,147,200 bytes).
constexpr int kMapThreshold = 3 << 20;
} // namespace

void ssMapPictureSizedBlocks()
{
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, kMapThreshold);
#endif
}

void ssReturnFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}
