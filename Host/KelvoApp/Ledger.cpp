#include "Host/KelvoApp/Ledger.hpp"

#include <algorithm>

#include "Host/KelvoApp/detail/Sqlite.hpp"

namespace kelvo::app {
namespace {

using detail::Statement;

constexpr int schemaVersion = 2;

// Dates are stored as the milliseconds that the documents carry, so fractions survive.
constexpr const char* schema = R"sql(
CREATE TABLE IF NOT EXISTS entries (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    name TEXT,
    project TEXT,
    start_ms REAL NOT NULL,
    end_ms REAL CHECK (end_ms IS NULL OR end_ms >= start_ms)
);
-- At most one running entry: every running row has the same indexed value.
CREATE UNIQUE INDEX IF NOT EXISTS entries_one_running ON entries ((end_ms IS NULL)) WHERE end_ms IS NULL;
CREATE INDEX IF NOT EXISTS entries_by_end ON entries (end_ms);
CREATE TABLE IF NOT EXISTS receipts (key TEXT PRIMARY KEY, handled_ms REAL NOT NULL DEFAULT 0) WITHOUT ROWID;
)sql";

// Version 1 kept receipts without a date; they count as handled at the upgrade.
constexpr const char* receiptDates = R"sql(
ALTER TABLE receipts ADD COLUMN handled_ms REAL NOT NULL DEFAULT 0;
UPDATE receipts SET handled_ms = strftime('%s', 'now') * 1000.0;
)sql";

std::optional<std::string> nonEmpty(std::optional<std::string> text) {
    if (text && text->empty()) return std::nullopt;
    return text;
}

TimeEntry entryAt(const Statement& row) {
    TimeEntry entry;
    entry.id = row.integer(0);
    entry.name = row.text(1);
    entry.project = row.text(2);
    entry.start = Date::fromMilliseconds(row.real(3));
    if (!row.isNull(4)) entry.end = Date::fromMilliseconds(row.real(4));
    return entry;
}

}  // namespace

void Ledger::Close::operator()(sqlite3* db) const { sqlite3_close_v2(db); }

Ledger Ledger::open(const std::filesystem::path& file, std::chrono::milliseconds busyTimeout) {
    sqlite3* raw = nullptr;
    int code = sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
    std::unique_ptr<sqlite3, Close> db{raw};
    if (code != SQLITE_OK) throw detail::SqliteError(raw ? sqlite3_errmsg(raw) : sqlite3_errstr(code));
    sqlite3_busy_timeout(db.get(), static_cast<int>(busyTimeout.count()));
    sqlite3_extended_result_codes(db.get(), 1);
    // A command file is removed only after its effect is committed, so a commit must reach the disk.
    detail::execute(db.get(), "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;");

    Statement version(db.get(), "PRAGMA user_version");
    int found = version.step() ? static_cast<int>(version.integer(0)) : 0;
    if (found > schemaVersion)
        throw detail::SqliteError("ledger " + file.string() + " was written by a newer version (schema " +
                                  std::to_string(found) + ")");
    detail::execute(db.get(), "BEGIN IMMEDIATE");
    try {
        if (found == 1) detail::execute(db.get(), receiptDates);
        detail::execute(db.get(), schema);
        detail::execute(db.get(), ("PRAGMA user_version=" + std::to_string(schemaVersion)).c_str());
        detail::execute(db.get(), "COMMIT");
    } catch (...) {
        sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    return Ledger(std::move(db), file);
}

void Ledger::transaction(const std::function<void()>& change) {
    // The outermost level takes the write lock at once: a deferred one would read first and then
    // fail, without waiting, if another connection wrote meanwhile. Savepoints nest inside it.
    bool outermost = sqlite3_get_autocommit(db_.get()) != 0;
    if (outermost) detail::execute(db_.get(), "BEGIN IMMEDIATE");
    try {
        detail::execute(db_.get(), "SAVEPOINT change");
    } catch (...) {
        if (outermost) sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    try {
        change();
        detail::execute(db_.get(), "RELEASE change");
        if (outermost) detail::execute(db_.get(), "COMMIT");
    } catch (...) {
        sqlite3_exec(db_.get(), outermost ? "ROLLBACK" : "ROLLBACK TO change; RELEASE change", nullptr, nullptr, nullptr);
        throw;
    }
}

std::optional<TimeEntry> Ledger::running() const {
    Statement query(db_.get(), "SELECT id, name, project, start_ms, end_ms FROM entries WHERE end_ms IS NULL");
    if (!query.step()) return std::nullopt;
    return entryAt(query);
}

std::optional<TimeEntry> Ledger::stop(Date at) {
    std::optional<TimeEntry> stopped;
    transaction([&] {
        stopped = running();
        if (!stopped) return;
        stopped->end = std::max(at, stopped->start);
        Statement update(db_.get(), "UPDATE entries SET end_ms = ?1 WHERE id = ?2");
        update.bind(1, stopped->end->millisecondsSince1970).bind(2, stopped->id).run();
    });
    return stopped;
}

TimeEntry Ledger::start(std::optional<std::string> name, std::optional<std::string> project, Date at) {
    TimeEntry entry{0, nonEmpty(std::move(name)), nonEmpty(std::move(project)), at, std::nullopt};
    transaction([&] {
        stop(at);
        Statement insert(db_.get(), "INSERT INTO entries (name, project, start_ms) VALUES (?1, ?2, ?3)");
        insert.bind(1, entry.name).bind(2, entry.project).bind(3, at.millisecondsSince1970).run();
        entry.id = sqlite3_last_insert_rowid(db_.get());
    });
    return entry;
}

TimeEntry Ledger::addFinished(std::optional<std::string> name, std::optional<std::string> project, Date start, Date end) {
    TimeEntry entry{0, nonEmpty(std::move(name)), nonEmpty(std::move(project)), start, std::max(start, end)};
    Statement insert(db_.get(), "INSERT INTO entries (name, project, start_ms, end_ms) VALUES (?1, ?2, ?3, ?4)");
    insert.bind(1, entry.name).bind(2, entry.project).bind(3, start.millisecondsSince1970);
    insert.bind(4, entry.end->millisecondsSince1970).run();
    entry.id = sqlite3_last_insert_rowid(db_.get());
    return entry;
}

double Ledger::trackedSeconds(Date from, Date to) const {
    Statement query(db_.get(), R"sql(
        SELECT TOTAL(MIN(end_ms, ?2) - MAX(start_ms, ?1)) FROM entries
        WHERE end_ms IS NOT NULL AND end_ms > ?1 AND start_ms < ?2)sql");
    query.bind(1, from.millisecondsSince1970).bind(2, to.millisecondsSince1970);
    return query.step() ? query.real(0) / 1000.0 : 0.0;
}

std::vector<RecentWork> Ledger::recent(std::size_t limit) const {
    // GROUP BY puts all entries without a project into one group, as wanted.
    Statement query(db_.get(), R"sql(
        SELECT MIN(id), name, project FROM entries
        WHERE end_ms IS NOT NULL AND name IS NOT NULL AND trim(name) <> ''
        GROUP BY name, project
        ORDER BY MAX(start_ms) DESC, MAX(id) DESC
        LIMIT ?1)sql");
    query.bind(1, static_cast<std::int64_t>(limit));
    std::vector<RecentWork> list;
    while (query.step()) list.push_back({std::to_string(query.integer(0)), *query.text(1), query.text(2)});
    return list;
}

std::optional<Date> Ledger::latestMoment() const {
    Statement query(db_.get(), "SELECT MAX(MAX(start_ms, IFNULL(end_ms, start_ms))) FROM entries");
    if (!query.step() || query.isNull(0)) return std::nullopt;
    return Date::fromMilliseconds(query.real(0));
}

bool Ledger::claim(const std::string& key, Date at) {
    Statement insert(db_.get(), "INSERT OR IGNORE INTO receipts (key, handled_ms) VALUES (?1, ?2)");
    insert.bind(1, std::optional<std::string>(key)).bind(2, at.millisecondsSince1970).run();
    return sqlite3_changes(db_.get()) == 1;
}

bool Ledger::hasReceipt(const std::string& key) const {
    Statement query(db_.get(), "SELECT 1 FROM receipts WHERE key = ?1");
    query.bind(1, std::optional<std::string>(key));
    return query.step();
}

void Ledger::forgetReceiptsBefore(Date before) {
    Statement remove(db_.get(), "DELETE FROM receipts WHERE handled_ms < ?1");
    remove.bind(1, before.millisecondsSince1970).run();
}

}  // namespace kelvo::app
