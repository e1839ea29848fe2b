// The ICE candidates that members of a game hand each other through the
// lobby: LobbyStore's rules for who may post to whom.
#include "lobby_store.h"

namespace {

constexpr auto kWaiting = static_cast<std::int64_t>(LobbyGameState::Waiting);
constexpr auto kStarted = static_cast<std::int64_t>(LobbyGameState::Started);

} // namespace

PostOutcome LobbyStore::PostCandidates(const CandidatePost& post, const CandidateRules& rules,
                                       std::int64_t nowMs) {
    auto db = database_->Write();
    db.Query("DELETE FROM candidates WHERE posted_ms <= $1", {nowMs - rules.lifetimeMs});
    // Locked, so that two joiners declaring at once count each other.
    const SqlRows games = db.Query(Locking("SELECT host_player FROM games WHERE number = $1 "
                                           "AND (state = $2 OR state = $3) AND extended = 1 "
                                           "AND refreshed_ms > $4"),
                                   {post.game, kWaiting, kStarted, rules.listedAfterMs});
    if (games.empty())
        return PostOutcome::NoGame;
    const std::int64_t host = games[0].Int(0);
    const auto declared = [&](std::int64_t player) {
        return !db.Query("SELECT 1 FROM game_joiners WHERE game = $1 AND player = $2",
                         {post.game, player})
                    .empty();
    };

    if (post.sender == post.addressee)
        return PostOutcome::NotMember;
    if (post.sender == host) {
        if (!declared(post.addressee))
            return PostOutcome::NotMember;
    } else if (post.addressee == host) {
        if (!declared(post.sender)) {
            const std::int64_t joiners =
                db.Query("SELECT COUNT(*) FROM game_joiners WHERE game = $1", {post.game})
                    .at(0)
                    .Int(0);
            if (joiners >= rules.maxJoinersPerGame)
                return PostOutcome::GameFull;
            db.Query("INSERT INTO game_joiners (game, player, declared_ms) VALUES ($1, $2, $3)",
                     {post.game, post.sender, nowMs});
        }
    } else if (!declared(post.sender) || !declared(post.addressee)) {
        return PostOutcome::NotMember;
    }

    const bool replacing = !db.Query("SELECT 1 FROM candidates WHERE game = $1 AND addressee = $2 "
                                     "AND sender = $3",
                                     {post.game, post.addressee, post.sender})
                                .empty();
    if (!replacing &&
        db.Query("SELECT COUNT(*) FROM candidates").at(0).Int(0) >= rules.maxLiveBlobs)
        return PostOutcome::Busy;
    db.Query("INSERT INTO candidates (game, addressee, sender, blob, posted_ms) "
             "VALUES ($1, $2, $3, $4, $5) ON CONFLICT (game, addressee, sender) "
             "DO UPDATE SET blob = excluded.blob, posted_ms = excluded.posted_ms",
             {post.game, post.addressee, post.sender, post.blob, nowMs});
    db.Commit();
    return PostOutcome::Stored;
}

std::vector<CandidateBlob> LobbyStore::CandidatesFor(std::int32_t addressee, std::int32_t game,
                                                     std::int64_t postedAfterMs) {
    auto db = database_->Read();
    const SqlRows rows = db.Query("SELECT sender, blob FROM candidates WHERE game = $1 "
                                  "AND addressee = $2 AND posted_ms > $3 ORDER BY sender",
                                  {game, addressee, postedAfterMs});
    std::vector<CandidateBlob> blobs;
    blobs.reserve(rows.size());
    for (const SqlRow& row : rows)
        blobs.push_back({static_cast<std::int32_t>(row.Int(0)), row.Text(1)});
    return blobs;
}
