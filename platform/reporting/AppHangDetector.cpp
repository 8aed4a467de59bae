#include "platform/reporting/AppHangDetector.h"

namespace platform::reporting {

struct AppHangDetector::Shared {
    std::mutex mutex;
    std::condition_variable cv;
    bool stop = false;
    int suspended = 0;
    std::uint64_t heartbeat = 0;     // the heartbeat being waited for
    bool answered = true;
    bool tainted = false;            // a suspension overlapped the current heartbeat
    bool awaitingAnswer = false;     // the detector waits for the answer of a hung heartbeat
    std::chrono::steady_clock::time_point answeredAt;
};

AppHangDetector::AppHangDetector(int thresholdMillis, Dispatcher toMainThread, HangBegan onHangBegan,
                                 HangEnded onHangEnded, int pollMillis)
    : thresholdMillis_(thresholdMillis > 0 ? thresholdMillis : 1),
      pollMillis_(pollMillis > 0 ? pollMillis : 1),
      toMainThread_(std::move(toMainThread)),
      onHangBegan_(std::move(onHangBegan)),
      onHangEnded_(std::move(onHangEnded)),
      shared_(std::make_shared<Shared>())
{
    thread_ = std::thread([this] { run(); });
}

AppHangDetector::~AppHangDetector()
{
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stop = true;
    }
    shared_->cv.notify_all();
    thread_.join();
}

void AppHangDetector::suspend()
{
    std::lock_guard lock(shared_->mutex);
    ++shared_->suspended;
    shared_->tainted = true;
}

void AppHangDetector::resume()
{
    std::lock_guard lock(shared_->mutex);
    if (shared_->suspended > 0)
        --shared_->suspended;
}

bool AppHangDetector::isSuspended() const
{
    std::lock_guard lock(shared_->mutex);
    return shared_->suspended > 0;
}

void AppHangDetector::run()
{
    using Clock = std::chrono::steady_clock;
    Shared& s = *shared_;
    std::unique_lock lock(s.mutex);
    Clock::time_point sentAt;
    bool pending = false; // a heartbeat went out and its answer has not been seen
    while (!s.stop) {
        // One wake a poll while the main thread answers: an answer wakes this thread only in a hang.
        s.cv.wait_for(lock, std::chrono::milliseconds(pollMillis_), [&] { return s.stop; });
        if (s.stop)
            break;
        if (pending && !s.answered) {
            if (Clock::now() - sentAt < std::chrono::milliseconds(thresholdMillis_))
                continue;
            // Unanswered past the threshold: the main thread hangs.
            pending = false;
            const bool reportable = !s.tainted && s.suspended == 0;
            s.awaitingAnswer = true;
            if (reportable) {
                lock.unlock();
                onHangBegan_();
                lock.lock();
            }
            s.cv.wait(lock, [&] { return s.stop || s.answered; });
            s.awaitingAnswer = false;
            const bool recovered = s.answered;
            const auto duration = std::chrono::duration_cast<std::chrono::milliseconds>(
                (recovered ? s.answeredAt : Clock::now()) - sentAt);
            const bool stillReportable = reportable && recovered && !s.tainted;
            if (reportable) {
                lock.unlock();
                onHangEnded_(duration, stillReportable);
                lock.lock();
            }
            continue;
        }
        pending = false;
        if (s.suspended > 0)
            continue;

        const std::uint64_t id = ++s.heartbeat;
        s.answered = false;
        s.tainted = false;
        sentAt = Clock::now();
        pending = true;
        lock.unlock();
        toMainThread_([weak = std::weak_ptr<Shared>(shared_), id] {
            if (auto shared = weak.lock()) {
                std::lock_guard guard(shared->mutex);
                if (shared->heartbeat == id) {
                    shared->answered = true;
                    shared->answeredAt = Clock::now();
                }
                if (shared->awaitingAnswer)
                    shared->cv.notify_all();
            }
        });
        lock.lock();
    }
}

} // namespace platform::reporting
