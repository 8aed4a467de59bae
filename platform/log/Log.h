#pragma once
// Logging: one line per call, tagged with a subsystem (the component, "com.quenmark.kalvanto")
// and a category (the area within it, "comm", "document").
//
// Sink: stderr when stderr is a terminal, a pipe or a regular file (someone reads it: a
// console, CI, a redirect); the systemd journal otherwise (stderr is the journal stream,
// /dev/null or closed), with SUBSYSTEM/CATEGORY fields. KLV_LOG_SINK=stderr|journal overrides.
// Debug lines are written only when the minimum level is lowered (setLogMinimumLevel or
// KLV_LOG_LEVEL=debug); LogCapture sees every level.
//
// A line that repeats is written once and then summed up, at most once a minute
// (LogRepeats.h); a capture sees every call, or what the sink writes.
//
// Plain C++ without Qt, so every layer logs through it: the engine's ssMessage lines too.
// platform/foundation/Log.h adds the calls that take a QString.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class LogLevel { Debug, Info, Default, Error, Fault };

const char* logLevelName(LogLevel level); // "debug", "info", "default", "error", "fault"

void log(std::string_view subsystem, std::string_view category, LogLevel level,
         std::string_view message);
inline void log(std::string_view subsystem, std::string_view category, LogLevel level,
                const char* message)
{
    log(subsystem, category, level, std::string_view(message));
}
// For a line whose text changes with every call (a time code, a count) while it says the same
// thing: lines with the same repeatKey are repeats of one another for the sink.
void logRepeating(std::string_view subsystem, std::string_view category, LogLevel level,
                  std::string_view repeatKey, std::string_view message);
// printf-style convenience (checked by the compiler).
void logf(std::string_view subsystem, std::string_view category, LogLevel level,
          const char* format, ...) __attribute__((format(printf, 4, 5)));

// Lines below this level are not written to the sink (default Info, or KLV_LOG_LEVEL).
void setLogMinimumLevel(LogLevel level);
LogLevel logMinimumLevel();

class MonotonicClock;
// The clock the sink counts repeats by (nullptr: the real one); what was counted before is
// written first, and counting starts afresh. Tests step a ManualClock.
void setLogClock(const MonotonicClock* clock);
// Writes the summary of every line whose repeats are counted but not yet written. Runs by
// itself when the process exits.
void flushLogRepeats();

struct LogRecord {
    std::string subsystem;
    std::string category;
    LogLevel level = LogLevel::Default;
    std::string message; // as given; control characters are escaped only in line()
    // "[subsystem:category] level: message" with newlines and other control characters escaped.
    std::string line() const;
};

// Collects every log call (any level, any thread) made while it exists, or with Sees::Written
// what the sink writes instead (at or above the minimum level, repeats summed up). Several
// captures may be alive at once; each sees all records. With passThrough the normal sink still
// writes.
class LogCapture {
public:
    enum class Sees { Calls, Written };
    explicit LogCapture(bool passThrough = false);
    explicit LogCapture(Sees sees, bool passThrough = false);
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<LogRecord> records() const;
    std::vector<std::string> lines() const;
    std::size_t count() const;
    // True when some record's message contains text (optionally at the given level or above).
    bool contains(std::string_view text) const;
    bool contains(std::string_view text, LogLevel atLeast) const;
    void clear();

    // Internal: called by log() for each live capture.
    void append(const LogRecord& record);
    bool passThrough() const { return passThrough_; }
    Sees sees() const { return sees_; }

private:
    struct State;
    State* state_;
    bool passThrough_;
    Sees sees_ = Sees::Calls;
};

} // namespace platform
