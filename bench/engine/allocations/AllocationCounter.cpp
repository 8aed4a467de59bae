// Counts every heap allocation of the process (malloc, calloc, realloc and the aligned forms,
// so operator new and FFmpeg's av_malloc too) by standing in for the C library's allocator
// entry points and forwarding to its own implementations. Linked into a benchmark it counts
// that process; built as a preloadable library it counts another program and, at exit, writes
// the total to the file named by KLV_ALLOCATION_COUNT_FILE.
#include "bench/engine/allocations/AllocationCounter.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* block);
}

namespace {
std::atomic<uint64_t> allocations{0};

inline void count()
{
    allocations.fetch_add(1, std::memory_order_relaxed);
}
} // namespace

uint64_t klvAllocationCount()
{
    return allocations.load(std::memory_order_relaxed);
}

extern "C" {

void* malloc(size_t size)
{
    count();
    return __libc_malloc(size);
}

void* calloc(size_t n, size_t size)
{
    count();
    return __libc_calloc(n, size);
}

void* realloc(void* block, size_t size)
{
    count();
    return __libc_realloc(block, size);
}

void* memalign(size_t alignment, size_t size)
{
    count();
    return __libc_memalign(alignment, size);
}

void* aligned_alloc(size_t alignment, size_t size)
{
    count();
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** block, size_t alignment, size_t size)
{
    count();
    void* p = __libc_memalign(alignment, size);
    if (!p)
        return ENOMEM;
    *block = p;
    return 0;
}

void free(void* block)
{
    __libc_free(block);
}

} // extern "C"

#ifdef KLV_ALLOCATION_COUNT_AT_EXIT
namespace {
// Written without the heap: the count, as decimal text, into the named file.
__attribute__((destructor)) void writeCountAtExit()
{
    const char* path = std::getenv("KLV_ALLOCATION_COUNT_FILE");
    if (!path)
        return;
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%llu\n", static_cast<unsigned long long>(klvAllocationCount()));
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    if (::write(fd, text, size_t(length)) < 0) {
        // Nothing to do about it at exit.
    }
    ::close(fd);
}
} // namespace
#endif
