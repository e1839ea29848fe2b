#pragma once

#include <memory>
#include <string>
#include <sys/types.h>

// A PostgreSQL server of the tests' own: made with initdb in a temporary
// directory and listening only on a Unix socket there, started on first use
// and stopped when the test program ends (or dies: the server is told to
// quit with it). Run as root, the server runs as the user "postgres", since
// PostgreSQL refuses to run as root.
class TestPostgres {
  public:
    // The running server, or nullptr with the reason in `whyNot` when the
    // server's programs (Debian package postgresql) are not installed.
    static TestPostgres* Instance(std::string& whyNot);

    ~TestPostgres();
    TestPostgres(const TestPostgres&) = delete;
    TestPostgres& operator=(const TestPostgres&) = delete;

    // A new, empty database; its URI for the lobby's --db.
    std::string NewDatabase();

  private:
    TestPostgres() = default;
    void Start(const std::string& binDir);
    std::string Uri(const std::string& database) const;

    std::string dir_; // data directory, socket and log
    pid_t server_ = -1;
    int databases_ = 0;
};
