#pragma once

class SqliteConnection;

// A write transaction. It takes the write lock at its start (BEGIN
// IMMEDIATE), so that two writers never both read and then fail to upgrade;
// it rolls back unless committed.
class SqliteTransaction {
  public:
    explicit SqliteTransaction(SqliteConnection& connection);
    ~SqliteTransaction();
    SqliteTransaction(const SqliteTransaction&) = delete;
    SqliteTransaction& operator=(const SqliteTransaction&) = delete;

    void Commit();

  private:
    SqliteConnection& connection_;
    bool open_ = true;
};
