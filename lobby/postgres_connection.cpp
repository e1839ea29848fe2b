#include "postgres_connection.h"

#include <libpq-fe.h>
#include <memory>

namespace {

struct ResultDeleter {
    void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// libpq's messages end with a line break.
std::string Message(const char* text) {
    std::string message = text != nullptr ? text : "";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    return message.empty() ? "the PostgreSQL server did not answer" : message;
}

void Check(pg_conn* connection, const Result& result) {
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
        return;
    throw DatabaseError(
        Message(result ? PQresultErrorMessage(result.get()) : PQerrorMessage(connection)));
}

} // namespace

PostgresConnection::PostgresConnection(const std::string& uri) {
    connection_ = PQconnectdb(uri.c_str());
    if (PQstatus(connection_) != CONNECTION_OK) {
        const std::string message = Message(PQerrorMessage(connection_));
        PQfinish(connection_);
        throw DatabaseError("cannot reach the PostgreSQL database: " + message);
    }
    // Notices (such as "relation already exists, skipping") are not for
    // the lobby's log.
    PQsetNoticeProcessor(
        connection_, [](void*, const char*) {}, nullptr);
}

PostgresConnection::~PostgresConnection() {
    PQfinish(connection_);
}

bool PostgresConnection::Lost() const {
    return PQstatus(connection_) != CONNECTION_OK;
}

void PostgresConnection::Execute(const std::string& sql) {
    Check(connection_, Result(PQexec(connection_, sql.c_str())));
}

const std::string& PostgresConnection::Prepared(std::string_view sql) {
    const std::string key(sql);
    auto found = statementNames_.find(key);
    if (found != statementNames_.end())
        return found->second;
    const std::string name = "s" + std::to_string(statementNames_.size() + 1);
    // The server works out each parameter's type from the statement.
    Check(connection_, Result(PQprepare(connection_, name.c_str(), key.c_str(), 0, nullptr)));
    return statementNames_.emplace(key, name).first->second;
}

SqlRows PostgresConnection::Query(std::string_view sql, std::span<const SqlParam> params) {
    const std::string& name = Prepared(sql);
    std::vector<std::string> texts(params.size());
    std::vector<const char*> values(params.size(), nullptr);
    for (std::size_t i = 0; i < params.size(); ++i) {
        if (const auto* number = std::get_if<std::int64_t>(&params[i]))
            texts[i] = std::to_string(*number);
        else if (const auto* text = std::get_if<std::string_view>(&params[i]))
            texts[i] = std::string(*text);
        else
            continue; // null
        values[i] = texts[i].c_str();
    }
    const Result result(PQexecPrepared(connection_, name.c_str(), static_cast<int>(params.size()),
                                       values.data(), nullptr, nullptr, 0));
    Check(connection_, result);
    SqlRows rows;
    const int rowCount = PQntuples(result.get());
    const int columns = PQnfields(result.get());
    rows.reserve(static_cast<std::size_t>(rowCount));
    for (int r = 0; r < rowCount; ++r) {
        std::vector<std::optional<std::string>> fields;
        fields.reserve(static_cast<std::size_t>(columns));
        for (int c = 0; c < columns; ++c) {
            if (PQgetisnull(result.get(), r, c))
                fields.emplace_back();
            else
                fields.emplace_back(
                    std::string(PQgetvalue(result.get(), r, c),
                                static_cast<std::size_t>(PQgetlength(result.get(), r, c))));
        }
        rows.emplace_back(std::move(fields));
    }
    return rows;
}
