#include "sqlite_connection.h"

#include <sqlite3.h>

namespace {

// SQLite reads "?N" where the shared statements say "$N".
std::string WithSqliteParameters(std::string_view sql) {
    std::string out(sql);
    for (std::size_t i = 0; i + 1 < out.size(); ++i)
        if (out[i] == '$' && out[i + 1] >= '0' && out[i + 1] <= '9')
            out[i] = '?';
    return out;
}

} // namespace

SqliteConnection::SqliteConnection(const std::string& path, std::chrono::milliseconds busyTimeout) {
    // Each connection serves one task at a time (the pool sees to that), so
    // SQLite's per-connection mutex is not needed.
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    const int result = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (result != SQLITE_OK) {
        const std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(result);
        sqlite3_close(db_);
        throw DatabaseError(path + ": " + message);
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, static_cast<int>(busyTimeout.count()));
    try {
        Execute("PRAGMA journal_mode = WAL");
        // In WAL mode NORMAL loses at most the last transactions on a power
        // failure, never the file's consistency.
        Execute("PRAGMA synchronous = NORMAL");
        Execute("PRAGMA foreign_keys = ON");
    } catch (...) {
        sqlite3_close(db_);
        throw;
    }
}

SqliteConnection::~SqliteConnection() {
    statements_.clear();
    sqlite3_close(db_);
}

void SqliteConnection::Execute(const std::string& sql) {
    char* error = nullptr;
    const int result = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error);
    if (result != SQLITE_OK) {
        const std::string message = error != nullptr ? error : sqlite3_errstr(result);
        sqlite3_free(error);
        throw DatabaseError(message);
    }
}

SqliteStatement& SqliteConnection::Prepared(std::string_view sql) {
    const std::string key(sql);
    auto found = statements_.find(key);
    if (found == statements_.end())
        found = statements_
                    .emplace(key, std::make_unique<SqliteStatement>(db_, WithSqliteParameters(sql)))
                    .first;
    return *found->second;
}

SqlRows SqliteConnection::Query(std::string_view sql, std::span<const SqlParam> params) {
    SqliteStatement& statement = Prepared(sql);
    statement.Reset();
    for (std::size_t i = 0; i < params.size(); ++i) {
        const int index = static_cast<int>(i) + 1;
        std::visit(
            [&](const auto& value) {
                if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::nullptr_t>)
                    statement.BindNull(index);
                else
                    statement.Bind(index, value);
            },
            params[i]);
    }
    SqlRows rows;
    while (statement.Step())
        rows.push_back(statement.Row());
    statement.Reset();
    return rows;
}
