#include "sql_database.h"

#include "postgres_connection.h"
#include "sqlite_connection.h"

#include <algorithm>
#include <charconv>
#include <chrono>

namespace {

constexpr std::chrono::milliseconds kSqliteBusyTimeout{5000};

} // namespace

bool SqlRow::IsNull(std::size_t column) const {
    return column >= fields_.size() || !fields_[column];
}

const std::string& SqlRow::Text(std::size_t column) const {
    if (IsNull(column))
        throw DatabaseError("the database gave no value where one was expected");
    return *fields_[column];
}

std::int64_t SqlRow::Int(std::size_t column) const {
    const std::string& text = Text(column);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size())
        throw DatabaseError("the database gave \"" + text + "\" where a number was expected");
    return value;
}

SqlDatabase::SqlDatabase(SqlDialect dialect, Connector connect, std::size_t maxConnections)
    : dialect_(dialect), connect_(std::move(connect)),
      maxConnections_(std::max<std::size_t>(maxConnections, 1)) {}

bool SqlDatabase::IsPostgresUri(std::string_view location) {
    return location.starts_with("postgresql://") || location.starts_with("postgres://");
}

std::unique_ptr<SqlDatabase> SqlDatabase::Open(const std::string& location,
                                               std::size_t maxConnections) {
    if (IsPostgresUri(location))
        return std::make_unique<SqlDatabase>(
            SqlDialect::Postgres,
            [location] { return std::make_unique<PostgresConnection>(location); }, maxConnections);
    auto database = std::make_unique<SqlDatabase>(
        SqlDialect::Sqlite,
        [location] { return std::make_unique<SqliteConnection>(location, kSqliteBusyTimeout); },
        maxConnections);
    // Opened now, so that a path that cannot be a database fails at once.
    database->Read();
    return database;
}

std::unique_ptr<SqlConnection> SqlDatabase::Acquire() {
    {
        std::unique_lock lock(poolMutex_);
        returned_.wait(lock, [this] { return !idle_.empty() || open_ < maxConnections_; });
        if (!idle_.empty()) {
            auto connection = std::move(idle_.back());
            idle_.pop_back();
            return connection;
        }
        ++open_;
    }
    try {
        return connect_();
    } catch (...) {
        std::lock_guard lock(poolMutex_);
        --open_;
        returned_.notify_one();
        throw;
    }
}

void SqlDatabase::Release(std::unique_ptr<SqlConnection> connection) {
    {
        std::lock_guard lock(poolMutex_);
        if (connection->Lost())
            --open_;
        else
            idle_.push_back(std::move(connection));
    }
    returned_.notify_one();
}

SqlDatabase::Lease::Lease(SqlDatabase& database, bool write) : database_(database) {
    const bool sqlite = database_.dialect_ == SqlDialect::Sqlite;
    if (write && sqlite)
        writer_ = std::unique_lock(database_.writerMutex_);
    connection_ = database_.Acquire();
    if (!write)
        return;
    try {
        connection_->Execute(sqlite ? "BEGIN IMMEDIATE" : "BEGIN");
    } catch (...) {
        database_.Release(std::move(connection_));
        throw;
    }
    inTransaction_ = true;
}

SqlDatabase::Lease::~Lease() {
    if (!connection_)
        return;
    if (inTransaction_) {
        try {
            connection_->Execute("ROLLBACK");
        } catch (...) {
            // The failure that brought us here may have ended the
            // transaction already, or lost the connection.
        }
    }
    database_.Release(std::move(connection_));
}

SqlRows SqlDatabase::Lease::Query(std::string_view sql, std::initializer_list<SqlParam> params) {
    return connection_->Query(sql, std::span<const SqlParam>(params.begin(), params.size()));
}

void SqlDatabase::Lease::Commit() {
    connection_->Execute("COMMIT");
    inTransaction_ = false;
}
