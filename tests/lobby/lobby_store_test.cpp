// The store's behaviour, the same on both databases: every test runs on an
// SQLite file and on a database of a PostgreSQL server the tests start.
#include "lobby_schema.h"
#include "lobby_store.h"
#include "lobby_test_support.h"
#include "test_postgres.h"

#include <gtest/gtest.h>
#include <latch>
#include <set>
#include <thread>

namespace {

enum class Backend { Sqlite, Postgres };

class LobbyStoreTest : public ::testing::TestWithParam<Backend> {
  protected:
    void SetUp() override {
        if (GetParam() == Backend::Sqlite) {
            location_ = (dir_.Path() / "lobby.db").string();
        } else {
            std::string whyNot;
            TestPostgres* postgres = TestPostgres::Instance(whyNot);
            if (postgres == nullptr)
                GTEST_SKIP() << "PostgreSQL tests skipped: " << whyNot;
            location_ = postgres->NewDatabase();
        }
        store_ = std::make_unique<LobbyStore>(location_);
    }

    // A new game of a new host, with two open seats.
    std::int32_t Publish(const std::string& host, std::int64_t nowMs = kNow) {
        const auto player = store_->AddPlayer(host, "hash", nowMs);
        EXPECT_TRUE(player) << host;
        return store_->CreateGame(
            {player.value_or(0), 1, host + "'s game", "133000", 2, "192.0.2.1"}, nowMs);
    }
    RefreshOutcome Refresh(std::int32_t game, std::int32_t host,
                           std::optional<std::int32_t> newPlayer,
                           std::optional<LobbyGameState> state = {},
                           std::optional<std::int32_t> winner = {}, std::int64_t nowMs = kNow) {
        return store_->RefreshGame({host, 1, game, newPlayer, state, winner}, nowMs);
    }

    static constexpr std::int64_t kNow = 1'700'000'000'000;
    TempDir dir_;
    std::string location_;
    std::unique_ptr<LobbyStore> store_;
};

TEST_P(LobbyStoreTest, NamesDifferingOnlyInCaseAreOneAccount) {
    EXPECT_EQ(store_->AddPlayer("Alice", "hash-a", 0), 1);
    EXPECT_EQ(store_->AddPlayer("aLICE", "hash-b", 0), std::nullopt);
    EXPECT_EQ(store_->FindPlayer("ALICE")->number, 1);
    EXPECT_EQ(store_->FindPlayer("alice")->passwordHash, "hash-a");
    EXPECT_EQ(store_->FindPlayer("alic"), std::nullopt);
    EXPECT_EQ(store_->AddPlayer("bob", "hash", 0), 2);
}

TEST_P(LobbyStoreTest, ANewPasswordEndsTheSessionAndANewSessionReplacesTheOld) {
    const std::int32_t alice = *store_->AddPlayer("alice", "old", 0);
    store_->ReplaceSession(alice, "first", 0);
    store_->ReplaceSession(alice, "second", 0);
    EXPECT_EQ(store_->PlayerOfSession("first"), std::nullopt);
    EXPECT_EQ(store_->PlayerOfSession("second"), alice);
    EXPECT_TRUE(store_->SetPasswordHash("ALICE", "new"));
    EXPECT_EQ(store_->FindPlayer("alice")->passwordHash, "new");
    EXPECT_EQ(store_->PlayerOfSession("second"), std::nullopt);
    EXPECT_FALSE(store_->SetPasswordHash("nobody", "new"));
}

TEST_P(LobbyStoreTest, WaitingGamesAreListedNewestFirstUntilTheyExpireOrStart) {
    const std::int32_t first = Publish("ann", kNow);
    const std::int32_t second = Publish("ben", kNow + 10);
    const std::int32_t third = Publish("cid", kNow + 20);
    const auto numbers = [&](std::int64_t after, int limit = 10) {
        std::vector<std::int32_t> listed;
        for (const ListedGame& game : store_->WaitingGames(1, after, limit))
            listed.push_back(game.number);
        return listed;
    };
    EXPECT_EQ(numbers(0), (std::vector{third, second, first}));
    EXPECT_EQ(numbers(0, 2), (std::vector{third, second}));
    EXPECT_EQ(numbers(kNow + 5), (std::vector{third, second}));
    EXPECT_TRUE(store_->WaitingGames(2, 0, 10).empty());
    EXPECT_EQ(Refresh(first, 1, {}, {}, {}, kNow + 30), RefreshOutcome::Done);
    EXPECT_EQ(Refresh(second, 2, {}, LobbyGameState::Started), RefreshOutcome::Done);
    EXPECT_EQ(numbers(kNow + 5), (std::vector{third, first}));
    const ListedGame listed = store_->WaitingGames(1, 0, 10).at(0);
    EXPECT_EQ(listed.name, "cid's game");
    EXPECT_EQ(listed.seats, "133000");
    EXPECT_EQ(listed.hostAddress, "192.0.2.1");
}

TEST_P(LobbyStoreTest, PublishingAgainWithdrawsTheHostsWaitingGame) {
    const std::int32_t first = Publish("ann");
    const std::int32_t again = store_->CreateGame({1, 1, "again", "130000", 1, "192.0.2.1"}, kNow);
    EXPECT_EQ(store_->FindGame(first)->state, LobbyGameState::Withdrawn);
    ASSERT_EQ(store_->WaitingGames(1, 0, 10).size(), 1u);
    EXPECT_EQ(store_->WaitingGames(1, 0, 10)[0].number, again);
}

TEST_P(LobbyStoreTest, RefreshJoinsPlayersUpToTheOpenSeatsAndOnlyTheHostMayRefresh) {
    const std::int32_t game = Publish("ann");
    EXPECT_EQ(Refresh(game, 99, 12), RefreshOutcome::NotYours);
    EXPECT_EQ(Refresh(game + 1, 1, 12), RefreshOutcome::NotYours);
    EXPECT_EQ(store_->RefreshGame({1, 2, game, 12, {}, {}}, kNow), RefreshOutcome::NotYours);
    EXPECT_EQ(Refresh(game, 1, 12), RefreshOutcome::Done);
    EXPECT_EQ(Refresh(game, 1, 12), RefreshOutcome::Done); // the same player again
    EXPECT_EQ(Refresh(game, 1, 13), RefreshOutcome::Done);
    EXPECT_EQ(Refresh(game, 1, 14), RefreshOutcome::SeatsTaken);
    EXPECT_EQ(store_->FindGame(game)->joinedPlayers, (std::vector<std::int32_t>{12, 13}));
    EXPECT_EQ(store_->WaitingGames(1, 0, 10).at(0).joinedPlayers, 2);
}

TEST_P(LobbyStoreTest, GamesOnlyMoveForwardAndKeepTheirFirstJoinedWinner) {
    const std::int32_t game = Publish("ann", kNow);
    store_->AddPlayer("bea", "hash", kNow); // player 2
    ASSERT_EQ(Refresh(game, 1, 2), RefreshOutcome::Done);
    ASSERT_EQ(Refresh(game, 1, {}, LobbyGameState::Started, 7, kNow + 1), RefreshOutcome::Done);
    EXPECT_FALSE(store_->FindGame(game)->winner); // not finished: no winner yet
    // A winner who never joined does not count.
    ASSERT_EQ(Refresh(game, 1, {}, LobbyGameState::Finished, 99, kNow + 2), RefreshOutcome::Done);
    GameRecord record = *store_->FindGame(game);
    EXPECT_EQ(record.state, LobbyGameState::Finished);
    EXPECT_FALSE(record.winner);
    EXPECT_EQ(record.finishedMs, kNow + 2);
    ASSERT_EQ(Refresh(game, 1, {}, LobbyGameState::Finished, 2, kNow + 3), RefreshOutcome::Done);
    ASSERT_EQ(Refresh(game, 1, {}, LobbyGameState::Started, {}, kNow + 4), RefreshOutcome::Done);
    record = *store_->FindGame(game);
    EXPECT_EQ(record.state, LobbyGameState::Finished);
    EXPECT_EQ(record.winner, 2);
    EXPECT_EQ(record.finishedMs, kNow + 2);
    EXPECT_EQ(record.refreshedMs, kNow + 4);
}

TEST_P(LobbyStoreTest, FrontPageShowsOpenGamesWithTheirPlayersLastWinnersAndMostWins) {
    for (const char* name : {"ann", "bea", "cy", "dan"})
        store_->AddPlayer(name, "hash", kNow);
    const auto play = [&](std::int32_t host, std::vector<std::int32_t> joiners,
                          std::optional<std::int32_t> winner, std::int64_t at) {
        const std::int32_t game =
            store_->CreateGame({host, 1, "g" + std::to_string(at), "333000", 3, "192.0.2.1"}, at);
        for (const std::int32_t joiner : joiners)
            Refresh(game, host, joiner, {}, {}, at);
        if (winner)
            Refresh(game, host, {}, LobbyGameState::Finished, *winner, at + 1);
        return game;
    };
    play(1, {2, 3}, 2, kNow + 100);
    play(1, {2, 4}, 4, kNow + 200);
    play(3, {2}, 2, kNow + 300);
    play(2, {1}, 0, kNow + 400); // won at the host's computer: no winner reported
    play(4, {3, 77}, {}, kNow + 500);

    const std::vector<OpenGame> open = store_->OpenGames(0, 10);
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(open[0].hostName, "dan");
    EXPECT_EQ(open[0].joinedNames, (std::vector<std::string>{"cy", "player 77"}));
    EXPECT_EQ(open[0].seats, "333000");
    EXPECT_TRUE(store_->OpenGames(kNow + 600, 10).empty());

    const std::vector<FinishedGame> finished = store_->LastFinished(3);
    ASSERT_EQ(finished.size(), 3u);
    EXPECT_EQ(finished[0].name, "g" + std::to_string(kNow + 400));
    EXPECT_EQ(finished[0].hostName, "bea");
    EXPECT_FALSE(finished[0].winnerName);
    EXPECT_EQ(finished[0].finishedMs, kNow + 401);
    EXPECT_EQ(finished[1].winnerName, "bea");
    EXPECT_EQ(finished[2].winnerName, "dan");

    const std::vector<PlayerWins> wins = store_->MostWins(10);
    ASSERT_EQ(wins.size(), 2u);
    EXPECT_EQ(wins[0].name, "bea");
    EXPECT_EQ(wins[0].wins, 2);
    EXPECT_EQ(wins[1].name, "dan");
    EXPECT_EQ(wins[1].wins, 1);
}

TEST_P(LobbyStoreTest, TextComesBackAsItWasStored) {
    const std::string name = "Ünïcödé ★ '\"; DROP TABLE games;--";
    const std::int32_t host = *store_->AddPlayer("quote'er", "$argon2id$v=19$m=1", kNow);
    const std::int32_t game = store_->CreateGame({host, 1, name, "130000", 1, "192.0.2.1"}, kNow);
    EXPECT_EQ(store_->WaitingGames(1, 0, 1).at(0).name, name);
    EXPECT_EQ(store_->OpenGames(0, 1).at(0).hostName, "quote'er");
    EXPECT_EQ(store_->FindPlayer("QUOTE'ER")->passwordHash, "$argon2id$v=19$m=1");
    EXPECT_EQ(store_->FindGame(game)->hostPlayer, host);
}

TEST_P(LobbyStoreTest, ConcurrentWritersGetDistinctNumbersAndLoseNothing) {
    constexpr int kThreads = 8;
    constexpr int kEach = 10;
    std::vector<std::vector<std::int32_t>> numbers(kThreads);
    std::latch go(1);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            go.wait();
            for (int i = 0; i < kEach; ++i) {
                const std::string name = "p" + std::to_string(t) + "x" + std::to_string(i);
                const std::int32_t player = *store_->AddPlayer(name, "hash", kNow);
                numbers[t].push_back(player);
                store_->ReplaceSession(player, "s" + name, kNow);
                store_->CreateGame({player, 1, name, "130000", 1, "192.0.2.1"}, kNow);
            }
        });
    go.count_down();
    for (std::thread& thread : threads)
        thread.join();
    std::set<std::int32_t> distinct;
    for (const auto& mine : numbers)
        distinct.insert(mine.begin(), mine.end());
    EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kThreads * kEach));
    EXPECT_EQ(store_->WaitingGames(1, 0, 1000).size(), static_cast<std::size_t>(kThreads * kEach));
    EXPECT_EQ(store_->PlayerOfSession("sp3x7"), numbers[3][7]);
}

TEST_P(LobbyStoreTest, SecondStoreOnTheSameDatabaseSeesTheSameData) {
    const std::int32_t game = Publish("ann");
    LobbyStore other(location_);
    EXPECT_EQ(other.FindGame(game)->hostPlayer, 1);
    EXPECT_EQ(other.AddPlayer("ANN", "hash", kNow), std::nullopt);
}

TEST_P(LobbyStoreTest, ADatabaseOfANewerLobbyIsRefused) {
    store_.reset();
    {
        auto database = SqlDatabase::Open(location_, 1);
        auto db = database->Write();
        const std::string newer = std::to_string(kLobbySchemaVersion + 1);
        db.Execute(GetParam() == Backend::Sqlite ? "PRAGMA user_version = " + newer
                                                 : "UPDATE lobby_schema SET version = " + newer);
        db.Commit();
    }
    EXPECT_THROW(LobbyStore{location_}, DatabaseError);
}

TEST_P(LobbyStoreTest, ASessionKeepsTheProgramKeyOfItsLogInAndTheStoredName) {
    const std::int32_t ann = *store_->AddPlayer("Ann", "hash", kNow);
    EXPECT_EQ(store_->FindPlayer("ANN")->name, "Ann");
    store_->ReplaceSession(ann, "keyed", kNow, std::string("program-key"));
    const auto keyed = store_->FindSession("keyed");
    ASSERT_TRUE(keyed);
    EXPECT_EQ(keyed->player, ann);
    EXPECT_EQ(keyed->playerName, "Ann");
    EXPECT_EQ(keyed->peerKey, "program-key");
    store_->ReplaceSession(ann, "written", kNow);
    EXPECT_FALSE(store_->FindSession("keyed"));
    EXPECT_EQ(store_->FindSession("written")->peerKey, std::nullopt);
}

// Games of hosts of this version, and of the written protocol, in every state.
class ListedGamesTest : public LobbyStoreTest {
  protected:
    std::int32_t Game(const std::string& host, bool extended, std::int64_t at = kNow) {
        const std::int32_t player = *store_->AddPlayer(host, "hash", at);
        return store_->CreateGame({player, 1, host, "133000", 2, "192.0.2.1", extended}, at);
    }
    std::vector<std::string> Listed(bool running, std::int64_t after = kNow - 1) {
        std::vector<std::string> names;
        for (const ListedGame& game : store_->ListedGames(1, after, 10, running))
            names.push_back(game.name + (game.state == LobbyGameState::Started ? " playing" : ""));
        return names;
    }
};

TEST_P(ListedGamesTest, RunningGamesOfThisVersionStayListedForThoseWhoAskUntilTheyEnd) {
    const std::int32_t waiting = Game("wai", true);
    const std::int32_t written = Game("old", false);
    const std::int32_t running = Game("run", true);
    const std::int32_t won = Game("won", true);
    const std::int32_t ended = Game("end", true);
    for (const auto& [game, host] : {std::pair{written, 2}, {running, 3}, {won, 4}, {ended, 5}})
        ASSERT_EQ(Refresh(game, host, {}, LobbyGameState::Started), RefreshOutcome::Done);
    ASSERT_EQ(Refresh(won, 4, {}, LobbyGameState::Finished), RefreshOutcome::Done);
    ASSERT_EQ(store_->RefreshGame({5, 1, ended, {}, {}, {}, true}, kNow), RefreshOutcome::Done);
    EXPECT_EQ(Listed(false), (std::vector<std::string>{"wai"}));
    EXPECT_EQ(Listed(true), (std::vector<std::string>{"run playing", "wai"}));
    EXPECT_EQ(store_->FindGame(ended)->state, LobbyGameState::Withdrawn);
    EXPECT_EQ(store_->FindGame(waiting)->state, LobbyGameState::Waiting);
    const ListedGame first = store_->ListedGames(1, 0, 1, true).at(0);
    EXPECT_EQ(first.hostPlayer, 3);
    EXPECT_TRUE(first.extended);

    // Unrefreshed, it expires like a waiting game; refreshed, it stays.
    ASSERT_EQ(Refresh(running, 3, {}, {}, {}, kNow + 200), RefreshOutcome::Done);
    EXPECT_EQ(Listed(true, kNow + 100), (std::vector<std::string>{"run playing"}));
    // Its host's next game withdraws it, as it does a waiting one.
    store_->CreateGame({3, 1, "next", "130000", 1, "192.0.2.1", true}, kNow + 300);
    EXPECT_EQ(Listed(true, kNow + 100), (std::vector<std::string>{"next"}));
    // The written protocol's started game is left as it was.
    store_->CreateGame({2, 1, "again", "130000", 1, "192.0.2.1", false}, kNow + 300);
    EXPECT_EQ(store_->FindGame(written)->state, LobbyGameState::Started);
}

TEST_P(ListedGamesTest, EndingLeavesAWonGameWonAndAnEndedGameIsNotWonLater) {
    store_->AddPlayer("bea", "hash", kNow); // player 1
    const std::int32_t won = Game("won", true);
    const std::int32_t ended = Game("end", true);
    for (const auto& [game, host] : {std::pair{won, 2}, {ended, 3}}) {
        ASSERT_EQ(Refresh(game, host, 1), RefreshOutcome::Done);
        ASSERT_EQ(Refresh(game, host, {}, LobbyGameState::Started), RefreshOutcome::Done);
    }
    ASSERT_EQ(Refresh(won, 2, {}, LobbyGameState::Finished, 1), RefreshOutcome::Done);
    ASSERT_EQ(store_->RefreshGame({2, 1, won, {}, {}, {}, true}, kNow), RefreshOutcome::Done);
    ASSERT_EQ(store_->RefreshGame({3, 1, ended, {}, {}, {}, true}, kNow), RefreshOutcome::Done);
    ASSERT_EQ(Refresh(ended, 3, {}, LobbyGameState::Finished, 1), RefreshOutcome::Done);
    EXPECT_EQ(store_->FindGame(won)->state, LobbyGameState::Finished);
    EXPECT_EQ(store_->FindGame(won)->winner, 1);
    EXPECT_EQ(store_->FindGame(ended)->state, LobbyGameState::Withdrawn);
    EXPECT_FALSE(store_->FindGame(ended)->winner);
    EXPECT_EQ(store_->RefreshGame({9, 1, ended, {}, {}, {}, true}, kNow), RefreshOutcome::NotYours);
}

// Who may hand candidates to whom: host 1 of game `game`, joiners 2 and 3,
// a stranger 4 who never posts to the host.
class CandidateStoreTest : public LobbyStoreTest {
  protected:
    void SetUp() override {
        LobbyStoreTest::SetUp();
        if (IsSkipped())
            return;
        for (const char* name : {"host", "jo", "kim", "lee"})
            store_->AddPlayer(name, "hash", kNow);
        game = store_->CreateGame({1, 1, "g", "133000", 2, "192.0.2.1", true}, kNow);
        rules.listedAfterMs = kNow - 1000;
    }
    PostOutcome Post(std::int32_t from, std::int32_t to, const std::string& blob = "QUJD",
                     std::int64_t at = kNow, std::optional<std::int32_t> inGame = {}) {
        return store_->PostCandidates({from, inGame.value_or(game), to, blob}, rules, at);
    }
    std::vector<CandidateBlob> For(std::int32_t addressee, std::int64_t at = kNow) {
        return store_->CandidatesFor(addressee, game, at - rules.lifetimeMs);
    }

    std::int32_t game = 0;
    CandidateRules rules;
};

TEST_P(CandidateStoreTest, JoinersDeclareByPostingToTheHostAndThenReachEachOther) {
    const struct {
        std::int32_t from, to;
        PostOutcome outcome;
    } posts[] = {
        {1, 2, PostOutcome::NotMember}, // the host cannot post to who has not declared
        {2, 3, PostOutcome::NotMember}, // nor a joiner before declaring
        {2, 1, PostOutcome::Stored},    // declares 2
        {1, 2, PostOutcome::Stored},     {2, 3, PostOutcome::NotMember}, // 3 has not declared
        {3, 1, PostOutcome::Stored},                                     // declares 3
        {2, 3, PostOutcome::Stored},     {3, 2, PostOutcome::Stored},
        {4, 2, PostOutcome::NotMember}, // a stranger reaches no joiner
        {2, 2, PostOutcome::NotMember},  {1, 1, PostOutcome::NotMember},
        {1, 99, PostOutcome::NotMember},
    };
    for (const auto& post : posts)
        EXPECT_EQ(Post(post.from, post.to, "from" + std::to_string(post.from)), post.outcome)
            << post.from << " to " << post.to;
    EXPECT_EQ(For(1), (std::vector<CandidateBlob>{{2, "from2"}, {3, "from3"}}));
    EXPECT_EQ(For(2), (std::vector<CandidateBlob>{{1, "from1"}, {3, "from3"}}));
    EXPECT_EQ(For(3), (std::vector<CandidateBlob>{{2, "from2"}}));
    EXPECT_TRUE(For(4).empty());
    // Only the addressee's own, and only in the game asked for.
    EXPECT_TRUE(store_->CandidatesFor(1, game + 1, 0).empty());
}

TEST_P(CandidateStoreTest, APostReplacesTheLastOneAndEachLastsAMinute) {
    ASSERT_EQ(Post(2, 1, "first", kNow), PostOutcome::Stored);
    ASSERT_EQ(Post(2, 1, "second", kNow + 10'000), PostOutcome::Stored);
    ASSERT_EQ(Post(3, 1, "other", kNow + 30'000), PostOutcome::Stored);
    EXPECT_EQ(For(1, kNow + 30'000), (std::vector<CandidateBlob>{{2, "second"}, {3, "other"}}));
    EXPECT_EQ(For(1, kNow + 70'000), (std::vector<CandidateBlob>{{3, "other"}}));
    EXPECT_TRUE(For(1, kNow + 90'000).empty());
    // Expired ones are deleted by the next post, not just hidden.
    ASSERT_EQ(Post(2, 1, "third", kNow + 95'000), PostOutcome::Stored);
    EXPECT_EQ(store_->CandidatesFor(1, game, 0), (std::vector<CandidateBlob>{{2, "third"}}));
}

TEST_P(CandidateStoreTest, OnlyAListedWaitingOrRunningGameOfThisVersionTakesCandidates) {
    const std::int32_t written = store_->CreateGame({4, 1, "w", "130000", 1, "192.0.2.1"}, kNow);
    EXPECT_EQ(Post(2, 4, "x", kNow, written), PostOutcome::NoGame);
    EXPECT_EQ(Post(2, 1, "x", kNow, game + 100), PostOutcome::NoGame);
    // Unrefreshed for longer than the list keeps it.
    rules.listedAfterMs = kNow + 1;
    EXPECT_EQ(Post(2, 1), PostOutcome::NoGame);
    rules.listedAfterMs = kNow - 1000;
    ASSERT_EQ(Refresh(game, 1, {}, LobbyGameState::Started), RefreshOutcome::Done);
    EXPECT_EQ(Post(2, 1), PostOutcome::Stored); // a rejoin or a watcher
    ASSERT_EQ(Refresh(game, 1, {}, LobbyGameState::Finished), RefreshOutcome::Done);
    EXPECT_EQ(Post(3, 1), PostOutcome::NoGame);
    EXPECT_EQ(store_->CandidatesFor(1, written, 0), std::vector<CandidateBlob>{});
    EXPECT_EQ(For(1), (std::vector<CandidateBlob>{{2, "QUJD"}}));
}

TEST_P(CandidateStoreTest, TheJoinersOfAGameAndTheBlobsOfTheLobbyAreBounded) {
    rules.maxJoinersPerGame = 2;
    rules.maxLiveBlobs = 3;
    store_->AddPlayer("may", "hash", kNow); // player 5
    EXPECT_EQ(Post(2, 1), PostOutcome::Stored);
    EXPECT_EQ(Post(3, 1), PostOutcome::Stored);
    EXPECT_EQ(Post(4, 1), PostOutcome::GameFull);
    EXPECT_EQ(Post(4, 2), PostOutcome::NotMember); // a full game declared nobody
    EXPECT_EQ(Post(1, 2), PostOutcome::Stored);    // the third blob
    EXPECT_EQ(Post(1, 3), PostOutcome::Busy);
    EXPECT_EQ(Post(2, 1, "newer"), PostOutcome::Stored); // replacing takes no room
    EXPECT_TRUE(For(3).empty());
    EXPECT_EQ(For(1), (std::vector<CandidateBlob>{{2, "newer"}, {3, "QUJD"}}));
    // Once the minute is over there is room again.
    EXPECT_EQ(Post(1, 3, "later", kNow + 61'000), PostOutcome::Stored);
}

INSTANTIATE_TEST_SUITE_P(Stores, ListedGamesTest,
                         ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         [](const auto& info) {
                             return info.param == Backend::Sqlite ? "Sqlite" : "Postgres";
                         });
INSTANTIATE_TEST_SUITE_P(Stores, CandidateStoreTest,
                         ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         [](const auto& info) {
                             return info.param == Backend::Sqlite ? "Sqlite" : "Postgres";
                         });

INSTANTIATE_TEST_SUITE_P(Stores, LobbyStoreTest,
                         ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         [](const auto& info) {
                             return info.param == Backend::Sqlite ? "Sqlite" : "Postgres";
                         });

// The SQLite file of an earlier lobby, from before the finishing times.
TEST(LobbyStore, AnOlderSqliteDatabaseIsBroughtUpToDate) {
    TempDir dir;
    const std::string path = (dir.Path() / "lobby.db").string();
    {
        auto database = SqlDatabase::Open(path, 1);
        auto db = database->Write();
        db.Execute(R"(
CREATE TABLE players (number INTEGER PRIMARY KEY AUTOINCREMENT,
  name TEXT NOT NULL UNIQUE COLLATE NOCASE, password_hash TEXT NOT NULL, created_ms INTEGER NOT NULL);
CREATE TABLE sessions (player INTEGER PRIMARY KEY REFERENCES players(number),
  session_id TEXT NOT NULL UNIQUE, created_ms INTEGER NOT NULL);
CREATE TABLE games (number INTEGER PRIMARY KEY AUTOINCREMENT, game_type INTEGER NOT NULL,
  name TEXT NOT NULL, seats TEXT NOT NULL, open_seats INTEGER NOT NULL,
  host_player INTEGER NOT NULL REFERENCES players(number), host_address TEXT NOT NULL,
  state INTEGER NOT NULL, winner INTEGER, created_ms INTEGER NOT NULL, refreshed_ms INTEGER NOT NULL);
CREATE TABLE game_players (game INTEGER NOT NULL REFERENCES games(number), player INTEGER NOT NULL,
  joined_ms INTEGER NOT NULL, PRIMARY KEY (game, player));
INSERT INTO players VALUES (1, 'old', 'hash', 0);
INSERT INTO games VALUES (1, 1, 'done', '130000', 1, 1, '192.0.2.1', 3, NULL, 0, 0);
PRAGMA user_version = 1;
)");
        db.Commit();
    }
    LobbyStore store(path);
    EXPECT_EQ(store.FindPlayer("OLD")->number, 1);
    EXPECT_EQ(store.FindGame(1)->finishedMs, std::nullopt);
    const std::int32_t game = store.CreateGame({1, 1, "new", "130000", 1, "192.0.2.1"}, 5);
    store.RefreshGame({1, 1, game, {}, LobbyGameState::Finished, {}}, 9);
    EXPECT_EQ(store.FindGame(game)->finishedMs, 9);
}

} // namespace
