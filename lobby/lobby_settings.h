#pragma once

#include "rate_limiter.h"

#include <chrono>
#include <string>
#include <vector>

// What the lobby's owner can set about the lobby's rules.
struct LobbySettings {
    // The program versions that may log in (the game sends its file version).
    std::vector<std::string> acceptedVersions{"1.4.0.5"};
    // A waiting game not refreshed for this long leaves the list; the game
    // refreshes every 100 s while it waits.
    std::chrono::seconds gameExpiry{300};
    // How players reach the lobby's owner, shown on the forgotten-password
    // page; may be empty.
    std::string contact;
    // Log-ins and new accounts each cost a slow password hash: an address
    // may start 20 at once, then one every 3 s.
    RateLimiter::Rule hashesPerAddress{1.0 / 3, 20};
    // Log-ins for one name, from wherever they come: 10 at once, then one
    // every 10 s, so that guessing a password takes years, not hours.
    RateLimiter::Rule loginsPerAccount{1.0 / 10, 10};
};
