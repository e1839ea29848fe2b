// The game's own lobby client against the real zellhop-lobby program: the
// requests a program of this version builds, carried by the game's HTTP
// client, and its readers of the replies, from the log-in with a key and the
// kept lobby key to candidates, running games and the end of a game.
#include "http_client.h"
#include "lobby_extensions.h"
#include "lobby_key_pins.h"
#include "lobby_process.h"

#include <ctime>
#include <fstream>
#include <gtest/gtest.h>
#include <sodium.h>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

const std::string kVersion = "1.4.0.5";
const std::string kTurnServer = "127.0.0.1:3478";
constexpr std::int64_t kTicketLifetime = 24 * 3600;
constexpr std::int64_t kTurnLifetime = 12 * 3600;
constexpr std::int64_t kClockSlack = 120; // the test's own duration, generously

// A fresh directory, removed afterwards.
class ScratchDir {
  public:
    ScratchDir() {
        char pattern[] = "/tmp/zellhop-client-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~ScratchDir() { fs::remove_all(path_); }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const fs::path& Path() const { return path_; }

  private:
    fs::path path_;
};

TProgramKey NewProgramKey() {
    TProgramKey publicKey{};
    std::array<unsigned char, crypto_kx_SECRETKEYBYTES> secretKey{};
    if (sodium_init() < 0)
        throw std::runtime_error("libsodium could not be initialised");
    crypto_kx_keypair(publicKey.data(), secretKey.data());
    return publicKey;
}

// One player's program: its key, its session, what the lobby gave it.
struct Program {
    std::string name;
    TProgramKey key{};
    TLoginReply login;
    TLobbyItems items;
};

class GameClient : public ::testing::Test {
  protected:
    void SetUp() override {
        std::ofstream(secretFile) << "a-secret-of-the-relay\n";
        chmod(secretFile.c_str(), 0600);
    }
    std::vector<std::string> Serve(const std::string& keyFile, bool relay = true) const {
        std::vector<std::string> args{"--listen", "127.0.0.1:0", "--db", db, "--quiet"};
        if (!keyFile.empty())
            args.insert(args.end(), {"--key-file", keyFile});
        if (relay)
            args.insert(args.end(), {"--turn", kTurnServer, "--turn-secret-file", secretFile});
        return args;
    }
    void AddAccount(const std::string& name) const {
        const CommandResult added = RunLobbyCommand(
            {"add-user", "--db", db, "--password", "secret-" + name, name}, {}, dir.Path());
        ASSERT_EQ(added.exitCode, 0) << added.err;
    }
    std::string Get(const LobbyProcess& lobby, const std::string& target) {
        THttpClient http;
        http.Host = "127.0.0.1";
        http.Port = lobby.Port();
        return LobbyGet(http, target);
    }
    Program LogIn(const LobbyProcess& lobby, const std::string& name) {
        Program program{name, NewProgramKey(), {}, {}};
        const TExtendedLoginReply reply = ParseExtendedLoginReply(
            Get(lobby, LoginTargetWithKey(name, "secret-" + name, kVersion, program.key)));
        program.login = reply.login;
        program.items = reply.items;
        return program;
    }
    std::string LobbyHost(const LobbyProcess& lobby) const {
        return "127.0.0.1:" + std::to_string(lobby.Port());
    }

    ScratchDir dir;
    const std::string db = (dir.Path() / "lobby.db").string();
    const std::string keyFile = (dir.Path() / "lobby.key").string();
    const std::string secretFile = (dir.Path() / "turn-secret").string();
    const TLobbyKeyPins pins{dir.Path() / "config" / "zellhop" / "lobby-keys"};
};

// What a member checks of another's ticket: the lobby vouches for the key
// the other program holds, in its account's name and number.
void ExpectTicketOf(const Program& member, const TLobbyKey& lobbyKey) {
    const std::int64_t now = time(nullptr);
    const TTicketVerdict verdict = VerifyLobbyTicket(member.items.ticket, lobbyKey, now);
    ASSERT_EQ(verdict.check, TTicketCheck::Valid) << member.name;
    EXPECT_EQ(verdict.claims.programKey, member.key) << member.name;
    EXPECT_EQ(verdict.claims.playerName, member.name);
    EXPECT_EQ(verdict.claims.playerNumber, member.login.playerNumber) << member.name;
    EXPECT_NEAR(static_cast<double>(verdict.claims.expiresAt),
                static_cast<double>(now + kTicketLifetime), kClockSlack)
        << member.name;
}

TEST_F(GameClient, TwoProgramsLogInWithKeysAndMeetThroughTheLobbyUntilTheGameEnds) {
    AddAccount("Ann");
    AddAccount("bob");
    LobbyProcess lobby(Serve(keyFile));
    const Program ann = LogIn(lobby, "Ann");
    const Program bob = LogIn(lobby, "bob");
    for (const Program* p : {&ann, &bob}) {
        ASSERT_EQ(p->login.outcome, TLoginOutcome::Success) << p->name;
        ASSERT_TRUE(p->items.lobbyKey) << p->name;
        ASSERT_TRUE(p->items.turn) << p->name;
        EXPECT_EQ(p->items.turn->server, kTurnServer);
        EXPECT_EQ(p->items.turn->user, std::to_string(p->items.turn->expiresAt) + ":" + p->name);
        EXPECT_NEAR(static_cast<double>(p->items.turn->expiresAt),
                    static_cast<double>(time(nullptr) + kTurnLifetime), kClockSlack);
        EXPECT_EQ(p->items.turn->password.size(), 28u); // base64 of HMAC-SHA1's 20 bytes
    }
    // Both programs of the player's machine keep the same key for the lobby.
    EXPECT_EQ(pins.Check(LobbyHost(lobby), ann.items.lobbyKey), TPinCheck::Pinned);
    EXPECT_EQ(pins.Check(LobbyHost(lobby), bob.items.lobbyKey), TPinCheck::Matches);
    const TLobbyKey lobbyKey = *ann.items.lobbyKey;
    ExpectTicketOf(ann, lobbyKey);
    ExpectTicketOf(bob, lobbyKey);

    // Ann hosts; Bob finds the game, with what he needs to reach her.
    const auto game =
        ParsePublishReply(Get(lobby, PublishTarget(ann.login.sessionId, "Duel at noon", "130000")));
    ASSERT_TRUE(game);
    const auto listing = [&] {
        return ParseRunningGameList(Get(lobby, RunningListTarget(bob.login.sessionId)))
            .value_or(std::vector<TListedGame>{{{"listing failed", "", ""}, std::nullopt}});
    };
    const TGameListEntry waiting{"Duel at noon", "1/2", "127.0.0.1"};
    ASSERT_EQ(listing().size(), 1u);
    EXPECT_EQ(listing()[0].entry, waiting);
    EXPECT_EQ(listing()[0].details, (TGameDetails{*game, ann.login.playerNumber, false, true}));
    EXPECT_EQ(ParseGameList(Get(lobby, ListTarget(bob.login.sessionId))),
              std::vector<TGameListEntry>{waiting});

    // Candidates: Bob to the host, the host back; each reads only its own.
    const std::string bobsBlob = std::string(4000, 'b') + "+/==";
    EXPECT_EQ(ParsePostCandidatesReply(
                  Get(lobby, PostCandidatesTarget(bob.login.sessionId, *game,
                                                  ann.login.playerNumber, bobsBlob))),
              TLobbyRefusal::None);
    EXPECT_EQ(ParsePostCandidatesReply(
                  Get(lobby, PostCandidatesTarget(ann.login.sessionId, *game,
                                                  bob.login.playerNumber, "YW5uLXRvLWJvYg"))),
              TLobbyRefusal::None);
    const auto fetch = [&](const Program& p) {
        return ParseCandidatesReply(Get(lobby, FetchCandidatesTarget(p.login.sessionId, *game)));
    };
    const TCandidatesReply forAnn = fetch(ann);
    EXPECT_EQ(forAnn.refusal, TLobbyRefusal::None);
    EXPECT_EQ(forAnn.blobs, (std::vector<TCandidateBlob>{{bob.login.playerNumber, bobsBlob}}));
    EXPECT_EQ(fetch(bob).blobs,
              (std::vector<TCandidateBlob>{{ann.login.playerNumber, "YW5uLXRvLWJvYg"}}));

    // Bob joins and the game starts: listed as running for programs that
    // ask, gone from the written list.
    Get(lobby,
        RefreshTarget(ann.login.sessionId, *game, bob.login.playerNumber, kLobbyGameStarted, 0));
    ASSERT_EQ(listing().size(), 1u);
    EXPECT_EQ(listing()[0].entry.players, "playing 2/2");
    EXPECT_EQ(listing()[0].details, (TGameDetails{*game, ann.login.playerNumber, true, true}));
    EXPECT_EQ(ParseGameList(Get(lobby, ListTarget(bob.login.sessionId))),
              std::vector<TGameListEntry>{});
    Get(lobby, RefreshTarget(ann.login.sessionId, *game, 0, 0, 0));
    EXPECT_EQ(listing().size(), 1u);

    // The host renews its ticket and relay credentials mid-game, an hour
    // before the relay's run out.
    EXPECT_FALSE(IsRenewalDue(ann.items, time(nullptr)));
    EXPECT_TRUE(IsRenewalDue(ann.items, time(nullptr) + kTurnLifetime - 3000));
    const TRenewReply renewed = ParseRenewReply(Get(lobby, RenewTarget(ann.login.sessionId)));
    ASSERT_EQ(renewed.refusal, TLobbyRefusal::None);
    ExpectTicketOf({ann.name, ann.key, ann.login, renewed.items}, lobbyKey);
    EXPECT_EQ(renewed.items.lobbyKey, lobbyKey);
    ASSERT_TRUE(renewed.items.turn);
    EXPECT_EQ(renewed.items.turn->server, kTurnServer);

    // The host ends the game: it leaves the list and takes no more candidates.
    Get(lobby, EndGameTarget(ann.login.sessionId, *game));
    EXPECT_TRUE(listing().empty());
    EXPECT_EQ(
        ParsePostCandidatesReply(Get(
            lobby, PostCandidatesTarget(bob.login.sessionId, *game, ann.login.playerNumber, "QQ"))),
        TLobbyRefusal::NoGame);
}

TEST_F(GameClient, RefusalsReachTheProgramAsReasons) {
    AddAccount("cy");
    LobbyProcess lobby(Serve(keyFile));
    const Program cy = LogIn(lobby, "cy");
    const std::string stranger(32, 'x');
    const struct {
        const char* what;
        TLobbyRefusal got, expected;
    } cases[] = {
        {"an unknown session renews", ParseRenewReply(Get(lobby, RenewTarget(stranger))).refusal,
         TLobbyRefusal::Session},
        {"an unknown session reads",
         ParseCandidatesReply(Get(lobby, FetchCandidatesTarget(stranger, 1))).refusal,
         TLobbyRefusal::Session},
        {"no such game",
         ParsePostCandidatesReply(
             Get(lobby, PostCandidatesTarget(cy.login.sessionId, 999, 1, "QQ"))),
         TLobbyRefusal::NoGame},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.got, c.expected) << c.what;
        EXPECT_FALSE(RefusalText(c.got).empty()) << c.what;
    }
}

TEST_F(GameClient, TheKeptLobbyKeyHoldsAcrossRestartsAndAnotherOrNoneIsRefused) {
    AddAccount("dee");
    const auto logInAndCheck = [&](const std::vector<std::string>& serve) {
        LobbyProcess lobby(serve);
        const Program dee = LogIn(lobby, "dee");
        EXPECT_EQ(dee.login.outcome, TLoginOutcome::Success);
        // One pin for every run: each lobby below listens on a new port.
        return pins.Check("lobby.test", dee.items.lobbyKey);
    };
    EXPECT_EQ(logInAndCheck(Serve(keyFile)), TPinCheck::Pinned);
    EXPECT_EQ(logInAndCheck(Serve(keyFile)), TPinCheck::Matches);
    const std::string otherKeyFile = (dir.Path() / "other.key").string();
    EXPECT_THROW(logInAndCheck(Serve(otherKeyFile)), ELobbyKeyChanged);
    EXPECT_THROW(logInAndCheck(Serve({}, false)), ELobbyKeyChanged);
    EXPECT_EQ(logInAndCheck(Serve(keyFile, false)), TPinCheck::Matches);
}

TEST_F(GameClient, AProgramWithoutAKeyAndALobbyWithoutExtrasSeeTheWrittenLogIn) {
    AddAccount("eve");
    {
        LobbyProcess lobby(Serve(keyFile));
        const std::string written = Get(lobby, LoginTarget("eve", "secret-eve", kVersion));
        const TLoginReply login = ParseLoginReply(written);
        EXPECT_EQ(login.outcome, TLoginOutcome::Success);
        EXPECT_EQ(written, "0" + login.sessionId + "\n" + std::to_string(login.playerNumber));
        EXPECT_EQ(ParseExtendedLoginReply(written).items.lobbyKey, std::nullopt);
    }
    LobbyProcess plain(Serve({}, false));
    const Program eve = LogIn(plain, "eve");
    EXPECT_EQ(eve.login.outcome, TLoginOutcome::Success);
    EXPECT_TRUE(eve.items.ticket.empty());
    EXPECT_EQ(eve.items.lobbyKey, std::nullopt);
    EXPECT_EQ(eve.items.turn, std::nullopt);
    EXPECT_EQ(pins.Check(LobbyHost(plain), eve.items.lobbyKey), TPinCheck::NoKey);
    EXPECT_EQ(ParseRenewReply(Get(plain, RenewTarget(eve.login.sessionId))).refusal,
              TLobbyRefusal::Unavailable);
    EXPECT_EQ(ParseLoginReply(Get(plain, LoginTarget("eve", "wrong-one", kVersion))).outcome,
              TLoginOutcome::BadPassword);
}

} // namespace
