#pragma once
// A serial queue with a Qt event loop: one thread on which a communicator's sockets live and
// their callbacks run, in order. Work is handed over through a queue of our own (under a mutex)
// rather than captured in Qt events, so every hand-off is a visible synchronisation for thread
// checkers as well.
//
// Whoever owns a queue may let it go on any thread, its own included: a queue destroyed inside
// one of its own callbacks (its owner's last reference dropped there) stops its loop and leaves
// the join of its thread to the main thread, once the thread has ended.
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>

class QThread;

namespace platform::net {

namespace detail {
// The queue's object on its thread and the work waiting for it. It outlives the queue that made
// it when that queue is destroyed on its own thread: a drain may still be on the stack then.
class DelegateQueueContext : public QObject {
    Q_OBJECT
public:
    struct Item {
        bool hasContext = false;
        QPointer<QObject> context;
        std::function<void()> fn;
    };
    // False once the queue has stopped taking work (unless `force`, which the last item uses).
    bool enqueue(Item item, bool force = false);
    // Stops taking work; answers whether it had already stopped.
    bool stop() { return stopped_.exchange(true); }
    bool stopped() const { return stopped_.load(); }
    // Forgets what is waiting without running it.
    void drop();
    Q_INVOKABLE void drain();

private:
    std::atomic<bool> stopped_{false};
    std::mutex mutex_;
    std::deque<Item> items_;
    bool drainPosted_ = false;
};
} // namespace detail

class DelegateQueue {
public:
    // Work items run per turn of the event loop before socket events are served again.
    static constexpr int kBatch = 64;

    explicit DelegateQueue(const QString& label);
    // Shuts down (see shutdown) and joins the thread. On the queue's own thread, inside one of its
    // callbacks, the thread cannot join itself: the main thread joins and deletes it once it has
    // ended.
    ~DelegateQueue();
    DelegateQueue(const DelegateQueue&) = delete;
    DelegateQueue& operator=(const DelegateQueue&) = delete;

    const QString& label() const { return label_; }
    QThread* thread() const { return thread_; }
    // An object living on the queue's thread.
    QObject* context() const;
    bool isCurrent() const;

    // Runs fn on the queue's thread after everything queued before it. Dropped after shutdown.
    void async(std::function<void()> fn);
    // The same, dropped when context (an object of the queue's thread) is deleted first.
    void post(QObject* context, std::function<void()> fn);
    // Runs fn on the queue's thread and waits for it (directly when already on it). While it
    // waits on the main thread it keeps serving queued calls to the main thread, so a callback
    // that waits for the main thread cannot deadlock it. Answers false after shutdown.
    bool sync(const std::function<void()>& fn);

    // Runs `last` on the queue's thread and stops the loop; objects still living there are
    // deleted by their deferred deletions before the thread ends. From another thread, `last`
    // runs after the work queued before it and the call joins the thread. On the queue's own
    // thread (inside one of its callbacks) `last` runs at once and the work still waiting is
    // dropped: its owner is on its way out. Either way `last` must not delete an object whose
    // callback may be on the stack; sockets dispose() of themselves. Idempotent.
    void shutdown(const std::function<void()>& last = {});

private:
    void waitServingMain(const std::function<bool()>& done);
    void join();

    QString label_;
    QThread* thread_ = nullptr;
    detail::DelegateQueueContext* context_ = nullptr;
};

} // namespace platform::net
