// The online session between the messaging and the game model, without a
// window: whose moves are heard, what a leaver leaves behind, and the log
// lines of chat and of the connection's events.  The messaging's events
// are raised directly; no socket is opened (the component stays disabled).
#include "game_protocol.h"
#include "match.h"
#include "match_listener.h"
#include "match_runner.h"
#include "online_session.h"
#include "running_game_protocol.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <gtest/gtest.h>

namespace {

constexpr int kBlue = 0;
constexpr int kRed = 1;
constexpr int kOrange = 3;
constexpr int kGreen = 4;

TQMsg Move(int number, int direction) {
    TQMsg msg;
    msg.MsgType = gmMove;
    WriteMove(msg, {number, direction});
    return msg;
}
TQMsg EndTurn() {
    TQMsg msg;
    msg.MsgType = gmEndTurn;
    return msg;
}
TQMsg Chat(const std::string& text) {
    TQMsg msg;
    msg.MsgType = gmChat;
    WriteChat(msg, text);
    return msg;
}

// The game as the window would run it: what it tells its view that the
// session needs, and the computer's turns played at once.
class OnlineSessionTest : public ::testing::Test, public MatchListener {
  protected:
    void SetUp() override {
        session.SetMatch(&match);
        ann = Contact("Ann", "127.0.0.5");
        bob = Contact("Bob", "127.0.0.6");
    }
    TpContact Contact(const std::string& name, const std::string& address) {
        TQComm& hc = session.Messaging();
        return hc.Contacts(hc.AddContact(name, address, 0));
    }
    // An online game as it starts on every program: seats given, no dialog.
    void Start(const SeatKinds& kinds, const std::array<TpContact, kColours>& players = {}) {
        session.StartGame(kinds, players);
    }
    void StartGame(const SeatKinds& kinds, const std::array<PlayerId, kColours>& players) {
        for (int colour = 0; colour < kColours; ++colour)
            match.SetSeat(colour, kinds[colour], players[colour]);
        match.NewGame();
        session.GameLaidOut();
        match.NextTurn();
        Play();
    }
    void Play() {
        MatchRunner runner(match);
        runner.onWait = [this] {
            ++waits;
            if (onWait)
                onWait(waits);
        };
        runner.Run();
    }
    // A peer's message, and the computer's turns that follow it.
    void Receive(const TQMsg& msg, const TpContact& from) {
        session.Messaging().OnGotMsg(msg, from);
        Play();
    }
    void Leaves(const TpContact& who, int reason) {
        session.Messaging().OnClientDisconnection(who, reason);
        Play();
    }
    LatticePoint At(int colour, int number) const {
        return match.FindBall(colour, number)->pos->at;
    }
    std::string Turn() const {
        return std::to_string(match.state().turnNumber) + " " +
               std::to_string(match.state().currentSeat) + " phase " +
               std::to_string(match.state().phase);
    }
    void PlayerGone(PlayerId player, int reason) override { session.PlayerGone(player, reason); }

    QStringList log;
    std::function<void(int wait)> onWait;
    int waits = 0;
    Match match{this};
    OnlineSession session{{
        .log = [this](const QString& line) { log << line; },
        .startGame =
            [this](const SeatKinds& kinds, const std::array<PlayerId, kColours>& players) {
                StartGame(kinds, players);
            },
        .seatNamed = [](int, const QString&) {},
        .showLogin = [] { return OnlineSession::Login::kCancelled; },
        .showError = [](const QString& message) { ADD_FAILURE() << message.toStdString(); },
        .joinRunning = {},
        .watchersChanged = {},
    }};
    TpContact ann, bob;
};

TEST_F(OnlineSessionTest, MovesAndEndsOfTurnAreTakenOnlyFromThePlayerWhoseTurnItIs) {
    Start({skRemote, skNone, skNone, skHuman, skNone, skNone}, {ann});
    ASSERT_EQ(match.state().phase, kPhaseRemote);
    const TpContact stranger = session.Messaging().Contacts(-1); // not in the table

    for (const TpContact& sender : {bob, stranger}) {
        Receive(Move(4, 3), sender);
        Receive(EndTurn(), sender);
    }
    Receive(Move(4, 7), ann); // no such direction
    EXPECT_EQ(At(kBlue, 4), (LatticePoint{-5, 1}));
    EXPECT_EQ(match.state().currentSeat, kBlue);

    Receive(Move(4, 3), ann);
    EXPECT_EQ(At(kBlue, 4), (LatticePoint{-4, 2}));
    Receive(EndTurn(), ann);
    EXPECT_EQ(match.state().currentSeat, kOrange);
    EXPECT_TRUE(match.HumanMayMove());
}

TEST_F(OnlineSessionTest, AMoveThatArrivesDuringAComputerMoveIsAppliedAfterIt) {
    struct Seen {
        int turn;
        LatticePoint orange4;
    };
    std::vector<Seen> seen;
    onWait = [&](int wait) {
        if (wait == 1) { // Blue's first move has begun
            session.Messaging().OnGotMsg(Move(4, 0), ann);
            session.Messaging().OnGotMsg(EndTurn(), ann);
        }
        seen.push_back({match.state().turnNumber, At(kOrange, 4)});
    };
    Start({skComputer, skNone, skNone, skRemote, skNone, skNone}, {nullptr, nullptr, nullptr, ann});

    ASSERT_FALSE(seen.empty());
    for (const Seen& s : seen)
        EXPECT_EQ(s.orange4, (s.turn == 1 ? LatticePoint{5, -1} : LatticePoint{4, -2}))
            << "turn " << s.turn;
    EXPECT_EQ(seen.back().turn, 2) << "Blue moved again after Orange";
    EXPECT_EQ(Turn(), "2 3 phase 9");
}

TEST_F(OnlineSessionTest, MovesOfALaterPlayerWaitForHisTurn) {
    Start({skRemote, skNone, skNone, skRemote, skHuman, skNone}, {ann, nullptr, nullptr, bob});
    Receive(Move(4, 0), bob); // Orange steps before Blue has moved
    Receive(EndTurn(), bob);
    EXPECT_EQ(At(kOrange, 4), (LatticePoint{5, -1}));
    EXPECT_EQ(match.state().currentSeat, kBlue);

    Receive(Move(4, 3), ann);
    Receive(EndTurn(), ann);
    EXPECT_EQ(At(kBlue, 4), (LatticePoint{-4, 2}));
    EXPECT_EQ(At(kOrange, 4), (LatticePoint{4, -2}));
    EXPECT_EQ(match.state().currentSeat, kGreen);
}

TEST_F(OnlineSessionTest, APlayerWhoLeavesOnHisTurnHandsItToTheComputer) {
    const std::pair<int, const char*> cases[] = {
        {kReasonLeft, "*** Ann has left the game"},
        {kReasonTimedOut, "*** Ann has timed out"},
    };
    for (const auto& [reason, line] : cases) {
        log.clear();
        Start({skRemote, skNone, skNone, skHuman, skNone, skNone}, {ann});
        Leaves(ann, reason);
        EXPECT_EQ(log, QStringList{line});
        EXPECT_EQ(match.seats()[kBlue].kind, skOpen);
        EXPECT_FALSE(session.SeatContact(kBlue));
        EXPECT_EQ(match.state().currentSeat, kOrange) << "the turn passed at once";

        // From its next turn on the computer plays it.
        const int before = waits;
        match.ClickMarble(*match.FindBall(kOrange, 4));
        match.ClickTarget(*match.board().at({4, -2}));
        Play();
        EXPECT_GT(waits, before);
        EXPECT_EQ(Turn(), "2 3 phase 0");
    }
}

TEST_F(OnlineSessionTest, ALeaverWhoseMovesStillWaitLeavesAfterThem) {
    onWait = [&](int wait) {
        if (wait != 1)
            return;
        session.Messaging().OnGotMsg(Move(4, 0), ann);
        session.Messaging().OnGotMsg(EndTurn(), ann);
        session.Messaging().OnClientDisconnection(ann, kReasonLeft);
        EXPECT_EQ(match.seats()[kOrange].kind, skRemote) << "not before his moves";
    };
    Start({skComputer, skNone, skNone, skRemote, skHuman, skNone},
          {nullptr, nullptr, nullptr, ann});
    EXPECT_EQ(At(kOrange, 4), (LatticePoint{4, -2}));
    EXPECT_EQ(match.seats()[kOrange].kind, skOpen);
    EXPECT_EQ(log, QStringList{"*** Ann has left the game"});
    EXPECT_EQ(Turn(), "1 4 phase 0");
}

// Every seat of a leaver goes to the computer: a seat left waiting for a
// player who is gone would hold up the game for good.
TEST_F(OnlineSessionTest, APlayerWithTwoSeatsHandsBothToTheComputer) {
    Start({skRemote, skRemote, skNone, skHuman, skNone, skNone}, {ann, ann});
    const int before = waits;
    Leaves(ann, kReasonLeft);
    EXPECT_EQ(match.seats()[kBlue].kind, skOpen);
    EXPECT_EQ(match.seats()[kRed].kind, skOpen);
    EXPECT_GT(waits, before) << "Red was played by the computer";
    EXPECT_EQ(match.state().currentSeat, kOrange);
    EXPECT_EQ(log, QStringList{"*** Ann has left the game"});
}

TEST_F(OnlineSessionTest, ChatLinesShowTheSendersNameOnOneLine) {
    TQComm& hc = session.Messaging();
    hc.setClientName("Me");
    hc.OnGotMsg(Chat("Hello\nall"), ann);
    hc.OnGotMsg(Chat("from nowhere"), hc.Contacts(-1));
    hc.OnGotAck(Chat("my line"), ann); // one per acknowledging player
    hc.OnGotAck(Chat("my line"), bob);
    hc.OnGotAck(Move(1, 1), bob);
    EXPECT_EQ(log, (QStringList{"Ann: Hello all", "Me: my line", "Me: my line"}));
}

// A member's side of a player back from a restart at the same address:
// the host announces him again, his new record takes the old one's place
// (the old one falling silent later leaves no seat behind), the host says
// he is back, and his moves are his seat's again.
TEST_F(OnlineSessionTest, APlayerBackAtTheSameAddressKeepsHisSeatOnTheOtherMembers) {
    const TpContact host = Contact("Host", "127.0.0.1");
    session.Messaging().OnConnectionSuccess(); // joined at Host
    Start({skRemote, skNone, skNone, skRemote, skHuman, skNone}, {host, {}, {}, ann});
    Receive(Move(4, 3), host);
    Receive(EndTurn(), host);
    ASSERT_EQ(match.state().currentSeat, kOrange);

    const TpContact annAgain = Contact("Ann", "127.0.0.5");
    session.Messaging().OnNewClient(TQMsg(), annAgain);
    Leaves(ann, kReasonTimedOut); // her old record gives up
    EXPECT_EQ(match.seat(kOrange).kind, skRemote);
    TQMsg back;
    back.MsgType = gmSeatBack;
    WriteSeatBack(back, {kOrange, match.state().turnNumber, "127.0.0.5"});
    Receive(back, host);
    EXPECT_EQ(log.back(), "*** Ann is back in the game");

    Receive(Move(4, 0), annAgain);
    Receive(EndTurn(), annAgain);
    EXPECT_EQ(match.state().currentSeat, kGreen);
    EXPECT_TRUE(match.HumanMayMove());
    EXPECT_FALSE(log.contains("*** Ann has timed out"));
}

TEST_F(OnlineSessionTest, TheConnectionsEventsWriteTheirLogLines) {
    TQComm& hc = session.Messaging();
    hc.OnConnectionSuccess();
    for (int reason : {kReasonNoAnswer, kReasonFull, kReasonVersion, 7})
        hc.OnConnectionFailed(nullptr, reason);
    hc.OnTimeout(Move(1, 1), ann);
    hc.OnTimeout(EndTurn(), ann);
    hc.OnClientDisconnection(bob, kReasonLeft); // holds no seat
    hc.OnNewClient(TQMsg(), bob);               // not hosting: only the line
    EXPECT_EQ(log, (QStringList{"***Connected to the server... Waiting for other players.",
                                "***Couldn't reach the remote server", "***The server is full",
                                "***Version mismatch", "*** Message # 2 has timed out",
                                "*** Message # 1 has timed out", "*** Bob has left the game",
                                "*** Bob joined the game"}));
}

// The lobby's key is pinned at the first log-in there, beside the
// settings; a log-in that shows another key leaves the session without the
// lobby's items (no ticket, relay or paths), and the log says why.
TEST_F(OnlineSessionTest, ALobbyShowingAnotherKeyThanAtTheFirstLogInGivesNoItems) {
    char pattern[] = "/tmp/zellhop-session-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const char* was = std::getenv("XDG_CONFIG_HOME");
    const std::optional<std::string> before = was ? std::optional<std::string>(was) : std::nullopt;
    setenv("XDG_CONFIG_HOME", pattern, 1);
    const auto items = [](unsigned char key) {
        TLobbyItems made;
        made.ticket = "ticket";
        made.lobbyKey = TLobbyKey{};
        made.lobbyKey->fill(key);
        return made;
    };
    session.LobbyHttp().Host = "lobby.example.org";
    session.LobbyHttp().Port = 8080;
    session.TakeLobbyItems(items(1));
    EXPECT_EQ(session.Paths().LobbyItems().ticket, "ticket");
    session.TakeLobbyItems(items(2));
    EXPECT_EQ(session.Paths().LobbyItems().ticket, "");
    EXPECT_FALSE(session.Paths().LobbyItems().lobbyKey);
    ASSERT_FALSE(log.isEmpty());
    EXPECT_TRUE(log.back().startsWith("***The lobby lobby.example.org:8080 answered with another key"))
        << log.back().toStdString();
    session.TakeLobbyItems(items(1));
    EXPECT_EQ(session.Paths().LobbyItems().ticket, "ticket") << "the pinned key again";
    session.LobbyHttp().Port = 8081;
    session.TakeLobbyItems(items(2));
    EXPECT_EQ(session.Paths().LobbyItems().ticket, "ticket") << "another lobby, its own pin";
    if (before)
        setenv("XDG_CONFIG_HOME", before->c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(pattern);
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
