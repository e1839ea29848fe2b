// The main window's side of the game protocol, fed with the messaging
// component's events directly: no socket is opened (the component stays
// disabled), so these run beside everything else.
#include "game_protocol.h"
#include "game_window.h"
#include "qt_printers.h"

#include <QLabel>
#include <QPlainTextEdit>

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

class OnlinePlay : public GameWindow {
  protected:
    void SetUp() override {
        GameWindow::SetUp();
        ann = Contact("Ann", "127.0.0.5");
        bob = Contact("Bob", "127.0.0.6");
    }
    TpContact Contact(const std::string& name, const std::string& address) {
        return fMain->Messaging().Contacts(fMain->Messaging().AddContact(name, address, 0));
    }
    // An online game as it starts on every program: seats given, no dialog.
    void Start(const std::array<SeatKind, kColours>& kinds,
               const std::array<TpContact, kColours>& players = {}) {
        fMain->StartOnlineGame(kinds, players);
        Play();
    }
    QStringList LogLines() const {
        return Part<QPlainTextEdit>("mLog")->toPlainText().split('\n', Qt::SkipEmptyParts);
    }

    TpContact ann, bob;
};

TEST_F(OnlinePlay, MovesAndEndsOfTurnAreTakenOnlyFromThePlayerWhoseTurnItIs) {
    Start({skRemote, skNone, skNone, skHuman, skNone, skNone}, {ann});
    ASSERT_EQ(fMain->game().state().phase, kPhaseRemote);
    const TpContact stranger = fMain->Messaging().Contacts(-1); // not in the table

    for (const TpContact& sender : {bob, stranger}) {
        fMain->Messaging().OnGotMsg(Move(4, 3), sender);
        fMain->Messaging().OnGotMsg(EndTurn(), sender);
    }
    fMain->Messaging().OnGotMsg(Move(4, 7), ann); // no such direction
    EXPECT_EQ(At(Marble(kBlue, 4)), (LatticePoint{-5, 1}));
    EXPECT_EQ(fMain->game().state().currentSeat, kBlue);

    fMain->Messaging().OnGotMsg(Move(4, 3), ann);
    EXPECT_EQ(At(Marble(kBlue, 4)), (LatticePoint{-4, 2}));
    fMain->Messaging().OnGotMsg(EndTurn(), ann);
    EXPECT_EQ(fMain->game().state().currentSeat, kOrange);
    EXPECT_TRUE(Part<QLabel>("lblYourTurn")->isVisible());
}

TEST_F(OnlinePlay, AMoveThatArrivesDuringAComputerMoveIsAppliedAfterIt) {
    struct Seen {
        int turn;
        LatticePoint orange4;
    };
    std::vector<Seen> seen;
    onWait = [&](int wait) {
        if (wait == 1) { // Blue's first move has begun
            fMain->Messaging().OnGotMsg(Move(4, 0), ann);
            fMain->Messaging().OnGotMsg(EndTurn(), ann);
        }
        seen.push_back({fMain->game().state().turnNumber, At(Marble(kOrange, 4))});
    };
    Start({skComputer, skNone, skNone, skRemote, skNone, skNone}, {nullptr, nullptr, nullptr, ann});

    ASSERT_FALSE(seen.empty());
    for (const Seen& s : seen)
        EXPECT_EQ(s.orange4, (s.turn == 1 ? LatticePoint{5, -1} : LatticePoint{4, -2}))
            << "turn " << s.turn;
    EXPECT_EQ(seen.back().turn, 2) << "Blue moved again after Orange";
    EXPECT_EQ(fMain->game().state().currentSeat, kOrange);
    EXPECT_EQ(fMain->game().state().phase, kPhaseRemote);
    EXPECT_EQ(fMain->StatusText(1), "Turn # 2");
}

TEST_F(OnlinePlay, MovesOfALaterPlayerWaitForHisTurn) {
    Start({skRemote, skNone, skNone, skRemote, skHuman, skNone}, {ann, nullptr, nullptr, bob});
    fMain->Messaging().OnGotMsg(Move(4, 0), bob); // Orange steps before Blue has moved
    fMain->Messaging().OnGotMsg(EndTurn(), bob);
    EXPECT_EQ(At(Marble(kOrange, 4)), (LatticePoint{5, -1}));
    EXPECT_EQ(fMain->game().state().currentSeat, kBlue);

    fMain->Messaging().OnGotMsg(Move(4, 3), ann);
    fMain->Messaging().OnGotMsg(EndTurn(), ann);
    EXPECT_EQ(At(Marble(kBlue, 4)), (LatticePoint{-4, 2}));
    EXPECT_EQ(At(Marble(kOrange, 4)), (LatticePoint{4, -2}));
    EXPECT_EQ(fMain->game().state().currentSeat, kGreen);
}

TEST_F(OnlinePlay, APlayerWhoLeavesOnHisTurnHandsItToTheComputer) {
    const std::pair<int, const char*> cases[] = {
        {kReasonLeft, "*** Ann has left the game"},
        {kReasonTimedOut, "*** Ann has timed out"},
    };
    for (const auto& [reason, line] : cases) {
        Part<QPlainTextEdit>("mLog")->clear();
        Start({skRemote, skNone, skNone, skHuman, skNone, skNone}, {ann});
        fMain->Messaging().OnClientDisconnection(ann, reason);
        EXPECT_EQ(LogLines(), QStringList{line});
        EXPECT_EQ(fMain->game().seats()[kBlue].kind, skOpen);
        EXPECT_FALSE(fMain->SeatContact(kBlue));
        EXPECT_EQ(fMain->SeatNameLabel(kBlue)->text(), "Computer");
        EXPECT_EQ(fMain->game().state().currentSeat, kOrange) << "the turn passed at once";

        // From its next turn on the computer plays it.
        const int before = waits;
        Click(Marble(kOrange, 4));
        ASSERT_TRUE(ClickMarkerOn(Hole(4, -2)));
        EXPECT_GT(waits, before);
        EXPECT_EQ(fMain->game().state().currentSeat, kOrange);
        EXPECT_EQ(fMain->StatusText(1), "Turn # 2");
    }
}

TEST_F(OnlinePlay, ALeaverWhoseMovesStillWaitLeavesAfterThem) {
    onWait = [&](int wait) {
        if (wait != 1)
            return;
        fMain->Messaging().OnGotMsg(Move(4, 0), ann);
        fMain->Messaging().OnGotMsg(EndTurn(), ann);
        fMain->Messaging().OnClientDisconnection(ann, kReasonLeft);
        EXPECT_EQ(fMain->game().seats()[kOrange].kind, skRemote) << "not before his moves";
    };
    Start({skComputer, skNone, skNone, skRemote, skHuman, skNone},
          {nullptr, nullptr, nullptr, ann});
    EXPECT_EQ(At(Marble(kOrange, 4)), (LatticePoint{4, -2}));
    EXPECT_EQ(fMain->game().seats()[kOrange].kind, skOpen);
    EXPECT_EQ(LogLines(), QStringList{"*** Ann has left the game"});
    EXPECT_EQ(fMain->game().state().currentSeat, kGreen);
    EXPECT_EQ(fMain->StatusText(1), "Turn # 1");
}

// Every seat of a leaver goes to the computer: a seat left waiting for a
// player who is gone would hold up the game for good.
TEST_F(OnlinePlay, APlayerWithTwoSeatsHandsBothToTheComputer) {
    Start({skRemote, skRemote, skNone, skHuman, skNone, skNone}, {ann, ann});
    const int before = waits;
    fMain->Messaging().OnClientDisconnection(ann, kReasonLeft);
    Play();
    EXPECT_EQ(fMain->game().seats()[kBlue].kind, skOpen);
    EXPECT_EQ(fMain->game().seats()[kRed].kind, skOpen);
    EXPECT_GT(waits, before) << "Red was played by the computer";
    EXPECT_EQ(fMain->game().state().currentSeat, kOrange);
    EXPECT_EQ(LogLines(), QStringList{"*** Ann has left the game"});
}

TEST_F(OnlinePlay, ChatLinesShowTheSendersNameOnOneLine) {
    fMain->Messaging().setClientName("Me");
    fMain->Messaging().OnGotMsg(Chat("Hello\nall"), ann);
    fMain->Messaging().OnGotMsg(Chat("from nowhere"), fMain->Messaging().Contacts(-1));
    fMain->Messaging().OnGotAck(Chat("my line"), ann); // one per acknowledging player
    fMain->Messaging().OnGotAck(Chat("my line"), bob);
    fMain->Messaging().OnGotAck(Move(1, 1), bob);
    EXPECT_EQ(LogLines(), (QStringList{"Ann: Hello all", "Me: my line", "Me: my line"}));

    // Enter sends the field's text and empties it; nothing shows until a
    // player acknowledges it.
    ASSERT_FALSE(fMain->Messaging().Enabled()); // the field must exist, not the socket
    Part<QLineEdit>("eChat")->show();
    QTest::keyClicks(Part<QLineEdit>("eChat"), "hi there");
    QTest::keyClick(Part<QLineEdit>("eChat"), Qt::Key_Return);
    EXPECT_EQ(Part<QLineEdit>("eChat")->text(), "");
    EXPECT_EQ(LogLines().size(), 3);
}

TEST_F(OnlinePlay, TheConnectionsEventsWriteTheirLogLines) {
    fMain->Messaging().OnConnectionSuccess();
    for (int reason : {kReasonNoAnswer, kReasonFull, kReasonVersion, 7})
        fMain->Messaging().OnConnectionFailed(nullptr, reason);
    fMain->Messaging().OnTimeout(Move(1, 1), ann);
    fMain->Messaging().OnTimeout(EndTurn(), ann);
    fMain->Messaging().OnClientDisconnection(bob, kReasonLeft); // holds no seat
    fMain->Messaging().OnNewClient(TQMsg(), bob);               // not hosting: only the line
    EXPECT_EQ(LogLines(),
              (QStringList{"***Connected to the server... Waiting for other players.",
                           "***Couldn't reach the remote server", "***The server is full",
                           "***Version mismatch", "*** Message # 2 has timed out",
                           "*** Message # 1 has timed out", "*** Bob has left the game",
                           "*** Bob joined the game"}));
}

} // namespace
