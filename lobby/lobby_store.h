#pragma once

#include "sqlite_connection.h"

#include <cstdint>
#include <mutex>
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

// The lobby's accounts, sessions and published games in one SQLite file.
// Safe to share between the server's threads; another process (a user
// command run from the shell) may use the same file at the same time.
class LobbyStore {
  public:
    explicit LobbyStore(const std::string& path);

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
    RefreshOutcome RefreshGame(const GameRefresh& refresh, std::int64_t nowMs);
    std::optional<GameRecord> FindGame(std::int32_t number);

  private:
    void PrepareSchema();
    bool IsJoined(std::int32_t game, std::int32_t player);
    int JoinedCount(std::int32_t game);

    std::mutex mutex_; // one statement or transaction at a time on the connection
    SqliteConnection connection_;
};
