#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// Thin owners of SQLite handles. Every failure throws SqliteError with SQLite's own message.
namespace kelvo::app::detail {

struct SqliteError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct DatabaseClose {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, DatabaseClose>;

/// Runs statements that return no rows.
void execute(sqlite3* db, const char* sql);

class Statement {
public:
    Statement(sqlite3* db, std::string_view sql);
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement() { sqlite3_finalize(statement_); }

    Statement& bind(int index, double value);
    Statement& bind(int index, std::int64_t value);
    Statement& bind(int index, const std::optional<std::string>& text);

    /// Advances to the next row; false when there is none.
    bool step();
    /// Runs a statement that returns no rows.
    void run() {
        while (step()) {
        }
    }

    bool isNull(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }
    double real(int column) const { return sqlite3_column_double(statement_, column); }
    std::int64_t integer(int column) const { return sqlite3_column_int64(statement_, column); }
    std::optional<std::string> text(int column) const;

private:
    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr;
};

}  // namespace kelvo::app::detail
