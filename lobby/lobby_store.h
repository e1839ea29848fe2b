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
// one game at a time.
enum class LobbyGameState : int { Waiting = 1, Started = 2, Finished = 3, Withdrawn = 4 };

struct PlayerAccount {
    std::int32_t number = 0;
    std::string passwordHash;
};

struct NewGame {
    std::int32_t hostPlayer = 0;
    std::int32_t gameType = 0;
    std::string name;
    std::string seats; // the six seat kinds as the host published them
    int openSeats = 0;
    std::string hostAddress;
};

struct ListedGame {
    std::int32_t number = 0;
    std::string name;
    std::string seats;
    int joinedPlayers = 0;
    std::string hostAddress;
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

    // A player has one session; a new one replaces the old.
    void ReplaceSession(std::int32_t player, std::string_view sessionId, std::int64_t nowMs);
    std::optional<std::int32_t> PlayerOfSession(std::string_view sessionId);

    std::int32_t CreateGame(const NewGame& game, std::int64_t nowMs);
    // Waiting games of the type refreshed after the given time, newest first.
    std::vector<ListedGame> WaitingGames(std::int32_t gameType, std::int64_t refreshedAfterMs,
                                         int limit);
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

    SqlDialect Dialect() const { return database_->Dialect(); }
    static constexpr std::size_t kDefaultConnections = 16;

  private:
    void PrepareSchema();
    std::string Locking(std::string_view select) const;

    std::unique_ptr<SqlDatabase> database_;
};
