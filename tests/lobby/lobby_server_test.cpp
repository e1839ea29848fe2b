// The lobby over real HTTP on a loopback port, talked to the way the game
// talks to it: targets unencoded, one request per connection.
#include "lobby_test_support.h"
#include "sqlite_connection.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <latch>
#include <regex>
#include <set>
#include <thread>

namespace {

using namespace std::chrono_literals;
namespace req = game_requests;

TEST(LobbyServer, AccountMadeThroughThePageLogsIn) {
    RunningLobby lobby;
    const HttpReply form = lobby.Get("/main.php?pageno=100");
    EXPECT_EQ(form.status, 200);
    EXPECT_NE(form.body.find("<form method=\"post\" action=\"/main.php?pageno=100\""),
              std::string::npos);

    const std::int32_t number = lobby.AddAccount("alice", "wonder1and");
    EXPECT_GT(number, 0);
    const HttpReply login = lobby.Get(req::Login("alice", "wonder1and"));
    EXPECT_EQ(login.status, 200);
    EXPECT_TRUE(
        std::regex_match(login.body, std::regex("0[A-Za-z0-9]{32}\n" + std::to_string(number))))
        << login.body;
}

TEST(LobbyServer, ForgottenPasswordPageSaysWhoCanResetIt) {
    LobbySettings settings;
    settings.contact = "Mail <ops@example.org>";
    RunningLobby lobby(settings);
    const HttpReply page = lobby.Get("/main.php?pageno=101");
    EXPECT_EQ(page.status, 200);
    EXPECT_NE(page.body.find("can set a new one"), std::string::npos) << page.body;
    EXPECT_NE(page.body.find("Mail &lt;ops@example.org&gt;"), std::string::npos) << page.body;
}

TEST(LobbyServer, AccountPageRefusesBadInputAndEscapesWhatItEchoes) {
    RunningLobby lobby;
    lobby.AddAccount("taken", "password1");
    const struct {
        const char* name;
        const char* password;
        const char* repeat;
        int status;
        const char* shown;
    } cases[] = {
        {"abcdefghijklmnopq", "password1", "password1", 400, "1 to 16 characters"},
        {"<script> x", "password1", "password1", 400, "value=\"&lt;script&gt; x\""},
        {"bob", "short", "short", 400, "6 to 16 characters"},
        {"bob", "password1", "password2", 400, "The two passwords differ."},
        {"TAKEN", "password1", "password1", 409, "The user name TAKEN is taken."},
        {"<i>\"x'", "password1", "password1", 200, "<strong>&lt;i&gt;&quot;x&#39;</strong>"},
    };
    for (const auto& c : cases) {
        const HttpReply reply = lobby.PostForm(
            "/main.php?pageno=100",
            {{"username", c.name}, {"password", c.password}, {"password2", c.repeat}});
        EXPECT_EQ(reply.status, c.status) << c.name;
        EXPECT_NE(reply.body.find(c.shown), std::string::npos) << c.name << "\n" << reply.body;
        EXPECT_EQ(reply.body.find("<script>"), std::string::npos) << c.name;
    }
    EXPECT_EQ(lobby.Login("bob", "password1").outcome, '1');
}

TEST(LobbyServer, LoginSucceedsOrAnswersOneOfItsRefusals) {
    RunningLobby lobby;
    lobby.AddAccount("carol", "c0rrect!");
    const struct {
        std::string target;
        const char* expected; // the whole reply; nullptr: a success
    } cases[] = {
        {req::Login("carol", "c0rrect!"), nullptr},
        {req::Login("CAROL", "c0rrect!"), nullptr},
        {req::Login("carol", "wrong-one"), "1"},
        {req::Login("carol", "C0RRECT!"), "1"},
        {req::Login("nobody", "c0rrect!"), "1"},
        {req::Login("abcdefghijklmnopq", "c0rrect!"), "1"},
        {req::Login("carol", "c0rrect!", "1.00"), "2"},
        {req::Login("carol", "c0rrect!", "1.4.0.4"), "2"},
        {"/tavlo/tavlologin2.php?password=c0rrect!&progversion=1.4.0.5", "1"},
        {"/tavlo/tavlologin2.php?username=carol&progversion=1.4.0.5", "1"},
        {"/tavlo/tavlologin2.php?username=carol&password=c0rrect!", "2"},
        {"/tavlo/tavlologin2.php", "2"},
    };
    for (const auto& c : cases) {
        const HttpReply reply = lobby.Get(c.target);
        EXPECT_EQ(reply.status, 200) << c.target;
        if (c.expected == nullptr) {
            EXPECT_EQ(ParseLogin(reply.body).outcome, '0') << c.target << ": " << reply.body;
        } else {
            EXPECT_EQ(reply.body, c.expected) << c.target;
        }
    }
}

TEST(LobbyServer, OnlyTheConfiguredVersionsMayLogIn) {
    LobbySettings settings;
    settings.acceptedVersions = {"1.4.0.6", "1.00"};
    RunningLobby lobby(settings);
    lobby.AddAccount("dave", "password1");
    EXPECT_EQ(lobby.Get(req::Login("dave", "password1", "1.4.0.5")).body, "2");
    EXPECT_EQ(ParseLogin(lobby.Get(req::Login("dave", "password1", "1.00")).body).outcome, '0');
}

TEST(LobbyServer, NewLoginReplacesTheOldSession) {
    RunningLobby lobby;
    lobby.AddAccount("erin", "password1");
    const LoginResult first = lobby.Login("erin", "password1");
    const LoginResult second = lobby.Login("erin", "password1");
    ASSERT_EQ(second.outcome, '0');
    EXPECT_NE(first.session, second.session);
    EXPECT_EQ(first.playerNumber, second.playerNumber);
    EXPECT_EQ(lobby.Get(req::ListGames(first.session)).body, "0");
    EXPECT_EQ(lobby.Get(req::ListGames(second.session)).body, "1\n");
}

TEST(LobbyServer, PublishedGameIsListedWithTheHostsAddress_ChosenAddress) {
    RunningLobby lobby;
    const LoginResult host = lobby.NewPlayer("host");
    const LoginResult joiner = lobby.NewPlayer("joiner");

    const HttpReply created =
        lobby.Get(req::CreateGame(host.session, "Joes%20game%201", "100300"), "127.0.30.2");
    EXPECT_TRUE(std::regex_match(created.body, std::regex("1\n[1-9][0-9]*"))) << created.body;

    const HttpReply list = lobby.Get(req::ListGames(joiner.session), "127.0.30.3");
    EXPECT_EQ(list.body, "1\nJoes game 1\n1/2\n127.0.30.2\n");
}

TEST(LobbyServer, PlayersTextCountsTheHostsSeatsAndEachJoiner) {
    RunningLobby lobby;
    const LoginResult host = lobby.NewPlayer("host");
    const std::int32_t game =
        std::stoi(lobby.Get(req::CreateGame(host.session, "Big", "123303")).body.substr(2));
    const auto playersText = [&] {
        const auto games = ParseGameList(lobby.Get(req::ListGames(host.session)).body);
        return games.size() == 1 ? games[0].players : std::string("(not listed)");
    };
    EXPECT_EQ(playersText(), "2/5");
    EXPECT_EQ(lobby.Get(req::Refresh(host.session, game)).body, "1");
    EXPECT_EQ(playersText(), "2/5");
    const struct {
        std::int32_t newPlayer;
        const char* reply;
        const char* players;
    } joins[] = {
        {12, "1", "3/5"}, {12, "1", "3/5"},                   // the same player reported twice
        {13, "1", "4/5"}, {14, "1", "5/5"}, {15, "0", "5/5"}, // no open seat left
    };
    for (const auto& join : joins) {
        EXPECT_EQ(lobby.Get(req::Refresh(host.session, game, join.newPlayer)).body, join.reply)
            << join.newPlayer;
        EXPECT_EQ(playersText(), join.players) << join.newPlayer;
    }
}

TEST(LobbyServer, RefreshRecordsStartAndWinnerAndTheGameLeavesTheList) {
    RunningLobby lobby;
    const LoginResult host = lobby.NewPlayer("host");
    const std::int32_t game =
        std::stoi(lobby.Get(req::CreateGame(host.session, "Duel", "130000")).body.substr(2));

    EXPECT_EQ(lobby.Get(req::Refresh(host.session, game, 12)).body, "1");
    EXPECT_EQ(lobby.Get(req::Refresh(host.session, game, 0, 2)).body, "1");
    EXPECT_EQ(lobby.Get(req::ListGames(host.session)).body, "1\n");
    EXPECT_EQ(lobby.Get(req::Refresh(host.session, game)).body, "1"); // the timer goes on
    EXPECT_EQ(lobby.Get(req::Refresh(host.session, game, 0, 3, 12)).body, "1");

    const auto record = lobby.Store().FindGame(game);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->state, LobbyGameState::Finished);
    EXPECT_EQ(record->winner, 12);
    EXPECT_EQ(record->joinedPlayers, std::vector<std::int32_t>{12});
    EXPECT_EQ(lobby.Get(req::Refresh(host.session, game, 0, 2)).body, "1");
    EXPECT_EQ(lobby.Store().FindGame(game)->state, LobbyGameState::Finished);
}

TEST(LobbyServer, NewPlayerAndStartInOneRefreshBothCount) {
    RunningLobby lobby;
    const LoginResult host = lobby.NewPlayer("host");
    const std::int32_t game =
        std::stoi(lobby.Get(req::CreateGame(host.session, "Quick", "300000")).body.substr(2));
    EXPECT_EQ(lobby.Get(req::Refresh(host.session, game, 7, 2)).body, "1");
    const auto record = lobby.Store().FindGame(game);
    EXPECT_EQ(record->state, LobbyGameState::Started);
    EXPECT_EQ(record->joinedPlayers, std::vector<std::int32_t>{7});
}

TEST(LobbyServer, UnrefreshedGameExpiresAndARefreshKeepsItListed) {
    LobbySettings settings;
    settings.gameExpiry = 300s;
    RunningLobby lobby(settings);
    const LoginResult host = lobby.NewPlayer("host");
    const std::int32_t kept =
        std::stoi(lobby.Get(req::CreateGame(host.session, "Kept", "130000")).body.substr(2));
    const LoginResult other = lobby.NewPlayer("other");
    lobby.Get(req::CreateGame(other.session, "Forgotten", "130000"));
    const auto names = [&] {
        std::string all;
        for (const ListedEntry& e : ParseGameList(lobby.Get(req::ListGames(host.session)).body))
            all += e.name + ";";
        return all;
    };
    EXPECT_EQ(names(), "Forgotten;Kept;");
    lobby.AdvanceClock(200s);
    EXPECT_EQ(lobby.Get(req::Refresh(host.session, kept)).body, "1");
    lobby.AdvanceClock(99s);
    EXPECT_EQ(names(), "Forgotten;Kept;");
    lobby.AdvanceClock(2s);
    EXPECT_EQ(names(), "Kept;");
    lobby.AdvanceClock(300s);
    EXPECT_EQ(names(), "");
}

TEST(LobbyServer, PublishingAgainWithdrawsTheHostsWaitingGame) {
    RunningLobby lobby;
    const LoginResult host = lobby.NewPlayer("host");
    lobby.Get(req::CreateGame(host.session, "First", "130000"));
    lobby.Get(req::CreateGame(host.session, "Second", "103000"));
    const auto games = ParseGameList(lobby.Get(req::ListGames(host.session)).body);
    ASSERT_EQ(games.size(), 1u);
    EXPECT_EQ(games[0].name, "Second");
}

TEST(LobbyServer, RefreshFromAnyOtherSessionIsRefused) {
    RunningLobby lobby;
    const LoginResult host = lobby.NewPlayer("host");
    const LoginResult intruder = lobby.NewPlayer("intruder");
    const std::int32_t game =
        std::stoi(lobby.Get(req::CreateGame(host.session, "Mine", "130000")).body.substr(2));

    EXPECT_EQ(lobby.Get(req::Refresh(intruder.session, game, 5, 2, 5)).body, "0");
    EXPECT_EQ(lobby.Get(req::Refresh("", game, 0, 2)).body, "0");
    const LoginResult hostAgain = lobby.Login("host", "secret-host");
    EXPECT_EQ(lobby.Get(req::Refresh(host.session, game, 0, 2)).body, "0"); // replaced session

    const auto record = lobby.Store().FindGame(game);
    EXPECT_EQ(record->state, LobbyGameState::Waiting);
    EXPECT_TRUE(record->joinedPlayers.empty());
    EXPECT_FALSE(record->winner);
    EXPECT_EQ(ParseGameList(lobby.Get(req::ListGames(intruder.session)).body).size(), 1u);
    // The same player's new session still owns the game.
    EXPECT_EQ(lobby.Get(req::Refresh(hostAgain.session, game, 0, 2)).body, "1");
}

TEST(LobbyServer, MalformedParametersAnswerTheFailureCharacterAndChangeNothing) {
    RunningLobby lobby;
    const LoginResult host = lobby.NewPlayer("host");
    const std::string s = host.session;
    const std::int32_t game =
        std::stoi(lobby.Get(req::CreateGame(s, "Valid", "130000")).body.substr(2));
    const std::string g = std::to_string(game);
    const std::string longName(65, 'n');
    const std::string targets[] = {
        req::CreateGame(s, "Five", "10030"),
        req::CreateGame(s, "Seven", "1003000"),
        req::CreateGame(s, "Remote", "100400"),
        req::CreateGame(s, "NoOpenSeat", "120000"),
        req::CreateGame(s, longName, "130000"),
        req::CreateGame(s, "Two%0ALines", "130000"),
        req::CreateGame(s, "Carriage%0D", "130000"),
        req::CreateGame("nosuchsession", "Ghost", "130000"),
        "/tavlo/creategame.php?mysessid=" + s + "&gametype=0&gamename=X&players=130000",
        "/tavlo/creategame.php?mysessid=" + s + "&gametype=one&gamename=X&players=130000",
        "/tavlo/creategame.php?mysessid=" + s + "&gametype=1&players=130000",
        "/tavlo/creategame.php?mysessid=" + s + "&gametype=1&gamename=X",
        "/tavlo/creategame.php?gametype=1&gamename=X&players=130000",
        "/tavlo/getgames.php?gametype=1",
        "/tavlo/getgames.php?mysessid=" + s,
        "/tavlo/getgames.php?mysessid=" + s + "&gametype=-1",
        "/tavlo/refreshgame.php?mysessid=" + s + "&gametype=1&gameno=abc&newgamestate=2",
        "/tavlo/refreshgame.php?mysessid=" + s + "&gametype=1&newgamestate=2",
        "/tavlo/refreshgame.php?mysessid=" + s + "&gametype=2&gameno=" + g + "&newgamestate=2",
        "/tavlo/refreshgame.php?mysessid=" + s + "&gametype=1&gameno=" + g + "&newgamestate=4",
        "/tavlo/refreshgame.php?mysessid=" + s + "&gametype=1&gameno=" + g + "&newgamestate=1",
        "/tavlo/refreshgame.php?mysessid=" + s + "&gametype=1&gameno=" + g + "&newplayer=-1",
        "/tavlo/refreshgame.php?mysessid=" + s + "&gametype=1&gameno=" + g + "&newplayer=",
        "/tavlo/refreshgame.php?mysessid=" + s + "&gametype=1&gameno=" + g +
            "&newgamestate=2&winner=0x5",
        "/tavlo/refreshgame.php?mysessid=" + s + "&gametype=1&gameno=" + g + "9&newgamestate=2",
    };
    for (const std::string& target : targets) {
        const HttpReply reply = lobby.Get(target);
        EXPECT_EQ(reply.status, 200) << target;
        EXPECT_EQ(reply.body, "0") << target;
    }
    EXPECT_EQ(ParseGameList(lobby.Get(req::ListGames(s)).body),
              (std::vector<ListedEntry>{{"Valid", "1/2", "127.0.0.1"}}));
    const auto record = lobby.Store().FindGame(game);
    EXPECT_TRUE(record->joinedPlayers.empty());
    EXPECT_FALSE(record->winner);
}

TEST(LobbyServer, QuotesAndSqlInEveryParameterAreJustText) {
    RunningLobby lobby;
    const std::string name = "x';DROP/**/TABLE";
    const std::string password = "'OR'1'='1";
    lobby.AddAccount(name, password);
    const LoginResult host = lobby.Login(name, password);
    ASSERT_EQ(host.outcome, '0');

    const struct {
        std::string target;
        const char* reply;
    } refused[] = {
        {req::Login(name, "'%20OR%20'1'='1"), "1"},
        {req::Login("'%20OR%201=1;--", password), "1"},
        {req::Login("x'--", "'OR''='"), "1"},
        {req::Login(name, password, "1.4.0.5'%20OR%20'1'='1"), "2"},
        {req::ListGames("'%20OR%20''='"), "0"},
        {req::ListGames(host.session + "'--"), "0"},
        {"/tavlo/getgames.php?mysessid=" + host.session + "&gametype=1%20OR%201=1", "0"},
        {"/tavlo/refreshgame.php?mysessid=" + host.session +
             "&gametype=1&gameno=1%20OR%201=1&newgamestate=2",
         "0"},
        {req::CreateGame(host.session, "X", "1'3000"), "0"},
    };
    for (const auto& c : refused)
        EXPECT_EQ(lobby.Get(c.target).body, c.reply) << c.target;

    const std::string gameName = "Robert');DROP TABLE games;--\"<b>";
    std::string encoded = gameName;
    encoded = std::regex_replace(encoded, std::regex(" "), "%20");
    EXPECT_EQ(lobby.Get(req::CreateGame(host.session, encoded, "130000")).body.substr(0, 2), "1\n");
    EXPECT_EQ(ParseGameList(lobby.Get(req::ListGames(host.session)).body),
              (std::vector<ListedEntry>{{gameName, "1/2", "127.0.0.1"}}));
    EXPECT_EQ(lobby.Login(name, password).outcome, '0');
}

TEST(LobbyServer, UnknownScriptsAndWrongMethodsAreRefusedWithAText) {
    RunningLobby lobby;
    const struct {
        const char* method;
        const char* target;
        int status;
    } cases[] = {
        {"GET", "/tavlo/deletegame.php", 404},
        {"GET", "/tavlo/", 404},
        {"GET", "/index.html", 404},
        {"GET", "/TAVLO/GETGAMES.PHP?gametype=1", 404},
        {"GET", "/main.php", 404},
        {"GET", "/main.php?pageno=102", 404},
        {"POST", "/main.php?pageno=101", 405},
        {"POST", "/tavlo/getgames.php?gametype=1", 405},
        {"HEAD", "/tavlo/tavlologin2.php?username=a&password=b&progversion=1.4.0.5", 405},
        {"PUT", "/tavlo/getgames.php", 405},
    };
    httplib::Client client("127.0.0.1", lobby.Port());
    client.set_url_encode(false);
    for (const auto& c : cases) {
        httplib::Request request;
        request.method = c.method;
        request.path = c.target;
        const auto result = client.send(request);
        ASSERT_TRUE(result) << c.method << ' ' << c.target;
        EXPECT_EQ(result->status, c.status) << c.method << ' ' << c.target;
        if (std::string(c.method) != "HEAD") {
            EXPECT_FALSE(result->body.empty()) << c.method << ' ' << c.target;
        }
    }
}

TEST(LobbyServer, StoreFailureIsReportedAsAServerError) {
    RunningLobby lobby;
    const LoginResult host = lobby.NewPlayer("host");
    SqliteConnection(lobby.DatabasePath(), 1s).Execute("DROP TABLE game_players");
    const HttpReply reply = lobby.Get(req::ListGames(host.session));
    EXPECT_EQ(reply.status, 500);
    EXPECT_EQ(reply.body, "500 Internal Server Error\n");
}

TEST(LobbyServer, OversizedRequestsAreRefused) {
    RunningLobby lobby;
    const HttpReply longTarget =
        lobby.Get("/tavlo/getgames.php?gametype=1&mysessid=" + std::string(3000, 'a'));
    EXPECT_EQ(longTarget.status, 414);
    EXPECT_EQ(longTarget.body, "414 URI Too Long\n");

    const HttpReply bigForm = lobby.PostForm(
        "/main.php?pageno=100",
        {{"username", "big"}, {"password", std::string(20000, 'p')}, {"password2", "x"}});
    EXPECT_EQ(bigForm.status, 413);
    EXPECT_EQ(lobby.Login("big", "password1").outcome, '1');
}

TEST(LobbyServer, EndlessHeaderLinesAreCutOff) {
    RunningLobby lobby;
    const LoginResult host = lobby.NewPlayer("host");
    httplib::Client flooding("127.0.0.1", lobby.Port());
    flooding.set_url_encode(false);
    httplib::Headers padding;
    for (int i = 0; i < 40; ++i)
        padding.emplace("X-Pad-" + std::to_string(i), std::string(1000, 'p'));
    const auto result = flooding.Get(req::CreateGame(host.session, "Flood", "130000"), padding);
    EXPECT_TRUE(!result || result->status != 200);
    EXPECT_EQ(lobby.Get(req::ListGames(host.session)).body, "1\n");
}

TEST(LobbyServer, TricklingClientIsCutOffAtTheDeadlineAndOthersAreStillServed) {
    ServerSettings settings = RunningLobby::TestServerSettings();
    settings.requestDeadline = 2s;
    RunningLobby lobby({}, settings);

    // Each byte comes well within the read time-out; all of them would
    // take about 16 s.
    const std::string form = "username=slow&password=password1&password2=password1";
    httplib::Client slow("127.0.0.1", lobby.Port());
    const auto started = std::chrono::steady_clock::now();
    const auto result = slow.Post(
        "/main.php?pageno=100", form.size(),
        [&](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            std::this_thread::sleep_for(300ms);
            return sink.write(form.data() + offset, 1);
        },
        "application/x-www-form-urlencoded");
    EXPECT_TRUE(!result || result->status != 200);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 6s);
    EXPECT_EQ(lobby.Login("slow", "password1").outcome, '1');
    EXPECT_EQ(lobby.Get("/main.php?pageno=101").status, 200);
}

TEST(LobbyServer, BurstOfConcurrentRequestsIsAnsweredCompletely) {
    RunningLobby lobby;
    constexpr int kPlayers = 10;
    constexpr int kRequests = 300;
    std::vector<LoginResult> players;
    for (int i = 0; i < kPlayers; ++i)
        players.push_back(lobby.NewPlayer("p" + std::to_string(i)));

    std::vector<HttpReply> replies(kRequests);
    std::latch go(1);
    std::vector<std::thread> clients;
    for (int i = 0; i < kRequests; ++i)
        clients.emplace_back([&, i] {
            const std::string& session = players[i % kPlayers].session;
            go.wait();
            replies[i] =
                i % 3 == 2 ? lobby.Get(req::ListGames(session))
                           : lobby.Get(req::CreateGame(session, "G" + std::to_string(i), "130000"));
        });
    go.count_down();
    for (std::thread& client : clients)
        client.join();

    std::set<std::string> gameNumbers;
    for (int i = 0; i < kRequests; ++i) {
        ASSERT_EQ(replies[i].status, 200) << i << ": " << replies[i].body;
        ASSERT_EQ(replies[i].body.substr(0, 2), "1\n") << i;
        if (i % 3 != 2)
            gameNumbers.insert(replies[i].body.substr(2));
    }
    EXPECT_EQ(gameNumbers.size(), static_cast<std::size_t>(kRequests - kRequests / 3));
    // Each host keeps exactly one waiting game: its last.
    EXPECT_EQ(ParseGameList(lobby.Get(req::ListGames(players[0].session)).body).size(),
              static_cast<std::size_t>(kPlayers));
}

} // namespace
