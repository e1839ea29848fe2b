// The lobby protocol as both ends speak it: the script paths, the query
// keys, the outcome characters and the line end, for the game's lobby
// client and for zellhop-lobby alike.  Header-only and plain C++, so that
// the lobby includes it without linking anything of the game.
//
// The four written scripts keep their requests and replies byte for byte.
// Everything under "Ours" is used only by programs of this version, which
// say so with a parameter the written protocol never sends (peerkey on the
// log-in, running on the list, ended on the refresh) or by calling a script
// of ours.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace lobby_protocol {

// The written scripts.
inline constexpr std::string_view kLoginPath = "/tavlo/tavlologin2.php";
inline constexpr std::string_view kCreateGamePath = "/tavlo/creategame.php";
inline constexpr std::string_view kGetGamesPath = "/tavlo/getgames.php";
inline constexpr std::string_view kRefreshGamePath = "/tavlo/refreshgame.php";

// Ours: fresh relay credentials and ticket, and the ICE candidates that
// members of one game hand each other.
inline constexpr std::string_view kRenewPath = "/tavlo/zrenew.php";
inline constexpr std::string_view kPostCandidatesPath = "/tavlo/zpostcand.php";
inline constexpr std::string_view kGetCandidatesPath = "/tavlo/zgetcand.php";

// Query keys of the written scripts.
namespace key {
inline constexpr std::string_view kUserName = "username";
inline constexpr std::string_view kPassword = "password";
inline constexpr std::string_view kProgramVersion = "progversion";
inline constexpr std::string_view kSession = "mysessid";
inline constexpr std::string_view kGameType = "gametype";
inline constexpr std::string_view kGameName = "gamename";
inline constexpr std::string_view kPlayers = "players";
inline constexpr std::string_view kGameNumber = "gameno";
inline constexpr std::string_view kNewPlayer = "newplayer";
inline constexpr std::string_view kNewGameState = "newgamestate";
inline constexpr std::string_view kWinner = "winner";

// Ours.
inline constexpr std::string_view kPeerKey = "peerkey"; // log-in: the program's X25519 key
inline constexpr std::string_view kRunning = "running"; // list: running games too
inline constexpr std::string_view kEnded = "ended";     // refresh: the host ended the game
inline constexpr std::string_view kGame = "game";       // candidates: the game's number
inline constexpr std::string_view kTo = "to";           // candidates: the addressee's number
inline constexpr std::string_view kBlob = "blob";       // candidates: what is handed on
} // namespace key

// The value of our flags (running=1, ended=1).
inline constexpr std::string_view kFlagOn = "1";

// Outcome characters: the first character of a reply decides.
inline constexpr char kLoginOk = '0';
inline constexpr char kLoginRefused = '1';
inline constexpr char kLoginBadVersion = '2';
inline constexpr char kScriptOk = '1';
inline constexpr char kScriptFailed = '0';
inline constexpr char kLineEnd = '\n';

inline constexpr std::size_t kSessionIdLength = 32;
inline constexpr std::int32_t kGameType = 1;
// The game states a refresh reports.
inline constexpr std::int32_t kGameStarted = 2;
inline constexpr std::int32_t kGameWon = 3;

// Ours: the lines after the written part of a reply are items, one a line,
// "name=value".  A reader skips names it does not know.
inline constexpr char kItemSeparator = '=';
namespace item {
inline constexpr std::string_view kTicket = "ticket";     // base64url, see lobby_ticket_format.h
inline constexpr std::string_view kLobbyKey = "lobbykey"; // base64url of the Ed25519 key
inline constexpr std::string_view kTurnServer = "turn";   // HOST:PORT, IPv6 in brackets
inline constexpr std::string_view kTurnUser = "turnuser"; // EXPIRY:NAME
inline constexpr std::string_view kTurnPassword = "turnpass";
} // namespace item

// Ours: the fourth line of each entry of a list asked with running=1,
// words "name=value" separated by one space: "game=5 host=12
// state=playing ext=1".
inline constexpr char kWordSeparator = ' ';
namespace detail {
inline constexpr std::string_view kGame = "game";
inline constexpr std::string_view kHost = "host";
inline constexpr std::string_view kState = "state";
inline constexpr std::string_view kExtended = "ext"; // 1: the host logged in with a key
inline constexpr std::string_view kWaiting = "waiting";
inline constexpr std::string_view kPlaying = "playing";
} // namespace detail
// The players column of a running game: "playing 2/2".
inline constexpr std::string_view kPlayingPrefix = "playing ";

// Ours: a refusal is the failure character, a line end and one of these
// words; nothing is stored.
namespace refusal {
inline constexpr std::string_view kSession = "session";         // no such session
inline constexpr std::string_view kMalformed = "malformed";     // a value missing or not a number
inline constexpr std::string_view kTooBig = "too-big";          // the blob is over the limit
inline constexpr std::string_view kBadBlob = "bad-blob";        // empty, or not base64 text
inline constexpr std::string_view kNoGame = "no-game";          // not a listed game of this version
inline constexpr std::string_view kNotMember = "not-member";    // neither host nor declared joiner
inline constexpr std::string_view kGameFull = "game-full";      // too many have declared joining
inline constexpr std::string_view kFlood = "flood";             // over the session's rate
inline constexpr std::string_view kBusy = "busy";               // the lobby holds all it may
inline constexpr std::string_view kUnavailable = "unavailable"; // neither relay nor key here
} // namespace refusal

// Candidate blobs: opaque base64 text (either alphabet, "=" padding
// allowed), at most this long, kept this long after their last post.
inline constexpr std::size_t kMaxCandidateBlobBytes = 4096;
inline constexpr std::int64_t kCandidateLifetimeMs = 60'000;

inline constexpr bool IsBlobCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/' || c == '-' || c == '_' || c == '=';
}

} // namespace lobby_protocol
