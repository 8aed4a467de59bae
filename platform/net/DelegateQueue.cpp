#include "platform/net/DelegateQueue.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

#include <atomic>
#include <memory>

namespace platform::net {

DelegateQueue::DelegateQueue(const QString& label) : label_(label)
{
    thread_ = new QThread;
    thread_->setObjectName(label.right(15)); // the kernel keeps 15 characters of a thread name
    context_ = new QObject;
    context_->moveToThread(thread_);
    QObject::connect(thread_, &QThread::finished, context_, &QObject::deleteLater);
    thread_->start();
}

DelegateQueue::~DelegateQueue()
{
    shutdown();
    delete thread_;
}

bool DelegateQueue::isCurrent() const
{
    return QThread::currentThread() == thread_;
}

void DelegateQueue::async(std::function<void()> fn)
{
    if (stopped_)
        return;
    QMetaObject::invokeMethod(context_, std::move(fn), Qt::QueuedConnection);
}

void DelegateQueue::waitServingMain(const std::function<bool()>& done)
{
    const bool onMain = QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
    while (!done()) {
        if (onMain)
            QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
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
    QMetaObject::invokeMethod(context_, [&fn, finished] {
        fn();
        finished->store(true, std::memory_order_release);
    }, Qt::QueuedConnection);
    waitServingMain([&] { return finished->load(std::memory_order_acquire) || thread_->isFinished(); });
    return finished->load(std::memory_order_acquire);
}

void DelegateQueue::shutdown(const std::function<void()>& last)
{
    if (stopped_)
        return;
    QThread* thread = thread_;
    QMetaObject::invokeMethod(context_, [last, thread] {
        if (last)
            last();
        thread->quit();
    }, Qt::QueuedConnection);
    stopped_ = true;
    if (isCurrent())
        return; // cannot join itself; the owner's thread will
    waitServingMain([&] { return thread_->isFinished(); });
    thread_->wait();
}

} // namespace platform::net
