// The lobby's requests and replies as text: the four request targets with
// their query values, and the reading of the login, publish and list
// replies.  The requests go out through LobbyGet on the game's HTTP client.
//
// Values are inserted unencoded, as the lobby has always received them;
// only the game name is filtered.  Replies are read by their first
// character; lines end at LF, and a CR stays part of its line.  Numbers are
// read by the game's text-to-integer rules; one that does not convert is 0.
#pragma once

#include "game_state.h"
#include "lobby_protocol.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class THttpClient;

// Characters kept of a session id.
inline constexpr std::size_t kSessionIdLength = lobby_protocol::kSessionIdLength;
inline constexpr int kLobbyGameType = lobby_protocol::kGameType;
inline constexpr std::size_t kNicknameLength = 16; // characters the lobby takes
// The lobby's game states sent with a refresh.
inline constexpr int32_t kLobbyGameStarted = lobby_protocol::kGameStarted;
inline constexpr int32_t kLobbyGameWon = lobby_protocol::kGameWon;

std::string LoginTarget(const std::string& userName, const std::string& password,
                        const std::string& fileVersion);
// The game name reduced to ASCII letters, digits and spaces, each space
// then written "%20".
std::string EncodeGameName(const std::string& gameName);
// One digit per seat kind, Blue to Yellow: "100300".
std::string PlayersText(const SeatKinds& kinds);
std::string PublishTarget(const std::string& sessionId, const std::string& gameName,
                          const std::string& playersText);
std::string ListTarget(const std::string& sessionId);
// Each optional part only when its value is above 0.
std::string RefreshTarget(const std::string& sessionId, int32_t gameNumber, int32_t newPlayer,
                          int32_t newGameState, int32_t winner);

// The first kNicknameLength characters of a UTF-8 name, never cutting one
// character in two.
std::string NicknameOf(const std::string& clientName);

// The player counts as logged in with a session id that is not blank.
bool IsLoggedIn(const std::string& sessionId);

enum class TLoginOutcome { Success, BadPassword, BadVersion, Unknown };

struct TLoginReply {
    TLoginOutcome outcome = TLoginOutcome::Unknown;
    std::string sessionId; // at most kSessionIdLength characters
    int32_t playerNumber = 0;
};
TLoginReply ParseLoginReply(const std::string& reply);

// The published game's number, or nothing when the publication failed.
std::optional<int32_t> ParsePublishReply(const std::string& reply);

struct TGameListEntry {
    std::string name;
    std::string players; // shown as it comes
    std::string address; // the host's messaging address
    bool operator==(const TGameListEntry&) const = default;
};
// The listed games, or nothing when the listing failed.
std::optional<std::vector<TGameListEntry>> ParseGameList(const std::string& reply);

// One lobby request: connect, GET, disconnect (also when the GET failed),
// all within the client's Timeout.  The HTTP client's errors pass through.
std::string LobbyGet(THttpClient& http, const std::string& target);
