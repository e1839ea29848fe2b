#include "lobby_store.h"

#include "lobby_schema.h"

#include <map>

namespace {

constexpr auto kWaiting = static_cast<std::int64_t>(LobbyGameState::Waiting);
constexpr auto kStarted = static_cast<std::int64_t>(LobbyGameState::Started);
constexpr auto kFinished = static_cast<std::int64_t>(LobbyGameState::Finished);
constexpr auto kWithdrawn = static_cast<std::int64_t>(LobbyGameState::Withdrawn);

std::int32_t ToNumber(std::int64_t value) {
    if (value < 1 || value > INT32_MAX)
        throw DatabaseError("the lobby has run out of 32-bit numbers");
    return static_cast<std::int32_t>(value);
}

SqlParam Optional(const std::optional<std::int64_t>& value) {
    return value ? SqlParam(*value) : SqlParam(nullptr);
}

SqlParam OptionalText(const std::optional<std::string>& value) {
    return value ? SqlParam(std::string_view(*value)) : SqlParam(nullptr);
}

std::string NameOrNumber(const SqlRow& row, std::size_t nameColumn, std::size_t numberColumn) {
    return row.IsNull(nameColumn) ? "player " + row.Text(numberColumn) : row.Text(nameColumn);
}

} // namespace

LobbyStore::LobbyStore(const std::string& location, std::size_t connections)
    : database_(SqlDatabase::Open(location, connections)) {
    PrepareSchema();
}

void LobbyStore::PrepareSchema() {
    PrepareLobbySchema(*database_);
}

// SQLite's writers hold the whole file from their first statement;
// PostgreSQL locks the rows a writer reads before it changes them.
std::string LobbyStore::Locking(std::string_view select) const {
    std::string sql(select);
    if (database_->Dialect() == SqlDialect::Postgres)
        sql += " FOR UPDATE";
    return sql;
}

std::optional<std::int32_t>
LobbyStore::AddPlayer(std::string_view name, std::string_view passwordHash, std::int64_t nowMs) {
    auto db = database_->Write();
    // Asked first, so that a taken name does not use up a number; the
    // conflict clause covers another process adding the same name meanwhile.
    if (!db.Query("SELECT 1 FROM players WHERE name = $1", {name}).empty())
        return std::nullopt;
    const SqlRows added =
        db.Query("INSERT INTO players (name, password_hash, created_ms) VALUES ($1, $2, $3) "
                 "ON CONFLICT DO NOTHING RETURNING number",
                 {name, passwordHash, nowMs});
    if (added.empty())
        return std::nullopt;
    const std::int32_t number = ToNumber(added[0].Int(0));
    db.Commit();
    return number;
}

bool LobbyStore::SetPasswordHash(std::string_view name, std::string_view passwordHash) {
    auto db = database_->Write();
    const SqlRows changed =
        db.Query("UPDATE players SET password_hash = $2 WHERE name = $1 RETURNING number",
                 {name, passwordHash});
    if (changed.empty())
        return false;
    db.Query("DELETE FROM sessions WHERE player = $1", {changed[0].Int(0)});
    db.Commit();
    return true;
}

std::optional<PlayerAccount> LobbyStore::FindPlayer(std::string_view name) {
    auto db = database_->Read();
    const SqlRows rows =
        db.Query("SELECT number, password_hash, name FROM players WHERE name = $1", {name});
    if (rows.empty())
        return std::nullopt;
    return PlayerAccount{ToNumber(rows[0].Int(0)), rows[0].Text(1), rows[0].Text(2)};
}

void LobbyStore::ReplaceSession(std::int32_t player, std::string_view sessionId, std::int64_t nowMs,
                                const std::optional<std::string>& peerKey) {
    auto db = database_->Write();
    db.Query("INSERT INTO sessions (player, session_id, created_ms, peer_key) "
             "VALUES ($1, $2, $3, $4) "
             "ON CONFLICT (player) DO UPDATE SET session_id = excluded.session_id, "
             "created_ms = excluded.created_ms, peer_key = excluded.peer_key",
             {player, sessionId, nowMs, OptionalText(peerKey)});
    // Addresses sent to the player's last program are no use to this one:
    // checks against them would fail and cost it its path.
    db.Query("DELETE FROM candidates WHERE addressee = $1", {player});
    db.Commit();
}

std::optional<SessionInfo> LobbyStore::FindSession(std::string_view sessionId) {
    auto db = database_->Read();
    const SqlRows rows = db.Query("SELECT s.player, p.name, s.peer_key FROM sessions s "
                                  "JOIN players p ON p.number = s.player WHERE s.session_id = $1",
                                  {sessionId});
    if (rows.empty())
        return std::nullopt;
    SessionInfo session{ToNumber(rows[0].Int(0)), rows[0].Text(1), std::nullopt};
    if (!rows[0].IsNull(2))
        session.peerKey = rows[0].Text(2);
    return session;
}

std::optional<std::int32_t> LobbyStore::PlayerOfSession(std::string_view sessionId) {
    auto db = database_->Read();
    const SqlRows rows = db.Query("SELECT player FROM sessions WHERE session_id = $1", {sessionId});
    if (rows.empty())
        return std::nullopt;
    return ToNumber(rows[0].Int(0));
}

std::int32_t LobbyStore::CreateGame(const NewGame& game, std::int64_t nowMs) {
    auto db = database_->Write();
    // One host's publications one after the other, so that it never keeps
    // two waiting games.
    db.Query(Locking("SELECT number FROM players WHERE number = $1"), {game.hostPlayer});
    db.Query("UPDATE games SET state = $2 WHERE host_player = $1 "
             "AND (state = $3 OR (state = $4 AND extended = 1))",
             {game.hostPlayer, kWithdrawn, kWaiting, kStarted});
    const SqlRows created =
        db.Query("INSERT INTO games (game_type, name, seats, open_seats, host_player, "
                 "host_address, state, created_ms, refreshed_ms, extended) "
                 "VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $8, $9) RETURNING number",
                 {game.gameType, game.name, game.seats, game.openSeats, game.hostPlayer,
                  game.hostAddress, kWaiting, nowMs, std::int64_t{game.extended ? 1 : 0}});
    const std::int32_t number = ToNumber(created.at(0).Int(0));
    db.Commit();
    return number;
}

std::vector<ListedGame> LobbyStore::WaitingGames(std::int32_t gameType,
                                                 std::int64_t refreshedAfterMs, int limit) {
    return ListedGames(gameType, refreshedAfterMs, limit, false);
}

std::vector<ListedGame> LobbyStore::ListedGames(std::int32_t gameType,
                                                std::int64_t refreshedAfterMs, int limit,
                                                bool running) {
    auto db = database_->Read();
    const SqlRows rows = db.Query(
        "SELECT g.number, g.name, g.seats, g.host_address, "
        "(SELECT COUNT(*) FROM game_players p WHERE p.game = g.number), "
        "g.host_player, g.state, g.extended "
        "FROM games g WHERE g.game_type = $1 AND g.refreshed_ms > $3 "
        "AND (g.state = $2 OR (g.state = $5 AND g.extended = 1 AND $6 = 1)) "
        "ORDER BY g.number DESC LIMIT $4",
        {gameType, kWaiting, refreshedAfterMs, limit, kStarted, std::int64_t{running ? 1 : 0}});
    std::vector<ListedGame> games;
    games.reserve(rows.size());
    for (const SqlRow& row : rows)
        games.push_back({ToNumber(row.Int(0)), row.Text(1), row.Text(2),
                         static_cast<int>(row.Int(4)), row.Text(3), ToNumber(row.Int(5)),
                         static_cast<LobbyGameState>(row.Int(6)), row.Int(7) != 0});
    return games;
}

RefreshOutcome LobbyStore::RefreshGame(const GameRefresh& refresh, std::int64_t nowMs) {
    auto db = database_->Write();
    const SqlRows games =
        db.Query(Locking("SELECT open_seats, state, winner FROM games "
                         "WHERE number = $1 AND host_player = $2 AND game_type = $3"),
                 {refresh.gameNumber, refresh.player, refresh.gameType});
    if (games.empty())
        return RefreshOutcome::NotYours;
    const SqlRow& game = games[0];
    const auto isJoined = [&](std::int32_t player) {
        return !db.Query("SELECT 1 FROM game_players WHERE game = $1 AND player = $2",
                         {refresh.gameNumber, player})
                    .empty();
    };

    // A repeated report of the same player is no new player.
    if (refresh.newPlayer && !isJoined(*refresh.newPlayer)) {
        const std::int64_t joined =
            db.Query("SELECT COUNT(*) FROM game_players WHERE game = $1", {refresh.gameNumber})
                .at(0)
                .Int(0);
        if (joined >= game.Int(0))
            return RefreshOutcome::SeatsTaken;
        db.Query("INSERT INTO game_players (game, player, joined_ms) VALUES ($1, $2, $3)",
                 {refresh.gameNumber, *refresh.newPlayer, nowMs});
    }

    // A game only moves forward: a late "started" does not reopen a
    // finished game.
    const std::int64_t oldState = game.Int(1);
    std::int64_t state = oldState;
    if (refresh.newState)
        state = std::max(state, static_cast<std::int64_t>(*refresh.newState));
    std::optional<std::int64_t> winner;
    if (!game.IsNull(2))
        winner = game.Int(2);
    else if (refresh.winner && state == kFinished && refresh.newState && isJoined(*refresh.winner))
        winner = *refresh.winner;
    // Ended: given up, unless it was won already.
    if (refresh.ended && state < kFinished)
        state = kWithdrawn;
    std::optional<std::int64_t> finishedNow;
    if (state == kFinished && oldState != kFinished)
        finishedNow = nowMs;
    db.Query("UPDATE games SET refreshed_ms = $2, state = $3, winner = $4, "
             "finished_ms = COALESCE(finished_ms, $5) WHERE number = $1",
             {refresh.gameNumber, nowMs, state, Optional(winner), Optional(finishedNow)});
    db.Commit();
    return RefreshOutcome::Done;
}

std::optional<GameRecord> LobbyStore::FindGame(std::int32_t number) {
    auto db = database_->Read();
    const SqlRows games = db.Query(
        "SELECT host_player, state, winner, refreshed_ms, finished_ms FROM games WHERE number = $1",
        {number});
    if (games.empty())
        return std::nullopt;
    const SqlRow& game = games[0];
    GameRecord record;
    record.hostPlayer = ToNumber(game.Int(0));
    record.state = static_cast<LobbyGameState>(game.Int(1));
    if (!game.IsNull(2))
        record.winner = static_cast<std::int32_t>(game.Int(2));
    record.refreshedMs = game.Int(3);
    if (!game.IsNull(4))
        record.finishedMs = game.Int(4);
    for (const SqlRow& player : db.Query("SELECT player FROM game_players WHERE game = $1 "
                                         "ORDER BY joined_ms, player",
                                         {number}))
        record.joinedPlayers.push_back(static_cast<std::int32_t>(player.Int(0)));
    return record;
}

std::vector<OpenGame> LobbyStore::OpenGames(std::int64_t refreshedAfterMs, int limit) {
    auto db = database_->Read();
    const SqlRows games =
        db.Query("SELECT g.number, g.name, g.seats, h.name FROM games g "
                 "JOIN players h ON h.number = g.host_player "
                 "WHERE g.state = $1 AND g.refreshed_ms > $2 ORDER BY g.number DESC LIMIT $3",
                 {kWaiting, refreshedAfterMs, limit});
    std::vector<OpenGame> open;
    std::map<std::int64_t, std::size_t> byNumber;
    for (const SqlRow& row : games) {
        byNumber[row.Int(0)] = open.size();
        open.push_back({row.Text(1), row.Text(2), row.Text(3), {}});
    }
    const SqlRows joined = db.Query("SELECT gp.game, p.name, gp.player FROM game_players gp "
                                    "JOIN games g ON g.number = gp.game "
                                    "LEFT JOIN players p ON p.number = gp.player "
                                    "WHERE g.state = $1 AND g.refreshed_ms > $2 "
                                    "ORDER BY gp.game, gp.joined_ms, gp.player",
                                    {kWaiting, refreshedAfterMs});
    for (const SqlRow& row : joined)
        if (const auto found = byNumber.find(row.Int(0)); found != byNumber.end())
            open[found->second].joinedNames.push_back(NameOrNumber(row, 1, 2));
    return open;
}

std::vector<FinishedGame> LobbyStore::LastFinished(int limit) {
    auto db = database_->Read();
    const SqlRows rows =
        db.Query("SELECT g.name, g.finished_ms, h.name, w.name, g.winner FROM games g "
                 "JOIN players h ON h.number = g.host_player "
                 "LEFT JOIN players w ON w.number = g.winner "
                 "WHERE g.state = $1 AND g.finished_ms IS NOT NULL "
                 "ORDER BY g.finished_ms DESC, g.number DESC LIMIT $2",
                 {kFinished, limit});
    std::vector<FinishedGame> finished;
    for (const SqlRow& row : rows) {
        FinishedGame game{row.Text(0), row.Int(1), row.Text(2), std::nullopt};
        if (!row.IsNull(4))
            game.winnerName = NameOrNumber(row, 3, 4);
        finished.push_back(std::move(game));
    }
    return finished;
}

std::vector<PlayerWins> LobbyStore::MostWins(int limit) {
    auto db = database_->Read();
    const SqlRows rows = db.Query("SELECT p.name, COUNT(*) AS wins FROM games g "
                                  "JOIN players p ON p.number = g.winner WHERE g.state = $1 "
                                  "GROUP BY p.number, p.name ORDER BY wins DESC, p.number LIMIT $2",
                                  {kFinished, limit});
    std::vector<PlayerWins> table;
    for (const SqlRow& row : rows)
        table.push_back({row.Text(0), row.Int(1)});
    return table;
}
