#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/System/Date.hpp"

struct sqlite3;

namespace kelvo::app {

using platform::Date;

/// One time entry of the ledger. Empty names and projects are stored as none.
struct TimeEntry {
    std::int64_t id = 0;
    std::optional<std::string> name;
    std::optional<std::string> project;
    Date start;
    std::optional<Date> end;  // none while the entry runs
};

/// A description and project tracked recently. The id is that of the pair's first entry, so it
/// stays the same however often the pair is tracked again.
struct RecentWork {
    std::string id;
    std::string name;
    std::optional<std::string> project;
};

/// The user's time entries, kept in an SQLite file so that they survive restarts. At most one entry
/// runs at a time, and no entry ends before it starts. Every failure of the database throws.
class Ledger {
public:
    /// Opens or creates the ledger file (its directory must exist). A change waits up to
    /// `busyTimeout` for another process's write lock before it fails.
    static Ledger open(const std::filesystem::path& file, std::chrono::milliseconds busyTimeout = std::chrono::seconds(2));

    /// The running entry, if any.
    std::optional<TimeEntry> running() const;
    /// Starts a new entry at `at`, stopping a running one there first.
    TimeEntry start(std::optional<std::string> name, std::optional<std::string> project, Date at);
    /// Stops the running entry at `at` (never before its start); nothing when none runs.
    std::optional<TimeEntry> stop(Date at);
    /// Records an entry that has already ended.
    TimeEntry addFinished(std::optional<std::string> name, std::optional<std::string> project, Date start, Date end);

    /// Seconds of finished entries that fall within [from, to); parts outside are cut off.
    double trackedSeconds(Date from, Date to) const;
    /// Distinct pairs of name and project among finished, named entries, most recently started first.
    std::vector<RecentWork> recent(std::size_t limit) const;
    /// The latest start or end in the ledger; nothing when it is empty.
    std::optional<Date> latestMoment() const;
    bool isEmpty() const { return !latestMoment(); }

    /// Runs `change` so that all or none of its effects are kept. Calls may nest.
    void transaction(const std::function<void()>& change);

    /// Receipts make handling a command file idempotent: a command is claimed in the same
    /// transaction that carries it out, so whoever claims it first, in this or another process, is
    /// the only one to carry it out. False when it was claimed before.
    bool claim(const std::string& key, Date at);
    bool hasReceipt(const std::string& key) const;
    /// Drops receipts of commands handled before `before`, whose files are long gone.
    void forgetReceiptsBefore(Date before);

    const std::filesystem::path& file() const { return file_; }

private:
    struct Close {
        void operator()(sqlite3* db) const;
    };
    Ledger(std::unique_ptr<sqlite3, Close> db, std::filesystem::path file) : db_(std::move(db)), file_(std::move(file)) {}

    std::unique_ptr<sqlite3, Close> db_;
    std::filesystem::path file_;
};

}  // namespace kelvo::app
