// The lobby's answers without a socket in between: requests from other
// kinds of addresses, the limits on log-ins, and the front page.
#include "lobby_service.h"
#include "lobby_test_support.h"

#include <future>
#include <gtest/gtest.h>

namespace {

LobbyRequest Get(const std::string& path, const std::string& query,
                 const std::string& client = "192.0.2.1") {
    return {"GET", path, query, "", client};
}

LobbyRequest Login(const std::string& name, const std::string& password,
                   const std::string& client = "192.0.2.1") {
    return Get("/tavlo/tavlologin2.php",
               "username=" + name + "&password=" + password + "&progversion=1.4.0.5", client);
}

std::string Header(const LobbyReply& reply, const std::string& name) {
    for (const auto& [key, value] : reply.headers)
        if (key == name)
            return value;
    return {};
}

class LobbyServiceTest : public ::testing::Test {
  protected:
    explicit LobbyServiceTest(LobbySettings settings = RunningLobby::TestLobbySettings(),
                              int hashSlots = 1, std::size_t hashQueue = 16)
        : hasher(hashSlots, hashQueue),
          service(store, hasher, std::move(settings), [this] { return nowMs; }) {}

    std::string LoggedIn(const std::string& name) {
        store.AddPlayer(name, hasher.Hash("password1"), 0);
        return ParseLogin(service.Handle(Login(name, "password1")).body).session;
    }
    std::int32_t Publish(const std::string& session, const std::string& name,
                         const std::string& seats, const std::string& client = "192.0.2.1") {
        const LobbyReply reply = service.Handle(Get(
            "/tavlo/creategame.php",
            "mysessid=" + session + "&gametype=1&gamename=" + name + "&players=" + seats, client));
        return reply.body.starts_with("1\n") ? std::stoi(reply.body.substr(2)) : 0;
    }
    std::string Refresh(const std::string& session, std::int32_t game, const std::string& more) {
        return service
            .Handle(Get("/tavlo/refreshgame.php", "mysessid=" + session + "&gametype=1&gameno=" +
                                                      std::to_string(game) + more))
            .body;
    }

    std::int64_t nowMs = 1'700'000'000'000;
    TempDir dir;
    LobbyStore store{(dir.Path() / "lobby.db").string()};
    PasswordHasher hasher;
    LobbyService service;
};

TEST_F(LobbyServiceTest, ListsAnAddressTheGameCanConnectToOrRefusesToPublish) {
    const struct {
        const char* client;
        const char* listed; // nullptr: publishing is refused
    } cases[] = {
        {"192.0.2.7", "192.0.2.7"},
        {"::ffff:198.51.100.4", "198.51.100.4"},
        {"::1", nullptr},
        {"2001:db8::5", nullptr},
        {"", nullptr},
    };
    int player = 0;
    for (const auto& c : cases) {
        const std::string session = LoggedIn("p" + std::to_string(++player));
        const std::int32_t game = Publish(session, "G", "130000", c.client);
        const LobbyReply list =
            service.Handle(Get("/tavlo/getgames.php", "mysessid=" + session + "&gametype=1"));
        if (c.listed == nullptr) {
            EXPECT_EQ(game, 0) << c.client;
            EXPECT_EQ(list.body, "1\n") << c.client;
        } else {
            EXPECT_EQ(list.body, std::string("1\nG\n1/2\n") + c.listed + "\n") << c.client;
            // Started, so that it leaves the list for the next case.
            Refresh(session, game, "&newgamestate=2");
        }
    }
}

TEST_F(LobbyServiceTest, GameNamesThatAreNotCleanTextAreRefused) {
    const std::string session = LoggedIn("host");
    const struct {
        const char* encoded;
        bool published;
    } cases[] = {
        {"Joes%20game%201", true},
        {"", true}, // the game sends an empty name when every character was filtered out
        {"Gr%C3%BC%C3%9Fe%20%E2%98%85", true},
        {"nul%00byte", false},
        {"bad%FFutf8", false},
        {"overlong%C0%AF", false},
        {"two%0Alines", false},
        {"escape%1B%5B2J", false},
        {"flip%E2%80%AEeman", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Publish(session, c.encoded, "130000") != 0, c.published) << c.encoded;
}

TEST_F(LobbyServiceTest, ANameWithoutAccountCostsTheSameHashAsAWrongPassword) {
    store.AddPlayer("known", hasher.Hash("password1"), 0);
    const struct {
        const char* name;
        const char* password;
        const char* reply;
        int hashes; // password checks the answer cost
    } cases[] = {
        {"known", "password1", nullptr, 1},         {"known", "password2", "1", 1},
        {"unknown", "password1", "1", 1},           {"UNKNOWN", "password2", "1", 1},
        {"abcdefghijklmnopq", "password1", "1", 0}, // no account can have such a name
    };
    for (const auto& c : cases) {
        const std::uint64_t before = hasher.Verifications();
        const LobbyReply reply = service.Handle(Login(c.name, c.password));
        if (c.reply == nullptr) {
            EXPECT_EQ(ParseLogin(reply.body).outcome, '0') << c.name;
        } else {
            EXPECT_EQ(reply.body, c.reply) << c.name;
        }
        EXPECT_EQ(hasher.Verifications() - before, static_cast<std::uint64_t>(c.hashes)) << c.name;
    }
}

TEST_F(LobbyServiceTest, FrontPageShowsGamesPlayersAndWinnersEscaped) {
    const std::string host = LoggedIn("<host>");
    LoggedIn("jo'e<");
    const std::int32_t joinerNumber = store.FindPlayer("jo'e<")->number;
    const std::int32_t game = Publish(host, "Joes%20%3Cb%3Egame", "133000");
    Refresh(host, game, "&newplayer=" + std::to_string(joinerNumber));

    const LobbyReply page = service.Handle(Get("/", ""));
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.contentType, "text/html; charset=utf-8");
    for (const char* shown :
         {"<td>Joes &lt;b&gt;game</td><td>&lt;host&gt;</td><td>jo&#39;e&lt;</td>", ">2/3<",
          "No game has finished yet.", "Nobody has won a game here yet."})
        EXPECT_NE(page.body.find(shown), std::string::npos) << shown << "\n" << page.body;

    Refresh(host, game, "&newgamestate=2");
    Refresh(host, game, "&newgamestate=3&winner=" + std::to_string(joinerNumber));
    const std::string after = service.Handle(Get("/", "")).body;
    for (const char* shown :
         {"No game is waiting for players right now.",
          "<td>jo&#39;e&lt;</td><td>Joes &lt;b&gt;game</td><td>&lt;host&gt;</td>"
          "<td>2023-11-14 22:13 UTC</td>",
          "<td class=\"number\">1</td><td>jo&#39;e&lt;</td><td class=\"number\">1</td>"})
        EXPECT_NE(after.find(shown), std::string::npos) << shown << "\n" << after;
    EXPECT_EQ(after.find("<script"), std::string::npos);

    const LobbyReply style = service.Handle(Get("/lobby.css", ""));
    EXPECT_EQ(style.status, 200);
    EXPECT_EQ(style.contentType, "text/css; charset=utf-8");
}

class LoginLimits : public LobbyServiceTest {
  protected:
    static LobbySettings Limited() {
        LobbySettings settings;
        settings.hashesPerAddress = {1.0 / 60, 2};
        settings.loginsPerAccount = {1.0 / 60, 2};
        return settings;
    }
    LoginLimits() : LobbyServiceTest(Limited()) {}
};

TEST_F(LoginLimits, AnAddressAndAnAccountGetAFewLoginsAndThenA429ThatSaysWhen) {
    store.AddPlayer("alice", hasher.Hash("password1"), 0);
    const struct {
        const char* name;
        const char* client;
        int status;
    } attempts[] = {
        {"alice", "192.0.2.1", 200},      {"alice", "192.0.2.2", 200},
        {"alice", "192.0.2.3", 429},                                  // the account's two are spent
        {"bob", "192.0.2.1", 200},        {"carl", "192.0.2.1", 429}, // the address's two are spent
        {"carl", "2001:db8::1", 200},     {"carl", "2001:db8::2", 200},
        {"dora", "2001:db8::3", 429}, // the same /64
        {"dora", "2001:db8:0:1::3", 200},
    };
    for (const auto& attempt : attempts) {
        const LobbyReply reply = service.Handle(Login(attempt.name, "password1", attempt.client));
        EXPECT_EQ(reply.status, attempt.status) << attempt.name << " " << attempt.client;
        if (attempt.status == 429) {
            EXPECT_EQ(reply.reason, "Too many log-ins, try again later");
            const int retryAfter = std::stoi("0" + Header(reply, "Retry-After"));
            EXPECT_GE(retryAfter, 50);
            EXPECT_LE(retryAfter, 60);
        }
    }
    // The account page is turned away in the same way, as a page.
    const LobbyReply page =
        service.Handle({"POST", "/main.php", "pageno=100",
                        "username=eve&password=password1&password2=password1", "192.0.2.1"});
    EXPECT_EQ(page.status, 429);
    EXPECT_NE(page.body.find("Too many log-ins, try again later."), std::string::npos);
    EXPECT_FALSE(store.FindPlayer("eve"));
}

class BusyHasher : public LobbyServiceTest {
  protected:
    BusyHasher() : LobbyServiceTest(RunningLobby::TestLobbySettings(), 1, 1) {}
};

TEST_F(BusyHasher, LoginsBeyondTheHashingQueueAreRefusedAtOnceWithA503) {
    constexpr int kLogins = 8;
    std::vector<std::promise<LobbyReply>> replies(kLogins);
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < kLogins; ++i)
        service.Handle(Login("nobody" + std::to_string(i), "password1"),
                       [&replies, i](LobbyReply reply) { replies[i].set_value(std::move(reply)); });
    int refused = 0;
    for (auto& reply : replies) {
        const LobbyReply answer = reply.get_future().get();
        if (answer.status == 503) {
            ++refused;
            EXPECT_EQ(answer.reason, "Busy with other log-ins, try again in a moment");
            EXPECT_EQ(Header(answer, "Retry-After"), "5");
        } else {
            EXPECT_EQ(answer.body, "1");
        }
    }
    // One hashing, one waiting; the rest could not even wait.
    EXPECT_GE(refused, kLogins - 2);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

} // namespace
