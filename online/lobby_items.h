// What the lobby tells programs of this version beyond the written
// replies, read from text: the items after a log-in or a renewal (ticket,
// the lobby's key, the relay's credentials), the fourth line of a listed
// game, the candidates posted to this program, and the refusals of our
// scripts.  Untrusted input: whatever does not read cleanly is left out.
// Plain C++, without the game's core, so the lobby's tests read the real
// lobby's replies with it.
#pragma once

#include "lobby_ticket.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The relay and what this program may use it with until expiresAt
// (seconds since 1970, taken from the user name "EXPIRY:NAME").
struct TTurnCredentials {
    std::string server; // HOST:PORT, an IPv6 address in brackets
    std::string user;
    std::string password;
    std::int64_t expiresAt = 0;
    bool operator==(const TTurnCredentials&) const = default;
};

struct TLobbyItems {
    std::string ticket; // the ticket's bytes; empty: none was given
    std::optional<TLobbyKey> lobbyKey;
    std::optional<TTurnCredentials> turn;
};

// Lines "name=value", each ending in LF (the last may lack it).
TLobbyItems ParseLobbyItems(std::string_view lines);

// How long before the relay's credentials or the ticket run out a program
// asks for new ones (the renewal script): an hour, so that a game under way
// keeps both.
inline constexpr std::int64_t kRenewBeforeExpirySeconds = 3600;
// Whether the credentials or the ticket among `items` run out within that
// margin of `nowSeconds`; false when the lobby gave neither.
bool IsRenewalDue(const TLobbyItems& items, std::int64_t nowSeconds);

// Why one of our scripts said no.  Unknown: a reply that is neither an
// acceptance nor a refusal we know (another server, a proxy's page).
enum class TLobbyRefusal {
    None,
    Session,
    Malformed,
    TooBig,
    BadBlob,
    NoGame,
    NotMember,
    GameFull,
    Flood,
    Busy,
    Unavailable,
    Unknown
};

struct TScriptReply {
    TLobbyRefusal refusal = TLobbyRefusal::Unknown; // None: accepted
    std::string body;                               // after the accepting "1" and LF
};
TScriptReply ReadScriptReply(std::string_view reply);

// For the log: what a refusal means, in words of ours.
std::string RefusalText(TLobbyRefusal refusal);

// The fourth line of an entry of a list asked with running games.
struct TGameDetails {
    std::int32_t gameNumber = 0;
    std::int32_t hostPlayer = 0; // the host's lobby player number
    bool running = false;
    bool extended = false; // the host logged in with a key: it speaks our extensions
    bool operator==(const TGameDetails&) const = default;
};
std::optional<TGameDetails> ParseGameDetails(std::string_view line);

// One member's ICE candidates for this program.
struct TCandidateBlob {
    std::int32_t sender = 0; // lobby player number
    std::string blob;
    bool operator==(const TCandidateBlob&) const = default;
};
// Lines "SENDER BLOB"; nullopt when one does not read cleanly.
std::optional<std::vector<TCandidateBlob>> ParseCandidateLines(std::string_view body);

// A blob that a candidate post may carry: base64 text of either
// alphabet, 1 to 4096 characters.
bool IsCandidateBlob(std::string_view blob);
