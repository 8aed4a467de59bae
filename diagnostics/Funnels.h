#pragma once
// The diagnostics module's checks, used in place of the standard assertions. Their behaviour is
// read once per process from the user default "DevelopmentBehavior": set, a failed check stops
// the program at once (a trap, no report); unset, it is tracked as a message of its funnel's
// type ("assert", "assertionFailure", "precondition", "preconditionFailure", "fatalError")
// and the program goes on. fatalError always ends the program: in report mode after its
// report is stored, with "Fatal error: <message>: file <file>, line <line>" on stderr.
//
// `assert` is a macro of the C library, so the first funnel is named assertCondition. The
// message is only built when a check fails.

#include "diagnostics/AssertionHelperTracker.h"

#include <QString>
#include <QStringList>

#include <concepts>
#include <functional>
#include <optional>
#include <source_location>
#include <string>

namespace QMDiagnostics {

inline constexpr const char* kDevelopmentBehaviorKey = "DevelopmentBehavior";

// A message that is built only when needed: text, or anything callable that answers text.
class FunnelMessage {
public:
    FunnelMessage() = default;
    FunnelMessage(const char* text) : text_(QString::fromUtf8(text)) {}
    FunnelMessage(QString text) : text_(std::move(text)) {}
    FunnelMessage(const std::string& text) : text_(QString::fromStdString(text)) {}
    template <class F>
        requires std::invocable<F&> && std::convertible_to<std::invoke_result_t<F&>, QString>
    FunnelMessage(F make) : make_([make]() mutable { return QString(make()); })
    {
    }
    QString text() const { return make_ ? make_() : text_; }

private:
    QString text_;
    std::function<QString()> make_;
};

// What a check passes on besides its message.
struct FunnelDetails {
    std::optional<QStringList> callStack; // default: the caller's stack
    TrackingProperties properties;
    QStringList attachments;
};

enum class FunnelBehavior { Stop, Report };
// Read on first use, then kept.
FunnelBehavior funnelBehavior();

void assertCondition(bool condition, const FunnelMessage& message = {}, const FunnelDetails& details = {},
                     std::source_location where = std::source_location::current());
void assertionFailure(const FunnelMessage& message = {}, const FunnelDetails& details = {},
                      std::source_location where = std::source_location::current());
void precondition(bool condition, const FunnelMessage& message = {}, const FunnelDetails& details = {},
                  std::source_location where = std::source_location::current());
void preconditionFailure(const FunnelMessage& message = {}, const FunnelDetails& details = {},
                         std::source_location where = std::source_location::current());
[[noreturn]] void fatalError(const FunnelMessage& message = {}, const FunnelDetails& details = {},
                             std::source_location where = std::source_location::current());
// The check that answers: true when it holds; false (after tracking, in report mode) when not.
bool checkCondition(bool condition, const FunnelMessage& message = {}, const FunnelDetails& details = {},
                    std::source_location where = std::source_location::current());

} // namespace QMDiagnostics
