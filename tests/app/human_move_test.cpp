#include "computer_player.h"
#include "game_window.h"
#include "options_dialog.h"
#include "qt_printers.h"

#include <QCheckBox>
#include <QRegularExpression>

namespace {

constexpr std::array<SeatKind, kColours> kTwoHumans = {skHuman, skNone, skNone,
                                                       skHuman, skNone, skNone};
constexpr int kBlue = 0;
constexpr int kOrange = 3;
constexpr int kTurnLimit = 1000; // far more than any game between the two takes

using Targets = std::vector<LatticePoint>;

class HotSeat : public GameWindow {
  protected:
    QString Turn() const { return fMain->StatusText(0) + " / " + fMain->StatusText(1); }
    QString Praise() const { return fMain->StatusText(2); }
    // Moves the marble along the holes by clicking it and then the marker
    // of each hole, as a player would.
    void Hop(int colour, int number, std::initializer_list<LatticePoint> holes) {
        for (const LatticePoint& p : holes) {
            Click(Marble(colour, number));
            ASSERT_TRUE(ClickMarkerOn(Hole(p.r, p.c)))
                << "no marker on (" << p.r << ", " << p.c << ")";
        }
    }
    void SetJumpBack(bool allowed) {
        QTimer::singleShot(0, fMain.get(), [this, allowed] {
            fMain->dialogs().options->cbAllowBack->setChecked(allowed);
            fMain->dialogs().options->accept();
        });
        Action("Options1")->trigger();
    }
    // Plays the seat's turn with the move the computer would choose, ended
    // by End Turn or by a second click on the marble when it does not end
    // by itself.
    void PlayChosenMove(bool endByEndTurn) {
        const int seat = fMain->game().state().currentSeat;
        const ComputerChoice choice =
            ChooseComputerMove(fMain->game().marbles(), fMain->game().state().homeHoles, seat);
        ASSERT_TRUE(choice.marble) << "seat " << seat << " cannot move";
        TZellhopBall& marble = *choice.marble;
        const size_t before = static_cast<size_t>(ShownMarbles(*fMain));
        for (size_t i = 1; i < choice.path.size() && fMain->game().state().currentSeat == seat;
             ++i) {
            Click(marble);
            // The computer's chain may jump over the hole the marble came
            // from; a player cannot, and ends the move here.
            if (!ClickMarkerOn(*choice.path[i]))
                break;
        }
        if (static_cast<size_t>(ShownMarbles(*fMain)) != before ||
            fMain->game().state().currentSeat != seat)
            return; // won, or the turn ended by itself
        if (endByEndTurn) {
            ASSERT_TRUE(Action("aEndTurn")->isEnabled());
            Action("aEndTurn")->trigger();
        } else {
            Click(marble); // shows what is left, or ends the turn when nothing is
            if (fMain->game().state().currentSeat == seat)
                Click(marble);
        }
        ASSERT_NE(fMain->game().state().currentSeat, seat) << "the turn did not end";
    }
};

TEST_F(HotSeat, TwoPlayersPlayAWholeGameByMouse) {
    NewGame(kTwoHumans);
    EXPECT_EQ(Turn(), "It's now player BLUE turn / Turn # 1");
    EXPECT_TRUE(Part<QLabel>("lblYourTurn")->isVisible());

    // Blue jumps; jumping straight back is not allowed, so the turn ends.
    Click(Marble(kBlue, 2));
    EXPECT_EQ(ShownTargets(), (Targets{{-4, 4}, {-4, 0}}));
    EXPECT_EQ(Praise(), "Ball 2");
    ASSERT_TRUE(ClickMarkerOn(Hole(-4, 0)));
    EXPECT_EQ(At(Marble(kBlue, 2)), (LatticePoint{-4, 0}));
    EXPECT_EQ(Praise(), "");
    EXPECT_EQ(Turn(), "It's now player ORANGE turn / Turn # 1");

    // Orange looks at two marbles, the second without targets, and steps
    // with a third: a step ends the turn.
    Click(Marble(kOrange, 3));
    EXPECT_EQ(ShownTargets(), (Targets{{4, -4}, {4, -2}}));
    Click(Marble(kOrange, 1));
    EXPECT_EQ(ShownTargets(), Targets{}) << "only the second marble's targets show";
    EXPECT_EQ(Praise(), "Ball 1");
    Click(Marble(kOrange, 4));
    EXPECT_EQ(ShownTargets(), (Targets{{4, -2}, {4, 0}}));
    ASSERT_TRUE(ClickMarkerOn(Hole(4, -2)));
    EXPECT_EQ(Turn(), "It's now player BLUE turn / Turn # 2");
    EXPECT_FALSE(Action("aEndTurn")->isEnabled());

    // Blue's chain: out, across, back into the hole it started from, and
    // across again; the praise grows with each new hole only.
    Click(Marble(kBlue, 5));
    EXPECT_EQ(ShownTargets(), (Targets{{-6, 2}, {-4, 2}, {-4, -2}}));
    ASSERT_TRUE(ClickMarkerOn(Hole(-4, 2)));
    EXPECT_EQ(Praise(), "");
    EXPECT_TRUE(ShownTargets().empty());
    EXPECT_TRUE(Action("aEndTurn")->isEnabled());
    Click(Marble(kBlue, 4)); // another marble, after a move: ignored
    EXPECT_TRUE(ShownTargets().empty());
    Click(Marble(kBlue, 5));
    EXPECT_EQ(ShownTargets(), (Targets{{-4, -2}})) << "not straight back to (-6, 0)";
    ASSERT_TRUE(ClickMarkerOn(Hole(-4, -2)));
    EXPECT_EQ(Praise(), "...");
    Hop(kBlue, 5, {{-6, 0}});
    EXPECT_EQ(Praise(), "Ok");
    Hop(kBlue, 5, {{-4, 2}});
    EXPECT_EQ(Praise(), "Ok") << "landing again on a hole of the chain adds nothing";
    EXPECT_EQ(Turn(), "It's now player BLUE turn / Turn # 2");
    Click(Marble(kBlue, 5)); // shows the further jump...
    EXPECT_EQ(ShownTargets(), (Targets{{-4, -2}}));
    Click(Marble(kBlue, 5)); // ...and the second click ends the turn
    EXPECT_TRUE(ShownTargets().empty());
    EXPECT_EQ(Turn(), "It's now player ORANGE turn / Turn # 2");
    EXPECT_EQ(At(Marble(kBlue, 5)), (LatticePoint{-4, 2}));

    // Orange 3 lost its markers to another marble in turn 1 without being
    // told: its first click hides, the next one shows.
    Click(Marble(kOrange, 3));
    EXPECT_TRUE(ShownTargets().empty());
    Click(Marble(kOrange, 3));
    EXPECT_EQ(ShownTargets(), (Targets{{4, -4}, {3, -1}, {5, -1}}));
    ASSERT_TRUE(ClickMarkerOn(Hole(4, -4)));

    // With jumping back allowed, the hole just left is a target, so the
    // jump does not end the turn; End Turn does.
    SetJumpBack(true);
    EXPECT_TRUE(fMain->game().state().jumpBackAllowed);
    Hop(kBlue, 4, {{-3, -1}});
    EXPECT_EQ(Turn(), "It's now player BLUE turn / Turn # 3");
    Click(Marble(kBlue, 4));
    EXPECT_EQ(ShownTargets(), (Targets{{-5, 1}}));
    Action("aEndTurn")->trigger();
    EXPECT_TRUE(ShownTargets().empty());
    EXPECT_EQ(Turn(), "It's now player ORANGE turn / Turn # 3");

    // The rest of the game: each side plays the move the computer would.
    for (int turn = 0; turn < kTurnLimit && fMain->game().state().currentSeat != kNoSeat; ++turn) {
        PlayChosenMove(turn % 2 == 0);
        if (HasFatalFailure())
            return;
    }
    ASSERT_EQ(prompts.messages.size(), 1) << prompts.messages.join(" | ").toStdString();
    EXPECT_TRUE(
        QRegularExpression("^Player (BLUE|ORANGE) won!$").match(prompts.messages[0]).hasMatch())
        << prompts.messages[0].toStdString();
    EXPECT_TRUE(ShownMarbles(*fMain) == 0);
    for (const auto& hole : fMain->game().board().holes())
        EXPECT_EQ(hole->ball, nullptr);
    for (const PictureWidget* picture : fMain->centralWidget()->findChildren<PictureWidget*>())
        EXPECT_FALSE(picture->isVisible() && picture->objectName().startsWith("marble"))
            << picture->objectName().toStdString();
    EXPECT_EQ(fMain->game().state().currentSeat, kNoSeat);
    EXPECT_FALSE(Action("aEndTurn")->isEnabled());
    EXPECT_FALSE(Action("aNewGame")->isEnabled());
}

TEST_F(HotSeat, ClicksOutsideTheTurnsRulesAreIgnored) {
    NewGame(kTwoHumans);
    Click(Marble(kOrange, 3)); // not Orange's turn
    EXPECT_TRUE(ShownTargets().empty());
    EXPECT_EQ(fMain->game().state().selectedMarble, nullptr);

    // A remote seat's turn takes no clicks at all.
    prompts.answers = {true};
    Action("aEndGame")->trigger();
    fMain->StartOnlineGame({skRemote, skNone, skNone, skHuman, skNone, skNone}, {});
    ASSERT_EQ(fMain->game().state().phase, kPhaseRemote);
    Click(Marble(kBlue, 3));
    EXPECT_TRUE(ShownTargets().empty());
    EXPECT_EQ(Praise(), "");
}

TEST_F(HotSeat, WhileTheComputerMovesItsMarblesTakeNoClicks) {
    NewGame({skHuman, skNone, skNone, skComputer, skNone, skNone});
    // Orange's move is played inside Blue's step; its marbles are clicked
    // while it waits between two holes.
    std::vector<LatticePoint> shownDuringMove;
    bool clicked = false;
    onWait = [&](int) {
        if (clicked || fMain->game().state().currentSeat != kOrange)
            return;
        clicked = true;
        ClickOnly(Marble(kOrange, 3));
        shownDuringMove = ShownTargets();
    };
    Click(Marble(kBlue, 3));
    ASSERT_TRUE(ClickMarkerOn(Hole(-4, 4)));
    EXPECT_TRUE(clicked);
    EXPECT_TRUE(shownDuringMove.empty()) << "Orange's marble showed its targets";
    EXPECT_EQ(fMain->game().state().currentSeat, kBlue);
}

TEST_F(HotSeat, MarblesFollowTheBoardWhenTheWindowGrows) {
    NewGame(kTwoHumans);
    Click(Marble(kBlue, 3));
    fMain->resize(1000, 800);
    Settle();
    for (const auto& marble : fMain->game().marbles()) {
        const QRect picture = fMain->MarblePicture(*marble)->geometry();
        const PixelPoint centre = ScreenPos(*marble->pos, fMain->BoardRect());
        EXPECT_EQ(picture.topLeft() + QPoint(picture.width() / 2, picture.height() / 2),
                  QPoint(centre.x, centre.y));
    }
}

} // namespace
