#include "sqlite_statement.h"

#include "sqlite_error.h"

#include <sqlite3.h>

SqliteStatement::SqliteStatement(sqlite3* db, std::string_view sql) : db_(db) {
    Check(sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &statement_, nullptr));
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(statement_);
}

SqliteStatement& SqliteStatement::Bind(int index, std::int64_t value) {
    Check(sqlite3_bind_int64(statement_, index, value));
    return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, std::string_view text) {
    // An empty view may have no data pointer, which SQLite would bind as NULL.
    const char* data = text.empty() ? "" : text.data();
    Check(sqlite3_bind_text64(statement_, index, data, text.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
    return *this;
}

SqliteStatement& SqliteStatement::BindNull(int index) {
    Check(sqlite3_bind_null(statement_, index));
    return *this;
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

void SqliteStatement::Run() {
    while (Step()) {
    }
}

std::int64_t SqliteStatement::Int(int column) const {
    return sqlite3_column_int64(statement_, column);
}

std::string SqliteStatement::Text(int column) const {
    const auto* text = sqlite3_column_text(statement_, column);
    const int size = sqlite3_column_bytes(statement_, column);
    return text == nullptr
               ? std::string{}
               : std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size));
}

bool SqliteStatement::IsNull(int column) const {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

void SqliteStatement::Check(int result) const {
    if (result != SQLITE_OK)
        throw SqliteError(sqlite3_errmsg(db_), result);
}
