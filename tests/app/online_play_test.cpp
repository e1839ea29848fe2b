// What the window shows of an online game: the session's log lines in the
// log pane, a leaver's seat named "Computer" in the seat panel, the turn in
// the status bar, and the chat line.  The session's rules themselves are
// tested without a window (tests/online/online_session_test.cpp); here the
// messaging component's events are raised directly and no socket is opened
// (the component stays disabled).
#include "game_protocol.h"
#include "game_window.h"
#include "qt_printers.h"

#include <QLabel>
#include <QPlainTextEdit>

namespace {

constexpr int kBlue = 0;
constexpr int kOrange = 3;

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
        ann = fMain->Messaging().Contacts(fMain->Messaging().AddContact("Ann", "127.0.0.5", 0));
    }
    QStringList LogLines() const {
        return Part<QPlainTextEdit>("mLog")->toPlainText().split('\n', Qt::SkipEmptyParts);
    }

    TpContact ann;
};

TEST_F(OnlinePlay, TheLogTheSeatPanelAndTheStatusBarFollowThePeers) {
    fMain->StartOnlineGame({skRemote, skNone, skNone, skHuman, skNone, skNone}, {ann});
    Play();
    EXPECT_EQ(fMain->SeatNameLabel(kBlue)->text(), "Ann");
    EXPECT_FALSE(Part<QLabel>("lblYourTurn")->isVisible());

    fMain->Messaging().OnGotMsg(Chat("Hello\nall"), ann);
    fMain->Messaging().OnClientDisconnection(ann, kReasonLeft);
    Play();
    EXPECT_EQ(LogLines(), (QStringList{"Ann: Hello all", "*** Ann has left the game"}));
    EXPECT_EQ(fMain->SeatNameLabel(kBlue)->text(), "Computer");
    EXPECT_EQ(fMain->StatusText(0), "It's now player ORANGE turn") << "the turn passed at once";
    EXPECT_TRUE(Part<QLabel>("lblYourTurn")->isVisible());

    // From its next turn on the computer plays the seat.
    const int before = waits;
    Click(Marble(kOrange, 4));
    ASSERT_TRUE(ClickMarkerOn(Hole(4, -2)));
    EXPECT_GT(waits, before);
    EXPECT_EQ(fMain->StatusText(0), "It's now player ORANGE turn");
    EXPECT_EQ(fMain->StatusText(1), "Turn # 2");
}

// Enter sends the field's text and empties it; the line shows only once a
// player acknowledges it.
TEST_F(OnlinePlay, EnterInTheChatLineSendsItAndEmptiesIt) {
    ASSERT_FALSE(fMain->Messaging().Enabled()); // the field must exist, not the socket
    Part<QLineEdit>("eChat")->show();
    QTest::keyClicks(Part<QLineEdit>("eChat"), "hi there");
    QTest::keyClick(Part<QLineEdit>("eChat"), Qt::Key_Return);
    EXPECT_EQ(Part<QLineEdit>("eChat")->text(), "");
    EXPECT_TRUE(LogLines().isEmpty());
    fMain->Messaging().setClientName("Me");
    fMain->Messaging().OnGotAck(Chat("hi there"), ann);
    EXPECT_EQ(LogLines(), QStringList{"Me: hi there"});
}

} // namespace
