#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// A failure reported by the database, with its own message.
class DatabaseError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class SqlDialect { Sqlite, Postgres };

// A value bound to $1, $2, ... of a statement.
using SqlParam = std::variant<std::nullptr_t, std::int64_t, std::string_view>;

// One row of a result, every field as text (or null) as both databases can
// give it.
class SqlRow {
  public:
    explicit SqlRow(std::vector<std::optional<std::string>> fields) : fields_(std::move(fields)) {}
    bool IsNull(std::size_t column) const;
    const std::string& Text(std::size_t column) const; // throws on null
    std::int64_t Int(std::size_t column) const;        // throws on null or a non-number

  private:
    std::vector<std::optional<std::string>> fields_;
};
using SqlRows = std::vector<SqlRow>;

// One connection to either database. Statements are written once, in the
// SQL both understand, with parameters $1, $2, ...; every value from
// outside travels as a parameter, never inside the SQL text.
class SqlConnection {
  public:
    virtual ~SqlConnection() = default;
    virtual SqlRows Query(std::string_view sql, std::span<const SqlParam> params) = 0;
    // Fixed SQL without parameters, possibly several statements.
    virtual void Execute(const std::string& sql) = 0;
    // After a failure: whether the connection is lost and must be replaced.
    virtual bool Lost() const { return false; }
};

// A pool of connections to one database: SQLite for a single host, or
// PostgreSQL, which several lobby processes may share. Connections are
// opened when first needed.
class SqlDatabase {
  public:
    using Connector = std::function<std::unique_ptr<SqlConnection>()>;

    SqlDatabase(SqlDialect dialect, Connector connect, std::size_t maxConnections);

    // A "postgresql://" or "postgres://" URI (libpq's), or else the path of
    // an SQLite file, created when missing.
    static std::unique_ptr<SqlDatabase> Open(const std::string& location,
                                             std::size_t maxConnections);
    static bool IsPostgresUri(std::string_view location);

    SqlDialect Dialect() const { return dialect_; }

    // A connection for the time of one task. A write lease is one
    // transaction, rolled back unless committed; SQLite's writers take the
    // file's write lock at once (BEGIN IMMEDIATE), so that two of them never
    // both read and then fail to upgrade, and this process's writers queue
    // here rather than in SQLite's sleeping busy handler.
    class Lease {
      public:
        Lease(SqlDatabase& database, bool write);
        ~Lease();
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;

        SqlRows Query(std::string_view sql, std::initializer_list<SqlParam> params = {});
        void Execute(const std::string& sql) { connection_->Execute(sql); }
        void Commit();

      private:
        SqlDatabase& database_;
        std::unique_lock<std::mutex> writer_;
        std::unique_ptr<SqlConnection> connection_;
        bool inTransaction_ = false;
    };

    Lease Read() { return Lease(*this, false); }
    Lease Write() { return Lease(*this, true); }

  private:
    std::unique_ptr<SqlConnection> Acquire();
    void Release(std::unique_ptr<SqlConnection> connection);

    const SqlDialect dialect_;
    const Connector connect_;
    const std::size_t maxConnections_;
    std::mutex writerMutex_; // SQLite only
    std::mutex poolMutex_;
    std::condition_variable returned_;
    std::vector<std::unique_ptr<SqlConnection>> idle_;
    std::size_t open_ = 0;
};
