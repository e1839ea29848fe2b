// One host name look-up, run on a thread of its own; its answer comes back
// as a queued call on the application's thread, so the program never waits
// for it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class THostLookup {
  public:
    struct Answer {
        bool found = false;
        uint32_t address = 0; // IPv4, network byte order
        int error = 0;        // Windows Sockets number when not found
    };
    using TDone = std::function<void(const Answer& answer)>;

    // Starts looking up an IPv4 address of hostName.  done runs once, from
    // the event loop of the application's thread, unless the look-up is
    // cancelled or destroyed first.  It may destroy the look-up.  Made on
    // the application's thread, with a QCoreApplication.
    THostLookup(const std::string& hostName, TDone done);
    ~THostLookup();
    THostLookup(const THostLookup&) = delete;
    THostLookup& operator=(const THostLookup&) = delete;

    // From now on done is never called.
    void Cancel();
    // Neither answered nor cancelled yet.
    bool Running() const;

    struct Shared; // what the look-up thread and this side both reach

  private:
    std::shared_ptr<Shared> shared_;
};
