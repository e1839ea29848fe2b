#pragma once

#include <stdexcept>
#include <string>

// A failure reported by SQLite, with SQLite's own message.
class SqliteError : public std::runtime_error {
  public:
    SqliteError(const std::string& message, int code) : std::runtime_error(message), code_(code) {}
    int Code() const { return code_; }

  private:
    int code_;
};
