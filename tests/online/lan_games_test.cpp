#include "lan_announcement.h"
#include "lan_games.h"
#include "plain_text.h"

#include <gtest/gtest.h>
#include <random>

namespace {

std::string Open(std::uint64_t id, const std::string& name, const std::string& players = "1/2") {
    return EncodeLanAnnouncement({TLanKind::Open, id, name, players});
}

std::string Running(std::uint64_t id, const std::string& name, const std::string& players) {
    return EncodeLanAnnouncement({TLanKind::Running, id, name, players});
}

std::string Withdrawn(std::uint64_t id) {
    return EncodeLanAnnouncement({TLanKind::Withdrawn, id, "", ""});
}

// The list as "address id name players" lines.
std::vector<std::string> Shown(const TLanGames& games) {
    std::vector<std::string> lines;
    for (const TLanGameEntry& g : games.Games())
        lines.push_back(g.address + " " + std::to_string(g.gameId) + " " + g.name + " " +
                        (g.running ? "playing " : "") + g.players);
    return lines;
}

using Lines = std::vector<std::string>;

TEST(LanGames, AGameIsSeenUpdatedWithdrawnAndForgottenWhenSilent) {
    TLanGames games;
    const struct {
        std::int64_t ms;
        std::string from;
        std::string datagram; // empty: only time passes
        bool changed;
        Lines after;
    } steps[] = {
        {0, "10.0.0.2", Open(1, "Friday"), true, {"10.0.0.2 1 Friday 1/2"}},
        {1000, "10.0.0.2", Open(1, "Friday"), false, {"10.0.0.2 1 Friday 1/2"}},
        // clang-format off
        {1500, "10.0.0.3", Open(1, "Other"), true, {"10.0.0.2 1 Friday 1/2", "10.0.0.3 1 Other 1/2"}},
        {2000, "10.0.0.2", Open(1, "Friday", "2/2"), true, {"10.0.0.2 1 Friday 2/2", "10.0.0.3 1 Other 1/2"}},
        // clang-format on
        // a withdrawal counts only from the game's own host; "Other" is a game
        // of another host with the same id
        {2100, "10.0.0.9", Withdrawn(1), false, {"10.0.0.2 1 Friday 2/2", "10.0.0.3 1 Other 1/2"}},
        // the game starts: it stays, under way
        {2150, "10.0.0.2", Running(1, "Friday", "2/2"), true, {"10.0.0.2 1 Friday playing 2/2", "10.0.0.3 1 Other 1/2"}},
        {2200, "10.0.0.2", Withdrawn(1), true, {"10.0.0.3 1 Other 1/2"}},
        {2300, "10.0.0.2", Withdrawn(1), false, {"10.0.0.3 1 Other 1/2"}},
        // 10.0.0.3 was last heard at 1500: it stays until 1500 + 3500
        {4999, "", "", false, {"10.0.0.3 1 Other 1/2"}},
        {5000, "", "", true, {}},
        {5100, "10.0.0.4", "garbage", false, {}},
    };
    for (const auto& s : steps) {
        const bool changed =
            s.datagram.empty() ? games.Expire(s.ms) : games.Take(s.datagram, s.from, s.ms);
        EXPECT_EQ(changed, s.changed) << "at " << s.ms;
        EXPECT_EQ(Shown(games), s.after) << "at " << s.ms;
    }
}

TEST(LanGames, TextsAreShownPlain) {
    TLanGames games;
    const std::string rightToLeft = "\xe2\x80\xae";
    games.Take(Open(1, "<b>x</b>\r\n" + rightToLeft + "evil", "1/2\n"), "10.0.0.2", 0);
    EXPECT_EQ(Shown(games), Lines{"10.0.0.2 1 <b>x</b>  evil 1/2"});
}

TEST(LanGames, EachSenderIsHeardOnlySoOften) {
    TLanGames games;
    // A burst of changes from one host: the first eight are taken.
    int changes = 0;
    for (int i = 0; i < 100; ++i)
        changes += games.Take(Open(1, "Friday", std::to_string(i)), "10.0.0.2", 0);
    EXPECT_EQ(changes, 8);
    // Four a second after that.
    changes = 0;
    for (int ms = 1; ms <= 1000; ++ms)
        changes += games.Take(Open(1, "Friday", std::to_string(ms)), "10.0.0.2", ms);
    EXPECT_EQ(changes, 4);
    // Another host is not held back by the first.
    EXPECT_TRUE(games.Take(Open(1, "Saturday"), "10.0.0.3", 1000));
    // One host has at most four games in the list.
    for (std::uint64_t id = 2; id <= 6; ++id)
        games.Take(Open(id, "more"), "10.0.0.3", 5000 + 1000 * static_cast<std::int64_t>(id));
    EXPECT_EQ(std::count_if(games.Games().begin(), games.Games().end(),
                            [](const TLanGameEntry& g) { return g.address == "10.0.0.3"; }),
              4);
}

// Fake announcements from thirty thousand addresses, with hostile
// names, while one real host keeps announcing its game every second.
TEST(LanGames, AFloodFromManyAddressesStaysBoundedAndTheRealGameStays) {
    TLanGames games;
    std::mt19937 random(7);
    const auto hostileName = [&] {
        std::string name;
        const int length = static_cast<int>(random() % 64);
        for (int i = 0; i < length; ++i)
            name.push_back(static_cast<char>(random() % 256));
        return name + "\xe2\x80\xae\r\n<script>";
    };
    const int kFakes = 30000;
    const int kFakesPerMs = 3;
    const auto realListed = [&] {
        return std::any_of(games.Games().begin(), games.Games().end(), [](const TLanGameEntry& g) {
            return g.gameId == 42 && g.address == "192.168.1.10";
        });
    };
    std::size_t mostGames = 0, mostSenders = 0;
    int realMissing = 0; // moments the real game was not in the list
    for (int i = 0; i < kFakes; ++i) {
        const std::int64_t ms = i / kFakesPerMs; // three thousand a second, for ten seconds
        if (ms % 1000 == 0 && i % kFakesPerMs == 0)
            games.Take(Open(42, "Real game"), "192.168.1.10", ms);
        const std::string from = "10." + std::to_string(i >> 16 & 255) + "." +
                                 std::to_string(i >> 8 & 255) + "." + std::to_string(i & 255);
        std::string datagram = Open(random(), hostileName(), "9/9");
        if (i % 3 == 0)
            datagram[static_cast<std::size_t>(random() % datagram.size())] ^= 0x5a; // broken too
        games.Take(datagram, from, ms);
        games.Expire(ms);
        mostGames = std::max(mostGames, games.Games().size());
        mostSenders = std::max(mostSenders, games.SendersTracked());
        realMissing += !realListed();
    }
    EXPECT_LE(mostGames, kMaxLanGames);
    EXPECT_LE(mostSenders, kMaxLanSenders);
    EXPECT_EQ(realMissing, 0) << "the real game was pushed out of the list";
    for (const TLanGameEntry& g : games.Games()) {
        EXPECT_EQ(PlainText(g.name), g.name);
        EXPECT_EQ(g.name.find_first_of("\r\n"), std::string::npos);
        EXPECT_EQ(g.name.find("\xe2\x80\xae"), std::string::npos);
        EXPECT_LE(g.name.size(), 3 * kLanMaxNameBytes);
    }
}

} // namespace
