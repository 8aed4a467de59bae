#pragma once
// A serial queue with a Qt event loop: one thread on which a communicator's sockets live and
// their callbacks run, in order.
#include <QString>

#include <atomic>

#include <functional>

class QObject;
class QThread;

namespace platform::net {

class DelegateQueue {
public:
    explicit DelegateQueue(const QString& label);
    // Joins the thread (see shutdown).
    ~DelegateQueue();
    DelegateQueue(const DelegateQueue&) = delete;
    DelegateQueue& operator=(const DelegateQueue&) = delete;

    const QString& label() const { return label_; }
    QThread* thread() const { return thread_; }
    // An object living on the queue's thread, the context of queued calls.
    QObject* context() const { return context_; }
    bool isCurrent() const;

    // Runs fn on the queue's thread after everything queued before it. Dropped after shutdown.
    void async(std::function<void()> fn);
    // Runs fn on the queue's thread and waits for it (directly when already on it). While it
    // waits on the main thread it keeps serving queued calls to the main thread, so a callback
    // that waits for the main thread cannot deadlock it. Answers false after shutdown.
    bool sync(const std::function<void()>& fn);

    // Runs `last` on the queue's thread, stops the loop and joins the thread; objects still living
    // there are deleted by their deferred deletions before the thread ends. Idempotent.
    void shutdown(const std::function<void()>& last = {});

private:
    void waitServingMain(const std::function<bool()>& done);

    QString label_;
    QThread* thread_ = nullptr;
    QObject* context_ = nullptr;
    std::atomic<bool> stopped_{false};
};

} // namespace platform::net
