#include "platform/net/DelegateQueue.h"

#include "platform/foundation/Dispatch.h"

#include <QCoreApplication>
#include <QThread>

#include <memory>

namespace platform::net {

namespace detail {

bool DelegateQueueContext::enqueue(Item item, bool force)
{
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        // Checked under the lock, so everything taken before shutdown's last item runs before it.
        if (stopped_ && !force)
            return false;
        items_.push_back(std::move(item));
        wake = !std::exchange(drainPosted_, true);
    }
    // The wake-up carries no data: the items travel through the mutex-guarded queue.
    if (wake)
        QMetaObject::invokeMethod(this, "drain", Qt::QueuedConnection);
    return true;
}

void DelegateQueueContext::drop()
{
    std::deque<Item> dropped; // freed after the lock: what the items hold may go with them
    std::lock_guard lock(mutex_);
    dropped.swap(items_);
}

void DelegateQueueContext::drain()
{
    // An item may destroy the queue that made this context (its owner letting go on this
    // thread): the context itself stays until the thread has ended, so the loop may go on.
    for (int i = 0; i < DelegateQueue::kBatch; ++i) {
        Item item;
        {
            std::lock_guard lock(mutex_);
            if (items_.empty()) {
                drainPosted_ = false;
                return;
            }
            item = std::move(items_.front());
            items_.pop_front();
        }
        if (item.hasContext && item.context.isNull())
            continue;
        item.fn();
    }
    // More work is waiting: let socket events in between, then continue.
    QMetaObject::invokeMethod(this, "drain", Qt::QueuedConnection);
}

} // namespace detail

DelegateQueue::DelegateQueue(const QString& label) : label_(label)
{
    thread_ = new QThread;
    thread_->setObjectName(label.right(15)); // the kernel keeps 15 characters of a thread name
    context_ = new detail::DelegateQueueContext;
    context_->moveToThread(thread_);
    thread_->start();
}

DelegateQueue::~DelegateQueue()
{
    shutdown();
    if (isCurrent()) {
        // Inside one of the queue's callbacks: the thread cannot join itself, and a running QThread
        // must not be deleted. Once it has ended, the main thread joins it and deletes it with the
        // context (a drain may still be on this stack). Without an application object nobody
        // could, and the two are left to the process's end.
        QThread* thread = thread_;
        detail::DelegateQueueContext* context = context_;
        QObject::connect(thread, &QThread::finished, [thread, context] {
            platform::dispatchMain([thread, context] {
                thread->wait();
                delete context;
                delete thread;
            });
        });
        return;
    }
    join();
    // The thread has ended: its context object is deleted here, by the thread that posts to it.
    delete context_;
    delete thread_;
}

QObject* DelegateQueue::context() const
{
    return context_;
}

bool DelegateQueue::isCurrent() const
{
    return QThread::currentThread() == thread_;
}

void DelegateQueue::async(std::function<void()> fn)
{
    context_->enqueue({false, {}, std::move(fn)});
}

void DelegateQueue::post(QObject* context, std::function<void()> fn)
{
    context_->enqueue({true, QPointer<QObject>(context), std::move(fn)});
}

void DelegateQueue::waitServingMain(const std::function<bool()>& done)
{
    const bool onMain = QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
    while (!done()) {
        if (onMain) // hand-offs to the main thread of every kind, so a waiting callback can finish
            QCoreApplication::sendPostedEvents();
        QThread::usleep(200);
    }
}

bool DelegateQueue::sync(const std::function<void()>& fn)
{
    if (context_->stopped())
        return false;
    if (isCurrent()) {
        fn();
        return true;
    }
    auto finished = std::make_shared<std::atomic<bool>>(false);
    const bool queued = context_->enqueue({false, {}, [&fn, finished] {
                                               fn();
                                               finished->store(true, std::memory_order_release);
                                           }});
    if (!queued)
        return false;
    waitServingMain([&] { return finished->load(std::memory_order_acquire) || thread_->isFinished(); });
    return finished->load(std::memory_order_acquire);
}

void DelegateQueue::shutdown(const std::function<void()>& last)
{
    if (context_->stop())
        return;
    if (isCurrent()) {
        // Asked from inside a callback, usually by an owner on its way out: what it queued would
        // run after it has gone. The loop ends once the callback has returned.
        context_->drop();
        if (last)
            last();
        thread_->quit();
        return;
    }
    QThread* thread = thread_;
    context_->enqueue({false, {}, [last, thread] {
                           if (last)
                               last();
                           thread->quit();
                       }},
                      true);
    join();
}

void DelegateQueue::join()
{
    waitServingMain([&] { return thread_->isFinished(); });
    thread_->wait();
    // Takes the lock: pairs with the thread's last use of the queue.
    context_->drop();
}

} // namespace platform::net
