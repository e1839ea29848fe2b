// The lobby requests of programs of this version and the reading of their
// replies.  A written lobby client never sends them; each says it is ours
// by a parameter the written protocol lacks (peerkey, running, ended) or
// by calling one of our scripts, so the written requests and replies stay
// as they are.  Values go in unencoded, as in the written requests.
#pragma once

#include "lobby_client.h"
#include "lobby_items.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Log-in with the program's X25519 key (the one it uses with crypto_kx):
// the written target and "&peerkey=" with the key in base64url.
std::string LoginTargetWithKey(const std::string& userName, const std::string& password,
                               const std::string& fileVersion, const TProgramKey& programKey);

// The written log-in reply read as ParseLoginReply reads it, then our
// items after the player number's line.  A lobby that does not know the
// parameter answers the written reply: no items.
struct TExtendedLoginReply {
    TLoginReply login;
    TLobbyItems items;
};
TExtendedLoginReply ParseExtendedLoginReply(const std::string& reply);

// The list with the running games of programs of this version too.
std::string RunningListTarget(const std::string& sessionId);

// A listed game: the written three lines (a running game's players text
// reads "playing 2/2") and, from a lobby of this version, the fourth.
struct TListedGame {
    TGameListEntry entry;
    std::optional<TGameDetails> details;
};
// nullopt when the listing failed.  An entry's fourth line is taken only
// when it reads as details, so a lobby that answers the written three
// lines is read too.
std::optional<std::vector<TListedGame>> ParseRunningGameList(const std::string& reply);

// The refresh by which a host says its game is over without a winner (End
// Current Game, a new game): it leaves the list at once.
std::string EndGameTarget(const std::string& sessionId, int32_t gameNumber);

// A new ticket and new relay credentials for the session.
std::string RenewTarget(const std::string& sessionId);
struct TRenewReply {
    TLobbyRefusal refusal = TLobbyRefusal::Unknown; // None: the items hold what was given
    TLobbyItems items;
};
TRenewReply ParseRenewReply(const std::string& reply);

// This program's ICE candidates for the member `addressee` (a lobby player
// number) of game `gameNumber`.  Throws std::invalid_argument for a blob
// that IsCandidateBlob refuses.
std::string PostCandidatesTarget(const std::string& sessionId, int32_t gameNumber,
                                 int32_t addressee, const std::string& blob);
// None when the lobby kept them.
TLobbyRefusal ParsePostCandidatesReply(const std::string& reply);

// The candidates that members of the game posted to this program in the
// last minute, one per sender.
std::string FetchCandidatesTarget(const std::string& sessionId, int32_t gameNumber);
struct TCandidatesReply {
    TLobbyRefusal refusal = TLobbyRefusal::Unknown;
    std::vector<TCandidateBlob> blobs;
};
TCandidatesReply ParseCandidatesReply(const std::string& reply);
