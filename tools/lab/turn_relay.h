// coturn on a public machine of a router lab: it answers STUN and relays
// for whoever holds time-limited credentials made from its shared secret
// (its REST scheme: user "EXPIRY:NAME", password base64 of
// HMAC-SHA1(secret, user)).  Relaying towards private, shared-carrier and
// loopback ranges is refused, as on a real relay; the lab's public ranges
// are allowed.
#pragma once

#include "lab_process.h"
#include "router_lab.h"

#include <chrono>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

struct TTurnCredentials {
    std::string user;
    std::string password;
};

// Credentials valid until now + validity for `name`.
TTurnCredentials MintTurnCredentials(const std::string& secret, const std::string& name,
                                     std::chrono::seconds validity,
                                     std::time_t now = std::time(nullptr));

class TTurnRelay {
  public:
    static constexpr uint16_t kPort = 3478;

    // Starts coturn on the site's machine with the lab's configuration
    // plus `extraLines` (coturn options, one a line) and waits until it
    // listens.  Throws TLabError.
    TTurnRelay(const TRouterLab& lab, const TLabSite& site,
               const std::vector<std::string>& extraLines = {});
    ~TTurnRelay();

    const std::string& Address4() const { return site_.public4; }
    const std::string& Address6() const { return site_.address6; }
    const std::string& Secret() const { return secret_; }
    pid_t Pid() const { return process_->Pid(); }
    TTurnCredentials Credentials(const std::string& name,
                                 std::chrono::seconds validity = std::chrono::minutes(10)) const;
    // Its log so far.
    std::string Log() const;

    // Bytes through the relay machine's outside interface so far.
    struct TTraffic {
        uint64_t received = 0, sent = 0;
    };
    TTraffic Traffic() const;

  private:
    TLabSite site_;
    std::string secret_;
    std::string logFile_;
    std::unique_ptr<TLabProcess> process_;
};
