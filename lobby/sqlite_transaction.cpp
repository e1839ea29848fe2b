#include "sqlite_transaction.h"

#include "sqlite_connection.h"

SqliteTransaction::SqliteTransaction(SqliteConnection& connection) : connection_(connection) {
    connection_.Execute("BEGIN IMMEDIATE");
}

SqliteTransaction::~SqliteTransaction() {
    if (!open_)
        return;
    try {
        connection_.Execute("ROLLBACK");
    } catch (...) {
        // SQLite has already rolled back when the failure that brought us
        // here ended the transaction itself.
    }
}

void SqliteTransaction::Commit() {
    connection_.Execute("COMMIT");
    open_ = false;
}
