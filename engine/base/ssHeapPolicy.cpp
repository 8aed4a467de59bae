#include "engine/base/ssHeapPolicy.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib> // defines __GLIBC__ on the C library it names
#include <mutex>
#include <thread>

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

// One sleeping thread for the whole process, started by the first request. It is never
// destroyed: an engine closing while the process exits may still ask for it.
class SoonTrim
{
public:
    void Ask()
    {
        std::lock_guard lock(mutex_);
        due_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(ssSoonTrimMilliseconds);
        pending_ = true;
        if (!started_) {
            started_ = true;
            std::thread([this] { Run(); }).detach();
        }
        wake_.notify_all();
    }

private:
    void Run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return pending_; });
            // A later request moves the pass on.
            while (std::chrono::steady_clock::now() < due_)
                wake_.wait_until(lock, due_);
            pending_ = false;
            lock.unlock();
            ssReturnFreedMemory();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::chrono::steady_clock::time_point due_;
    bool pending_ = false;
    bool started_ = false;
};
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

void ssReturnFreedMemorySoon()
{
    static SoonTrim* const soon = new SoonTrim;
    soon->Ask();
}
