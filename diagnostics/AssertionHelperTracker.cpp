#include "diagnostics/AssertionHelperTracker.h"

#include "platform/foundation/Log.h"

namespace {

std::mutex& sharedMutex()
{
    static std::mutex m;
    return m;
}

std::shared_ptr<AssertionHelperTracker>& sharedSlot()
{
    static std::shared_ptr<AssertionHelperTracker> tracker = std::make_shared<AssertionHelperTracker>();
    return tracker;
}

QString position(const QString& file, std::uint64_t line)
{
    return file + QLatin1Char(':') + QString::number(line);
}

// Where the original marked a signpost: a debug line naming the operation.
void signpost(const std::string& subsystem, const char* operation, const QString& subject, const QString& file,
              std::uint64_t line)
{
    platform::log(subsystem, AssertionHelperTracker::kLogCategory, platform::LogLevel::Debug,
                  QString::fromLatin1(operation) + QStringLiteral(": ") + subject + QStringLiteral(" at ")
                      + position(file, line));
}

} // namespace

AssertionHelperTracker& AssertionHelperTracker::shared()
{
    std::lock_guard lock(sharedMutex());
    return *sharedSlot();
}

void AssertionHelperTracker::setShared(std::shared_ptr<AssertionHelperTracker> tracker)
{
    std::lock_guard lock(sharedMutex());
    static std::vector<std::shared_ptr<AssertionHelperTracker>> retired; // callers may still hold a reference
    retired.push_back(sharedSlot());
    sharedSlot() = tracker ? std::move(tracker) : std::make_shared<AssertionHelperTracker>();
}

std::optional<std::string> AssertionHelperTracker::log() const
{
    std::lock_guard lock(mutex_);
    return log_;
}

void AssertionHelperTracker::setLog(const std::string& subsystem)
{
    std::lock_guard lock(mutex_);
    log_ = subsystem;
}

void AssertionHelperTracker::clearLog()
{
    std::lock_guard lock(mutex_);
    log_.reset();
}

std::shared_ptr<AssertionHelperTrackingProvider> AssertionHelperTracker::assertionHelperTrackingProvider() const
{
    std::lock_guard lock(mutex_);
    return provider_;
}

void AssertionHelperTracker::setAssertionHelperTrackingProvider(std::shared_ptr<AssertionHelperTrackingProvider> provider)
{
    std::lock_guard lock(mutex_);
    provider_ = std::move(provider);
}

void AssertionHelperTracker::track(const platform::Error& error, const QString& file, std::uint64_t line,
                                   const TrackingProperties& properties, const QStringList& attachments)
{
    if (const auto subsystem = log()) {
        signpost(*subsystem, "track(error:file:line:properties:attachments:)", error.description, file, line);
        platform::log(*subsystem, kLogCategory, platform::LogLevel::Error,
                      error.description + QStringLiteral(" at ") + position(file, line));
    }
    if (const auto provider = assertionHelperTrackingProvider())
        provider->error(error, file, line, properties, attachments);
}

void AssertionHelperTracker::track(const platform::Exception& exception, const QString& file, std::uint64_t line,
                                   const TrackingProperties& properties, const QStringList& attachments)
{
    if (const auto subsystem = log()) {
        signpost(*subsystem, "track(exception:file:line:properties:attachments:)", exception.name(), file, line);
        platform::log(*subsystem, kLogCategory, platform::LogLevel::Error,
                      exception.name() + QStringLiteral(" [") + exception.reason() + QStringLiteral("] at ")
                          + position(file, line));
    }
    if (const auto provider = assertionHelperTrackingProvider())
        provider->exception(exception, file, line, properties, attachments);
}

void AssertionHelperTracker::track(const QString& message, const QString& type, const QString& file,
                                   std::uint64_t line, const QStringList& callStack,
                                   const TrackingProperties& properties, const QStringList& attachments)
{
    if (const auto subsystem = log()) {
        signpost(*subsystem, "track(message:type:file:line:callStack:properties:attachments:)", message, file, line);
        platform::log(*subsystem, kLogCategory, platform::LogLevel::Info,
                      message + QStringLiteral(" at ") + position(file, line));
    }
    if (const auto provider = assertionHelperTrackingProvider())
        provider->message(message, type, file, line, callStack, properties, attachments);
}
