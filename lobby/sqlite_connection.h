#pragma once

#include "sql_database.h"
#include "sqlite_statement.h"

#include <chrono>
#include <memory>
#include <string>
#include <unordered_map>

// One connection to the lobby's SQLite file, in write-ahead-log mode so that
// readers never wait for the writer, with a busy time-out so that the server
// and a user command run from the shell can both write to it. Statements
// are prepared once and kept.
class SqliteConnection : public SqlConnection {
  public:
    SqliteConnection(const std::string& path, std::chrono::milliseconds busyTimeout);
    ~SqliteConnection() override;
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    SqlRows Query(std::string_view sql, std::span<const SqlParam> params) override;
    void Execute(const std::string& sql) override;

  private:
    SqliteStatement& Prepared(std::string_view sql);

    sqlite3* db_ = nullptr; // owned; closed by the destructor, after the statements
    std::unordered_map<std::string, std::unique_ptr<SqliteStatement>> statements_;
};
