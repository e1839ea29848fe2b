// A game that runs on several programs: a program that comes (back) into it
// takes it up from the host's record, a hostile record changes nothing, and
// a seat goes back to its player at a turn every program begins alike.
#include "match_fixture.h"
#include "saved_game.h"

#include <gtest/gtest.h>

namespace {

constexpr PlayerId kHostPlayer = 1;
constexpr PlayerId kAnn = 2;

// Where every marble stands and whose turn it is: what must be the same on
// every program.
std::string Position(const Match& match) {
    std::string text = std::to_string(match.state().turnNumber) + " " +
                       std::to_string(match.state().currentSeat) + "\n";
    for (const auto& marble : match.marbles())
        text += Word(marble->colour) + std::to_string(marble->number) + " " +
                HoleText(marble->pos->at) + "\n";
    return text;
}

class RunningGame : public MatchTest {
  public:
    // The host: Blue its human, Red the computer, Orange Ann's.
    void StartHost() {
        Start({skHuman, skComputer, skNone, skRemote, skNone, skNone}, {0, 0, 0, kAnn});
    }
    // What the host sends a newcomer, and the newcomer's game from it: the
    // humans are remote players there.
    void Join(Match& newcomer) {
        newcomer.JoinRunningGame(ReadSavedGame(SavedGameText(match.Saved())), match.HopsUnderWay(),
                                 {skRemote, skComputer, skNone, skRemote, skNone, skNone},
                                 {kHostPlayer, 0, 0, kAnn});
        MatchRunner(newcomer).Run();
    }
};

TEST_F(RunningGame, ANewcomerTakesUpTheHostsPositionAndKeepsItThroughTheNextMoves) {
    StartHost();
    Hop(kBlue, 3, {-4, 4}); // Red answers
    match.RemoteMove(kAnn, 4, 0);
    match.RemoteEndTurn(kAnn);
    Drive();
    match.SetJumpBackAllowed(true); // the jump does not end the turn
    Hop(kBlue, 2, {-4, 0});         // its hop is under way when the newcomer comes
    const TurnRecord underWay = match.HopsUnderWay();

    // Twice: in Blue's turn under way, and once the turn is over.
    for (int pass = 0; pass < 2; ++pass) {
        Match newcomer;
        Join(newcomer);
        EXPECT_EQ(Position(newcomer), Position(match)) << pass;
        EXPECT_EQ(SavedGameText(newcomer.Saved()).substr(13),
                  SavedGameText(match.Saved()).substr(13))
            << "the same turns";
        if (pass == 0) {
            ASSERT_EQ(underWay.holes.size(), 2u);
            EXPECT_EQ(newcomer.state().phase, kPhaseRemote);
            EXPECT_EQ(newcomer.HopsUnderWay().holes, underWay.holes);
            // The host's human ends his turn; the newcomer hears it from him.
            match.ClickMarble(Marble(kBlue, 2));
            match.ClickMarble(Marble(kBlue, 2));
            Drive();
            newcomer.RemoteEndTurn(kHostPlayer);
            MatchRunner(newcomer).Run();
            EXPECT_EQ(Position(newcomer), Position(match));
        }
    }
}

TEST_F(RunningGame, AHostileRecordIsRefusedWithItsLineAndChangesNothing) {
    const std::string header = "seats H--R--\njumpback 0\n";
    const TurnRecord none;
    const struct {
        std::string text;
        TurnRecord underWay;
        const char* message;
    } cases[] = {
        {header + "1 ORANGE pass\n", none, "line 3: turn 1 BLUE comes here, not 1 ORANGE"},
        {header + "1 BLUE pass\n1 RED 0 -4,12 -3,11\n", none,
         "line 4: turn 1 ORANGE comes here, not 1 RED"},
        {header + "1 BLUE 3 -5,3 -4,4 -3,5\n", none,
         "line 3: BLUE 3 cannot move from -4,4 to -3,5"},
        {header + "1 BLUE pass\n", TurnRecord{2, kBlue, 3, {{-5, 3}, {-4, 4}}, {}},
         "the turn under way is not the turn that comes next"},
        {header + "1 BLUE pass\n", TurnRecord{1, kOrange, 4, {{5, -1}, {1, 1}}, {}},
         "the turn under way: ORANGE 4 cannot move from 5,-1 to 1,1"},
        {header + "1 BLUE pass\n", TurnRecord{1, kOrange, 4, {{4, -2}, {3, -1}}, {}},
         "the turn under way: ORANGE 4 stands on 5,-1"},
    };
    Start({skHuman, skNone, skNone, skRemote, skNone, skNone}, {0, 0, 0, kAnn});
    Hop(kBlue, 3, {-4, 4});
    const std::string before = Position(match);
    const SeatKinds kinds = match.Kinds();
    for (const auto& c : cases) {
        try {
            match.JoinRunningGame(ReadSavedGame(c.text), c.underWay, kinds, {0, 0, 0, kAnn});
            ADD_FAILURE() << "taken: " << c.text;
        } catch (const LineError& e) {
            // As a player is told: the record's line, or what is wrong
            // with the turn under way.
            EXPECT_EQ(e.line() > 0 ? std::string(e.what()) : e.reason(), c.message) << c.text;
        }
        EXPECT_EQ(Position(match), before) << c.text;
    }
}

// Two programs of one game, one a computer turn ahead of the other when
// they learn that Orange goes back to Ann: both let the computer play
// Orange up to the turn the host named, and wait for Ann from there.
TEST_F(RunningGame, ASeatGoesBackToItsPlayerAtTheTurnEveryProgramBeginsAlike) {
    const SeatKinds kinds = {skHuman, skComputer, skNone, skOpen, skNone, skNone};
    Match behind, ahead;
    for (Match* m : {&behind, &ahead}) {
        m->SetKinds(kinds);
        m->NewGame();
        m->NextTurn();
    }
    const auto blueSteps = [](Match& m, int number, LatticePoint to) {
        m.ClickMarble(*m.FindBall(kBlue, number));
        m.ClickTarget(*m.board().at(to));
    };
    blueSteps(behind, 3, {-4, 4});
    blueSteps(ahead, 3, {-4, 4});
    MatchRunner(ahead).Run(1); // Red played; Orange's turn is next there

    const Match::TurnPlace from = behind.NextTurnOf(kOrange, {kBlue, 2});
    EXPECT_EQ(from.turnNumber, 2);
    for (Match* m : {&behind, &ahead}) {
        m->ReturnSeat(kOrange, skRemote, kAnn, from);
        m->RemoteMove(kAnn, 4, 0); // she moves as soon as she can: it waits
        m->RemoteEndTurn(kAnn);
        MatchRunner(*m).Run();
        EXPECT_EQ(m->seat(kOrange).kind, skOpen) << "not before its turn";
        EXPECT_EQ(m->state().currentSeat, kBlue);
    }
    blueSteps(behind, 4, {-4, 2});
    blueSteps(ahead, 4, {-4, 2});
    for (Match* m : {&behind, &ahead}) {
        MatchRunner(*m).Run();
        EXPECT_EQ(m->seat(kOrange).kind, skRemote);
        EXPECT_EQ(m->seat(kOrange).player, kAnn);
        EXPECT_EQ(m->state().currentSeat, kBlue) << "her move and end of turn were played";
    }
    EXPECT_EQ(SavedGameText(behind.Saved()), SavedGameText(ahead.Saved()));
    EXPECT_EQ(Position(behind), Position(ahead));
}

} // namespace
