#include "platform/log/Log.h"

#include "platform/clock/RealTimeClock.h"
#include "platform/log/LogRepeats.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#ifdef KLV_HAVE_SYSTEMD
#include <syslog.h>
#include <systemd/sd-journal.h>
#endif

namespace platform {

struct LogCapture::State {
    mutable std::mutex mutex;
    std::vector<LogRecord> records;
};

namespace {

enum class Sink { Stderr, Journal };

std::mutex& capturesMutex()
{
    static std::mutex m;
    return m;
}
std::vector<LogCapture*>& captures()
{
    static std::vector<LogCapture*> list;
    return list;
}

LogLevel levelFromEnvironment()
{
    const char* env = std::getenv("KLV_LOG_LEVEL");
    if (!env)
        return LogLevel::Info;
    for (LogLevel l : {LogLevel::Debug, LogLevel::Info, LogLevel::Default, LogLevel::Error, LogLevel::Fault})
        if (std::strcmp(env, logLevelName(l)) == 0)
            return l;
    return LogLevel::Info;
}

std::atomic<int>& minimumLevel()
{
    static std::atomic<int> level{int(levelFromEnvironment())};
    return level;
}

Sink chooseSink()
{
    if (const char* env = std::getenv("KLV_LOG_SINK")) {
        if (std::strcmp(env, "stderr") == 0)
            return Sink::Stderr;
#ifdef KLV_HAVE_SYSTEMD
        if (std::strcmp(env, "journal") == 0)
            return Sink::Journal;
#endif
    }
#ifdef KLV_HAVE_SYSTEMD
    if (isatty(STDERR_FILENO))
        return Sink::Stderr;
    struct stat st {};
    if (fstat(STDERR_FILENO, &st) != 0)
        return Sink::Journal; // closed
    // A pipe or a file has a reader (CI, a redirect); unless it is the journal's own stream.
    if (S_ISFIFO(st.st_mode) || S_ISREG(st.st_mode)) {
        if (const char* stream = std::getenv("JOURNAL_STREAM")) {
            unsigned long long dev = 0, ino = 0;
            if (std::sscanf(stream, "%llu:%llu", &dev, &ino) == 2 && dev == st.st_dev && ino == st.st_ino)
                return Sink::Journal;
        }
        return Sink::Stderr;
    }
    if (S_ISSOCK(st.st_mode) && std::getenv("JOURNAL_STREAM"))
        return Sink::Journal;
    if (S_ISCHR(st.st_mode))
        return Sink::Journal; // /dev/null: nobody would see the line
    return Sink::Stderr;
#else
    return Sink::Stderr;
#endif
}

Sink sink()
{
    static const Sink chosen = chooseSink();
    return chosen;
}

// Control characters would break the one-line-per-call promise.
void appendEscaped(std::string& out, std::string_view text)
{
    for (char c : text) {
        switch (c) {
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
                out += hex;
            } else {
                out.push_back(c);
            }
        }
    }
}

void writeStderr(const LogRecord& record)
{
    timeval tv {};
    gettimeofday(&tv, nullptr);
    tm local {};
    localtime_r(&tv.tv_sec, &local);
    char stamp[40];
    const std::size_t n = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(stamp + n, sizeof stamp - n, ".%03d ", int(tv.tv_usec / 1000));
    std::string line = stamp;
    line += record.line();
    line.push_back('\n');
    // One write per line keeps lines from different threads whole.
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

#ifdef KLV_HAVE_SYSTEMD
int syslogPriority(LogLevel level)
{
    switch (level) {
    case LogLevel::Debug: return LOG_DEBUG;
    case LogLevel::Info: return LOG_INFO;
    case LogLevel::Default: return LOG_NOTICE;
    case LogLevel::Error: return LOG_ERR;
    case LogLevel::Fault: return LOG_CRIT;
    }
    return LOG_NOTICE;
}

void writeJournal(const LogRecord& record)
{
    std::string message;
    appendEscaped(message, record.message);
    const int rc = sd_journal_send("MESSAGE=[%s:%s] %s", record.subsystem.c_str(), record.category.c_str(),
                                   message.c_str(), "PRIORITY=%d", syslogPriority(record.level),
                                   "KLV_SUBSYSTEM=%s", record.subsystem.c_str(), "KLV_CATEGORY=%s",
                                   record.category.c_str(), nullptr);
    if (rc < 0)
        writeStderr(record);
}
#endif

void writeSink(const LogRecord& record)
{
#ifdef KLV_HAVE_SYSTEMD
    if (sink() == Sink::Journal) {
        writeJournal(record);
        return;
    }
#endif
    writeStderr(record);
}

// The repeat rule between the calls and the sink. Made on first use and never destroyed, nor
// is its real clock, so lines logged while the process ends still find both; what it counts is
// written at exit.
struct SinkState {
    std::mutex mutex;
    std::optional<LogRepeats> repeats;
    std::vector<LogRecord> out; // reused for every line
};

void flushAtExit() { flushLogRepeats(); }

const MonotonicClock& realClock()
{
    static const RealTimeClock* clock = new RealTimeClock;
    return *clock;
}

SinkState& sinkState()
{
    static SinkState* state = [] {
        auto* made = new SinkState;
        made->repeats.emplace(realClock());
        std::atexit(flushAtExit);
        return made;
    }();
    return *state;
}

// Whether the normal sink writes: when nothing captures, or a capture passes lines through.
bool sinkWrites()
{
    std::lock_guard lock(capturesMutex());
    return captures().empty()
        || std::any_of(captures().begin(), captures().end(), [](const LogCapture* c) { return c->passThrough(); });
}

// Called with the sink's lock held, so lines leave in the order the rule put them.
void writeOut(const std::vector<LogRecord>& records)
{
    if (records.empty())
        return;
    {
        std::lock_guard lock(capturesMutex());
        for (LogCapture* capture : captures())
            if (capture->sees() == LogCapture::Sees::Written)
                for (const LogRecord& record : records)
                    capture->append(record);
    }
    if (sinkWrites())
        for (const LogRecord& record : records)
            writeSink(record);
}

// A line's way to the sink, from its parts: captures of calls get a record of it; the rule and
// the sink make one only for a line they write, so a repeat is counted without allocating.
void dispatch(std::string_view subsystem, std::string_view category, LogLevel level, std::string_view message,
              std::string_view repeatKey)
{
    {
        std::lock_guard lock(capturesMutex());
        for (LogCapture* capture : captures())
            if (capture->sees() == LogCapture::Sees::Calls)
                capture->append(LogRecord{std::string(subsystem), std::string(category), level, std::string(message)});
    }
    if (int(level) < minimumLevel().load(std::memory_order_relaxed))
        return;
    SinkState& state = sinkState();
    std::lock_guard lock(state.mutex);
    state.repeats->pass(subsystem, category, level, message, repeatKey, state.out);
    writeOut(state.out);
}

} // namespace

const char* logLevelName(LogLevel level)
{
    switch (level) {
    case LogLevel::Debug: return "debug";
    case LogLevel::Info: return "info";
    case LogLevel::Default: return "default";
    case LogLevel::Error: return "error";
    case LogLevel::Fault: return "fault";
    }
    return "default";
}

std::string LogRecord::line() const
{
    std::string out;
    out.reserve(subsystem.size() + category.size() + message.size() + 16);
    out.push_back('[');
    appendEscaped(out, subsystem);
    out.push_back(':');
    appendEscaped(out, category);
    out += "] ";
    out += logLevelName(level);
    out += ": ";
    appendEscaped(out, message);
    return out;
}

void log(std::string_view subsystem, std::string_view category, LogLevel level, std::string_view message)
{
    dispatch(subsystem, category, level, message, {});
}

void logRepeating(std::string_view subsystem, std::string_view category, LogLevel level, std::string_view repeatKey,
                  std::string_view message)
{
    dispatch(subsystem, category, level, message, repeatKey);
}

void logf(std::string_view subsystem, std::string_view category, LogLevel level, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string message;
    if (needed > 0) {
        message.resize(std::size_t(needed) + 1);
        std::vsnprintf(message.data(), message.size(), format, args);
        message.resize(std::size_t(needed));
    }
    va_end(args);
    log(subsystem, category, level, std::string_view(message));
}

void setLogMinimumLevel(LogLevel level) { minimumLevel().store(int(level), std::memory_order_relaxed); }
LogLevel logMinimumLevel() { return LogLevel(minimumLevel().load(std::memory_order_relaxed)); }

void setLogClock(const MonotonicClock* clock)
{
    SinkState& state = sinkState();
    std::lock_guard lock(state.mutex);
    state.repeats->flush(state.out);
    writeOut(state.out);
    state.repeats.emplace(clock ? *clock : realClock());
}

void flushLogRepeats()
{
    SinkState& state = sinkState();
    std::lock_guard lock(state.mutex);
    state.repeats->flush(state.out);
    writeOut(state.out);
}

LogCapture::LogCapture(bool passThrough) : LogCapture(Sees::Calls, passThrough) {}

LogCapture::LogCapture(Sees sees, bool passThrough) : state_(new State), passThrough_(passThrough), sees_(sees)
{
    std::lock_guard lock(capturesMutex());
    captures().push_back(this);
}

LogCapture::~LogCapture()
{
    {
        std::lock_guard lock(capturesMutex());
        auto& list = captures();
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    delete state_;
}

void LogCapture::append(const LogRecord& record)
{
    std::lock_guard lock(state_->mutex);
    state_->records.push_back(record);
}

std::vector<LogRecord> LogCapture::records() const
{
    std::lock_guard lock(state_->mutex);
    return state_->records;
}

std::vector<std::string> LogCapture::lines() const
{
    std::lock_guard lock(state_->mutex);
    std::vector<std::string> out;
    out.reserve(state_->records.size());
    for (const auto& r : state_->records)
        out.push_back(r.line());
    return out;
}

std::size_t LogCapture::count() const
{
    std::lock_guard lock(state_->mutex);
    return state_->records.size();
}

bool LogCapture::contains(std::string_view text) const { return contains(text, LogLevel::Debug); }

bool LogCapture::contains(std::string_view text, LogLevel atLeast) const
{
    std::lock_guard lock(state_->mutex);
    return std::any_of(state_->records.begin(), state_->records.end(), [&](const LogRecord& r) {
        return r.level >= atLeast && r.message.find(text) != std::string::npos;
    });
}

void LogCapture::clear()
{
    std::lock_guard lock(state_->mutex);
    state_->records.clear();
}

} // namespace platform
