#include "colours.h"
#include "contact.h"
#include "game_window.h"
#include "pin_pictures.h"
#include "profile_file.h"
#include "qt_printers.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <map>

namespace {

constexpr std::array<SeatKind, kColours> kHumanVsComputer = {skHuman,    skNone, skNone,
                                                             skComputer, skNone, skNone};
constexpr std::array<SeatKind, kColours> kTwoHumans = {skHuman, skNone, skNone,
                                                       skHuman, skNone, skNone};

// The enabled state of the five actions that change with the game, and
// Pause's caption.
struct Actions {
    bool newGame, join, endGame, endTurn, pause;
    QString pauseCaption = "Pause";
    friend bool operator==(const Actions&, const Actions&) = default;
};
void PrintTo(const Actions& a, std::ostream* os) {
    *os << "new " << a.newGame << " join " << a.join << " end game " << a.endGame << " end turn "
        << a.endTurn << " pause " << a.pause << " \"" << a.pauseCaption.toStdString() << "\"";
}

class GameFlow : public GameWindow {
  protected:
    Actions Now() const {
        return {Action("aNewGame")->isEnabled(), Action("aJoinGame")->isEnabled(),
                Action("aEndGame")->isEnabled(), Action("aEndTurn")->isEnabled(),
                Action("aPause")->isEnabled(),   Action("aPause")->text()};
    }
    void Snap(const char* state) { seen[state] = Now(); }
    std::map<std::string, Actions> seen;
};

TEST_F(GameFlow, TheActionsFollowTheStateOfTheGame) {
    Snap("Idle at start");

    NewGame(kHumanVsComputer);
    Snap("Local turn, no move yet");
    // Orange's move is played inside Blue's step; look at it while it waits.
    onWait = [this](int wait) {
        if (wait == 1)
            Snap("Computer turn");
        if (wait == 2) {
            Action("aPause")->trigger();
            Snap("Computer turn, paused");
            Action("aPause")->trigger();
            Snap("Computer turn, unpaused");
        }
    };
    Click(Marble(0, 3));
    ASSERT_TRUE(ClickMarkerOn(Hole(-4, 4))); // a step: the turn passes to Orange
    ASSERT_EQ(fMain->game().state().currentSeat, 0);
    Snap("Local turn, Blue again");
    fMain->game().SetJumpBackAllowed(true); // so that Blue's jump does not end the turn
    Click(Marble(0, 2));
    ASSERT_TRUE(ClickMarkerOn(Hole(-4, 0)));
    Snap("Local turn, after the first move");

    prompts.answers = {true};
    Action("aEndGame")->trigger();
    Snap("Idle after End Current Game");

    // The online start: seats given, no dialog.
    fMain->StartOnlineGame({skRemote, skNone, skNone, skHuman, skNone, skNone}, {});
    ASSERT_EQ(fMain->game().state().phase, kPhaseRemote);
    Snap("Remote turn");

    prompts.answers = {true};
    Action("aEndGame")->trigger();
    NewGame(kTwoHumans);
    SetPosition(BlueNineHome(4, 0));
    Click(Marble(0, 9));
    ASSERT_TRUE(ClickMarkerOn(Hole(5, 1)));
    ASSERT_EQ(prompts.messages, QStringList{"Player BLUE won!"});
    Snap("Won");

    const std::pair<const char*, Actions> table[] = {
        // state                               new    join   end    turn   pause
        {"Idle at start", {true, true, false, false, false}},
        {"Local turn, no move yet", {false, false, true, false, false}},
        {"Computer turn", {false, false, true, false, true}},
        {"Computer turn, paused", {true, false, true, false, true, "Unpause"}},
        {"Computer turn, unpaused", {false, false, true, false, true}},
        {"Local turn, Blue again", {false, false, true, false, false}},
        {"Local turn, after the first move", {false, false, true, true, false}},
        {"Idle after End Current Game", {true, true, false, false, false}},
        {"Remote turn", {false, false, true, false, false}},
        {"Won", {false, false, true, false, false}},
    };
    for (const auto& [state, actions] : table) {
        ASSERT_TRUE(seen.count(state)) << state;
        EXPECT_EQ(seen[state], actions) << state;
    }
    EXPECT_EQ(seen.size(), std::size(table));
}

TEST_F(GameFlow, SkipsSeatsOfNobodyAndCountsTurnsByPassesThroughTheSeats) {
    NewGame({skNone, skHuman, skNone, skNone, skHuman, skNone}); // Red and Green
    const struct {
        const char* panel0;
        const char* panel1;
    } turns[] = {
        {"It's now player RED turn", "Turn # 1"},
        {"It's now player GREEN turn", "Turn # 1"},
        {"It's now player RED turn", "Turn # 2"},
        {"It's now player GREEN turn", "Turn # 2"},
    };
    for (const auto& t : turns) {
        EXPECT_EQ(fMain->StatusText(0), t.panel0);
        EXPECT_EQ(fMain->StatusText(1), t.panel1);
        EXPECT_TRUE(Part<QLabel>("lblYourTurn")->isVisible());
        EXPECT_FALSE(Action("aEndTurn")->isEnabled()) << "End Turn comes with the first move";
        const int seat = fMain->game().state().currentSeat;
        // Any first move of the seat: the first marble with a target.
        for (int n = 0; n < 10 && fMain->game().state().currentSeat == seat; ++n) {
            Click(Marble(seat, n));
            const std::vector<LatticePoint> shown = ShownTargets();
            if (!shown.empty()) {
                ASSERT_TRUE(ClickMarkerOn(Hole(shown[0].r, shown[0].c)));
                if (fMain->game().state().currentSeat == seat)
                    Action("aEndTurn")->trigger();
            }
        }
    }
}

TEST_F(GameFlow, ThePanelShowsOneLinePerTakingPartSeat) {
    NewGame(kHumanVsComputer);
    const QPixmap white = LoadPinPicture(kWhitePin);
    const std::vector<PanelLine> panel = SeatPanel(*fMain);
    ASSERT_EQ(panel.size(), 2u);
    EXPECT_EQ(panel[0].indicator->geometry(), QRect(QPoint(8, 30), white.size()));
    EXPECT_EQ(panel[0].name->pos(), QPoint(30, 32));
    EXPECT_EQ(panel[0].name->text(), "You");
    EXPECT_EQ(panel[1].indicator->geometry(), QRect(QPoint(8, 54), white.size()));
    EXPECT_EQ(panel[1].name->pos(), QPoint(30, 56));
    EXPECT_EQ(panel[1].name->text(), "Computer");
    EXPECT_EQ(fMain->SeatIndicator(0), panel[0].indicator);
    EXPECT_EQ(fMain->SeatNameLabel(3), panel[1].name);
    EXPECT_FALSE(fMain->SeatIndicator(1));
    // The seat to play shows the white pin, the others their colour.
    EXPECT_EQ(panel[0].indicator->pixmap().toImage(), white.toImage());
    EXPECT_EQ(panel[1].indicator->pixmap().toImage(), LoadPinPicture(3).toImage());

    // Seats from an online start: a remote player shows his name, an Open
    // seat nothing.
    prompts.answers = {true};
    Action("aEndGame")->trigger();
    const TpContact ann = std::make_shared<TContact>(TContact{"Ann", "127.0.0.2", 7});
    fMain->StartOnlineGame({skHuman, skNone, skOpen, skNone, skRemote, skNone},
                           {nullptr, nullptr, nullptr, nullptr, ann, nullptr});
    QStringList names;
    QList<int> tops;
    for (const PanelLine& line : SeatPanel(*fMain)) {
        names << line.name->text();
        tops << line.indicator->y();
    }
    EXPECT_EQ(names, (QStringList{"You", "", "Ann"}));
    EXPECT_EQ(tops, (QList<int>{30, 54, 78}));

    prompts.answers = {true};
    Action("aEndGame")->trigger();
    EXPECT_TRUE(SeatPanel(*fMain).empty());
    for (int colour = 0; colour < kColours; ++colour)
        EXPECT_FALSE(fMain->SeatIndicator(colour) || fMain->SeatNameLabel(colour));
}

TEST_F(GameFlow, EndCurrentGameAsksAndEndsOnlyOnYes) {
    NewGame(kTwoHumans);
    Click(Marble(0, 2));
    prompts.answers = {false};
    Action("aEndGame")->trigger();
    EXPECT_EQ(prompts.questions, QStringList{"Are you sure you wish to end current game?"});
    EXPECT_EQ(static_cast<size_t>(ShownMarbles(*fMain)), 20u);
    EXPECT_EQ(fMain->game().state().phase, kPhaseTurnStart);
    EXPECT_EQ(ShownTargets().size(), 2u) << "the answer No changes nothing";

    prompts.answers = {true};
    Action("aEndGame")->trigger();
    EXPECT_TRUE(ShownMarbles(*fMain) == 0);
    EXPECT_EQ(fMain->game().state().phase, kPhaseNoGame);
    EXPECT_EQ(fMain->game().state().selectedMarble, nullptr);
    EXPECT_TRUE(ShownTargets().empty()) << "no marker stays for a marble that is gone";
    EXPECT_TRUE(SeatPanel(*fMain).empty());
    EXPECT_FALSE(Part<QLabel>("lblYourTurn")->isVisible());
    EXPECT_EQ(fMain->game().seats()[3].kind, skHuman) << "the seats stay for the next game";
    EXPECT_EQ(fMain->game().state().currentSeat, 0);

    // The next game starts afresh.
    NewGame(kTwoHumans);
    EXPECT_EQ(static_cast<size_t>(ShownMarbles(*fMain)), 20u);
    EXPECT_EQ(fMain->StatusText(0), "It's now player BLUE turn");
    EXPECT_EQ(fMain->StatusText(2), "");
}

TEST_F(GameFlow, TheDialogsAnswerDecidesWhetherAGameStarts) {
    NewGame(kTwoHumans);
    Click(Marble(0, 3));
    ASSERT_TRUE(ClickMarkerOn(Hole(-4, 4)));
    const LatticePoint moved = At(Marble(0, 3));

    // Cancel: the game goes on untouched.
    AnswerPlayersDialog([](TfPlayers& dialog) { dialog.btnCancel->click(); });
    Action("aNewGame")->setEnabled(true);
    Action("aNewGame")->trigger();
    EXPECT_EQ(At(Marble(0, 3)), moved);
    EXPECT_EQ(fMain->game().state().currentSeat, 3);
    EXPECT_EQ(fMain->game().seats()[0].kind, skHuman);

    // Open seats are for the lobby; the player gives up its login: nothing
    // starts.
    Action("aNewGame")->setEnabled(true);
    AnswerLoginDialog([](TfTavloLogin& dialog) { dialog.bCancel->click(); });
    NewGame({skHuman, skNone, skNone, skOpen, skNone, skNone}, "Friday game");
    EXPECT_FALSE(dialogStayedOpen);
    EXPECT_EQ(fMain->game().seats()[3].kind, skOpen);
    EXPECT_EQ(At(Marble(0, 3)), moved);
    EXPECT_EQ(fMain->game().state().currentSeat, 3);
    EXPECT_FALSE(Part<QPlainTextEdit>("mLog")->isVisible());
    EXPECT_FALSE(Part<QTimer>("tmrRefreshGame")->isActive());
}

// The published game's number lives as long as the game: the start keeps
// it (its winner is still to be reported), End Current Game forgets it.
TEST_F(GameFlow, TheLobbyGameIsKeptByTheStartAndForgottenAtTheEnd) {
    fMain->Session().gameNumber = 12;
    fMain->StartOnlineGame({skHuman, skNone, skNone, skRemote, skNone, skNone}, {});
    EXPECT_EQ(fMain->Session().gameNumber, 12);
    prompts.answers = {true};
    Action("aEndGame")->trigger();
    EXPECT_EQ(fMain->Session().gameNumber, 0);
}

TEST_F(GameFlow, PressingPauseTwiceGivesBackTheCaptionAndTheGame) {
    NewGame(kTwoHumans);
    Action("aPause")->setEnabled(true); // as a computer move would
    Action("aPause")->trigger();
    EXPECT_TRUE(fMain->Paused());
    EXPECT_EQ(Action("aPause")->text(), "Unpause");
    EXPECT_TRUE(Action("aNewGame")->isEnabled());
    Action("aPause")->trigger();
    EXPECT_FALSE(fMain->Paused());
    EXPECT_EQ(Action("aPause")->text(), "Pause");
    EXPECT_FALSE(Action("aNewGame")->isEnabled());
}

TEST_F(GameFlow, AWinEmptiesTheBoardAndEndsTheTurns) {
    NewGame(kTwoHumans);
    // Blue's nine in the bottom point, the tenth one step away; an Orange
    // marble at home elsewhere.
    auto position = BlueNineHome(4, 0);
    position.push_back({3, 0, -8, 0});
    SetPosition(position);
    EXPECT_FALSE(fMain->game().CheckWin()) << "nine are not ten";
    EXPECT_EQ(static_cast<size_t>(ShownMarbles(*fMain)), 11u);

    Click(Marble(0, 9));
    ASSERT_TRUE(ClickMarkerOn(Hole(5, 1)));
    EXPECT_EQ(prompts.messages, QStringList{"Player BLUE won!"});
    EXPECT_TRUE(ShownMarbles(*fMain) == 0);
    for (const auto& hole : fMain->game().board().holes())
        EXPECT_EQ(hole->ball, nullptr);
    EXPECT_EQ(fMain->game().state().currentSeat, kNoSeat);
    EXPECT_EQ(fMain->game().state().phase, kPhaseTurnStart);
    EXPECT_EQ(fMain->game().state().selectedMarble, nullptr);
    EXPECT_TRUE(ShownTargets().empty());
    EXPECT_EQ(fMain->StatusText(0), "It's now player BLUE turn") << "no further turn began";

    // End Current Game returns to Idle.
    prompts.answers = {true};
    Action("aEndGame")->trigger();
    EXPECT_TRUE(Action("aNewGame")->isEnabled());
    EXPECT_EQ(prompts.messages.size(), 1);
}

TEST_F(GameFlow, ExitAndTheCloseBoxWriteTheSettings) {
    fMain->Messaging().setClientName("Ann");
    EXPECT_TRUE(fMain->close());
    EXPECT_TRUE(prompts.questions.isEmpty());
    const ProfileFile ini(DefaultSettingsPath());
    EXPECT_EQ(ini.ReadString("MULTI", "Nickname"), "Ann");
    EXPECT_EQ(ini.ReadString("MAIN", "CompSpeed"), "1000");
    EXPECT_EQ(ini.ReadString("MAIN", "JumpBack"), "0");
}

} // namespace
