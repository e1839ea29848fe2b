// Keeping the lobby's items for a session and renewing them before they
// run out, against scripted answers.
#include "lobby_items_keeper.h"

#include <deque>
#include <gtest/gtest.h>

namespace {

constexpr std::int64_t kNow = 1'700'000'000;

TTurnCredentials Relay(std::int64_t expiresAt, const std::string& password) {
    return {"198.51.100.1:3478", std::to_string(expiresAt) + ":ann", password, expiresAt};
}

std::string RenewReply(std::int64_t expiresAt, const std::string& password) {
    return "1\nturn=198.51.100.1:3478\nturnuser=" + std::to_string(expiresAt) +
           ":ann\nturnpass=" + password + "\n";
}

struct KeeperTest : testing::Test {
    KeeperTest() {
        keeper.OnLog = [this](const std::string& line) { logged.push_back(line); };
    }
    void Answer(const std::optional<std::string>& reply) {
        ASSERT_FALSE(asked.empty());
        auto answer = std::move(asked.front().second);
        asked.pop_front();
        answer(reply);
    }
    std::deque<std::pair<std::string, TLobbyItemsKeeper::TAnswer>> asked;
    std::vector<std::string> logged;
    TLobbyItemsKeeper keeper{[this](const std::string& target, TLobbyItemsKeeper::TAnswer answer) {
        asked.emplace_back(target, std::move(answer));
    }};
};

TEST_F(KeeperTest, AWrittenLobbyIsNeverAskedForARenewal) {
    keeper.Take({});
    EXPECT_FALSE(keeper.Extended());
    keeper.Tick("S1", kNow);
    EXPECT_TRUE(asked.empty());
}

TEST_F(KeeperTest, RenewsOnceWhenDueAndKeepsTheAnswer) {
    TLobbyItems items;
    items.turn = Relay(kNow + 2 * kRenewBeforeExpirySeconds, "old");
    keeper.Take(items);
    EXPECT_TRUE(keeper.Extended());
    keeper.Tick("S1", kNow);
    EXPECT_TRUE(asked.empty()) << "two hours left: not due";
    const std::int64_t due = kNow + kRenewBeforeExpirySeconds + 1;
    keeper.Tick("S1", due);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked.front().first, RenewTarget("S1"));
    keeper.Tick("S1", due + 1);
    EXPECT_EQ(asked.size(), 1u) << "one renewal at a time";
    Answer(RenewReply(due + 43200, "new"));
    ASSERT_TRUE(keeper.Items().turn);
    EXPECT_EQ(keeper.Items().turn->password, "new");
    keeper.Tick("S1", due + 2);
    EXPECT_TRUE(asked.empty()) << "not due any more";
}

TEST_F(KeeperTest, FailuresWaitAMinuteAndALostSessionStops) {
    TLobbyItems items;
    items.turn = Relay(kNow + 10, "old");
    keeper.Take(items);
    const struct {
        std::optional<std::string> reply;
        bool asksAgain;
    } cases[] = {
        {std::nullopt, true},  // no answer
        {"0\nflood", true},    // refused for now
        {"<html>", true},      // not the lobby
        {"0\nsession", false}, // the session is gone: a new log-in brings new items
    };
    std::int64_t now = kNow;
    for (const auto& c : cases) {
        keeper.Tick("S1", now);
        ASSERT_EQ(asked.size(), 1u);
        Answer(c.reply);
        EXPECT_EQ(keeper.Items().turn->password, "old");
        keeper.Tick("S1", now + TLobbyItemsKeeper::kRetrySeconds - 1);
        EXPECT_TRUE(asked.empty());
        now += TLobbyItemsKeeper::kRetrySeconds;
        keeper.Tick("S1", now);
        EXPECT_EQ(asked.size(), c.asksAgain ? 1u : 0u);
        if (!asked.empty())
            Answer(std::nullopt);
        now += TLobbyItemsKeeper::kRetrySeconds;
    }
    EXPECT_EQ(logged.size(), 7u); // each failure, the lost session once
}

// The key checked against the pins at the log-in stands: a renewal that
// shows another one is refused, one that repeats it or gives none is taken.
TEST_F(KeeperTest, ARenewalWithAnotherLobbyKeyIsRefused) {
    TLobbyKey logIn{}, other{};
    logIn.fill(1);
    other.fill(2);
    const struct {
        const char* what;
        std::optional<TLobbyKey> renewalKey;
        bool taken;
    } cases[] = {
        {"no key", std::nullopt, true},
        {"the same key", logIn, true},
        {"another key", other, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TLobbyItems items;
        items.lobbyKey = logIn;
        items.turn = Relay(kNow + 10, "old");
        keeper.Take(items);
        logged.clear();
        keeper.Tick("S1", kNow);
        std::string reply = RenewReply(kNow + 43200, "new");
        if (c.renewalKey)
            reply += "lobbykey=" + KeyText(*c.renewalKey) + "\n";
        Answer(reply);
        EXPECT_EQ(keeper.Items().turn->password, c.taken ? "new" : "old");
        EXPECT_EQ(keeper.Items().lobbyKey, logIn);
        EXPECT_EQ(logged.size(), c.taken ? 0u : 1u);
    }
}

TEST_F(KeeperTest, ALogInDuringARenewalWins) {
    TLobbyItems items;
    items.turn = Relay(kNow + 10, "old");
    keeper.Take(items);
    keeper.Tick("S1", kNow);
    ASSERT_EQ(asked.size(), 1u);
    items.turn = Relay(kNow + 43200, "login");
    keeper.Take(items);
    Answer(RenewReply(kNow + 43200, "renewal"));
    EXPECT_EQ(keeper.Items().turn->password, "login");
}

} // namespace
