#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

// The relay beside the lobby: coturn with a shared secret
// (use-auth-secret, static-auth-secret).  The lobby hands each logged-in
// program of this version a user name and password for it that coturn
// checks without asking anyone: the user is "EXPIRY:NAME", the password the
// base64 of HMAC-SHA1 of the user keyed with the secret, and coturn refuses
// it once EXPIRY (seconds since 1970) has passed.
struct TurnSettings {
    std::string server; // HOST:PORT as the programs reach it; empty: no relay
    std::string secret;
    std::chrono::seconds lifetime{12 * 3600}; // longer than a game: an allocation keeps its user

    bool Enabled() const { return !server.empty() && !secret.empty(); }
};

struct TurnCredentials {
    std::string user;
    std::string password;
    bool operator==(const TurnCredentials&) const = default;
};

TurnCredentials MintTurnCredentials(std::string_view secret, std::string_view name,
                                    std::int64_t expiresAt);

// The secret from the first line of a file that only its owner may read.
// Throws std::runtime_error saying what is wrong.
std::string ReadTurnSecretFile(const std::string& path);
