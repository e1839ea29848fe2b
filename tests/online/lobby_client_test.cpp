#include "http_client.h"
#include "http_errors.h"
#include "lobby_client.h"
#include "scripted_server.h"

#include <gtest/gtest.h>

namespace {

const std::string kSession = "0123456789abcdefghijABCDEFGHIJ12"; // 32 characters

TEST(LobbyRequests, TargetsAreBuiltWithTheirValuesUnencoded) {
    const struct {
        std::string target, expected;
    } cases[] = {
        {LoginTarget("ann", "secret", "1.4.0.5"),
         "tavlo/tavlologin2.php?username=ann&password=secret&progversion=1.4.0.5"},
        // & and = go in as typed: the lobby sees another split.
        {LoginTarget("a&b", "p=w", "1.00"),
         "tavlo/tavlologin2.php?username=a&b&password=p=w&progversion=1.00"},
        {PublishTarget(kSession, "Joe's game #1", "100330"),
         "/tavlo/creategame.php?mysessid=" + kSession +
             "&gametype=1&gamename=Joes%20game%201&players=100330"},
        {PublishTarget("s", "#'!?", "100300"),
         "/tavlo/creategame.php?mysessid=s&gametype=1&gamename=&players=100300"},
        {ListTarget(kSession), "/tavlo/getgames.php?mysessid=" + kSession + "&gametype=1"},
        {RefreshTarget("s", 5, 0, 0, 0), "/tavlo/refreshgame.php?mysessid=s&gametype=1&gameno=5"},
        {RefreshTarget("s", 5, 12, 0, 0),
         "/tavlo/refreshgame.php?mysessid=s&gametype=1&gameno=5&newplayer=12"},
        {RefreshTarget("s", 5, 0, 2, 0),
         "/tavlo/refreshgame.php?mysessid=s&gametype=1&gameno=5&newgamestate=2"},
        {RefreshTarget("s", 5, 0, 3, 7),
         "/tavlo/refreshgame.php?mysessid=s&gametype=1&gameno=5&newgamestate=3&winner=7"},
        {RefreshTarget("s", 5, -1, -2, -3),
         "/tavlo/refreshgame.php?mysessid=s&gametype=1&gameno=5"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.target, c.expected);
}

TEST(LobbyRequests, TheGameNameKeepsLettersDigitsAndSpacesOnly) {
    const std::pair<std::string, std::string> cases[] = {
        {"Joe's game #1", "Joes%20game%201"},
        {"  ", "%20%20"},
        {"!#'&=%", ""},
        {"Zo\xc3\xab's", "Zos"}, // every byte of a non-ASCII letter goes
        {"AZaz09", "AZaz09"},
    };
    for (const auto& [name, encoded] : cases)
        EXPECT_EQ(EncodeGameName(name), encoded) << name;
}

TEST(LobbyRequests, ThePlayersTextIsOneDigitPerSeat) {
    EXPECT_EQ(PlayersText({skHuman, skNone, skNone, skOpen, skNone, skNone}), "100300");
    EXPECT_EQ(PlayersText({skComputer, skHuman, skOpen, skOpen, skNone, skComputer}), "213302");
}

TEST(LobbyReplies, LoginRepliesAreReadByTheirFirstCharacter) {
    const std::string session40 = kSession + "KLMNOPQR";
    const struct {
        std::string reply;
        TLoginOutcome outcome;
        std::string sessionId;
        int32_t number;
    } cases[] = {
        {"0" + kSession + "\n42", TLoginOutcome::Success, kSession, 42},
        {"0" + kSession + "\n42\n", TLoginOutcome::Success, kSession, 0}, // LF after the number
        {"0" + kSession + "\n42\r", TLoginOutcome::Success, kSession, 0},
        {"0" + kSession + "\n$2A", TLoginOutcome::Success, kSession, 42},
        {"0" + kSession + "\n 7", TLoginOutcome::Success, kSession, 7},
        {"0" + session40 + "\n9", TLoginOutcome::Success, kSession, 9}, // the first 32 kept
        {"0", TLoginOutcome::Success, "", 0},                           // no LF: no session
        {"042", TLoginOutcome::Success, "", 42}, // no LF: the rest is the number
        {"0\n5", TLoginOutcome::Success, "", 5},
        {"1", TLoginOutcome::BadPassword, "", 0},
        {"1" + kSession + "\n3", TLoginOutcome::BadPassword, "", 0},
        {"2", TLoginOutcome::BadVersion, "", 0},
        {"3", TLoginOutcome::Unknown, "", 0},
        {"", TLoginOutcome::Unknown, "", 0},
        {"<html>", TLoginOutcome::Unknown, "", 0},
    };
    for (const auto& c : cases) {
        const TLoginReply reply = ParseLoginReply(c.reply);
        EXPECT_EQ(reply.outcome, c.outcome) << c.reply;
        EXPECT_EQ(reply.sessionId, c.sessionId) << c.reply;
        EXPECT_EQ(reply.playerNumber, c.number) << c.reply;
    }
}

TEST(LobbyReplies, APublicationSucceedsOnAOneAndCarriesTheGameNumber) {
    const struct {
        std::string reply;
        std::optional<int32_t> number;
    } cases[] = {
        {"1\n5", 5}, {"1\n5\n", 0}, {"1", 0},  {"1\n", 0},   {"1\n0x10", 16},
        {"0", {}},   {"", {}},      {"x", {}}, {"0\n5", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParsePublishReply(c.reply), c.number) << c.reply;
}

TEST(LobbyReplies, GameListsAreReadThreeLinesAnEntry) {
    using Games = std::vector<TGameListEntry>;
    const struct {
        const char* what;
        std::string reply;
        std::optional<Games> games;
    } cases[] = {
        {"two games", "1\nJoes game 1\n1/3\n127.0.0.2\nFriday\n2/2\nhost.example\n",
         Games{{"Joes game 1", "1/3", "127.0.0.2"}, {"Friday", "2/2", "host.example"}}},
        {"no final LF", "1\nJoes game 1\n1/3\n127.0.0.2",
         Games{{"Joes game 1", "1/3", "127.0.0.2"}}},
        {"CR LF line ends", "1\nA\r\n1/3\r\n10.0.0.1\r\nB\r\n2/3\r\n10.0.0.2",
         Games{{"A\r", "1/3\r", "10.0.0.1\r"}, {"B\r", "2/3\r", "10.0.0.2"}}},
        {"one and LF alone", "1\n", Games{}},
        {"one alone", "1", Games{}},
        {"an entry cut short", "1\nA\n1/3", Games{{"A", "", "1/3"}}},
        {"a last line only", "1\nlonely", Games{{"", "", "lonely"}}},
        {"refused", "0", std::nullopt},
        {"empty", "", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseGameList(c.reply), c.games) << c.what;
}

TEST(LobbyReplies, ASessionIdOfBlanksIsNoLogin) {
    EXPECT_FALSE(IsLoggedIn(""));
    EXPECT_FALSE(IsLoggedIn("  \t "));
    EXPECT_TRUE(IsLoggedIn(" x "));
}

TEST(LobbyGet, DisconnectsAlsoWhenTheRequestFails) {
    TScriptedServer server(
        {{{"HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n1\n17", TAfterReply::KeepOpen}},
         {{"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n", TAfterReply::KeepOpen}}});
    THttpClient http;
    http.Host = "127.0.0.1";
    http.Port = server.Port();
    EXPECT_EQ(LobbyGet(http, ListTarget("s")), "1\n17");
    EXPECT_FALSE(http.Connected()) << "even from a server that keeps it open";
    try {
        LobbyGet(http, ListTarget("s"));
        ADD_FAILURE() << "no error";
    } catch (const EHttpProtocolError& e) {
        EXPECT_STREQ(e.what(), "404 Not Found");
    }
    EXPECT_FALSE(http.Connected());
    EXPECT_EQ(server.ConnectionsAccepted(), 2);

    http.Port = UnusedPort();
    try {
        LobbyGet(http, ListTarget("s"));
        ADD_FAILURE() << "no error";
    } catch (const ESocketError& e) {
        EXPECT_STREQ(e.what(), "Socket Error # 10061\r\nConnection refused.");
    }
    EXPECT_FALSE(http.Connected());
}

} // namespace
