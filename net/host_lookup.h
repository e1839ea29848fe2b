// One host name look-up, run on a thread of its own so that the program
// keeps handling its events (timer ticks, received datagrams) while it
// waits for the answer.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class QEventLoop;

class THostLookup {
  public:
    struct Answer {
        bool found = false;
        uint32_t address = 0; // IPv4, network byte order
        int error = 0;        // Windows Sockets number when not found
    };

    // Starts looking up an IPv4 address of hostName.
    explicit THostLookup(const std::string& hostName);
    ~THostLookup();
    THostLookup(const THostLookup&) = delete;
    THostLookup& operator=(const THostLookup&) = delete;

    // Runs a nested event loop until the answer is in; nothing when the
    // look-up was cancelled meanwhile.
    std::optional<Answer> Wait();
    // Ends a running Wait() without an answer.
    void Cancel();

    struct Shared; // what the look-up thread fills in

  private:
    std::shared_ptr<Shared> shared_;
    QEventLoop* waiting_ = nullptr; // the loop that Wait() runs, if any
    bool cancelled_ = false;
};
