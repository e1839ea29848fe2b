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
        return fMain->hc.Contacts(fMain->hc.AddContact(name, address, 0));
    }
    // An online game as it starts on every program: seats given, no dialog.
    void Start(const std::array<SeatKind, kColours>& kinds,
               const std::array<TpContact, kColours>& players = {}) {
        for (int i = 0; i < kColours; ++i) {
            fMain->seats[i].kind = kinds[i];
            fMain->seats[i].contact = players[i];
        }
        fMain->interruptRequested = true;
        fMain->aNewGame->setEnabled(true);
        fMain->aNewGame->trigger();
    }
    QStringList LogLines() const {
        return fMain->mLog->toPlainText().split('\n', Qt::SkipEmptyParts);
    }

    TpContact ann, bob;
};

TEST_F(OnlinePlay, MovesAndEndsOfTurnAreTakenOnlyFromThePlayerWhoseTurnItIs) {
    Start({skRemote, skNone, skNone, skHuman, skNone, skNone}, {ann});
    ASSERT_EQ(fMain->state.phase, kPhaseRemote);
    const TpContact stranger = fMain->hc.Contacts(-1); // not in the table

    for (const TpContact& sender : {bob, stranger}) {
        fMain->hcGotMsg(Move(4, 3), sender);
        fMain->hcGotMsg(EndTurn(), sender);
    }
    fMain->hcGotMsg(Move(4, 7), ann); // no such direction
    EXPECT_EQ(At(Marble(kBlue, 4)), (LatticePoint{-5, 1}));
    EXPECT_EQ(fMain->state.currentSeat, kBlue);

    fMain->hcGotMsg(Move(4, 3), ann);
    EXPECT_EQ(At(Marble(kBlue, 4)), (LatticePoint{-4, 2}));
    fMain->hcGotMsg(EndTurn(), ann);
    EXPECT_EQ(fMain->state.currentSeat, kOrange);
    EXPECT_TRUE(fMain->lblYourTurn->isVisible());
}

TEST_F(OnlinePlay, AMoveThatArrivesDuringAComputerMoveIsAppliedAfterIt) {
    struct Seen {
        int turn;
        LatticePoint orange4;
    };
    std::vector<Seen> seen;
    onWait = [&](int wait) {
        if (wait == 1) { // Blue's first move has begun
            fMain->hcGotMsg(Move(4, 0), ann);
            fMain->hcGotMsg(EndTurn(), ann);
        }
        seen.push_back({fMain->state.turnNumber, At(Marble(kOrange, 4))});
    };
    Start({skComputer, skNone, skNone, skRemote, skNone, skNone}, {nullptr, nullptr, nullptr, ann});

    ASSERT_FALSE(seen.empty());
    for (const Seen& s : seen)
        EXPECT_EQ(s.orange4, (s.turn == 1 ? LatticePoint{5, -1} : LatticePoint{4, -2}))
            << "turn " << s.turn;
    EXPECT_EQ(seen.back().turn, 2) << "Blue moved again after Orange";
    EXPECT_EQ(fMain->state.currentSeat, kOrange);
    EXPECT_EQ(fMain->state.phase, kPhaseRemote);
    EXPECT_EQ(fMain->StatusText(1), "Turn # 2");
}

TEST_F(OnlinePlay, MovesOfALaterPlayerWaitForHisTurn) {
    Start({skRemote, skNone, skNone, skRemote, skHuman, skNone}, {ann, nullptr, nullptr, bob});
    fMain->hcGotMsg(Move(4, 0), bob); // Orange steps before Blue has moved
    fMain->hcGotMsg(EndTurn(), bob);
    EXPECT_EQ(At(Marble(kOrange, 4)), (LatticePoint{5, -1}));
    EXPECT_EQ(fMain->state.currentSeat, kBlue);

    fMain->hcGotMsg(Move(4, 3), ann);
    fMain->hcGotMsg(EndTurn(), ann);
    EXPECT_EQ(At(Marble(kBlue, 4)), (LatticePoint{-4, 2}));
    EXPECT_EQ(At(Marble(kOrange, 4)), (LatticePoint{4, -2}));
    EXPECT_EQ(fMain->state.currentSeat, kGreen);
}

TEST_F(OnlinePlay, APlayerWhoLeavesOnHisTurnHandsItToTheComputer) {
    const std::pair<int, const char*> cases[] = {
        {kReasonLeft, "*** Ann has left the game"},
        {kReasonTimedOut, "*** Ann has timed out"},
    };
    for (const auto& [reason, line] : cases) {
        fMain->mLog->clear();
        Start({skRemote, skNone, skNone, skHuman, skNone, skNone}, {ann});
        fMain->hcClientDisconnection(ann, reason);
        EXPECT_EQ(LogLines(), QStringList{line});
        EXPECT_EQ(fMain->seats[kBlue].kind, skOpen);
        EXPECT_FALSE(fMain->seats[kBlue].contact);
        EXPECT_EQ(fMain->seats[kBlue].nameLabel->text(), "Computer");
        EXPECT_EQ(fMain->state.currentSeat, kOrange) << "the turn passed at once";

        // From its next turn on the computer plays it.
        const int before = waits;
        Click(Marble(kOrange, 4));
        ASSERT_TRUE(ClickMarkerOn(Hole(4, -2)));
        EXPECT_GT(waits, before);
        EXPECT_EQ(fMain->state.currentSeat, kOrange);
        EXPECT_EQ(fMain->StatusText(1), "Turn # 2");
    }
}

TEST_F(OnlinePlay, ALeaverWhoseMovesStillWaitLeavesAfterThem) {
    onWait = [&](int wait) {
        if (wait != 1)
            return;
        fMain->hcGotMsg(Move(4, 0), ann);
        fMain->hcGotMsg(EndTurn(), ann);
        fMain->hcClientDisconnection(ann, kReasonLeft);
        EXPECT_EQ(fMain->seats[kOrange].kind, skRemote) << "not before his moves";
    };
    Start({skComputer, skNone, skNone, skRemote, skHuman, skNone},
          {nullptr, nullptr, nullptr, ann});
    EXPECT_EQ(At(Marble(kOrange, 4)), (LatticePoint{4, -2}));
    EXPECT_EQ(fMain->seats[kOrange].kind, skOpen);
    EXPECT_EQ(LogLines(), QStringList{"*** Ann has left the game"});
    EXPECT_EQ(fMain->state.currentSeat, kGreen);
    EXPECT_EQ(fMain->StatusText(1), "Turn # 1");
}

// Every seat of a leaver goes to the computer: a seat left waiting for a
// player who is gone would hold up the game for good.
TEST_F(OnlinePlay, APlayerWithTwoSeatsHandsBothToTheComputer) {
    Start({skRemote, skRemote, skNone, skHuman, skNone, skNone}, {ann, ann});
    const int before = waits;
    fMain->hcClientDisconnection(ann, kReasonLeft);
    EXPECT_EQ(fMain->seats[kBlue].kind, skOpen);
    EXPECT_EQ(fMain->seats[kRed].kind, skOpen);
    EXPECT_GT(waits, before) << "Red was played by the computer";
    EXPECT_EQ(fMain->state.currentSeat, kOrange);
    EXPECT_EQ(LogLines(), QStringList{"*** Ann has left the game"});
}

TEST_F(OnlinePlay, ChatLinesShowTheSendersNameOnOneLine) {
    fMain->hc.setClientName("Me");
    fMain->hcGotMsg(Chat("Hello\nall"), ann);
    fMain->hcGotMsg(Chat("from nowhere"), fMain->hc.Contacts(-1));
    fMain->hcGotAck(Chat("my line"), ann); // one per acknowledging player
    fMain->hcGotAck(Chat("my line"), bob);
    fMain->hcGotAck(Move(1, 1), bob);
    EXPECT_EQ(LogLines(), (QStringList{"Ann: Hello all", "Me: my line", "Me: my line"}));

    // Enter sends the field's text and empties it; nothing shows until a
    // player acknowledges it.
    fMain->SetMultiplayerView(false); // the field must exist, not the socket
    fMain->eChat->show();
    QTest::keyClicks(fMain->eChat, "hi there");
    QTest::keyClick(fMain->eChat, Qt::Key_Return);
    EXPECT_EQ(fMain->eChat->text(), "");
    EXPECT_EQ(LogLines().size(), 3);
}

TEST_F(OnlinePlay, TheConnectionsEventsWriteTheirLogLines) {
    fMain->hcConnectionSuccess();
    for (int reason : {kReasonNoAnswer, kReasonFull, kReasonVersion, 7})
        fMain->hcConnectionFailed(nullptr, reason);
    fMain->hcTimeout(Move(1, 1), ann);
    fMain->hcTimeout(EndTurn(), ann);
    fMain->hcClientDisconnection(bob, kReasonLeft); // holds no seat
    fMain->hcNewClient(TQMsg(), bob);               // not hosting: only the line
    EXPECT_EQ(LogLines(),
              (QStringList{"***Connected to the server... Waiting for other players.",
                           "***Couldn't reach the remote server", "***The server is full",
                           "***Version mismatch", "*** Message # 2 has timed out",
                           "*** Message # 1 has timed out", "*** Bob has left the game",
                           "*** Bob joined the game"}));
}

} // namespace
