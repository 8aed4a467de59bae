#pragma once
// The durable queue of outgoing reports: one SQLite database (WAL journal) per process. A row
// is committed before add() returns, so a report survives a crash that follows at once; rows
// leave only when delivered, refused by the service, purged, or pushed out by the caps.
//
// Caps per channel: at most maxRowsPerChannel rows (adding one more drops the oldest) and no
// row older than maxAgeMillis (checked on open and on every add).
//
// Thread safety: every member may be called from any thread (one connection behind a lock).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

struct sqlite3;

namespace platform::reporting {

// The three services a report can go to.
enum class Channel { Notify = 0, Sessions = 1, Analytics = 2 };
inline constexpr int kChannelCount = 3;
const char* channelName(Channel channel); // "notify", "sessions", "analytics"

struct StoredReport {
    std::int64_t id = 0;
    Channel channel = Channel::Notify;
    std::int64_t createdMillis = 0;
    int attempts = 0;
    std::string body; // as it goes on the wire (gzip)
};

struct StoreLimits {
    std::size_t maxRowsPerChannel = 500;
    std::int64_t maxAgeMillis = 14LL * 24 * 3600 * 1000;
};

class ReportStore {
public:
    // Opens (creating) the database at path. Null with *error set when it cannot be opened.
    static std::unique_ptr<ReportStore> open(const std::string& path, StoreLimits limits = {},
                                             std::string* error = nullptr);
    ~ReportStore();
    ReportStore(const ReportStore&) = delete;
    ReportStore& operator=(const ReportStore&) = delete;

    const std::string& path() const { return path_; }

    // Commits a row. False when the database refused the write.
    bool add(Channel channel, const std::string& body, std::int64_t nowMillis, std::int64_t* id = nullptr);
    // The oldest row of the channel, if any.
    std::optional<StoredReport> oldest(Channel channel);
    bool remove(std::int64_t id);
    void countAttempt(std::int64_t id);
    // Removes every row of the channel; answers how many went.
    std::size_t purge(Channel channel);
    std::size_t count(Channel channel);
    std::size_t count();

    // A small key-value table for the clients' persisted flags.
    std::optional<std::string> setting(const std::string& key);
    void setSetting(const std::string& key, const std::string& value);

private:
    ReportStore(sqlite3* db, std::string path, StoreLimits limits);
    bool exec(const char* sql);
    void dropExpiredLocked(std::int64_t nowMillis);

    std::mutex mutex_;
    sqlite3* db_;
    std::string path_;
    StoreLimits limits_;
};

} // namespace platform::reporting
