#pragma once

#include "sqlite_statement.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

// One connection to the lobby's database file, in write-ahead-log mode so
// that readers never wait for the writer, with a busy time-out so that the
// server and a user command run from the shell can both write to it.
class SqliteConnection {
  public:
    SqliteConnection(const std::string& path, std::chrono::milliseconds busyTimeout);
    ~SqliteConnection();
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    // For fixed SQL without parameters only (schema, transactions).
    void Execute(const char* sql);
    SqliteStatement Prepare(std::string_view sql);

    std::int64_t LastInsertRowId() const;
    int Changes() const;

  private:
    sqlite3* db_ = nullptr; // owned; closed by the destructor
};
