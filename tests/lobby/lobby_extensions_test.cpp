// What the lobby answers programs of this version, over real HTTP, read
// with the game's own readers: the log-in with a key, the renewal, the
// running games, the end of a game and the candidate scripts.  Beside each,
// the written request still gets its written reply, byte for byte.
#include "base64_text.h"
#include "lobby_items.h"
#include "lobby_test_support.h"
#include "lobby_ticket.h"

#include <gtest/gtest.h>
#include <regex>

namespace {

using namespace std::chrono_literals;
namespace req = game_requests;

constexpr std::int64_t kStartSeconds = 1'700'000'000; // RunningLobby's clock
const std::string kTurnServer = "turn.example.org:3478";
const std::string kTurnSecret = "north-wind-secret-1";

TProgramKey ProgramKey(unsigned char fill) {
    TProgramKey key{};
    key.fill(fill);
    return key;
}

std::string KeyedLogin(const std::string& name, const std::string& password,
                       const std::string& keyText) {
    return req::Login(name, password) + "&peerkey=" + keyText;
}

LobbySettings Extended(bool signing = true, bool relay = true) {
    LobbySettings settings = RunningLobby::TestLobbySettings();
    if (signing)
        settings.signingKey = LobbyKey::Generate();
    if (relay)
        settings.turn = {kTurnServer, kTurnSecret, 12h};
    // The allowances at once as in the lobby, earned back so slowly that a
    // slow test run cannot earn any.
    constexpr double kPerHour = 1.0 / 3600;
    settings.candidatePostsPerSession.perSecond = kPerHour;
    settings.candidateReadsPerSession.perSecond = kPerHour;
    settings.renewalsPerSession.perSecond = kPerHour;
    return settings;
}

// The written reply's two parts and what follows them.
struct KeyedReply {
    std::string session;
    std::int32_t number = 0;
    std::string rest; // after the number's LF; nullopt-like "-" when there is none
};
KeyedReply SplitLogin(const std::string& body) {
    static const std::regex written("0([A-Za-z0-9]{32})\n([1-9][0-9]*)(\n[^]*)?");
    std::smatch match;
    if (!std::regex_match(body, match, written)) {
        ADD_FAILURE() << "not a log-in reply: " << body;
        return {};
    }
    const std::string tail = match[3];
    return {match[1], std::stoi(match[2]), tail.empty() ? "-" : tail.substr(1)};
}

class LobbyOfThisVersion : public ::testing::Test {
  protected:
    explicit LobbyOfThisVersion(LobbySettings settings = Extended()) : lobby(settings) {
        lobbyKey = *ReadKeyText(settings.signingKey ? settings.signingKey->PublicKeyText()
                                                    : KeyText(TLobbyKey{}));
    }
    // A new account, logged in with a key (a program of this version).
    KeyedReply NewKeyedPlayer(const std::string& name, unsigned char keyFill) {
        lobby.AddAccount(name, "secret-" + name);
        return SplitLogin(
            lobby.Get(KeyedLogin(name, "secret-" + name, KeyText(ProgramKey(keyFill)))).body);
    }
    std::string Script(const std::string& path, const std::string& session,
                       const std::string& more = {}) {
        return lobby.Get("/tavlo/" + path + "?mysessid=" + session + more).body;
    }
    std::int32_t Publish(const std::string& session, const std::string& name,
                         const std::string& seats) {
        const std::string reply = lobby.Get(req::CreateGame(session, name, seats)).body;
        return reply.starts_with("1\n") ? std::stoi(reply.substr(2)) : 0;
    }

    RunningLobby lobby;
    TLobbyKey lobbyKey{};
};

TEST_F(LobbyOfThisVersion, ALogInWithAKeyGetsATicketTheLobbysKeyAndRelayCredentials) {
    lobby.AddAccount("Ann", "secret-ann");
    const KeyedReply reply =
        SplitLogin(lobby.Get(KeyedLogin("ANN", "secret-ann", KeyText(ProgramKey(7)))).body);
    const TLobbyItems items = ParseLobbyItems(reply.rest);

    ASSERT_TRUE(items.lobbyKey);
    EXPECT_EQ(*items.lobbyKey, lobbyKey);
    const TTicketVerdict verdict = VerifyLobbyTicket(items.ticket, lobbyKey, kStartSeconds);
    EXPECT_EQ(verdict.check, TTicketCheck::Valid);
    EXPECT_EQ(verdict.claims, (lobby_ticket::Claims{ProgramKey(7), "Ann", reply.number,
                                                    kStartSeconds + 24 * 3600}));
    const std::int64_t turnExpiry = kStartSeconds + 12 * 3600;
    const TurnCredentials minted = MintTurnCredentials(kTurnSecret, "Ann", turnExpiry);
    EXPECT_EQ(items.turn,
              (TTurnCredentials{kTurnServer, minted.user, minted.password, turnExpiry}));
    // The items in their order, one a line.
    EXPECT_EQ(reply.rest, "ticket=" + base64_text::EncodeUrl(items.ticket) +
                              "\nlobbykey=" + KeyText(lobbyKey) + "\nturn=" + kTurnServer +
                              "\nturnuser=" + minted.user + "\nturnpass=" + minted.password + "\n");
}

TEST_F(LobbyOfThisVersion, TheWrittenLogInIsAnsweredAsAlwaysAndABadKeyGetsNoTicket) {
    lobby.AddAccount("bob", "secret-bob");
    const struct {
        const char* what;
        std::string target;
        bool hasItems, hasTicket;
    } cases[] = {
        {"written", req::Login("bob", "secret-bob"), false, false},
        {"keyed", KeyedLogin("bob", "secret-bob", KeyText(ProgramKey(1))), true, true},
        {"a key too short", KeyedLogin("bob", "secret-bob", KeyText(ProgramKey(1)).substr(1)), true,
         false},
        {"a key in hex", KeyedLogin("bob", "secret-bob", std::string(64, 'a')), true, false},
        {"an empty key", KeyedLogin("bob", "secret-bob", ""), true, false},
    };
    for (const auto& c : cases) {
        const KeyedReply reply = SplitLogin(lobby.Get(c.target).body);
        EXPECT_EQ(reply.rest != "-", c.hasItems) << c.what;
        const TLobbyItems items = ParseLobbyItems(reply.rest == "-" ? "" : reply.rest);
        EXPECT_EQ(!items.ticket.empty(), c.hasTicket) << c.what;
        EXPECT_EQ(items.lobbyKey.has_value(), c.hasItems) << c.what;
        EXPECT_EQ(items.turn.has_value(), c.hasItems) << c.what;
    }
    // Refusals stay the written single characters.
    EXPECT_EQ(lobby.Get(KeyedLogin("bob", "wrong-one", KeyText(ProgramKey(1)))).body, "1");
}

class PlainLobby : public LobbyOfThisVersion {
  protected:
    PlainLobby() : LobbyOfThisVersion(Extended(false, false)) {}
};

TEST_F(PlainLobby, WithoutKeyFileOrRelayAKeyedLogInGetsNoItemsAndRenewalIsUnavailable) {
    const KeyedReply reply = NewKeyedPlayer("cy", 1);
    EXPECT_EQ(reply.rest, "");
    EXPECT_EQ(Script("zrenew.php", reply.session), "0\nunavailable");
}

TEST_F(LobbyOfThisVersion, RenewalGivesFreshItemsToTheSessionAndIsRateLimited) {
    const KeyedReply keyed = NewKeyedPlayer("dee", 3);
    const LoginResult written = lobby.NewPlayer("eve");
    lobby.AdvanceClock(3600s);
    const TScriptReply renewed = ReadScriptReply(Script("zrenew.php", keyed.session));
    ASSERT_EQ(renewed.refusal, TLobbyRefusal::None) << renewed.body;
    const TLobbyItems items = ParseLobbyItems(renewed.body);
    const TTicketVerdict verdict =
        VerifyLobbyTicket(items.ticket, lobbyKey, kStartSeconds + 3600 + 24 * 3600);
    EXPECT_EQ(verdict.check, TTicketCheck::Valid);
    EXPECT_EQ(verdict.claims.programKey, ProgramKey(3));
    EXPECT_EQ(items.turn->expiresAt, kStartSeconds + 3600 + 12 * 3600);

    // A session of the written log-in has no key to vouch for: relay only.
    const TLobbyItems plain =
        ParseLobbyItems(ReadScriptReply(Script("zrenew.php", written.session)).body);
    EXPECT_TRUE(plain.ticket.empty());
    EXPECT_TRUE(plain.turn);

    EXPECT_EQ(Script("zrenew.php", std::string(32, 'x')), "0\nsession");
    EXPECT_EQ(Script("zrenew.php", "short"), "0\nsession");
    for (int i = 0; i < 4; ++i) // five at once, the first spent above
        EXPECT_EQ(Script("zrenew.php", keyed.session).substr(0, 2), "1\n") << i;
    EXPECT_EQ(Script("zrenew.php", keyed.session), "0\nflood");
}

TEST_F(LobbyOfThisVersion, RunningGamesAreListedForThoseWhoAskUntilTheGameEnds) {
    const KeyedReply host = NewKeyedPlayer("host", 1);
    const KeyedReply joiner = NewKeyedPlayer("joiner", 2);
    const std::int32_t game = Publish(host.session, "Duel", "130000");
    const std::string details =
        "game=" + std::to_string(game) + " host=" + std::to_string(host.number);
    const auto written = [&] { return lobby.Get(req::ListGames(joiner.session)).body; };
    const auto running = [&] {
        return lobby.Get(req::ListGames(joiner.session) + "&running=1").body;
    };

    EXPECT_EQ(written(), "1\nDuel\n1/2\n127.0.0.1\n");
    EXPECT_EQ(running(), "1\nDuel\n1/2\n127.0.0.1\n" + details + " state=waiting ext=1\n");
    ASSERT_EQ(lobby.Get(req::Refresh(host.session, game, joiner.number, 2)).body, "1");
    EXPECT_EQ(written(), "1\n");
    EXPECT_EQ(running(), "1\nDuel\nplaying 2/2\n127.0.0.1\n" + details + " state=playing ext=1\n");
    EXPECT_EQ(ParseGameDetails(details + " state=playing ext=1"),
              (TGameDetails{game, host.number, true, true}));

    // The host refreshes while it runs; unrefreshed, it goes as a waiting game does.
    lobby.AdvanceClock(250s);
    EXPECT_EQ(lobby.Get(req::Refresh(host.session, game)).body, "1");
    lobby.AdvanceClock(250s);
    EXPECT_NE(running(), "1\n");
    EXPECT_EQ(lobby.Get(req::Refresh(host.session, game) + "&ended=2").body, "0");
    EXPECT_EQ(lobby.Get(req::Refresh(joiner.session, game) + "&ended=1").body, "0");
    EXPECT_NE(running(), "1\n");
    EXPECT_EQ(lobby.Get(req::Refresh(host.session, game) + "&ended=1").body, "1");
    EXPECT_EQ(running(), "1\n");
    EXPECT_EQ(lobby.Get(req::ListGames(joiner.session) + "&running=yes").body, "0");

    // A host of the written protocol could not take anyone back: its
    // running game is not listed.
    const LoginResult old = lobby.NewPlayer("old");
    const std::int32_t oldGame = Publish(old.session, "Old", "130000");
    lobby.Get(req::Refresh(old.session, oldGame, 0, 2));
    EXPECT_EQ(running(), "1\n");
}

class CandidateScripts : public LobbyOfThisVersion {
  protected:
    void SetUp() override {
        host = NewKeyedPlayer("host", 1);
        jo = NewKeyedPlayer("jo", 2);
        kim = NewKeyedPlayer("kim", 3);
        game = Publish(host.session, "Trio", "133000");
        ASSERT_GT(game, 0);
    }
    std::string Post(const KeyedReply& from, const KeyedReply& to, const std::string& blob,
                     std::int32_t inGame = 0) {
        return Script("zpostcand.php", from.session,
                      "&game=" + std::to_string(inGame != 0 ? inGame : game) +
                          "&to=" + std::to_string(to.number) + "&blob=" + blob);
    }
    std::vector<TCandidateBlob> Fetch(const KeyedReply& who) {
        const TScriptReply reply =
            ReadScriptReply(Script("zgetcand.php", who.session, "&game=" + std::to_string(game)));
        EXPECT_EQ(reply.refusal, TLobbyRefusal::None) << reply.body;
        return ParseCandidateLines(reply.body).value_or(std::vector<TCandidateBlob>{{-1, "?"}});
    }

    KeyedReply host, jo, kim;
    std::int32_t game = 0;
};

TEST_F(CandidateScripts, MembersHandEachOtherBlobsOfUpTo4KiB) {
    const std::string big(4096, 'Q');
    EXPECT_EQ(Post(jo, host, big), "1\n");
    EXPECT_EQ(Post(kim, host, "a2lt"), "1\n");
    EXPECT_EQ(Post(host, jo, "aG9zdA=="), "1\n");
    EXPECT_EQ(Post(jo, kim, "am8-_w"), "1\n");
    EXPECT_EQ(Fetch(host), (std::vector<TCandidateBlob>{{jo.number, big}, {kim.number, "a2lt"}}));
    EXPECT_EQ(Fetch(jo), (std::vector<TCandidateBlob>{{host.number, "aG9zdA=="}}));
    EXPECT_EQ(Fetch(kim), (std::vector<TCandidateBlob>{{jo.number, "am8-_w"}}));
    lobby.AdvanceClock(61s);
    EXPECT_TRUE(Fetch(host).empty());
    // A target longer than a candidate post can be is still cut off.
    EXPECT_EQ(lobby
                  .Get("/tavlo/zpostcand.php?mysessid=" + jo.session +
                       "&game=1&to=1&blob=" + std::string(6200, 'Q'))
                  .status,
              414);
}

// Jo's program starts again and logs in anew: what the others had posted
// to his old program is gone (checks against it would fail), what he posts
// from now on reaches them.
TEST_F(CandidateScripts, ALogInDropsTheBlobsPostedToThePlayersLastProgram) {
    EXPECT_EQ(Post(jo, host, "am8"), "1\n");
    EXPECT_EQ(Post(kim, host, "a2lt"), "1\n");
    EXPECT_EQ(Post(host, jo, "b2xk"), "1\n");
    EXPECT_EQ(Post(kim, jo, "a2lt"), "1\n");
    jo = SplitLogin(lobby.Get(KeyedLogin("jo", "secret-jo", KeyText(ProgramKey(2)))).body);
    EXPECT_TRUE(Fetch(jo).empty());
    EXPECT_EQ(Post(jo, host, "bmV3"), "1\n");
    EXPECT_EQ(Fetch(host),
              (std::vector<TCandidateBlob>{{jo.number, "bmV3"}, {kim.number, "a2lt"}}));
    EXPECT_EQ(Post(host, jo, "YW5zd2Vy"), "1\n");
    EXPECT_EQ(Fetch(jo), (std::vector<TCandidateBlob>{{host.number, "YW5zd2Vy"}}));
}

TEST_F(CandidateScripts, BadInputIsRefusedWithAWordAndNothingIsStored) {
    const LoginResult written = lobby.NewPlayer("old");
    const std::int32_t writtenGame = Publish(written.session, "Old", "130000");
    const KeyedReply nobody{std::string(32, 'x'), 0, ""};
    const struct {
        const char* what;
        std::string reply;
        const char* expected;
    } cases[] = {
        {"too big", Post(jo, host, std::string(4097, 'Q')), "0\ntoo-big"},
        {"not base64", Post(jo, host, "a%20b"), "0\nbad-blob"},
        {"a quote", Post(jo, host, "a'b"), "0\nbad-blob"},
        {"empty", Post(jo, host, ""), "0\nbad-blob"},
        {"no blob", Script("zpostcand.php", jo.session, "&game=1&to=1"), "0\nbad-blob"},
        {"wrong session", Post(nobody, host, "QQ"), "0\nsession"},
        {"no session", lobby.Get("/tavlo/zpostcand.php?game=1&to=1&blob=QQ").body, "0\nsession"},
        {"wrong game", Post(jo, host, "QQ", game + 50), "0\nno-game"},
        {"a written host's game", Post(jo, host, "QQ", writtenGame), "0\nno-game"},
        {"not declared", Post(host, kim, "QQ"), "0\nnot-member"},
        {"a game that is no number", Script("zpostcand.php", jo.session, "&game=x&to=1&blob=QQ"),
         "0\nmalformed"},
        {"no addressee", Script("zpostcand.php", jo.session, "&game=1&blob=QQ"), "0\nmalformed"},
        {"fetch without a game", Script("zgetcand.php", jo.session), "0\nmalformed"},
        {"fetch with a wrong session", Script("zgetcand.php", nobody.session, "&game=1"),
         "0\nsession"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.reply, c.expected) << c.what;
    EXPECT_TRUE(Fetch(host).empty());
    EXPECT_TRUE(Fetch(kim).empty());
    EXPECT_TRUE(lobby.Store().CandidatesFor(host.number, game, 0).empty());
}

TEST_F(CandidateScripts, AFloodingSessionIsRefusedAndOthersGoOn) {
    // Sixteen at once (then two a second in the lobby).
    int stored = 0, flooded = 0;
    for (int i = 0; i < 30; ++i) {
        const std::string reply = Post(jo, host, "bi" + std::to_string(i));
        stored += reply == "1\n";
        flooded += reply == "0\nflood";
    }
    EXPECT_EQ(stored, 16);
    EXPECT_EQ(flooded, 14);
    EXPECT_EQ(Post(kim, host, "a2lt"), "1\n");
    EXPECT_EQ(Fetch(host),
              (std::vector<TCandidateBlob>{{jo.number, "bi15"}, {kim.number, "a2lt"}}));
    // Reads have their own allowance.
    int read = 0;
    for (int i = 0; i < 40; ++i)
        read += Script("zgetcand.php", kim.session, "&game=" + std::to_string(game)) == "1\n";
    EXPECT_EQ(read, 25);
}

} // namespace
