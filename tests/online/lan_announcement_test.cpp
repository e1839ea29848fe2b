#include "lan_announcement.h"
#include "lan_announcer.h"

#include <gtest/gtest.h>

namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int v : values)
        bytes.push_back(static_cast<char>(v));
    return bytes;
}

std::string Times(int count, const std::string& text) {
    std::string repeated;
    for (int i = 0; i < count; ++i)
        repeated += text;
    return repeated;
}

const TLanAnnouncement kGame{TLanKind::Open, 0x0102030405060708u, "Friday", "1/3"};
// The same game as it goes on the wire.
const std::string kGameBytes =
    "ZHLN" + Bytes({1, 1, 8, 7, 6, 5, 4, 3, 2, 1, 6}) + "Friday" + Bytes({3}) + "1/3";

TEST(LanAnnouncement, IsOneDatagramOfKnownLayout) {
    EXPECT_EQ(EncodeLanAnnouncement(kGame), kGameBytes);
    EXPECT_EQ(DecodeLanAnnouncement(kGameBytes), kGame);
    const TLanAnnouncement withdrawal{TLanKind::Withdrawn, 0x0102030405060708u, "", ""};
    EXPECT_EQ(EncodeLanAnnouncement(withdrawal),
              "ZHLN" + Bytes({1, 2, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0}));
    const TLanAnnouncement running{TLanKind::Running, 0x0102030405060708u, "Friday", "3/3"};
    const std::string runningBytes =
        "ZHLN" + Bytes({1, 3, 8, 7, 6, 5, 4, 3, 2, 1, 6}) + "Friday" + Bytes({3}) + "3/3";
    EXPECT_EQ(EncodeLanAnnouncement(running), runningBytes);
    EXPECT_EQ(DecodeLanAnnouncement(runningBytes), running);
    EXPECT_EQ(kLanMaxDatagramBytes, 96u);
    EXPECT_NE(kLanPort, 3237) << "never the messaging port";
}

TEST(LanAnnouncement, TextsOverTheirLimitsAreCutBetweenCharacters) {
    const struct {
        std::string name, players;
        std::string sentName, sentPlayers;
    } cases[] = {
        {std::string(64, 'n'), "2/6", std::string(64, 'n'), "2/6"},
        {std::string(65, 'n'), std::string(17, 'p'), std::string(64, 'n'), std::string(16, 'p')},
        // 65 bytes: the 32nd two-byte character would be cut in two, so it goes
        {"n" + Times(32, "\xc3\xa9"), "", "n" + Times(31, "\xc3\xa9"), ""},
    };
    for (const auto& c : cases) {
        const auto read =
            DecodeLanAnnouncement(EncodeLanAnnouncement({TLanKind::Open, 7, c.name, c.players}));
        ASSERT_TRUE(read) << c.name;
        EXPECT_EQ(read->name, c.sentName);
        EXPECT_EQ(read->players, c.sentPlayers);
    }
}

TEST(LanAnnouncement, AnyDatagramOutsideTheLayoutIsDropped) {
    const std::string ok = kGameBytes;
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"other magic", "ZHLM" + ok.substr(4)},
        {"version 2", ok.substr(0, 4) + Bytes({2}) + ok.substr(5)},
        {"version 0", ok.substr(0, 4) + Bytes({0}) + ok.substr(5)},
        {"kind 0", ok.substr(0, 5) + Bytes({0}) + ok.substr(6)},
        {"kind 4", ok.substr(0, 5) + Bytes({4}) + ok.substr(6)},
        {"cut in the game id", ok.substr(0, 10)},
        {"cut before the name length", ok.substr(0, 14)},
        {"cut in the name", ok.substr(0, 18)},
        {"cut before the players length", ok.substr(0, 21)},
        {"cut in the players", ok.substr(0, ok.size() - 1)},
        {"a byte left over", ok + "x"},
        {"name length past the end", ok.substr(0, 14) + Bytes({200}) + "Friday"},
        {"name over 64 bytes", ok.substr(0, 14) + Bytes({65}) + std::string(65, 'n') + Bytes({0})},
        {"players over 16 bytes", ok.substr(0, 21) + Bytes({17}) + std::string(17, 'p')},
        {"over the size limit", ok + std::string(200, 'x')},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(DecodeLanAnnouncement(c.bytes)) << c.what;
}

TEST(LanAnnouncement, ThePlayersTextCountsTheSeatsTakenOfThoseInPlay) {
    const struct {
        SeatKinds kinds;
        const char* text;
    } cases[] = {
        {{skHuman, skNone, skNone, skOpen, skNone, skNone}, "1/2"},
        {{skHuman, skOpen, skComputer, skOpen, skOpen, skNone}, "2/5"},
        {{skHuman, skRemote, skComputer, skOpen, skNone, skNone}, "3/4"},
        {{skOpen, skOpen, skOpen, skOpen, skOpen, skOpen}, "0/6"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LanPlayersText(c.kinds), c.text);
}

// The host's announcer with a clock of the test's and the datagrams
// written down as "open ID NAME PLAYERS" or "withdrawn ID".
class Announcer : public ::testing::Test {
  protected:
    std::vector<std::string> sent;
    TLanAnnouncer announcer{[this](const std::string& datagram) {
        const auto a = DecodeLanAnnouncement(datagram);
        ASSERT_TRUE(a);
        const char* kind = a->kind == TLanKind::Open      ? "open "
                           : a->kind == TLanKind::Running ? "running "
                                                          : "withdrawn ";
        sent.push_back(kind + std::to_string(a->gameId) +
                       (a->kind == TLanKind::Withdrawn ? "" : " " + a->name + " " + a->players));
    }};
};

TEST_F(Announcer, AnnouncesAtOnceThenEverySecondUntilWithdrawn) {
    announcer.Tick(0);
    EXPECT_TRUE(sent.empty()) << "nothing to announce yet";
    announcer.Announce({TLanKind::Open, 5, "Friday", "1/3"}, 100);
    for (int ms : {500, 1099, 1100, 1500, 2099, 2150, 2200})
        announcer.Tick(ms);
    announcer.Announce({TLanKind::Open, 5, "Friday", "2/3"}, 2300); // a player joined
    announcer.Tick(3299);
    announcer.Tick(3300);
    announcer.Withdraw();
    announcer.Withdraw();
    announcer.Tick(10000);
    EXPECT_FALSE(announcer.Announcing());
    EXPECT_EQ(sent, (std::vector<std::string>{"open 5 Friday 1/3", "open 5 Friday 1/3",
                                              "open 5 Friday 1/3", "open 5 Friday 2/3",
                                              "open 5 Friday 2/3", "withdrawn 5"}));
}

// Once it starts, the game is announced as running until it ends, for
// those who come back into it or watch it.
TEST_F(Announcer, AStartedGameIsAnnouncedAsRunningUntilItEnds) {
    announcer.Announce({TLanKind::Open, 5, "Friday", "1/2"}, 0);
    announcer.Announce({TLanKind::Running, 5, "Friday", "2/2"}, 400);
    announcer.Tick(1399);
    announcer.Tick(1400);
    announcer.Withdraw();
    EXPECT_EQ(sent, (std::vector<std::string>{"open 5 Friday 1/2", "running 5 Friday 2/2",
                                              "running 5 Friday 2/2", "withdrawn 5"}));
}

TEST_F(Announcer, ANewGameWithdrawsTheOneBefore) {
    announcer.Announce({TLanKind::Open, 5, "Friday", "1/3"}, 0);
    announcer.Announce({TLanKind::Open, 6, "Saturday", "1/2"}, 10);
    EXPECT_EQ(sent, (std::vector<std::string>{"open 5 Friday 1/3", "withdrawn 5",
                                              "open 6 Saturday 1/2"}));
}

} // namespace
