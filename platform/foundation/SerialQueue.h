#pragma once
// A serial work queue on one dedicated thread: tasks run one at a time, in FIFO order.
// Plain C++ (no Qt event loop involved), so it is usable from engine-side code as well.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>

namespace platform {

class SerialQueue {
public:
    // What happens to work still queued when the queue is destroyed.
    enum class OnDestroy {
        Drain,  // every task already queued with async/sync runs first; pending after() tasks are dropped
        Cancel, // the running task and sync() calls already waiting finish; nothing else runs
    };

    explicit SerialQueue(std::string label, OnDestroy onDestroy = OnDestroy::Drain);
    // Joins the thread. Destroyed by one of its own tasks, it cannot wait for itself: the thread
    // then finishes on its own (draining or cancelling as configured) and exits.
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& label() const { return label_; }

    // Queues fn. Dropped when the queue is being destroyed. An exception escaping a task is
    // logged and swallowed; the queue carries on.
    void async(std::function<void()> fn);

    // Runs fn on the queue and waits for it. Called from inside this queue, fn runs inline
    // (a reentrant sync would otherwise deadlock). An exception thrown by fn is rethrown here.
    // Not run (returns at once) once destruction has begun.
    void sync(const std::function<void()>& fn);

    // sync that hands back fn's result.
    template <class F>
    auto syncResult(F&& fn) -> std::invoke_result_t<F&>
    {
        using R = std::invoke_result_t<F&>;
        if constexpr (std::is_void_v<R>) {
            sync([&] { fn(); });
        } else {
            std::optional<R> result;
            sync([&] { result.emplace(fn()); });
            return std::move(*result);
        }
    }

    // Queues fn to run after ms milliseconds (steady clock). Returns an id for cancelAfter.
    std::uint64_t after(int ms, std::function<void()> fn);
    // Cancels a pending after() task. Returns false when it already ran or was unknown.
    bool cancelAfter(std::uint64_t id);

    // True on this queue's thread (including while a task runs inline through a reentrant sync).
    bool isCurrent() const;
    // The queue whose thread is calling, or nullptr.
    static SerialQueue* current();

private:
    struct Core; // shared with the thread, which may outlive the object (see the destructor)

    std::string label_;
    std::shared_ptr<Core> core_;
    std::thread thread_;
};

} // namespace platform
