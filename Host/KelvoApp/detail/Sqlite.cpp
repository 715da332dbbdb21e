#include "Host/KelvoApp/detail/Sqlite.hpp"

namespace kelvo::app::detail {
namespace {

[[noreturn]] void fail(sqlite3* db, int code) {
    throw SqliteError(db ? sqlite3_errmsg(db) : sqlite3_errstr(code));
}

}  // namespace

void execute(sqlite3* db, const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        std::string text = message ? message : "unknown error";
        sqlite3_free(message);
        throw SqliteError(text);
    }
}

Statement::Statement(sqlite3* db, std::string_view sql) : db_(db) {
    int code = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &statement_, nullptr);
    if (code != SQLITE_OK) fail(db, code);
}

Statement& Statement::bind(int index, double value) {
    if (int code = sqlite3_bind_double(statement_, index, value); code != SQLITE_OK) fail(db_, code);
    return *this;
}

Statement& Statement::bind(int index, std::int64_t value) {
    if (int code = sqlite3_bind_int64(statement_, index, value); code != SQLITE_OK) fail(db_, code);
    return *this;
}

Statement& Statement::bind(int index, const std::optional<std::string>& text) {
    int code = text ? sqlite3_bind_text(statement_, index, text->data(), static_cast<int>(text->size()), SQLITE_TRANSIENT)
                    : sqlite3_bind_null(statement_, index);
    if (code != SQLITE_OK) fail(db_, code);
    return *this;
}

bool Statement::step() {
    int code = sqlite3_step(statement_);
    if (code == SQLITE_ROW) return true;
    if (code == SQLITE_DONE) return false;
    fail(db_, code);
}

std::optional<std::string> Statement::text(int column) const {
    if (isNull(column)) return std::nullopt;
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
    return std::string(bytes, static_cast<size_t>(sqlite3_column_bytes(statement_, column)));
}

}  // namespace kelvo::app::detail
