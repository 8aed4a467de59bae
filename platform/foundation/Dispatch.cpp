#include "platform/foundation/Dispatch.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>

namespace platform {
namespace {

// Set once the application has announced that it quits; work handed to the main thread after
// that point would never run.
std::atomic<QCoreApplication*> g_quittingApp {nullptr};
std::atomic<QCoreApplication*> g_watchedApp {nullptr};

void watchForQuit(QCoreApplication* app)
{
    if (g_watchedApp.load() == app)
        return;
    static std::mutex m;
    std::lock_guard lock(m);
    if (g_watchedApp.load() == app)
        return;
    g_watchedApp.store(app);
    QObject::connect(app, &QCoreApplication::aboutToQuit, app, [app] { g_quittingApp.store(app); },
                     Qt::DirectConnection);
}

bool isQuitting(QCoreApplication* app)
{
    return !app || QCoreApplication::closingDown() || g_quittingApp.load() == app;
}

} // namespace

bool isMainThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void dispatchMain(std::function<void()> fn)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QCoreApplication::closingDown())
        return;
    QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
}

void dispatchMain(QObject* context, std::function<void()> fn)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QCoreApplication::closingDown())
        return;
    QPointer<QObject> guard(context);
    QMetaObject::invokeMethod(
        app,
        [guard, hadContext = context != nullptr, fn = std::move(fn)] {
            if (!hadContext || guard)
                fn();
        },
        Qt::QueuedConnection);
}

bool dispatchMainSync(const std::function<void()>& fn)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return false;
    if (QThread::currentThread() == app->thread()) {
        fn();
        return true;
    }
    watchForQuit(app);
    if (isQuitting(app))
        return false;

    enum class State { Pending, Running, Done, Abandoned };
    struct Shared {
        std::mutex mutex;
        std::condition_variable cv;
        State state = State::Pending;
        std::exception_ptr exception;
    };
    auto shared = std::make_shared<Shared>();
    QMetaObject::invokeMethod(
        app,
        [shared, &fn] {
            {
                std::lock_guard lock(shared->mutex);
                if (shared->state == State::Abandoned)
                    return; // the caller gave up and fn may be gone
                shared->state = State::Running;
            }
            std::exception_ptr error;
            try {
                fn();
            } catch (...) {
                error = std::current_exception();
            }
            std::lock_guard lock(shared->mutex);
            shared->exception = error;
            shared->state = State::Done;
            shared->cv.notify_all();
        },
        Qt::QueuedConnection);

    std::unique_lock lock(shared->mutex);
    for (;;) {
        if (shared->state == State::Done)
            break;
        if (shared->state == State::Pending && isQuitting(QCoreApplication::instance() == app ? app : nullptr)) {
            // The event loop may never reach our request: give up rather than hang shutdown.
            shared->state = State::Abandoned;
            return false;
        }
        // Once running, fn is on its way to completion; keep polling only while pending.
        shared->cv.wait_for(lock, std::chrono::milliseconds(20));
    }
    if (shared->exception)
        std::rethrow_exception(shared->exception);
    return true;
}

void dispatchMainAfter(int ms, QObject* context, std::function<void()> fn)
{
    QPointer<QObject> guard(context);
    auto start = [ms, guard, hadContext = context != nullptr, fn = std::move(fn)]() mutable {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app || (hadContext && !guard))
            return;
        QTimer::singleShot(std::max(ms, 0), app, [guard, hadContext, fn = std::move(fn)] {
            if (!hadContext || guard)
                fn();
        });
    };
    if (isMainThread())
        start();
    else
        dispatchMain(std::move(start));
}

} // namespace platform
