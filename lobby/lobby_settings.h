#pragma once

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
};
