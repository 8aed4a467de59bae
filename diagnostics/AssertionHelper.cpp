#include "diagnostics/AssertionHelper.h"

#include <QStringDecoder>

#include <execinfo.h>

#include <cstdlib>

namespace {
const QString kDevelopmentType = QStringLiteral("development");
}

QStringList callStackSymbols(int skip)
{
    void* frames[128];
    const int count = backtrace(frames, 128);
    char** symbols = backtrace_symbols(frames, count);
    QStringList lines;
    // Entry 0 is this function itself.
    for (int i = 1 + skip; symbols && i < count; ++i)
        lines.append(QString::fromLocal8Bit(symbols[i]));
    std::free(symbols);
    return lines;
}

QString AssertionHelper::fileText(const char* file)
{
    if (!file)
        return QStringLiteral("unknown");
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(QByteArrayView(file));
    if (decoder.hasError())
        return QStringLiteral("unknown");
    return text;
}

void AssertionHelper::error(const platform::Error& error, const char* file, std::uint64_t line)
{
    AssertionHelperTracker::shared().track(error, fileText(file), line);
}

void AssertionHelper::error(const platform::Error& error, const char* file, std::uint64_t line,
                            const TrackingProperties& properties)
{
    AssertionHelperTracker::shared().track(error, fileText(file), line, properties);
}

void AssertionHelper::error(const platform::Error& error, const char* file, std::uint64_t line,
                            const TrackingProperties& properties, const QStringList& attachments)
{
    AssertionHelperTracker::shared().track(error, fileText(file), line, properties, attachments);
}

void AssertionHelper::exception(const platform::Exception& exception, const char* file, std::uint64_t line)
{
    AssertionHelperTracker::shared().track(exception, fileText(file), line);
}

void AssertionHelper::exception(const platform::Exception& exception, const char* file, std::uint64_t line,
                                const TrackingProperties& properties)
{
    AssertionHelperTracker::shared().track(exception, fileText(file), line, properties);
}

void AssertionHelper::exception(const platform::Exception& exception, const char* file, std::uint64_t line,
                                const TrackingProperties& properties, const QStringList& attachments)
{
    AssertionHelperTracker::shared().track(exception, fileText(file), line, properties, attachments);
}

void AssertionHelper::message(const QString& message, const char* file, std::uint64_t line)
{
    AssertionHelperTracker::shared().track(message, kDevelopmentType, fileText(file), line, callStackSymbols(1));
}

void AssertionHelper::message(const QString& message, const char* file, std::uint64_t line,
                              const QStringList& callStack)
{
    AssertionHelperTracker::shared().track(message, kDevelopmentType, fileText(file), line, callStack);
}

void AssertionHelper::message(const QString& message, const char* file, std::uint64_t line,
                              const TrackingProperties& properties, const QStringList& callStack)
{
    AssertionHelperTracker::shared().track(message, kDevelopmentType, fileText(file), line, callStack, properties);
}

void AssertionHelper::message(const QString& message, const char* file, std::uint64_t line,
                              const TrackingProperties& properties, const QStringList& attachments,
                              const QStringList& callStack)
{
    AssertionHelperTracker::shared().track(message, kDevelopmentType, fileText(file), line, callStack, properties,
                                           attachments);
}
