#include "diagnostics/Funnels.h"

#include "diagnostics/AssertionHelper.h"
#include "diagnostics/Diagnostics.h"
#include "platform/foundation/UserDefaults.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace QMDiagnostics {

namespace {

[[noreturn]] void stopAtOnce()
{
    __builtin_trap();
}

[[noreturn]] void stopWithFatalError(const QString& message, const std::source_location& where)
{
    std::fprintf(stderr, "Fatal error: %s: file %s, line %u\n", message.toUtf8().constData(), where.file_name(),
                 static_cast<unsigned>(where.line()));
    std::fflush(stderr);
    std::abort();
}

// depth: how many of our own frames lie between this function and the funnel's caller.
void track(const char* type, const FunnelMessage& message, const FunnelDetails& details,
           const std::source_location& where, int depth)
{
    const QStringList stack = details.callStack ? *details.callStack : callStackSymbols(depth);
    AssertionHelperTracker::shared().track(message.text(), QString::fromLatin1(type),
                                           AssertionHelper::fileText(where.file_name()), where.line(), stack,
                                           details.properties, details.attachments);
}

// Shared by the funnels that may let the program continue.
void failed(const char* type, const FunnelMessage& message, const FunnelDetails& details,
            const std::source_location& where)
{
    if (funnelBehavior() == FunnelBehavior::Stop)
        stopAtOnce();
    track(type, message, details, where, 3); // track, failed, the funnel
}

} // namespace

FunnelBehavior funnelBehavior()
{
    static std::once_flag once;
    static FunnelBehavior behavior = FunnelBehavior::Report;
    std::call_once(once, [] {
        behavior = platform::UserDefaults::sharedDefaults().boolForKey(QString::fromLatin1(kDevelopmentBehaviorKey))
            ? FunnelBehavior::Stop
            : FunnelBehavior::Report;
    });
    return behavior;
}

void assertCondition(bool condition, const FunnelMessage& message, const FunnelDetails& details,
                     std::source_location where)
{
    if (!condition)
        failed("assert", message, details, where);
}

void assertionFailure(const FunnelMessage& message, const FunnelDetails& details, std::source_location where)
{
    failed("assertionFailure", message, details, where);
}

void precondition(bool condition, const FunnelMessage& message, const FunnelDetails& details,
                  std::source_location where)
{
    if (!condition)
        failed("precondition", message, details, where);
}

void preconditionFailure(const FunnelMessage& message, const FunnelDetails& details, std::source_location where)
{
    failed("preconditionFailure", message, details, where);
}

void fatalError(const FunnelMessage& message, const FunnelDetails& details, std::source_location where)
{
    const QString text = message.text();
    if (funnelBehavior() == FunnelBehavior::Report) {
        // The report is committed before track() returns; the abort that follows must not
        // add a second, less helpful crash report of its own.
        track("fatalError", FunnelMessage(text), details, where, 2); // track, fatalError
        Diagnostics::prepareForFatalStop();
    }
    stopWithFatalError(text, where);
}

bool checkCondition(bool condition, const FunnelMessage& message, const FunnelDetails& details,
                    std::source_location where)
{
    if (condition)
        return true;
    failed("assertionFailure", message, details, where);
    return false;
}

} // namespace QMDiagnostics
