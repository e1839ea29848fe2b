#pragma once

#include "lobby_key.h"
#include "rate_limiter.h"
#include "turn_credentials.h"

#include <chrono>
#include <cstdint>
#include <memory>
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

    // What programs of this version get at log-in. The key signs their
    // tickets (none: no tickets); the relay's credentials come with the
    // relay.
    std::shared_ptr<const LobbyKey> signingKey;
    std::chrono::seconds ticketLifetime{24 * 3600};
    TurnSettings turn;

    // Our scripts, per session: candidate posts (a joiner posts to the host
    // and to a few others, again as it learns more), reads of one's own
    // candidates (polled while a path is sought), and renewals.
    RateLimiter::Rule candidatePostsPerSession{2, 16};
    RateLimiter::Rule candidateReadsPerSession{5, 25};
    RateLimiter::Rule renewalsPerSession{1.0 / 10, 5};
    // Who may declare joining one game: five seats, sixteen watchers, and
    // room for rejoins; and how many candidate blobs the lobby keeps at once.
    int maxJoinersPerGame = 32;
    std::int64_t maxLiveCandidateBlobs = 20'000;
};
