#include "platform/net/DelegateQueue.h"

#include <QCoreApplication>
#include <QThread>

#include <memory>

namespace platform::net {

void detail::DelegateQueueContext::drain()
{
    queue_->drain();
}

DelegateQueue::DelegateQueue(const QString& label) : label_(label)
{
    thread_ = new QThread;
    thread_->setObjectName(label.right(15)); // the kernel keeps 15 characters of a thread name
    context_ = new detail::DelegateQueueContext(this);
    context_->moveToThread(thread_);
    thread_->start();
}

DelegateQueue::~DelegateQueue()
{
    shutdown();
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
    enqueue(Item{false, {}, std::move(fn)});
}

void DelegateQueue::post(QObject* context, std::function<void()> fn)
{
    enqueue(Item{true, QPointer<QObject>(context), std::move(fn)});
}

void DelegateQueue::enqueue(Item item)
{
    if (stopped_)
        return;
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        items_.push_back(std::move(item));
        wake = !std::exchange(drainPosted_, true);
    }
    // The wake-up carries no data: the items travel through the mutex-guarded queue.
    if (wake)
        QMetaObject::invokeMethod(context_, "drain", Qt::QueuedConnection);
}

void DelegateQueue::drain()
{
    for (int i = 0; i < kBatch; ++i) {
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
    QMetaObject::invokeMethod(context_, "drain", Qt::QueuedConnection);
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
    if (stopped_)
        return false;
    if (isCurrent()) {
        fn();
        return true;
    }
    auto finished = std::make_shared<std::atomic<bool>>(false);
    async([&fn, finished] {
        fn();
        finished->store(true, std::memory_order_release);
    });
    waitServingMain([&] { return finished->load(std::memory_order_acquire) || thread_->isFinished(); });
    return finished->load(std::memory_order_acquire);
}

void DelegateQueue::shutdown(const std::function<void()>& last)
{
    if (stopped_)
        return;
    QThread* thread = thread_;
    async([last, thread] {
        if (last)
            last();
        thread->quit();
    });
    stopped_ = true;
    if (isCurrent())
        return; // cannot join itself; the owner's thread will
    waitServingMain([&] { return thread_->isFinished(); });
    thread_->wait();
    // Pairs with the thread's last use of the queue.
    std::lock_guard lock(mutex_);
    items_.clear();
}

} // namespace platform::net
