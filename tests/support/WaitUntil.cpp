#include "tests/support/WaitUntil.h"
#include "tests/support/Instrumented.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace testsupport {
namespace {

// A short repeating timer keeps WaitForMoreEvents from sleeping past the deadline.
constexpr int kTickMs = 5;

void processFor(QDeadlineTimer deadline, const std::function<bool()>& done)
{
    QTimer tick;
    tick.start(kTickMs);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

} // namespace

bool waitUntil(const std::function<bool()>& predicate, int timeoutMs)
{
    if (predicate())
        return true;
    processFor(QDeadlineTimer(qint64(timeoutMs) * kSlowdown), predicate);
    return predicate();
}

void pumpEvents(int ms)
{
    processFor(QDeadlineTimer(ms), [] { return false; });
}

} // namespace testsupport
