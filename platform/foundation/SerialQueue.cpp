#include "platform/foundation/SerialQueue.h"

#include "platform/foundation/Log.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <pthread.h>

namespace platform {

struct SerialQueue::Core {
    using Clock = std::chrono::steady_clock;
    struct Task {
        std::function<void()> fn;
        bool waited = false; // a sync() caller waits for it: never cancelled
    };

    explicit Core(std::string label_, OnDestroy onDestroy_) : label(std::move(label_)), onDestroy(onDestroy_) {}

    const std::string label;
    const OnDestroy onDestroy;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Task> tasks;
    // Delayed tasks keyed by (due time, id): ids keep equal due times in call order.
    std::map<std::pair<Clock::time_point, std::uint64_t>, std::function<void()>> delayed;
    std::uint64_t nextId = 1;
    bool stopping = false;
    std::atomic<SerialQueue*> owner; // null once the object is gone

    void run();
    void runTask(std::function<void()>& fn);
};

namespace {

// The core of the queue whose thread this is (an identity: only members look inside).
thread_local void* t_currentCore = nullptr;

void nameThread(const std::string& label)
{
    // Linux limits thread names to 15 characters; keep the end, which is the specific part of
    // reverse-domain labels ("com.quenmark.kalvanto.comm" -> "vanto.comm" style tails).
    std::string name = label.size() > 15 ? label.substr(label.size() - 15) : label;
    pthread_setname_np(pthread_self(), name.c_str());
}

} // namespace

SerialQueue::SerialQueue(std::string label, OnDestroy onDestroy)
    : label_(label), core_(std::make_shared<Core>(std::move(label), onDestroy))
{
    core_->owner = this;
    // The thread keeps the core alive for as long as it runs.
    thread_ = std::thread([core = core_] { core->run(); });
}

SerialQueue::~SerialQueue()
{
    {
        std::lock_guard lock(core_->mutex);
        core_->stopping = true;
        core_->owner = nullptr;
        if (core_->onDestroy == OnDestroy::Cancel)
            std::erase_if(core_->tasks, [](const Core::Task& t) { return !t.waited; });
        core_->delayed.clear();
    }
    core_->wake.notify_all();
    if (thread_.get_id() == std::this_thread::get_id())
        thread_.detach(); // destroyed by its own task: the thread winds down by itself
    else
        thread_.join();
}

void SerialQueue::async(std::function<void()> fn)
{
    {
        std::lock_guard lock(core_->mutex);
        if (core_->stopping)
            return;
        core_->tasks.push_back(Core::Task {std::move(fn), false});
    }
    core_->wake.notify_one();
}

void SerialQueue::sync(const std::function<void()>& fn)
{
    if (isCurrent()) {
        fn();
        return;
    }
    std::mutex doneMutex;
    std::condition_variable doneCv;
    bool done = false;
    std::exception_ptr error;
    {
        std::lock_guard lock(core_->mutex);
        if (core_->stopping)
            return;
        core_->tasks.push_back(Core::Task {[&] {
                                               try {
                                                   fn();
                                               } catch (...) {
                                                   error = std::current_exception();
                                               }
                                               std::lock_guard doneLock(doneMutex);
                                               done = true;
                                               doneCv.notify_one();
                                           },
                                           true});
    }
    core_->wake.notify_one();
    std::unique_lock doneLock(doneMutex);
    doneCv.wait(doneLock, [&] { return done; });
    if (error)
        std::rethrow_exception(error);
}

std::uint64_t SerialQueue::after(int ms, std::function<void()> fn)
{
    const auto due = Core::Clock::now() + std::chrono::milliseconds(std::max(ms, 0));
    std::uint64_t id = 0;
    {
        std::lock_guard lock(core_->mutex);
        if (core_->stopping)
            return 0;
        id = core_->nextId++;
        core_->delayed.emplace(std::make_pair(due, id), std::move(fn));
    }
    core_->wake.notify_one();
    return id;
}

bool SerialQueue::cancelAfter(std::uint64_t id)
{
    std::lock_guard lock(core_->mutex);
    for (auto it = core_->delayed.begin(); it != core_->delayed.end(); ++it) {
        if (it->first.second == id) {
            core_->delayed.erase(it);
            return true;
        }
    }
    return false;
}

bool SerialQueue::isCurrent() const { return t_currentCore == core_.get(); }

SerialQueue* SerialQueue::current()
{
    return t_currentCore ? static_cast<Core*>(t_currentCore)->owner.load() : nullptr;
}

void SerialQueue::Core::runTask(std::function<void()>& fn)
{
    try {
        fn();
    } catch (const std::exception& e) {
        log("com.quenmark.platform", "queue", LogLevel::Error,
            "task on serial queue '" + label + "' threw: " + e.what());
    } catch (...) {
        log("com.quenmark.platform", "queue", LogLevel::Error,
            "task on serial queue '" + label + "' threw an unknown exception");
    }
}

void SerialQueue::Core::run()
{
    nameThread(label);
    t_currentCore = this;
    std::unique_lock lock(mutex);
    for (;;) {
        // Delayed tasks that are due join the FIFO in due order.
        const auto now = Clock::now();
        while (!delayed.empty() && delayed.begin()->first.first <= now) {
            tasks.push_back(Task {std::move(delayed.begin()->second), false});
            delayed.erase(delayed.begin());
        }
        if (!tasks.empty()) {
            std::function<void()> fn = std::move(tasks.front().fn);
            tasks.pop_front();
            lock.unlock();
            runTask(fn);
            fn = nullptr; // captured state is released outside the lock as well
            lock.lock();
            continue;
        }
        if (stopping)
            break;
        if (delayed.empty())
            wake.wait(lock);
        else
            wake.wait_until(lock, delayed.begin()->first.first);
    }
    t_currentCore = nullptr;
}

} // namespace platform
