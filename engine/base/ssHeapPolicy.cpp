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

void trimNow()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

// One sleeping thread for the whole process; several releases close together share one late pass.
// It is never destroyed: an engine closing while the process exits may still ask for it.
class LateTrim
{
public:
    void Ask()
    {
        std::lock_guard lock(mutex_);
        due_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(ssLateTrimMilliseconds);
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
            if (!pending_) {
                wake_.wait(lock);
                continue;
            }
            if (wake_.wait_until(lock, due_) == std::cv_status::timeout && std::chrono::steady_clock::now() >= due_) {
                pending_ = false;
                lock.unlock();
                trimNow();
                lock.lock();
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::chrono::steady_clock::time_point due_;
    bool pending_ = false;
    bool started_ = false;
};

} // namespace

void ssMapPictureSizedBlocks()
{
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, kMapThreshold);
#endif
}

void ssReturnFreedMemory()
{
    trimNow();
    static LateTrim* const late = new LateTrim;
    late->Ask();
}
