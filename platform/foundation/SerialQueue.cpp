#include "platform/foundation/SerialQueue.h"

#include "platform/foundation/Log.h"

#include <pthread.h>

namespace platform {
namespace {

thread_local SerialQueue* t_currentQueue = nullptr;

void nameThread(const std::string& label)
{
    // Linux limits thread names to 15 characters; keep the end, which is the specific part of
    // reverse-domain labels ("com.quenmark.kalvanto.comm" -> "vanto.comm" style tails).
    std::string name = label.size() > 15 ? label.substr(label.size() - 15) : label;
    pthread_setname_np(pthread_self(), name.c_str());
}

} // namespace

SerialQueue::SerialQueue(std::string label, OnDestroy onDestroy)
    : label_(std::move(label)), onDestroy_(onDestroy)
{
    thread_ = std::thread([this] { run(); });
}

SerialQueue::~SerialQueue()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        if (onDestroy_ == OnDestroy::Cancel)
            std::erase_if(tasks_, [](const Task& t) { return !t.waited; });
        delayed_.clear();
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id()) {
            // Destroyed by one of its own tasks: joining would deadlock.
            log("com.quenmark.platform", "queue", LogLevel::Fault,
                "serial queue '" + label_ + "' destroyed from its own thread; detaching");
            thread_.detach();
        } else {
            thread_.join();
        }
    }
}

void SerialQueue::async(std::function<void()> fn)
{
    {
        std::lock_guard lock(mutex_);
        if (stopping_)
            return;
        tasks_.push_back(Task {std::move(fn), false});
    }
    wake_.notify_one();
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
        std::lock_guard lock(mutex_);
        if (stopping_)
            return;
        tasks_.push_back(Task {[&] {
            try {
                fn();
            } catch (...) {
                error = std::current_exception();
            }
            std::lock_guard doneLock(doneMutex);
            done = true;
            doneCv.notify_one();
        }, true});
    }
    wake_.notify_one();
    std::unique_lock doneLock(doneMutex);
    doneCv.wait(doneLock, [&] { return done; });
    if (error)
        std::rethrow_exception(error);
}

std::uint64_t SerialQueue::after(int ms, std::function<void()> fn)
{
    const auto due = Clock::now() + std::chrono::milliseconds(std::max(ms, 0));
    std::uint64_t id = 0;
    {
        std::lock_guard lock(mutex_);
        if (stopping_)
            return 0;
        id = nextId_++;
        delayed_.emplace(std::make_pair(due, id), std::move(fn));
    }
    wake_.notify_one();
    return id;
}

bool SerialQueue::cancelAfter(std::uint64_t id)
{
    std::lock_guard lock(mutex_);
    for (auto it = delayed_.begin(); it != delayed_.end(); ++it) {
        if (it->first.second == id) {
            delayed_.erase(it);
            return true;
        }
    }
    return false;
}

bool SerialQueue::isCurrent() const { return t_currentQueue == this; }

SerialQueue* SerialQueue::current() { return t_currentQueue; }

void SerialQueue::runTask(std::function<void()>& fn)
{
    try {
        fn();
    } catch (const std::exception& e) {
        log("com.quenmark.platform", "queue", LogLevel::Error,
            "task on serial queue '" + label_ + "' threw: " + e.what());
    } catch (...) {
        log("com.quenmark.platform", "queue", LogLevel::Error,
            "task on serial queue '" + label_ + "' threw an unknown exception");
    }
}

void SerialQueue::run()
{
    nameThread(label_);
    t_currentQueue = this;
    std::unique_lock lock(mutex_);
    for (;;) {
        // Delayed tasks that are due join the FIFO in due order.
        const auto now = Clock::now();
        while (!delayed_.empty() && delayed_.begin()->first.first <= now) {
            tasks_.push_back(Task {std::move(delayed_.begin()->second), false});
            delayed_.erase(delayed_.begin());
        }
        if (!tasks_.empty()) {
            std::function<void()> fn = std::move(tasks_.front().fn);
            tasks_.pop_front();
            lock.unlock();
            runTask(fn);
            fn = nullptr; // captured state is released outside the lock as well
            lock.lock();
            continue;
        }
        if (stopping_)
            break;
        if (delayed_.empty())
            wake_.wait(lock);
        else
            wake_.wait_until(lock, delayed_.begin()->first.first);
    }
    t_currentQueue = nullptr;
}

} // namespace platform
