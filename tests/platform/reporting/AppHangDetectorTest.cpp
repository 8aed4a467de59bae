#include "platform/reporting/AppHangDetector.h"
#include "tests/platform/reporting/support/LoopbackHttpServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

using namespace platform::reporting;
using namespace std::chrono_literals;
using testsupport::eventually;

namespace {

// A stand-in main thread: runs queued functions one after another.
class FakeMainThread {
public:
    FakeMainThread() : thread_([this] { run(); }) {}
    ~FakeMainThread()
    {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    void post(std::function<void()> fn)
    {
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(std::move(fn));
        }
        cv_.notify_all();
    }
    AppHangDetector::Dispatcher dispatcher()
    {
        return [this](std::function<void()> fn) { post(std::move(fn)); };
    }
    // Blocks the thread for d and waits until that is over.
    void block(std::chrono::milliseconds d)
    {
        std::atomic<bool> done {false};
        post([&] {
            std::this_thread::sleep_for(d);
            done = true;
        });
        eventually([&] { return done.load(); }, 60000);
    }

private:
    void run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            cv_.wait(lock, [&] { return stop_ || !queue_.empty(); });
            if (stop_)
                return;
            auto fn = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            fn();
            lock.lock();
        }
    }
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> queue_;
    bool stop_ = false;
    std::thread thread_;
};

struct HangLog {
    std::mutex mutex;
    int began = 0;
    std::vector<std::pair<std::chrono::milliseconds, bool>> ended;
    int reported()
    {
        std::lock_guard lock(mutex);
        int n = 0;
        for (const auto& e : ended)
            n += e.second ? 1 : 0;
        return n;
    }
};

std::unique_ptr<AppHangDetector> watch(AppHangDetector::Dispatcher dispatcher, HangLog& log, int thresholdMillis)
{
    return std::make_unique<AppHangDetector>(
        thresholdMillis, std::move(dispatcher),
        [&] {
            std::lock_guard lock(log.mutex);
            ++log.began;
        },
        [&](std::chrono::milliseconds d, bool reportable) {
            std::lock_guard lock(log.mutex);
            log.ended.emplace_back(d, reportable);
        },
        10);
}

} // namespace

// Scaled down from the application's 2 s: a block of three thresholds is one hang, a block of
// a sixth of one is none.
TEST(AppHangDetector, ALongBlockIsOneHangAndAShortOneNone)
{
    FakeMainThread main;
    HangLog log;
    auto detector = watch(main.dispatcher(), log, 300);
    main.block(50ms);
    main.block(50ms);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(log.reported(), 0);

    main.block(900ms);
    ASSERT_TRUE(eventually([&] { return log.reported() == 1; }));
    std::this_thread::sleep_for(100ms);
    std::lock_guard lock(log.mutex);
    EXPECT_EQ(log.began, 1);
    ASSERT_EQ(log.ended.size(), 1u);
    EXPECT_GE(log.ended[0].first, 300ms);
    EXPECT_LE(log.ended[0].first, 5000ms);
}

TEST(AppHangDetector, SuspendedBlocksAreNotHangs)
{
    FakeMainThread main;
    HangLog log;
    auto detector = watch(main.dispatcher(), log, 200);
    detector->suspend();
    EXPECT_TRUE(detector->isSuspended());
    main.block(600ms);
    detector->resume();
    EXPECT_FALSE(detector->isSuspended());
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(log.reported(), 0);

    // Suspended while a heartbeat is already waiting: that one does not count either.
    std::atomic<bool> done {false};
    main.post([&] {
        std::this_thread::sleep_for(100ms);
        detector->suspend();
        std::this_thread::sleep_for(500ms);
        detector->resume();
        done = true;
    });
    ASSERT_TRUE(eventually([&] { return done.load(); }));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(log.reported(), 0);
}

TEST(AppHangDetector, StoppingDuringAHangEndsItUnreported)
{
    HangLog log;
    {
        auto detector = watch([](std::function<void()>) {}, log, 50); // a main thread that never answers
        ASSERT_TRUE(eventually([&] {
            std::lock_guard lock(log.mutex);
            return log.began == 1;
        }));
    }
    ASSERT_EQ(log.ended.size(), 1u);
    EXPECT_FALSE(log.ended[0].second);
}
