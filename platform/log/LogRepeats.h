#pragma once
// What the log sink writes of a line that repeats. The first is written at once; later ones
// within a minute of it are counted, not written, and the count is written as one line
// ("<latest text> ... repeated N times") once the minute has passed, at most once a minute for
// as long as the line keeps coming. A line quiet for a whole minute with nothing counted is
// forgotten, and written whole when it comes back. A server that is told the same thing 33
// times a second for weeks writes about one line a minute for it, not one per call.
//
// Lines are the same when their subsystem, category, level and key are: the key is the text,
// or what the caller gives for a line whose text changes with every call (a time code) while
// it says the same thing.
//
// No count is lost: a summary that is due is written before the next line of any kind, one
// pushed out of the table (it remembers kRemembered lines) at once, and every pending one by
// flush() when the process ends. Without a thread of its own, a due summary waits for the next
// line or the end.

#include "platform/log/Log.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform {

class MonotonicClock;

class LogRepeats {
public:
    static constexpr int64_t kInterval = 60'000'000'000; // nanoseconds
    static constexpr std::size_t kRemembered = 64;

    explicit LogRepeats(const MonotonicClock& clock, int64_t interval = kInterval,
                        std::size_t remembered = kRemembered);

    // The records to write for this one, in order, into out (emptied first): summaries that are
    // due, then the record itself unless it repeats a line written or summed up within the
    // interval. An empty key is the record's text.
    void pass(const LogRecord& record, std::string_view key, std::vector<LogRecord>& out);
    // The same for a line given by its parts. A repeat is counted without allocating (the key's
    // and the latest text's storage are reused), so a line logged every card period costs no
    // allocation while it repeats; a record is made only for a line that is written.
    void pass(std::string_view subsystem, std::string_view category, LogLevel level, std::string_view message,
              std::string_view key, std::vector<LogRecord>& out);
    // The summary of every line with a count not yet written; nothing is remembered after.
    void flush(std::vector<LogRecord>& out);

private:
    struct Seen {
        LogRecord latest;
        int64_t since = 0; // when the line or its last summary was written
        std::uint64_t count = 0; // repeats held since then
    };
    using Table = std::unordered_map<std::string, Seen>;

    void writeDue(int64_t now, std::vector<LogRecord>& out);
    void makeRoom(std::vector<LogRecord>& out);
    static void summarise(Seen& seen, std::vector<LogRecord>& out);

    const MonotonicClock& clock_;
    const int64_t interval_;
    const std::size_t remembered_;
    Table seen_;
    std::string key_; // reused for every call
};

} // namespace platform
