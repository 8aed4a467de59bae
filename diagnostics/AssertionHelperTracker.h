#pragma once
// The tracker through which internal failures (errors, exceptions, failed checks) reach the
// log and the error reporter. It logs under the category "Assertions" of the subsystem it was
// given and hands each failure to its tracking provider. Until both are set (at diagnostics
// start-up) a failure is neither logged nor forwarded.
//
// Its two fields may be set and read from any thread.

#include "platform/foundation/Error.h"
#include "platform/foundation/Exception.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

using TrackingProperties = QMap<QString, QString>;

class AssertionHelperTrackingProvider {
public:
    virtual ~AssertionHelperTrackingProvider() = default;
    virtual void error(const platform::Error& error, const QString& file, std::uint64_t line,
                       const TrackingProperties& properties, const QStringList& attachments) = 0;
    virtual void exception(const platform::Exception& exception, const QString& file, std::uint64_t line,
                           const TrackingProperties& properties, const QStringList& attachments) = 0;
    virtual void message(const QString& message, const QString& type, const QString& file, std::uint64_t line,
                         const QStringList& callStack, const TrackingProperties& properties,
                         const QStringList& attachments) = 0;
};

class AssertionHelperTracker {
public:
    inline static constexpr const char* kLogCategory = "Assertions";

    static AssertionHelperTracker& shared();
    // Replaces the shared tracker (tests); the old one is kept alive for callers holding it.
    static void setShared(std::shared_ptr<AssertionHelperTracker> tracker);

    // The subsystem of the log handle (category "Assertions"); empty until set.
    std::optional<std::string> log() const;
    void setLog(const std::string& subsystem);
    void clearLog();

    std::shared_ptr<AssertionHelperTrackingProvider> assertionHelperTrackingProvider() const;
    void setAssertionHelperTrackingProvider(std::shared_ptr<AssertionHelperTrackingProvider> provider);

    void track(const platform::Error& error, const QString& file, std::uint64_t line,
               const TrackingProperties& properties = {}, const QStringList& attachments = {});
    void track(const platform::Exception& exception, const QString& file, std::uint64_t line,
               const TrackingProperties& properties = {}, const QStringList& attachments = {});
    void track(const QString& message, const QString& type, const QString& file, std::uint64_t line,
               const QStringList& callStack = {}, const TrackingProperties& properties = {},
               const QStringList& attachments = {});

private:
    mutable std::mutex mutex_;
    std::optional<std::string> log_;
    std::shared_ptr<AssertionHelperTrackingProvider> provider_;
};
