#pragma once
// Hand-off of work to the Qt main thread (the thread of the QCoreApplication object).

#include <functional>

class QObject;

namespace platform {

// True on the thread that owns the QCoreApplication object. False when there is no application
// object at all.
bool isMainThread();

// Queues fn to run on the main thread on a later event-loop turn, in the order of the calls.
// Safe from any thread. Without an application object, or once it is shutting down, fn is
// dropped (never run on the calling thread, which could be the wrong one for it).
void dispatchMain(std::function<void()> fn);

// Like dispatchMain, but fn is dropped when context is destroyed before it runs. context is a
// main-thread object (or one that outlives the call).
void dispatchMain(QObject* context, std::function<void()> fn);

// Queues fn to run on context's thread (through the main queue when that is the main thread,
// so it keeps its place among dispatchMain calls). Dropped when context dies first.
void dispatchOn(QObject* context, std::function<void()> fn);

// Runs fn on the main thread and returns when it has finished. On the main thread fn runs
// directly. From another thread the call waits for the main thread; it never deadlocks at
// shutdown: when there is no application object, or the application is quitting (aboutToQuit
// was emitted or it is being destroyed) before fn has started, fn is NOT run and the call
// returns false. Returns true when fn ran. An exception thrown by fn is rethrown to the caller.
// As with any synchronous hand-off, the caller must not hold anything the main thread is
// waiting for (a SerialQueue::sync from main to this thread, a lock): that would deadlock.
bool dispatchMainSync(const std::function<void()>& fn);

// Runs fn on the main thread after ms milliseconds (0 = next turn of the event loop). When
// context is not null and is destroyed before the time comes, fn is not run. Safe from any
// thread; from another thread the delay starts when the main thread picks the request up.
void dispatchMainAfter(int ms, QObject* context, std::function<void()> fn);

} // namespace platform
