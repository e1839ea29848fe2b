#pragma once

#include "sql_database.h"

#include <string>
#include <unordered_map>

struct pg_conn;

// One connection to a PostgreSQL server through libpq, with each statement
// prepared on the server once and kept.
class PostgresConnection : public SqlConnection {
  public:
    // A libpq connection URI, "postgresql://user@host:port/database?...".
    explicit PostgresConnection(const std::string& uri);
    ~PostgresConnection() override;
    PostgresConnection(const PostgresConnection&) = delete;
    PostgresConnection& operator=(const PostgresConnection&) = delete;

    SqlRows Query(std::string_view sql, std::span<const SqlParam> params) override;
    void Execute(const std::string& sql) override;
    bool Lost() const override;

  private:
    const std::string& Prepared(std::string_view sql);

    pg_conn* connection_ = nullptr;                               // owned; closed by the destructor
    std::unordered_map<std::string, std::string> statementNames_; // by SQL text
};
