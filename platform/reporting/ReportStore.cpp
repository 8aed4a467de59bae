#include "platform/reporting/ReportStore.h"

#include "platform/reporting/Identifiers.h"
#include "platform/reporting/ReportingLog.h"

#include <sqlite3.h>

namespace platform::reporting {

namespace {

// One prepared statement, finalized on scope exit.
class Statement {
public:
    Statement(sqlite3* db, const char* sql)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) {
            reportingLog(ReportingLogLevel::Error,
                         std::string("Report store: cannot prepare statement: ") + sqlite3_errmsg(db));
            stmt_ = nullptr;
        }
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    explicit operator bool() const { return stmt_ != nullptr; }
    Statement& bind(int index, std::int64_t value)
    {
        if (stmt_)
            sqlite3_bind_int64(stmt_, index, value);
        return *this;
    }
    Statement& bindBlob(int index, const std::string& value)
    {
        if (stmt_)
            sqlite3_bind_blob64(stmt_, index, value.data(), value.size(), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bindText(int index, const std::string& value)
    {
        if (stmt_)
            sqlite3_bind_text64(stmt_, index, value.data(), value.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step() { return stmt_ ? sqlite3_step(stmt_) : SQLITE_ERROR; }
    std::int64_t integer(int column) { return sqlite3_column_int64(stmt_, column); }
    std::string blob(int column)
    {
        const void* data = sqlite3_column_blob(stmt_, column);
        const int size = sqlite3_column_bytes(stmt_, column);
        return data ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size)) : std::string();
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
};

} // namespace

const char* channelName(Channel channel)
{
    switch (channel) {
    case Channel::Notify: return "notify";
    case Channel::Sessions: return "sessions";
    case Channel::Analytics: return "analytics";
    }
    return "unknown";
}

std::unique_ptr<ReportStore> ReportStore::open(const std::string& path, StoreLimits limits, std::string* error)
{
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        if (error)
            *error = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 2000);
    std::unique_ptr<ReportStore> store(new ReportStore(db, path, limits));
    // WAL with synchronous NORMAL: a committed row survives the process crashing right after.
    const bool ok = store->exec("PRAGMA journal_mode=WAL")
        && store->exec("PRAGMA synchronous=NORMAL")
        && store->exec("CREATE TABLE IF NOT EXISTS reports("
                       "id INTEGER PRIMARY KEY AUTOINCREMENT, channel INTEGER NOT NULL, "
                       "created INTEGER NOT NULL, attempts INTEGER NOT NULL DEFAULT 0, body BLOB NOT NULL)")
        && store->exec("CREATE INDEX IF NOT EXISTS reports_by_channel ON reports(channel, id)")
        && store->exec("CREATE TABLE IF NOT EXISTS settings(key TEXT PRIMARY KEY, value TEXT NOT NULL)");
    if (!ok) {
        if (error)
            *error = sqlite3_errmsg(db);
        return nullptr;
    }
    store->dropExpiredLocked(nowMillis());
    return store;
}

ReportStore::ReportStore(sqlite3* db, std::string path, StoreLimits limits)
    : db_(db), path_(std::move(path)), limits_(limits)
{
}

ReportStore::~ReportStore()
{
    sqlite3_close(db_);
}

bool ReportStore::exec(const char* sql)
{
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        reportingLog(ReportingLogLevel::Error,
                     std::string("Report store: ") + (message ? message : "statement failed"));
        sqlite3_free(message);
        return false;
    }
    return true;
}

void ReportStore::dropExpiredLocked(std::int64_t nowMillis)
{
    Statement st(db_, "DELETE FROM reports WHERE created < ?1");
    st.bind(1, nowMillis - limits_.maxAgeMillis).step();
}

bool ReportStore::add(Channel channel, const std::string& body, std::int64_t nowMillis, std::int64_t* id)
{
    std::lock_guard lock(mutex_);
    if (!exec("BEGIN IMMEDIATE"))
        return false;
    dropExpiredLocked(nowMillis);
    Statement insert(db_, "INSERT INTO reports(channel, created, body) VALUES(?1, ?2, ?3)");
    insert.bind(1, static_cast<int>(channel)).bind(2, nowMillis).bindBlob(3, body);
    if (insert.step() != SQLITE_DONE) {
        exec("ROLLBACK");
        return false;
    }
    const std::int64_t newId = sqlite3_last_insert_rowid(db_);
    // Keep the newest maxRowsPerChannel rows of this channel.
    Statement cap(db_, "DELETE FROM reports WHERE channel = ?1 AND id NOT IN "
                       "(SELECT id FROM reports WHERE channel = ?1 ORDER BY id DESC LIMIT ?2)");
    cap.bind(1, static_cast<int>(channel)).bind(2, static_cast<std::int64_t>(limits_.maxRowsPerChannel)).step();
    if (!exec("COMMIT")) {
        exec("ROLLBACK");
        return false;
    }
    if (id)
        *id = newId;
    return true;
}

std::optional<StoredReport> ReportStore::oldest(Channel channel)
{
    std::lock_guard lock(mutex_);
    Statement st(db_, "SELECT id, created, attempts, body FROM reports WHERE channel = ?1 ORDER BY id LIMIT 1");
    st.bind(1, static_cast<int>(channel));
    if (st.step() != SQLITE_ROW)
        return std::nullopt;
    StoredReport r;
    r.id = st.integer(0);
    r.channel = channel;
    r.createdMillis = st.integer(1);
    r.attempts = static_cast<int>(st.integer(2));
    r.body = st.blob(3);
    return r;
}

bool ReportStore::remove(std::int64_t id)
{
    std::lock_guard lock(mutex_);
    Statement st(db_, "DELETE FROM reports WHERE id = ?1");
    return st.bind(1, id).step() == SQLITE_DONE && sqlite3_changes(db_) > 0;
}

void ReportStore::countAttempt(std::int64_t id)
{
    std::lock_guard lock(mutex_);
    Statement st(db_, "UPDATE reports SET attempts = attempts + 1 WHERE id = ?1");
    st.bind(1, id).step();
}

std::size_t ReportStore::purge(Channel channel)
{
    std::lock_guard lock(mutex_);
    Statement st(db_, "DELETE FROM reports WHERE channel = ?1");
    if (st.bind(1, static_cast<int>(channel)).step() != SQLITE_DONE)
        return 0;
    return static_cast<std::size_t>(sqlite3_changes(db_));
}

std::size_t ReportStore::count(Channel channel)
{
    std::lock_guard lock(mutex_);
    Statement st(db_, "SELECT COUNT(*) FROM reports WHERE channel = ?1");
    st.bind(1, static_cast<int>(channel));
    return st.step() == SQLITE_ROW ? static_cast<std::size_t>(st.integer(0)) : 0;
}

std::size_t ReportStore::count()
{
    std::lock_guard lock(mutex_);
    Statement st(db_, "SELECT COUNT(*) FROM reports");
    return st.step() == SQLITE_ROW ? static_cast<std::size_t>(st.integer(0)) : 0;
}

std::optional<std::string> ReportStore::setting(const std::string& key)
{
    std::lock_guard lock(mutex_);
    Statement st(db_, "SELECT value FROM settings WHERE key = ?1");
    st.bindText(1, key);
    if (st.step() != SQLITE_ROW)
        return std::nullopt;
    return st.blob(0);
}

void ReportStore::setSetting(const std::string& key, const std::string& value)
{
    std::lock_guard lock(mutex_);
    Statement st(db_, "INSERT INTO settings(key, value) VALUES(?1, ?2) "
                      "ON CONFLICT(key) DO UPDATE SET value = excluded.value");
    st.bindText(1, key).bindText(2, value).step();
}

} // namespace platform::reporting
