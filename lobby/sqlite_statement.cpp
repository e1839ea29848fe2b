#include "sqlite_statement.h"

#include <sqlite3.h>

SqliteStatement::SqliteStatement(sqlite3* db, std::string_view sql) : db_(db) {
    Check(sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()),
                             SQLITE_PREPARE_PERSISTENT, &statement_, nullptr));
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(statement_);
}

void SqliteStatement::Reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

void SqliteStatement::Bind(int index, std::int64_t value) {
    Check(sqlite3_bind_int64(statement_, index, value));
}

void SqliteStatement::Bind(int index, std::string_view text) {
    // An empty view may have no data pointer, which SQLite would bind as NULL.
    const char* data = text.empty() ? "" : text.data();
    Check(sqlite3_bind_text64(statement_, index, data, text.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
}

void SqliteStatement::BindNull(int index) {
    Check(sqlite3_bind_null(statement_, index));
}

bool SqliteStatement::Step() {
    const int result = sqlite3_step(statement_);
    if (result == SQLITE_ROW)
        return true;
    if (result == SQLITE_DONE)
        return false;
    Check(result);
    return false;
}

SqlRow SqliteStatement::Row() const {
    const int columns = sqlite3_column_count(statement_);
    std::vector<std::optional<std::string>> fields;
    fields.reserve(static_cast<std::size_t>(columns));
    for (int i = 0; i < columns; ++i) {
        if (sqlite3_column_type(statement_, i) == SQLITE_NULL) {
            fields.emplace_back();
            continue;
        }
        const auto* text = sqlite3_column_text(statement_, i);
        const int size = sqlite3_column_bytes(statement_, i);
        fields.emplace_back(
            std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size)));
    }
    return SqlRow(std::move(fields));
}

void SqliteStatement::Check(int result) const {
    if (result != SQLITE_OK)
        throw DatabaseError(sqlite3_errmsg(db_));
}
