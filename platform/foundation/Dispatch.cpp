#include "platform/foundation/Dispatch.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>

namespace platform {
namespace {

// Set once the application has announced that it quits; work handed to the main thread after
// that point would never run.
std::atomic<QCoreApplication*> g_quittingApp {nullptr};

void forgetApplication();
void runMainTasks();

// Receives the "run the main queue" events. A plain event (rather than a queued functor) is
// allocated here and freed inside Qt, which keeps ThreadSanitizer from mistaking the hand-off
// through Qt's own (uninstrumented) locks for a race.
class MainPump : public QObject {
public:
    static QEvent::Type eventType()
    {
        static const int type = QEvent::registerEventType();
        return QEvent::Type(type);
    }

protected:
    // Qt routes user-type events here after checking the type itself; the pump receives no
    // other user events, and the event object is not touched on this side at all.
    void customEvent(QEvent*) override { runMainTasks(); }
};

std::atomic<MainPump*> g_pump {nullptr};

// Runs when the application object is constructed (see Q_COREAPP_STARTUP_FUNCTION below).
void watchForQuit()
{
    QCoreApplication* app = QCoreApplication::instance();
    QObject::connect(app, &QCoreApplication::aboutToQuit, app,
                     [] { g_quittingApp.store(QCoreApplication::instance()); }, Qt::DirectConnection);
    g_pump.store(new MainPump); // deleted in forgetApplication, with the application
    qAddPostRoutine(forgetApplication);
}

bool isQuitting(QCoreApplication* app)
{
    return !app || QCoreApplication::closingDown() || g_quittingApp.load() == app;
}

// Work for the main thread waits in our own locked queue; the event posted to the application
// object carries nothing and runs the queued entries. Handing the work over through a std::mutex
// (rather than inside Qt's event) keeps the hand-off visible to ThreadSanitizer, which cannot
// see the synchronisation inside the uninstrumented Qt library.
std::mutex g_mainMutex;
std::deque<std::function<void()>> g_mainQueue;

// Runs what was queued before this call; later entries have events of their own. Entries left
// behind by an application that quit (whose events died with it) are picked up as well.
void runMainTasks()
{
    std::size_t budget = 0;
    {
        std::lock_guard lock(g_mainMutex);
        budget = g_mainQueue.size();
    }
    while (budget-- > 0) {
        std::function<void()> fn;
        {
            std::lock_guard lock(g_mainMutex);
            if (g_mainQueue.empty())
                return;
            fn = std::move(g_mainQueue.front());
            g_mainQueue.pop_front();
        }
        fn();
    }
}

// Application object destroyed: its queued work can never run, and a later application object
// (tests create several) starts afresh.
void forgetApplication()
{
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(g_mainMutex);
        dropped.swap(g_mainQueue);
    }
    delete g_pump.exchange(nullptr);
    g_quittingApp.store(nullptr);
}

Q_COREAPP_STARTUP_FUNCTION(watchForQuit)

bool postToMain(std::function<void()> fn)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QCoreApplication::closingDown())
        return false;
    {
        std::lock_guard lock(g_mainMutex);
        g_mainQueue.push_back(std::move(fn));
    }
    if (MainPump* pump = g_pump.load())
        QCoreApplication::postEvent(pump, new QEvent(MainPump::eventType()));
    else
        QMetaObject::invokeMethod(app, [] { runMainTasks(); }, Qt::QueuedConnection);
    return true;
}

} // namespace

bool isMainThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void dispatchMain(std::function<void()> fn)
{
    postToMain(std::move(fn));
}

void dispatchOn(QObject* context, std::function<void()> fn)
{
    if (!context)
        return;
    QCoreApplication* app = QCoreApplication::instance();
    if (app && context->thread() == app->thread()) {
        dispatchMain(context, std::move(fn));
        return;
    }
    QMetaObject::invokeMethod(context, std::move(fn), Qt::QueuedConnection);
}

void dispatchMain(QObject* context, std::function<void()> fn)
{
    postToMain([guard = QPointer<QObject>(context), hadContext = context != nullptr, fn = std::move(fn)] {
        if (!hadContext || guard)
            fn();
    });
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
    const bool posted = postToMain([shared, &fn] {
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
            shared->exception = std::move(error); // no reference left on this thread
            shared->state = State::Done;
            shared->cv.notify_all();
        });
    if (!posted)
        return false;

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
    // Taken out under the lock so the last reference to the exception stays on this thread.
    if (std::exception_ptr error = std::move(shared->exception)) {
        lock.unlock();
        std::rethrow_exception(error);
    }
    return true;
}

void dispatchMainAfter(int ms, QObject* context, std::function<void()> fn)
{
    QPointer<QObject> guard(context);
    auto start = [ms, guard, hadContext = context != nullptr, fn = std::move(fn)]() mutable {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app || (hadContext && !guard))
            return;
        // A main-thread context owns the timer, so its death also frees fn at once.
        QObject* owner = hadContext && guard->thread() == app->thread() ? guard.data() : app;
        QTimer::singleShot(std::max(ms, 0), owner, [guard, hadContext, fn = std::move(fn)] {
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
