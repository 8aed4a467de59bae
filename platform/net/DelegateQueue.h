#pragma once
// A serial queue with a Qt event loop: one thread on which a communicator's sockets live and
// their callbacks run, in order. Work is handed over through a queue of our own (under a mutex)
// rather than captured in Qt events, so every hand-off is a visible synchronisation for thread
// checkers as well.
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>

class QThread;

namespace platform::net {

class DelegateQueue;

namespace detail {
// The queue's object on its thread; drains the work queue.
class DelegateQueueContext : public QObject {
    Q_OBJECT
public:
    explicit DelegateQueueContext(DelegateQueue* queue) : queue_(queue) {}
    Q_INVOKABLE void drain();

private:
    DelegateQueue* queue_;
};
} // namespace detail

class DelegateQueue {
public:
    // Work items run per turn of the event loop before socket events are served again.
    static constexpr int kBatch = 64;

    explicit DelegateQueue(const QString& label);
    // Joins the thread (see shutdown). Never destroy a queue from its own thread.
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

    // Runs `last` on the queue's thread, stops the loop and joins the thread; objects still living
    // there are deleted by their deferred deletions before the thread ends. Idempotent.
    void shutdown(const std::function<void()>& last = {});

private:
    friend class detail::DelegateQueueContext;
    struct Item {
        bool hasContext = false;
        QPointer<QObject> context;
        std::function<void()> fn;
    };
    void enqueue(Item item);
    void drain();
    void waitServingMain(const std::function<bool()>& done);

    QString label_;
    QThread* thread_ = nullptr;
    detail::DelegateQueueContext* context_ = nullptr;
    std::atomic<bool> stopped_{false};
    std::mutex mutex_;
    std::deque<Item> items_;
    bool drainPosted_ = false;
};

} // namespace platform::net
