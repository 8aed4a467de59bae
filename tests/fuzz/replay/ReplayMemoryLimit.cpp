#include "tests/fuzz/replay/ReplayMemoryLimit.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KLV_REPLAY_SANITIZER_HOOKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KLV_REPLAY_SANITIZER_HOOKS 1
#endif
#endif

#ifdef KLV_REPLAY_SANITIZER_HOOKS
// Every sanitizer runtime exports this, but GCC ships no header declaring it.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, std::size_t),
                                                         void (*free_hook)(const volatile void*));
#endif

namespace {

std::atomic<std::size_t> limit{0};

void check(std::size_t size)
{
    const std::size_t bytes = limit.load(std::memory_order_relaxed);
    if (bytes == 0 || size <= bytes)
        return;
    // Nothing here may allocate.
    static const char message[] = "==fuzzreplay== out-of-memory: one allocation exceeds the malloc limit\n";
    [[maybe_unused]] const ssize_t written = ::write(2, message, sizeof message - 1);
    std::abort();
}

#ifdef KLV_REPLAY_SANITIZER_HOOKS
// The sanitizer's allocator already owns malloc: its hook sees every allocation before the
// memory is touched.
void onMalloc(const volatile void*, std::size_t size)
{
    check(size);
}
#endif

} // namespace

#ifndef KLV_REPLAY_SANITIZER_HOOKS
// Without a sanitizer the C library's allocator is wrapped. operator new comes here too.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);

void* malloc(std::size_t size) noexcept
{
    check(size);
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) noexcept
{
    if (size != 0 && count > std::size_t(-1) / size)
        return __libc_calloc(count, size); // fails by itself
    check(count * size);
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, std::size_t size) noexcept
{
    check(size);
    return __libc_realloc(pointer, size);
}
}
#endif

namespace fuzzreplay {

void setMallocLimit(std::size_t bytes)
{
#ifdef KLV_REPLAY_SANITIZER_HOOKS
    static const bool installed = __sanitizer_install_malloc_and_free_hooks(onMalloc, nullptr) != 0;
    (void)installed;
#endif
    limit.store(bytes, std::memory_order_relaxed);
}

} // namespace fuzzreplay
