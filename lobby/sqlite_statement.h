#pragma once

#include "sql_database.h"

#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

// One prepared SQL statement, reused: reset, bound, stepped.
class SqliteStatement {
  public:
    SqliteStatement(sqlite3* db, std::string_view sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // Forgets the last run and its values.
    void Reset();
    // Parameters are numbered from 1.
    void Bind(int index, std::int64_t value);
    void Bind(int index, std::string_view text);
    void BindNull(int index);

    // Runs to the next row; false when the statement is done.
    bool Step();
    // The current row, every column as text or null.
    SqlRow Row() const;

  private:
    void Check(int result) const;

    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr; // owned; finalised by the destructor
};
