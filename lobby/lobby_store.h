#pragma once

#include "sql_database.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Where a published game stands. The game reports 2 and 3 itself; a game
// is withdrawn when its host publishes another one, since a program hosts
// one game at a time, or when a host of this version says it ended.
enum class LobbyGameState : int { Waiting = 1, Started = 2, Finished = 3, Withdrawn = 4 };

struct PlayerAccount {
    std::int32_t number = 0;
    std::string passwordHash;
    std::string name; // as the account was made
};

struct SessionInfo {
    std::int32_t player = 0;
    std::string playerName;
    // The program's key, sent at log-in by a program of this version.
    std::optional<std::string> peerKey;
};

struct NewGame {
    std::int32_t hostPlayer = 0;
    std::int32_t gameType = 0;
    std::string name;
    std::string seats; // the six seat kinds as the host published them
    int openSeats = 0;
    std::string hostAddress;
    bool extended = false; // the host's session carries a program key
};

struct ListedGame {
    std::int32_t number = 0;
    std::string name;
    std::string seats;
    int joinedPlayers = 0;
    std::string hostAddress;
    std::int32_t hostPlayer = 0;
    LobbyGameState state = LobbyGameState::Waiting;
    bool extended = false;
};

struct GameRecord {
    std::int32_t hostPlayer = 0;
    LobbyGameState state = LobbyGameState::Waiting;
    std::vector<std::int32_t> joinedPlayers;
    std::optional<std::int32_t> winner;
    std::int64_t refreshedMs = 0;
    std::optional<std::int64_t> finishedMs;
};

struct GameRefresh {
    std::int32_t player = 0; // whose session sent the refresh
    std::int32_t gameType = 0;
    std::int32_t gameNumber = 0;
    std::optional<std::int32_t> newPlayer;
    std::optional<LobbyGameState> newState;
    std::optional<std::int32_t> winner;
    bool ended = false; // the host gave a waiting or running game up
};

enum class RefreshOutcome { Done, NotYours, SeatsTaken };

// What the public front page shows. A player number that has no account
// (the game reports the numbers its peers sent) shows as "player N".
struct OpenGame {
    std::string name;
    std::string seats;
    std::string hostName;
    std::vector<std::string> joinedNames; // in the order they joined
};

struct FinishedGame {
    std::string name;
    std::int64_t finishedMs = 0;
    std::string hostName;
    std::optional<std::string> winnerName; // none: the winner played at the host's computer
};

struct PlayerWins {
    std::string name;
    std::int64_t wins = 0;
};

// A member's ICE candidates for another member of the same game.
struct CandidatePost {
    std::int32_t sender = 0;
    std::int32_t game = 0;
    std::int32_t addressee = 0;
    std::string blob;
};

struct CandidateRules {
    std::int64_t listedAfterMs = 0; // the game must have been refreshed since
    std::int64_t lifetimeMs = 60'000;
    int maxJoinersPerGame = 32; // five seats, sixteen watchers, and room for rejoins
    std::int64_t maxLiveBlobs = 20'000;
};

enum class PostOutcome { Stored, NoGame, NotMember, GameFull, Busy };

struct CandidateBlob {
    std::int32_t sender = 0;
    std::string blob;
    bool operator==(const CandidateBlob&) const = default;
};

// The lobby's accounts, sessions and published games, in an SQLite file
// (one host) or in PostgreSQL (any number of lobby processes). Both hold the
// same tables and run the same statements. Safe to share between threads;
// other processes (a user command run from the shell, other lobbies on the
// same PostgreSQL) may use the same database at the same time.
class LobbyStore {
  public:
    // A file path, or a "postgresql://" URI.
    explicit LobbyStore(const std::string& location, std::size_t connections = kDefaultConnections);

    // The new player's number, or nullopt when the name is taken (names
    // are compared without regard to case).
    std::optional<std::int32_t> AddPlayer(std::string_view name, std::string_view passwordHash,
                                          std::int64_t nowMs);
    // Also ends the player's session. False when there is no such player.
    bool SetPasswordHash(std::string_view name, std::string_view passwordHash);
    std::optional<PlayerAccount> FindPlayer(std::string_view name);

    // A player has one session; a new one replaces the old, and the
    // addresses other members posted to the old one go with it.
    void ReplaceSession(std::int32_t player, std::string_view sessionId, std::int64_t nowMs,
                        const std::optional<std::string>& peerKey = std::nullopt);
    std::optional<std::int32_t> PlayerOfSession(std::string_view sessionId);
    std::optional<SessionInfo> FindSession(std::string_view sessionId);

    // Also withdraws the host's waiting game and its running game of this
    // version.
    std::int32_t CreateGame(const NewGame& game, std::int64_t nowMs);
    // Waiting games of the type refreshed after the given time, newest first.
    std::vector<ListedGame> WaitingGames(std::int32_t gameType, std::int64_t refreshedAfterMs,
                                         int limit);
    // The same, and with `running` also the started games whose host is of
    // this version.
    std::vector<ListedGame> ListedGames(std::int32_t gameType, std::int64_t refreshedAfterMs,
                                        int limit, bool running);
    // A winner counts only when the refresh finishes the game, the game has
    // no winner yet and the winner is one of the players who joined it: a
    // host cannot hand wins to whom it likes.
    RefreshOutcome RefreshGame(const GameRefresh& refresh, std::int64_t nowMs);
    std::optional<GameRecord> FindGame(std::int32_t number);

    // Waiting games of every type refreshed after the given time, newest first.
    std::vector<OpenGame> OpenGames(std::int64_t refreshedAfterMs, int limit);
    // Finished games, the last first.
    std::vector<FinishedGame> LastFinished(int limit);
    // Players by games won, most first; equal counts by player number.
    std::vector<PlayerWins> MostWins(int limit);

    // Keeps a member's candidates for another member of a waiting or
    // running game of this version that is still listed, replacing what
    // the same sender posted to the same addressee before. The host may
    // post to whoever has declared joining; anyone may post to the host,
    // and so declares joining; those who declared may post to each other.
    // Candidates older than the rules' lifetime go first.
    PostOutcome PostCandidates(const CandidatePost& post, const CandidateRules& rules,
                               std::int64_t nowMs);
    // What was posted to the addressee in the game after the given time,
    // by sender.
    std::vector<CandidateBlob> CandidatesFor(std::int32_t addressee, std::int32_t game,
                                             std::int64_t postedAfterMs);

    SqlDialect Dialect() const { return database_->Dialect(); }
    static constexpr std::size_t kDefaultConnections = 16;

  private:
    void PrepareSchema();
    std::string Locking(std::string_view select) const;

    std::unique_ptr<SqlDatabase> database_;
};
