#include "../core/test_data.h"
#include "colours.h"
#include "computer_player.h"
#include "game_window.h"
#include "pin_pictures.h"
#include "qt_printers.h"

#include <QElapsedTimer>
#include <fstream>
#include <iterator>

namespace {

constexpr int kBlue = 0;
constexpr int kOrange = 3;
constexpr std::array<SeatKind, kColours> kComputerVsHuman = {skComputer, skNone, skNone,
                                                             skHuman,    skNone, skNone};
constexpr std::array<SeatKind, kColours> kHumanVsComputer = {skHuman,    skNone, skNone,
                                                             skComputer, skNone, skNone};
constexpr std::array<SeatKind, kColours> kTwoHumans = {skHuman, skNone, skNone,
                                                       skHuman, skNone, skNone};

class ComputerMove : public GameWindow {
  protected:
    QImage PictureOf(const TZellhopBall& marble) const {
        return fMain->MarblePicture(marble)->pixmap().toImage();
    }
    // Runs `then` once the window is waiting in its event loop again.
    void Later(std::function<void()> then, int ms = 5) {
        QTimer::singleShot(ms, fMain.get(), std::move(then));
    }
};

// Blue's first move from the start is marble 2's jump from (-6, 2) over
// (-5, 1) to (-4, 0): two holes, so three waits.
TEST_F(ComputerMove, ShowsTheMoveHoleByHoleWithOneWaitMoreThanHoles) {
    struct Seen {
        LatticePoint at;
        bool white, pauseOn;
    };
    std::vector<Seen> seen;
    onWait = [&](int) {
        const TZellhopBall& m = Marble(kBlue, 2);
        seen.push_back({At(m), PictureOf(m) == LoadPinPicture(kWhitePin).toImage(),
                        Action("aPause")->isEnabled()});
        EXPECT_TRUE(fMain->game().ComputerMoving());
    };
    NewGame(kComputerVsHuman);

    ASSERT_EQ(seen.size(), 3u);
    const LatticePoint holes[] = {{-6, 2}, {-6, 2}, {-4, 0}};
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].at, holes[i]) << "wait " << i + 1;
        EXPECT_TRUE(seen[i].white) << "wait " << i + 1;
        EXPECT_TRUE(seen[i].pauseOn) << "wait " << i + 1;
    }
    EXPECT_EQ(At(Marble(kBlue, 2)), (LatticePoint{-4, 0}));
    EXPECT_EQ(PictureOf(Marble(kBlue, 2)), LoadPinPicture(kBlue).toImage());
    EXPECT_FALSE(Action("aPause")->isEnabled());
    EXPECT_FALSE(fMain->game().ComputerMoving());
    EXPECT_EQ(fMain->StatusText(0), "It's now player ORANGE turn");
    EXPECT_EQ(fMain->game().state().phase, kPhaseTurnStart) << "the computer's move adds nothing";
    EXPECT_EQ(fMain->StatusText(2), "") << "and earns no praise";
}

TEST_F(ComputerMove, WaitsTheDelayOfTheSpeedSetting) {
    fMain->SetStepDelay(40);
    QElapsedTimer clock;
    clock.start();
    NewGame(kComputerVsHuman); // three waits
    EXPECT_GE(clock.elapsed(), 3 * 40);
}

TEST_F(ComputerMove, AHumanMovesAndTheComputerAnswers) {
    NewGame(kHumanVsComputer);
    ComputerChoice expected;
    onWait = [&](int wait) {
        if (wait == waits && expected.path.empty())
            expected = ChooseComputerMove(fMain->game().marbles(), fMain->game().state().homeHoles,
                                          kOrange);
    };
    Click(Marble(kBlue, 3));
    ASSERT_TRUE(ClickMarkerOn(Hole(-4, 4)));

    ASSERT_TRUE(expected.marble);
    EXPECT_EQ(expected.marble->colour, kOrange);
    EXPECT_EQ(waits, static_cast<int>(expected.path.size()) + 1);
    EXPECT_EQ(expected.marble->pos, expected.path.back());
    EXPECT_EQ(fMain->StatusText(0), "It's now player BLUE turn");
    EXPECT_EQ(fMain->StatusText(1), "Turn # 2");
    EXPECT_TRUE(Part<QLabel>("lblYourTurn")->isVisible());
}

TEST_F(ComputerMove, PauseHoldsTheMoveBetweenTwoHolesAndUnpauseResumesIt) {
    bool checked = false;
    onWait = [&](int wait) {
        if (wait != 2)
            return;
        Action("aPause")->trigger();
        Later(
            [&] {
                EXPECT_EQ(waits, 2) << "held";
                EXPECT_EQ(At(Marble(kBlue, 2)), (LatticePoint{-6, 2}));
                EXPECT_EQ(Action("aPause")->text(), "Unpause");
                EXPECT_TRUE(Action("aNewGame")->isEnabled());
                checked = true;
                Action("aPause")->trigger();
            },
            30);
    };
    NewGame(kComputerVsHuman);
    EXPECT_TRUE(checked);
    EXPECT_EQ(waits, 3);
    EXPECT_EQ(At(Marble(kBlue, 2)), (LatticePoint{-4, 0}));
    EXPECT_FALSE(Action("aNewGame")->isEnabled());
    EXPECT_EQ(fMain->StatusText(0), "It's now player ORANGE turn");
}

TEST_F(ComputerMove, EndCurrentGameDuringAPausedMoveCarriesOutNoFurtherStep) {
    onWait = [&](int wait) {
        if (wait != 2)
            return;
        Action("aPause")->trigger();
        Later([&] {
            prompts.answers = {true};
            Action("aEndGame")->trigger();
        });
    };
    NewGame(kComputerVsHuman); // returns once the move has been given up
    EXPECT_EQ(waits, 2);
    EXPECT_TRUE(ShownMarbles(*fMain) == 0);
    EXPECT_EQ(fMain->game().state().phase, kPhaseNoGame);
    EXPECT_FALSE(fMain->game().ComputerMoving());
    EXPECT_FALSE(fMain->InterruptRequested());
    // Pause stays as the abandoned move left it, and New Game stays
    // available whichever way it is pressed.
    EXPECT_TRUE(fMain->Paused());
    EXPECT_EQ(Action("aPause")->text(), "Unpause");
    EXPECT_TRUE(Action("aNewGame")->isEnabled());
    Action("aPause")->trigger();
    EXPECT_TRUE(Action("aNewGame")->isEnabled());
    Settle();
    EXPECT_EQ(waits, 2);
}

TEST_F(ComputerMove, ANewGameStartedDuringAPausedMoveIsLeftAlone) {
    onWait = [&](int wait) {
        if (wait != 2)
            return;
        Action("aPause")->trigger();
        Later([&] { NewGame(kTwoHumans); });
    };
    NewGame(kComputerVsHuman);
    EXPECT_EQ(waits, 2);
    EXPECT_EQ(static_cast<size_t>(ShownMarbles(*fMain)), 20u);
    EXPECT_EQ(At(Marble(kBlue, 2)), (LatticePoint{-6, 2})) << "the old move went no further";
    EXPECT_EQ(fMain->StatusText(0), "It's now player BLUE turn");
    EXPECT_EQ(fMain->game().state().currentSeat, kBlue);
    EXPECT_FALSE(fMain->Paused());
    EXPECT_EQ(Action("aPause")->text(), "Pause");
    EXPECT_FALSE(fMain->game().ComputerMoving());

    // The new game plays on normally.
    Click(Marble(kBlue, 3));
    ASSERT_TRUE(ClickMarkerOn(Hole(-4, 4)));
    EXPECT_EQ(fMain->StatusText(0), "It's now player ORANGE turn");
}

TEST_F(ComputerMove, ExitDuringAMoveStopsItAtTheNextCheck) {
    onWait = [&](int wait) {
        if (wait == 2) {
            prompts.answers = {true};
            Action("aExit")->trigger();
        }
    };
    NewGame(kComputerVsHuman);
    EXPECT_EQ(waits, 2);
    EXPECT_TRUE(fMain->Closing());
    EXPECT_FALSE(fMain->isVisible());
    EXPECT_EQ(At(Marble(kBlue, 2)), (LatticePoint{-6, 2}));
}

TEST_F(ComputerMove, ComputersPlayEachOtherToAWin) {
    NewGame({skComputer, skNone, skNone, skComputer, skNone, skNone});
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(prompts.messages[0] == "Player BLUE won!" ||
                prompts.messages[0] == "Player ORANGE won!")
        << prompts.messages[0].toStdString();
    EXPECT_TRUE(ShownMarbles(*fMain) == 0);
    EXPECT_EQ(fMain->game().state().currentSeat, kNoSeat);
    EXPECT_FALSE(Action("aPause")->isEnabled());
    EXPECT_TRUE(Action("aEndGame")->isEnabled());
}

// Orange needs one step to fill the top point; Blue's second click on its
// marble ends its turn, and Orange wins inside that click.
TEST_F(ComputerMove, AWinInsideTheClickThatEndedTheTurnLeavesNoSelection) {
    NewGame(kHumanVsComputer);
    fMain->game().SetJumpBackAllowed(true); // Blue's jump does not end the turn
    SetPosition({{kBlue, 0, 2, 0},
                 {kBlue, 1, 3, 1},
                 {kOrange, 0, -8, 0},
                 {kOrange, 1, -7, -1},
                 {kOrange, 2, -7, 1},
                 {kOrange, 3, -6, -2},
                 {kOrange, 4, -6, 0},
                 {kOrange, 5, -6, 2},
                 {kOrange, 6, -5, -3},
                 {kOrange, 7, -5, -1},
                 {kOrange, 8, -5, 3},
                 {kOrange, 9, -4, 0}});
    Click(Marble(kBlue, 0));
    ASSERT_TRUE(ClickMarkerOn(Hole(4, 2)));
    TZellhopBall& blue = Marble(kBlue, 0);
    Click(blue);
    ASSERT_EQ(ShownTargets(), (std::vector<LatticePoint>{{2, 0}}));
    Click(blue);

    EXPECT_EQ(prompts.messages, QStringList{"Player ORANGE won!"});
    EXPECT_TRUE(ShownMarbles(*fMain) == 0);
    EXPECT_EQ(fMain->game().state().selectedMarble, nullptr) << "a marble of the ended game";
}

// Blue and Orange each have one marble, walled in by marbles of seats that
// take no part: nobody can move, ever.
TEST_F(ComputerMove, AGameInWhichNobodyCanMoveGoesOnAtTheComputersPace) {
    fMain->game().SetSeat(kBlue, skComputer);
    fMain->game().SetSeat(kOrange, skComputer);
    SetPosition({{kBlue, 0, -8, 0},
                 {1, 0, -7, -1},
                 {1, 1, -7, 1},
                 {1, 2, -6, -2},
                 {1, 3, -6, 2},
                 {kOrange, 0, 8, 0},
                 {4, 0, 7, -1},
                 {4, 1, 7, 1},
                 {4, 2, 6, -2},
                 {4, 3, 6, 2}});
    fMain->SetStepDelay(5);
    fMain->game().RestartTurns();
    Action("aEndGame")->setEnabled(true);
    Later(
        [&] {
            prompts.answers = {true};
            Action("aEndGame")->trigger();
        },
        60);
    QElapsedTimer clock;
    clock.start();
    fMain->game().NextTurn();
    while (fMain->game().state().phase != kPhaseNoGame && clock.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    const qint64 elapsed = clock.elapsed();
    EXPECT_GE(waits, 2);
    EXPECT_LE(waits, elapsed / 4 + 2) << "each pass waits the computer's delay";
    EXPECT_EQ(fMain->game().state().phase, kPhaseNoGame);
    EXPECT_FALSE(fMain->game().ComputerMoving());
}

} // namespace

namespace {

// A game of computers through the window leaves the record that
// zellhop-selfplay prints for the same seats.
TEST_F(ComputerMove, TheWindowsRecordIsTheSelfPlayTranscriptOfTheSameSeats) {
    NewGame({skComputer, skNone, skNone, skComputer, skNone, skNone}); // plays to the win
    ASSERT_EQ(fMain->game().winner(), kBlue);
    std::string played;
    for (const TurnRecord& turn : fMain->game().record())
        played += MoveLine(turn) + "\n";
    played += "winner " + std::string(ColourWord(fMain->game().winner())) + " after " +
              std::to_string(fMain->game().record().back().turn) + " turns\n";
    std::ifstream transcript(TestDataPath("selfplay/C--C--.txt"));
    const std::string expected{std::istreambuf_iterator<char>(transcript), {}};
    EXPECT_EQ(played, expected);
}

} // namespace
