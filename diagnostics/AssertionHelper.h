#pragma once
// How the application's classes report an unexpected error, a caught exception or a broken
// assumption with its source position. Everything goes to AssertionHelperTracker::shared().
//
// file is the zero-terminated source file name (__FILE__); text that is not valid UTF-8, or a
// null pointer, is reported as "unknown". The message forms are tracked with the type
// "development"; without a call stack they take the caller's.

#include "diagnostics/AssertionHelperTracker.h"

class AssertionHelper {
public:
    static void error(const platform::Error& error, const char* file, std::uint64_t line);
    static void error(const platform::Error& error, const char* file, std::uint64_t line,
                      const TrackingProperties& properties);
    static void error(const platform::Error& error, const char* file, std::uint64_t line,
                      const TrackingProperties& properties, const QStringList& attachments);

    static void exception(const platform::Exception& exception, const char* file, std::uint64_t line);
    static void exception(const platform::Exception& exception, const char* file, std::uint64_t line,
                          const TrackingProperties& properties);
    static void exception(const platform::Exception& exception, const char* file, std::uint64_t line,
                          const TrackingProperties& properties, const QStringList& attachments);

    static void message(const QString& message, const char* file, std::uint64_t line);
    static void message(const QString& message, const char* file, std::uint64_t line, const QStringList& callStack);
    static void message(const QString& message, const char* file, std::uint64_t line,
                        const TrackingProperties& properties, const QStringList& callStack);
    static void message(const QString& message, const char* file, std::uint64_t line,
                        const TrackingProperties& properties, const QStringList& attachments,
                        const QStringList& callStack);

    // The file argument as text: "unknown" for null or invalid UTF-8.
    static QString fileText(const char* file);
};

// The calling thread's stack as symbol lines, without the first skip entries (the caller of
// this function is entry 0).
QStringList callStackSymbols(int skip = 0);
