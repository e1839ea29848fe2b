// zellhop-lobby as its owner runs it: the user commands from a shell and the
// server in a process of its own, stopped and started again.
#include "lobby_items.h"
#include "lobby_key.h"
#include "lobby_process.h"
#include "lobby_test_support.h"
#include "test_postgres.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/stat.h>

namespace {

namespace req = game_requests;

HttpReply Get(int port, const std::string& target) {
    httplib::Client client("127.0.0.1", port);
    client.set_url_encode(false);
    const auto result = client.Get(target);
    if (!result)
        return {-1, httplib::to_string(result.error())};
    return {result->status, result->body};
}

class LobbyProgram : public ::testing::Test {
  protected:
    std::vector<std::string> Serve() const {
        return {"--listen", "127.0.0.1:0", "--db", db, "--quiet"};
    }
    CommandResult Run(const std::vector<std::string>& args, const std::string& input = {}) const {
        return RunLobbyCommand(args, input, dir.Path());
    }

    TempDir dir;
    std::string db = (dir.Path() / "lobby.db").string();
};

TEST_F(LobbyProgram, FirstAccountFromTheCommandLineLogsInAndEverythingSurvivesARestart) {
    const CommandResult added = Run({"add-user", "--db", db, "admin"}, "first-pass\n");
    EXPECT_EQ(added.exitCode, 0) << added.err;
    EXPECT_EQ(added.out, "zellhop-lobby: added admin as player 1\n");

    std::string hostSession;
    {
        LobbyProcess lobby(Serve());
        const LoginResult admin =
            ParseLogin(Get(lobby.Port(), req::Login("admin", "first-pass")).body);
        ASSERT_EQ(admin.outcome, '0');
        EXPECT_EQ(admin.playerNumber, 1);
        EXPECT_EQ(Get(lobby.Port(), req::CreateGame(admin.session, "Kept", "130000")).body, "1\n1");
        hostSession = admin.session;
        EXPECT_EQ(lobby.Stop(), 0);
    }
    LobbyProcess again(Serve());
    EXPECT_EQ(Get(again.Port(), req::ListGames(hostSession)).body, "1\nKept\n1/2\n127.0.0.1\n");
    EXPECT_EQ(ParseLogin(Get(again.Port(), req::Login("admin", "first-pass")).body).outcome, '0');
}

TEST_F(LobbyProgram, UserCommandsWorkWhileTheServerRuns) {
    LobbyProcess lobby(Serve());
    EXPECT_EQ(Run({"add-user", "--db", db, "--password", "old-pass1", "bob"}).exitCode, 0);
    const LoginResult before = ParseLogin(Get(lobby.Port(), req::Login("bob", "old-pass1")).body);
    ASSERT_EQ(before.outcome, '0');

    const CommandResult reset = Run({"reset-password", "--db", db, "bob"}, "new-pass1\r\n");
    EXPECT_EQ(reset.exitCode, 0) << reset.err;
    EXPECT_EQ(reset.out, "zellhop-lobby: new password set for bob\n");
    EXPECT_EQ(Get(lobby.Port(), req::Login("bob", "old-pass1")).body, "1");
    EXPECT_EQ(Get(lobby.Port(), req::ListGames(before.session)).body, "0"); // the session ended
    EXPECT_EQ(ParseLogin(Get(lobby.Port(), req::Login("bob", "new-pass1")).body).outcome, '0');
}

TEST_F(LobbyProgram, CommandLineRefusalsSayWhyAndChangeNothing) {
    ASSERT_EQ(Run({"add-user", "--db", db, "carol"}, "carol-pass\n").exitCode, 0);
    const struct {
        std::vector<std::string> args;
        std::string input;
        int exitCode;
        const char* said;
    } cases[] = {
        {{"add-user", "--db", db, "CAROL"}, "another1\n", 1, "the user name CAROL is taken"},
        {{"add-user", "--db", db, "abcdefghijklmnopq"}, "another1\n", 1, "1 to 16 characters"},
        {{"add-user", "--db", db, "dave"}, "short\n", 1, "6 to 16 characters"},
        {{"add-user", "--db", db, "dave"}, "has space\n", 1, "no spaces"},
        {{"reset-password", "--db", db, "nobody"}, "another1\n", 1, "there is no user nobody"},
        {{"reset-password", "--db", db, "carol"}, "\n", 1, "6 to 16 characters"},
        {{"add-user", "dave"}, "another1\n", 2, "--db FILE is missing"},
        {{"--db", db, "--listen", "nowhere"}, "", 2, "--listen wants ADDRESS:PORT"},
        {{"--db", db, "--frobnicate"}, "", 2, "unknown option --frobnicate"},
    };
    for (const auto& c : cases) {
        const CommandResult result = Run(c.args, c.input);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.said;
        EXPECT_NE(result.err.find(c.said), std::string::npos) << result.err;
    }
    LobbyProcess lobby(Serve());
    EXPECT_EQ(ParseLogin(Get(lobby.Port(), req::Login("carol", "carol-pass")).body).outcome, '0');
    EXPECT_EQ(Get(lobby.Port(), req::Login("dave", "another1")).body, "1");
}

TEST_F(LobbyProgram, AnAddressInUseEndsTheProgramWithAReason) {
    LobbyProcess first(Serve());
    const CommandResult second =
        Run({"--listen", "127.0.0.1:" + std::to_string(first.Port()), "--db", db, "--quiet"});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_NE(second.err.find("cannot listen on 127.0.0.1:" + std::to_string(first.Port())),
              std::string::npos)
        << second.err;
}

TEST_F(LobbyProgram, AFileThatIsNoDatabaseIsRefused) {
    std::ofstream(db) << "this is not a database, just some text that is long enough to matter\n";
    const CommandResult result = Run({"add-user", "--db", db, "--password", "password1", "eve"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("not a database"), std::string::npos) << result.err;
}

TEST_F(LobbyProgram, TheKeyFileIsMadeOnceForItsOwnerAndSignsTicketsAcrossRestarts) {
    const std::string keyFile = (dir.Path() / "lobby.key").string();
    const std::string secretFile = (dir.Path() / "turn-secret").string();
    std::ofstream(secretFile) << "a-secret-of-the-relay\n";
    chmod(secretFile.c_str(), 0600);
    std::vector<std::string> serve = Serve();
    for (const char* arg : {"--key-file", keyFile.c_str(), "--turn", "turn.example.org:3478",
                            "--turn-secret-file", secretFile.c_str()})
        serve.emplace_back(arg);
    ASSERT_EQ(Run({"add-user", "--db", db, "--password", "alice-pass", "alice"}).exitCode, 0);
    const std::string keyed = req::Login("alice", "alice-pass") +
                              "&peerkey=" + KeyText(std::array<unsigned char, 32>{1, 2, 3});
    const auto ticketHolds = [&](int port) {
        const std::string reply = Get(port, keyed).body;
        const std::size_t items = reply.find('\n', reply.find('\n') + 1);
        const TLobbyItems got = ParseLobbyItems(reply.substr(items + 1));
        const TLobbyKey key = *ReadKeyText(LobbyKey::LoadOrCreate(keyFile)->PublicKeyText());
        EXPECT_TRUE(got.turn) << reply;
        EXPECT_EQ(got.lobbyKey, key) << reply;
        return VerifyLobbyTicket(got.ticket, key, time(nullptr)).check == TTicketCheck::Valid;
    };
    {
        LobbyProcess lobby(serve);
        struct stat status {};
        ASSERT_EQ(stat(keyFile.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0600u);
        EXPECT_TRUE(ticketHolds(lobby.Port()));
        EXPECT_EQ(lobby.Stop(), 0);
    }
    LobbyProcess again(serve);
    EXPECT_TRUE(ticketHolds(again.Port()));

    chmod(secretFile.c_str(), 0644);
    const CommandResult openSecret = Run(serve);
    EXPECT_EQ(openSecret.exitCode, 1);
    EXPECT_NE(openSecret.err.find("may be read by others"), std::string::npos) << openSecret.err;
    const CommandResult alone = Run({"--db", db, "--turn", "turn.example.org:3478"});
    EXPECT_EQ(alone.exitCode, 2);
    EXPECT_NE(alone.err.find("--turn and --turn-secret-file go together"), std::string::npos);
}

TEST_F(LobbyProgram, TwoLobbiesOnOnePostgresServeTheSameGamesAndPlayers) {
    std::string whyNot;
    TestPostgres* postgres = TestPostgres::Instance(whyNot);
    if (postgres == nullptr)
        GTEST_SKIP() << "PostgreSQL tests skipped: " << whyNot;
    const std::string uri = postgres->NewDatabase();
    const std::vector<std::string> serve{"--listen", "127.0.0.1:0", "--db", uri, "--quiet"};
    LobbyProcess east(serve);
    LobbyProcess west(serve);
    ASSERT_EQ(Run({"add-user", "--db", uri, "--password", "host-pass", "host"}).exitCode, 0);
    {
        httplib::Client client("127.0.0.1", west.Port());
        const auto reply =
            client.Post("/main.php?pageno=100", httplib::Params{{"username", "guest"},
                                                                {"password", "guest-pass"},
                                                                {"password2", "guest-pass"}});
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, 200);
    }

    const LoginResult host = ParseLogin(Get(east.Port(), req::Login("host", "host-pass")).body);
    const LoginResult guest = ParseLogin(Get(east.Port(), req::Login("guest", "guest-pass")).body);
    ASSERT_EQ(host.outcome, '0');
    ASSERT_EQ(guest.outcome, '0');
    const std::string published =
        Get(east.Port(), req::CreateGame(host.session, "Shared", "130300")).body;
    ASSERT_TRUE(published.starts_with("1\n")) << published;
    const std::int32_t game = std::stoi(published.substr(2));

    EXPECT_EQ(Get(west.Port(), req::ListGames(guest.session)).body, "1\nShared\n1/3\n127.0.0.1\n");
    EXPECT_EQ(Get(west.Port(), req::Refresh(host.session, game, guest.playerNumber)).body, "1");
    EXPECT_EQ(Get(east.Port(), req::ListGames(guest.session)).body, "1\nShared\n2/3\n127.0.0.1\n");
    EXPECT_EQ(Get(west.Port(), req::Refresh(host.session, game, 0, 2)).body, "1");
    EXPECT_EQ(Get(east.Port(), req::ListGames(host.session)).body, "1\n");
    EXPECT_EQ(Get(east.Port(), req::Refresh(host.session, game, 0, 3, guest.playerNumber)).body,
              "1");
    const std::string front = Get(west.Port(), "/").body;
    EXPECT_NE(front.find("<td>guest</td><td>Shared</td><td>host</td>"), std::string::npos) << front;
    EXPECT_EQ(east.Stop(), 0);
    EXPECT_EQ(west.Stop(), 0);
}

} // namespace
