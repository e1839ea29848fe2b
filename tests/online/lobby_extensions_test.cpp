// The lobby requests and replies of programs of this version, as bytes:
// what goes out, and how every kind of reply (a lobby of this version, an
// older lobby, a broken or hostile one) is read.
#include "base64_text.h"
#include "lobby_extensions.h"

#include <gtest/gtest.h>

namespace {

const std::string kSession = "0123456789abcdefghijABCDEFGHIJ12"; // 32 characters

TProgramKey KeyOf(unsigned char first) {
    TProgramKey key{};
    for (std::size_t i = 0; i < key.size(); ++i)
        key[i] = static_cast<unsigned char>(first + i);
    return key;
}

TEST(LobbyExtensionRequests, TargetsAreTheWrittenOnesWithOurPartsOrOurScripts) {
    const std::string keyText = KeyText(KeyOf(0)); // 43 characters of base64url
    ASSERT_EQ(keyText, "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8");
    const struct {
        std::string target, expected;
    } cases[] = {
        {LoginTargetWithKey("ann", "secret", "1.4.0.5", KeyOf(0)),
         "tavlo/tavlologin2.php?username=ann&password=secret&progversion=1.4.0.5&peerkey=" +
             keyText},
        {RunningListTarget(kSession),
         "/tavlo/getgames.php?mysessid=" + kSession + "&gametype=1&running=1"},
        {EndGameTarget("s", 5), "/tavlo/refreshgame.php?mysessid=s&gametype=1&gameno=5&ended=1"},
        {RenewTarget(kSession), "/tavlo/zrenew.php?mysessid=" + kSession},
        {PostCandidatesTarget("s", 5, 12, "YWJj-_+/="),
         "/tavlo/zpostcand.php?mysessid=s&game=5&to=12&blob=YWJj-_+/="},
        {FetchCandidatesTarget("s", 5), "/tavlo/zgetcand.php?mysessid=s&game=5"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.target, c.expected);
}

TEST(LobbyExtensionRequests, OnlyBase64BlobsUpTo4KiBArePosted) {
    const struct {
        std::string blob;
        bool posted;
    } cases[] = {
        {"a", true},
        {std::string(4096, 'Q'), true},
        {std::string(4097, 'Q'), false},
        {"", false},
        {"a b", false},
        {"a&to=3", false},
        {"a#b", false},
        {"a%20", false},
        {"caf\xc3\xa9", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsCandidateBlob(c.blob), c.posted) << c.blob.substr(0, 20);
        if (!c.posted) {
            EXPECT_THROW(PostCandidatesTarget("s", 1, 2, c.blob), std::invalid_argument);
        }
    }
}

std::string TicketText() {
    lobby_ticket::Claims claims{KeyOf(7), "Ann", 42, 1'700'086'400};
    return base64_text::EncodeUrl(lobby_ticket::SignedPart(claims) + std::string(64, 's'));
}

TEST(LobbyExtensionReplies, TheLoginReadsTheWrittenPartAndThenOurItems) {
    const std::string lobbyKey = KeyText(KeyOf(100));
    const std::string items = "ticket=" + TicketText() + "\nlobbykey=" + lobbyKey +
                              "\nturn=turn.example.org:3478\nturnuser=1700043200:Ann\n"
                              "turnpass=bm90IGEgcmVhbCBvbmU=\n";
    const std::string written = "0" + kSession + "\n42";
    const TExtendedLoginReply full = ParseExtendedLoginReply(written + "\n" + items);
    EXPECT_EQ(full.login.outcome, TLoginOutcome::Success);
    EXPECT_EQ(full.login.sessionId, kSession);
    EXPECT_EQ(full.login.playerNumber, 42);
    EXPECT_EQ(lobby_ticket::ReadClaims(full.items.ticket)->playerName, "Ann");
    EXPECT_EQ(full.items.lobbyKey, KeyOf(100));
    EXPECT_EQ(full.items.turn, (TTurnCredentials{"turn.example.org:3478", "1700043200:Ann",
                                                 "bm90IGEgcmVhbCBvbmU=", 1700043200}));

    const struct {
        const char* what;
        std::string reply;
        bool ticket, key, turn;
        int32_t number;
    } cases[] = {
        {"an older lobby: the written reply", written, false, false, false, 42},
        {"no items", written + "\n", false, false, false, 42},
        {"unknown items are skipped", written + "\nfuture=1\n" + items + "x", true, true, true, 42},
        {"no final LF", written + "\nlobbykey=" + lobbyKey, false, true, false, 42},
        {"a key that is no key", written + "\nlobbykey=" + lobbyKey + "A\n", false, false, false,
         42},
        {"a ticket that is not base64url", written + "\nticket=" + TicketText() + "+\n", false,
         false, false, 42},
        {"relay without password", written + "\nturn=t:3478\nturnuser=1:Ann\n", false, false, false,
         42},
        {"relay user without expiry", written + "\nturn=t:3478\nturnuser=Ann\nturnpass=p\n", false,
         false, false, 42},
        {"a CR stays in the number's line", "0" + kSession + "\n42\r\n" + items, true, true, true,
         0},
    };
    for (const auto& c : cases) {
        const TExtendedLoginReply reply = ParseExtendedLoginReply(c.reply);
        EXPECT_EQ(reply.login.outcome, TLoginOutcome::Success) << c.what;
        EXPECT_EQ(reply.login.playerNumber, c.number) << c.what;
        EXPECT_EQ(!reply.items.ticket.empty(), c.ticket) << c.what;
        EXPECT_EQ(reply.items.lobbyKey.has_value(), c.key) << c.what;
        EXPECT_EQ(reply.items.turn.has_value(), c.turn) << c.what;
    }
    // A refusal has no items, whatever follows it.
    const TExtendedLoginReply refused = ParseExtendedLoginReply("1\n\n" + items);
    EXPECT_EQ(refused.login.outcome, TLoginOutcome::BadPassword);
    EXPECT_FALSE(refused.items.lobbyKey);
}

TEST(LobbyExtensionReplies, RunningListsHaveAFourthLineWhereTheLobbyGivesOne) {
    using Games = std::vector<TListedGame>;
    const TGameDetails waiting{5, 12, false, true};
    const TGameDetails playing{4, 13, true, true};
    const struct {
        const char* what;
        std::string reply;
        std::optional<Games> games;
    } cases[] = {
        {"this version's lobby",
         "1\nDuel\n1/2\n192.0.2.1\ngame=5 host=12 state=waiting ext=1\n"
         "Trio\nplaying 3/3\n192.0.2.2\ngame=4 host=13 state=playing ext=1 later=x\n",
         Games{{{"Duel", "1/2", "192.0.2.1"}, waiting},
               {{"Trio", "playing 3/3", "192.0.2.2"}, playing}}},
        {"a host of the written protocol",
         "1\nOld\n1/2\n192.0.2.3\ngame=3 host=9 state=waiting ext=0",
         Games{{{"Old", "1/2", "192.0.2.3"}, TGameDetails{3, 9, false, false}}}},
        {"an older lobby's three lines", "1\nDuel\n1/2\n192.0.2.1\nTrio\n2/3\n192.0.2.2\n",
         Games{{{"Duel", "1/2", "192.0.2.1"}, std::nullopt},
               {{"Trio", "2/3", "192.0.2.2"}, std::nullopt}}},
        {"details that do not read are the next name",
         "1\nA\n1/2\n192.0.2.1\ngame=x host=1 state=waiting\n1/2\n192.0.2.2\n",
         Games{{{"A", "1/2", "192.0.2.1"}, std::nullopt},
               {{"game=x host=1 state=waiting", "1/2", "192.0.2.2"}, std::nullopt}}},
        {"no game", "1\n", Games{}},
        {"one alone", "1", Games{}},
        {"refused", "0", std::nullopt},
        {"empty", "", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto games = ParseRunningGameList(c.reply);
        ASSERT_EQ(games.has_value(), c.games.has_value()) << c.what;
        if (!games)
            continue;
        ASSERT_EQ(games->size(), c.games->size()) << c.what;
        for (std::size_t i = 0; i < games->size(); ++i) {
            EXPECT_EQ((*games)[i].entry, (*c.games)[i].entry) << c.what << " " << i;
            EXPECT_EQ((*games)[i].details, (*c.games)[i].details) << c.what << " " << i;
        }
    }
}

TEST(LobbyExtensionReplies, OurScriptsAcceptOrRefuseWithAWord) {
    const struct {
        std::string reply;
        TLobbyRefusal refusal;
    } cases[] = {
        {"1\n", TLobbyRefusal::None},
        {"0\nsession", TLobbyRefusal::Session},
        {"0\nmalformed", TLobbyRefusal::Malformed},
        {"0\ntoo-big", TLobbyRefusal::TooBig},
        {"0\nbad-blob", TLobbyRefusal::BadBlob},
        {"0\nno-game", TLobbyRefusal::NoGame},
        {"0\nnot-member", TLobbyRefusal::NotMember},
        {"0\ngame-full", TLobbyRefusal::GameFull},
        {"0\nflood", TLobbyRefusal::Flood},
        {"0\nbusy", TLobbyRefusal::Busy},
        {"0\nunavailable", TLobbyRefusal::Unavailable},
        {"0\nflood\n", TLobbyRefusal::Unknown},
        {"0", TLobbyRefusal::Unknown},
        {"1", TLobbyRefusal::Unknown},
        {"", TLobbyRefusal::Unknown},
        {"<html>busy</html>", TLobbyRefusal::Unknown},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParsePostCandidatesReply(c.reply), c.refusal) << c.reply;
        EXPECT_FALSE(RefusalText(c.refusal).empty());
    }
}

TEST(LobbyExtensionReplies, CandidatesComeOnePerSenderAndABrokenLineSpoilsTheReply) {
    const struct {
        const char* what;
        std::string reply;
        TLobbyRefusal refusal;
        std::vector<TCandidateBlob> blobs;
    } cases[] = {
        {"two", "1\n12 YWJj\n13 ZGVm==\n", TLobbyRefusal::None, {{12, "YWJj"}, {13, "ZGVm=="}}},
        {"no final LF", "1\n12 YWJj", TLobbyRefusal::None, {{12, "YWJj"}}},
        {"none", "1\n", TLobbyRefusal::None, {}},
        {"a sender that is no number", "1\nx YWJj\n", TLobbyRefusal::Unknown, {}},
        {"a negative sender", "1\n-3 YWJj\n", TLobbyRefusal::Unknown, {}},
        {"a blob with a blank", "1\n12 YW Jj\n", TLobbyRefusal::Unknown, {}},
        {"an empty blob", "1\n12 \n", TLobbyRefusal::Unknown, {}},
        {"an oversized blob", "1\n12 " + std::string(4097, 'A'), TLobbyRefusal::Unknown, {}},
        {"a refusal", "0\nsession", TLobbyRefusal::Session, {}},
    };
    for (const auto& c : cases) {
        const TCandidatesReply reply = ParseCandidatesReply(c.reply);
        EXPECT_EQ(reply.refusal, c.refusal) << c.what;
        EXPECT_EQ(reply.blobs, c.blobs) << c.what;
    }
}

TEST(LobbyExtensionReplies, ARenewalGivesItemsOrAReason) {
    const TRenewReply renewed =
        ParseRenewReply("1\nturn=[2001:db8::1]:3478\nturnuser=99:Ann\nturnpass=cA==\n");
    EXPECT_EQ(renewed.refusal, TLobbyRefusal::None);
    ASSERT_TRUE(renewed.items.turn);
    EXPECT_EQ(renewed.items.turn->server, "[2001:db8::1]:3478");
    EXPECT_EQ(renewed.items.turn->expiresAt, 99);
    EXPECT_EQ(ParseRenewReply("0\nunavailable").refusal, TLobbyRefusal::Unavailable);
    EXPECT_FALSE(ParseRenewReply("0\nunavailable").items.turn);
}

TEST(LobbyExtensionReplies, RenewalIsDueAnHourBeforeTheRelayOrTheTicketRunsOut) {
    constexpr std::int64_t kNow = 1'700'000'000;
    const auto withTurn = [](std::int64_t expiry) {
        TLobbyItems items;
        items.turn = TTurnCredentials{"t:3478", std::to_string(expiry) + ":Ann", "p", expiry};
        return items;
    };
    const auto withTicket = [](std::int64_t expiry) {
        TLobbyItems items;
        items.ticket =
            lobby_ticket::SignedPart({KeyOf(7), "Ann", 42, expiry}) + std::string(64, 's');
        return items;
    };
    TLobbyItems both = withTurn(kNow + 12 * 3600);
    both.ticket = withTicket(kNow + 3000).ticket;
    TLobbyItems brokenTicket;
    brokenTicket.ticket = "ZHT1";
    const struct {
        const char* what;
        TLobbyItems items;
        bool due;
    } cases[] = {
        {"relay for hours", withTurn(kNow + 12 * 3600), false},
        {"relay just over the hour", withTurn(kNow + 3601), false},
        {"relay within the hour", withTurn(kNow + 3600), true},
        {"relay run out", withTurn(kNow - 1), true},
        {"ticket for a day", withTicket(kNow + 24 * 3600), false},
        {"ticket within the hour", withTicket(kNow + 60), true},
        {"the earlier of both counts", both, true},
        {"neither given", TLobbyItems{}, false},
        {"a ticket that does not read", brokenTicket, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsRenewalDue(c.items, kNow), c.due) << c.what;
}

} // namespace
