#include "lobby_store.h"

#include "sqlite_transaction.h"

#include <stdexcept>

namespace {

constexpr std::chrono::milliseconds kBusyTimeout{5000};
constexpr std::int64_t kSchemaVersion = 1;

constexpr const char* kSchema = R"(
CREATE TABLE players (
    number        INTEGER PRIMARY KEY AUTOINCREMENT,
    name          TEXT NOT NULL UNIQUE COLLATE NOCASE,
    password_hash TEXT NOT NULL,
    created_ms    INTEGER NOT NULL
);
CREATE TABLE sessions (
    player        INTEGER PRIMARY KEY REFERENCES players(number),
    session_id    TEXT NOT NULL UNIQUE,
    created_ms    INTEGER NOT NULL
);
CREATE TABLE games (
    number        INTEGER PRIMARY KEY AUTOINCREMENT,
    game_type     INTEGER NOT NULL,
    name          TEXT NOT NULL,
    seats         TEXT NOT NULL,
    open_seats    INTEGER NOT NULL,
    host_player   INTEGER NOT NULL REFERENCES players(number),
    host_address  TEXT NOT NULL,
    state         INTEGER NOT NULL,
    winner        INTEGER,
    created_ms    INTEGER NOT NULL,
    refreshed_ms  INTEGER NOT NULL
);
CREATE INDEX games_listed ON games(game_type, state, refreshed_ms);
CREATE INDEX games_by_host ON games(host_player, state);
CREATE TABLE game_players (
    game          INTEGER NOT NULL REFERENCES games(number),
    player        INTEGER NOT NULL,
    joined_ms     INTEGER NOT NULL,
    PRIMARY KEY (game, player)
);
PRAGMA user_version = 1;
)";

std::int32_t ToNumber(std::int64_t rowId) {
    if (rowId < 1 || rowId > INT32_MAX)
        throw std::runtime_error("the lobby has run out of 32-bit numbers");
    return static_cast<std::int32_t>(rowId);
}

} // namespace

LobbyStore::LobbyStore(const std::string& path) : connection_(path, kBusyTimeout) {
    connection_.Execute("PRAGMA journal_mode = WAL");
    // In WAL mode NORMAL loses at most the last transactions on a power
    // failure, never the file's consistency.
    connection_.Execute("PRAGMA synchronous = NORMAL");
    connection_.Execute("PRAGMA foreign_keys = ON");
    PrepareSchema();
}

void LobbyStore::PrepareSchema() {
    SqliteTransaction transaction(connection_);
    auto version = connection_.Prepare("PRAGMA user_version");
    version.Step();
    const std::int64_t found = version.Int(0);
    if (found > kSchemaVersion)
        throw std::runtime_error("the lobby database was written by a newer zellhop-lobby");
    if (found == 0)
        connection_.Execute(kSchema);
    transaction.Commit();
}

std::optional<std::int32_t>
LobbyStore::AddPlayer(std::string_view name, std::string_view passwordHash, std::int64_t nowMs) {
    std::lock_guard lock(mutex_);
    SqliteTransaction transaction(connection_);
    auto taken = connection_.Prepare("SELECT 1 FROM players WHERE name = ?1");
    if (taken.Bind(1, name).Step())
        return std::nullopt;
    connection_.Prepare("INSERT INTO players (name, password_hash, created_ms) VALUES (?1, ?2, ?3)")
        .Bind(1, name)
        .Bind(2, passwordHash)
        .Bind(3, nowMs)
        .Run();
    const std::int32_t number = ToNumber(connection_.LastInsertRowId());
    transaction.Commit();
    return number;
}

bool LobbyStore::SetPasswordHash(std::string_view name, std::string_view passwordHash) {
    std::lock_guard lock(mutex_);
    SqliteTransaction transaction(connection_);
    connection_.Prepare("UPDATE players SET password_hash = ?2 WHERE name = ?1")
        .Bind(1, name)
        .Bind(2, passwordHash)
        .Run();
    if (connection_.Changes() == 0)
        return false;
    connection_
        .Prepare("DELETE FROM sessions WHERE player = (SELECT number FROM players WHERE name = ?1)")
        .Bind(1, name)
        .Run();
    transaction.Commit();
    return true;
}

std::optional<PlayerAccount> LobbyStore::FindPlayer(std::string_view name) {
    std::lock_guard lock(mutex_);
    auto query = connection_.Prepare("SELECT number, password_hash FROM players WHERE name = ?1");
    if (!query.Bind(1, name).Step())
        return std::nullopt;
    return PlayerAccount{ToNumber(query.Int(0)), query.Text(1)};
}

void LobbyStore::ReplaceSession(std::int32_t player, std::string_view sessionId,
                                std::int64_t nowMs) {
    std::lock_guard lock(mutex_);
    SqliteTransaction transaction(connection_);
    connection_
        .Prepare("INSERT INTO sessions (player, session_id, created_ms) VALUES (?1, ?2, ?3) "
                 "ON CONFLICT (player) DO UPDATE SET session_id = excluded.session_id, "
                 "created_ms = excluded.created_ms")
        .Bind(1, player)
        .Bind(2, sessionId)
        .Bind(3, nowMs)
        .Run();
    transaction.Commit();
}

std::optional<std::int32_t> LobbyStore::PlayerOfSession(std::string_view sessionId) {
    std::lock_guard lock(mutex_);
    auto query = connection_.Prepare("SELECT player FROM sessions WHERE session_id = ?1");
    if (!query.Bind(1, sessionId).Step())
        return std::nullopt;
    return ToNumber(query.Int(0));
}

std::int32_t LobbyStore::CreateGame(const NewGame& game, std::int64_t nowMs) {
    std::lock_guard lock(mutex_);
    SqliteTransaction transaction(connection_);
    connection_.Prepare("UPDATE games SET state = ?2 WHERE host_player = ?1 AND state = ?3")
        .Bind(1, game.hostPlayer)
        .Bind(2, static_cast<std::int64_t>(LobbyGameState::Withdrawn))
        .Bind(3, static_cast<std::int64_t>(LobbyGameState::Waiting))
        .Run();
    connection_
        .Prepare("INSERT INTO games (game_type, name, seats, open_seats, host_player, "
                 "host_address, state, created_ms, refreshed_ms) "
                 "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?8)")
        .Bind(1, game.gameType)
        .Bind(2, game.name)
        .Bind(3, game.seats)
        .Bind(4, game.openSeats)
        .Bind(5, game.hostPlayer)
        .Bind(6, game.hostAddress)
        .Bind(7, static_cast<std::int64_t>(LobbyGameState::Waiting))
        .Bind(8, nowMs)
        .Run();
    const std::int32_t number = ToNumber(connection_.LastInsertRowId());
    transaction.Commit();
    return number;
}

std::vector<ListedGame> LobbyStore::WaitingGames(std::int32_t gameType,
                                                 std::int64_t refreshedAfterMs, int limit) {
    std::lock_guard lock(mutex_);
    auto query = connection_.Prepare(
        "SELECT g.number, g.name, g.seats, g.host_address, "
        "(SELECT COUNT(*) FROM game_players p WHERE p.game = g.number) "
        "FROM games g WHERE g.game_type = ?1 AND g.state = ?2 AND g.refreshed_ms > ?3 "
        "ORDER BY g.number DESC LIMIT ?4");
    query.Bind(1, gameType)
        .Bind(2, static_cast<std::int64_t>(LobbyGameState::Waiting))
        .Bind(3, refreshedAfterMs)
        .Bind(4, limit);
    std::vector<ListedGame> games;
    while (query.Step())
        games.push_back({ToNumber(query.Int(0)), query.Text(1), query.Text(2),
                         static_cast<int>(query.Int(4)), query.Text(3)});
    return games;
}

bool LobbyStore::IsJoined(std::int32_t game, std::int32_t player) {
    auto query = connection_.Prepare("SELECT 1 FROM game_players WHERE game = ?1 AND player = ?2");
    return query.Bind(1, game).Bind(2, player).Step();
}

int LobbyStore::JoinedCount(std::int32_t game) {
    auto query = connection_.Prepare("SELECT COUNT(*) FROM game_players WHERE game = ?1");
    query.Bind(1, game).Step();
    return static_cast<int>(query.Int(0));
}

RefreshOutcome LobbyStore::RefreshGame(const GameRefresh& refresh, std::int64_t nowMs) {
    std::lock_guard lock(mutex_);
    SqliteTransaction transaction(connection_);
    auto game = connection_.Prepare(
        "SELECT open_seats FROM games WHERE number = ?1 AND host_player = ?2 AND game_type = ?3");
    if (!game.Bind(1, refresh.gameNumber).Bind(2, refresh.player).Bind(3, refresh.gameType).Step())
        return RefreshOutcome::NotYours;
    const int openSeats = static_cast<int>(game.Int(0));

    // A repeated report of the same player is no new player.
    if (refresh.newPlayer && !IsJoined(refresh.gameNumber, *refresh.newPlayer)) {
        if (JoinedCount(refresh.gameNumber) >= openSeats)
            return RefreshOutcome::SeatsTaken;
        connection_
            .Prepare("INSERT INTO game_players (game, player, joined_ms) VALUES (?1, ?2, ?3)")
            .Bind(1, refresh.gameNumber)
            .Bind(2, *refresh.newPlayer)
            .Bind(3, nowMs)
            .Run();
    }

    // A game only moves forward: a late "started" does not reopen a
    // finished game.
    auto update = connection_.Prepare("UPDATE games SET refreshed_ms = ?2, "
                                      "state = MAX(state, COALESCE(?3, state)), "
                                      "winner = COALESCE(?4, winner) WHERE number = ?1");
    update.Bind(1, refresh.gameNumber).Bind(2, nowMs);
    if (refresh.newState)
        update.Bind(3, static_cast<std::int64_t>(*refresh.newState));
    if (refresh.winner)
        update.Bind(4, *refresh.winner);
    update.Run();
    transaction.Commit();
    return RefreshOutcome::Done;
}

std::optional<GameRecord> LobbyStore::FindGame(std::int32_t number) {
    std::lock_guard lock(mutex_);
    auto game = connection_.Prepare(
        "SELECT host_player, state, winner, refreshed_ms FROM games WHERE number = ?1");
    if (!game.Bind(1, number).Step())
        return std::nullopt;
    GameRecord record;
    record.hostPlayer = ToNumber(game.Int(0));
    record.state = static_cast<LobbyGameState>(game.Int(1));
    if (!game.IsNull(2))
        record.winner = static_cast<std::int32_t>(game.Int(2));
    record.refreshedMs = game.Int(3);
    auto players = connection_.Prepare(
        "SELECT player FROM game_players WHERE game = ?1 ORDER BY joined_ms, player");
    players.Bind(1, number);
    while (players.Step())
        record.joinedPlayers.push_back(static_cast<std::int32_t>(players.Int(0)));
    return record;
}
