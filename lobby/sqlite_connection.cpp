#include "sqlite_connection.h"

#include "sqlite_error.h"

#include <sqlite3.h>

SqliteConnection::SqliteConnection(const std::string& path, std::chrono::milliseconds busyTimeout) {
    // The store serialises its own use of the connection, so SQLite's
    // per-connection mutex is not needed.
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    const int result = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (result != SQLITE_OK) {
        const std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(result);
        sqlite3_close(db_);
        throw SqliteError(path + ": " + message, result);
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, static_cast<int>(busyTimeout.count()));
}

SqliteConnection::~SqliteConnection() {
    sqlite3_close(db_);
}

void SqliteConnection::Execute(const char* sql) {
    char* error = nullptr;
    const int result = sqlite3_exec(db_, sql, nullptr, nullptr, &error);
    if (result != SQLITE_OK) {
        const std::string message = error != nullptr ? error : sqlite3_errstr(result);
        sqlite3_free(error);
        throw SqliteError(message, result);
    }
}

SqliteStatement SqliteConnection::Prepare(std::string_view sql) {
    return {db_, sql};
}

std::int64_t SqliteConnection::LastInsertRowId() const {
    return sqlite3_last_insert_rowid(db_);
}

int SqliteConnection::Changes() const {
    return sqlite3_changes(db_);
}
