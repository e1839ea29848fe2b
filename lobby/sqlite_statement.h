#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

// One prepared SQL statement. Every value from outside reaches SQLite only
// as a bound parameter, never as part of the SQL text.
class SqliteStatement {
  public:
    SqliteStatement(sqlite3* db, std::string_view sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // Parameters are numbered from 1, as in the SQL text (?1, ?2, ...).
    SqliteStatement& Bind(int index, std::int64_t value);
    SqliteStatement& Bind(int index, std::string_view text);
    SqliteStatement& BindNull(int index);

    // Runs to the next row; false when the statement is done.
    bool Step();
    // Runs a statement that returns no rows.
    void Run();

    // Columns are numbered from 0.
    std::int64_t Int(int column) const;
    std::string Text(int column) const;
    bool IsNull(int column) const;

  private:
    void Check(int result) const;

    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr; // owned; finalised by the destructor
};
