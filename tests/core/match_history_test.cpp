// The record as a line of turns: undo and redo, hints, the steps of a
// replay, and games kept as records, opened or refused.
#include "computer_player.h"
#include "match_fixture.h"
#include "path_text.h"
#include "saved_game.h"
#include "win.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

constexpr SeatKinds kHumanVsComputer = {skHuman, skNone, skNone, skComputer, skNone, skNone};
constexpr SeatKinds kTwoHumans = {skHuman, skNone, skNone, skHuman, skNone, skNone};

class MatchHistory : public MatchTest {
  public:
    // What a player sees: whose turn, the record, and every marble's hole.
    std::string Seen() const {
        std::string seen = Turn() + "\n";
        for (const std::string& line : Record())
            seen += line + "\n";
        for (const auto& marble : match.marbles())
            seen += Word(marble->colour) + " " + std::to_string(marble->number) + " " +
                    HoleText(marble->pos->at) + "\n";
        return seen;
    }
    // Blue's move, a step, and the computer's answer.
    void BlueMoves(int number, LatticePoint to) {
        const size_t turns = match.record().size();
        Hop(kBlue, number, to);
        ASSERT_EQ(match.record().size(), turns + 2) << "Orange should have answered";
    }
};

TEST_F(MatchHistory, UndoGoesBackToTheLastHumanTurnAndRedoReturnsWithoutShowingTheComputer) {
    Start(kHumanVsComputer);
    std::vector<std::string> starts = {Seen()}; // at the start of each of Blue's turns
    BlueMoves(3, {-4, 4});
    starts.push_back(Seen());
    BlueMoves(4, {-4, 2});
    starts.push_back(Seen());
    ASSERT_EQ(match.LineLength(), 4);
    EXPECT_FALSE(match.CanRedo());

    const int waits = view.waits;
    const struct {
        const char* what;
        void (Match::*act)();
        int start; // the Blue turn whose start is shown afterwards
        bool canUndo, canRedo;
    } steps[] = {
        {"undo: Orange's answer and Blue's second move taken back", &Match::Undo, 1, true, true},
        {"undo again: back to the first turn", &Match::Undo, 0, false, true},
        {"nothing further back", &Match::Undo, 0, false, true},
        {"redo: Blue's move and Orange's answer", &Match::Redo, 1, true, true},
        {"redo to the end of the line", &Match::Redo, 2, true, false},
        {"nothing further forward", &Match::Redo, 2, true, false},
    };
    for (const auto& s : steps) {
        (match.*s.act)();
        EXPECT_EQ(Seen(), starts[s.start]) << s.what;
        EXPECT_EQ(match.CanUndo(), s.canUndo) << s.what;
        EXPECT_EQ(match.CanRedo(), s.canRedo) << s.what;
        EXPECT_EQ(match.LineLength(), 4) << s.what;
    }
    EXPECT_EQ(view.waits, waits) << "nothing is shown hole by hole";

    // A move of one's own after an undo starts a new branch.
    match.Undo();
    BlueMoves(4, {-4, 0});
    EXPECT_FALSE(match.CanRedo());
    EXPECT_EQ(Record().front(), "1 BLUE 3 -5,3 -4,4");
    EXPECT_EQ(Record()[2], "2 BLUE 4 -5,1 -4,0");
    EXPECT_EQ(match.LineLength(), 4);
}

TEST_F(MatchHistory, UndoTakesBackTheHopsOfTheTurnUnderWayAndThePreviousPlayersTurn) {
    Start(kTwoHumans);
    match.SetJumpBackAllowed(true); // so that Blue's jump does not end the turn
    const std::string first = Seen();
    Hop(kBlue, 2, {-4, 0});
    ASSERT_EQ(Turn(), "1 BLUE phase 2");
    match.Undo();
    EXPECT_EQ(Seen(), first) << "the hops are gone, the turn starts again";
    EXPECT_FALSE(match.CanRedo()) << "hops of a turn under way are not redone";
    EXPECT_FALSE(match.CanUndo());

    // The rules read the rebuilt marbles as they read a fresh game: a
    // chain that lands and may not jump straight back.
    match.SetJumpBackAllowed(false);
    Hop(kBlue, 2, {-4, 0});
    EXPECT_EQ(Turn(), "1 ORANGE phase 0") << "only the way back was left";
    EXPECT_EQ(Marble(kBlue, 2).prevPos->at, (LatticePoint{-6, 2}));

    // Hot seat: Orange's undo takes back Blue's last turn.
    match.Undo();
    EXPECT_EQ(Seen(), first);
}

TEST_F(MatchHistory, UndoAfterAWinBringsTheGameBack) {
    Start(kHumanVsComputer);
    match.ReplaceMarbles({{0, 0, {8, 0}},
                          {0, 1, {7, -1}},
                          {0, 2, {7, 1}},
                          {0, 3, {6, -2}},
                          {0, 4, {6, 0}},
                          {0, 5, {6, 2}},
                          {0, 6, {5, -3}},
                          {0, 7, {5, -1}},
                          {0, 8, {5, 3}},
                          {0, 9, {4, 0}},
                          {3, 0, {-8, 0}}});
    const std::string before = Seen();
    Hop(kBlue, 9, {5, 1});
    ASSERT_EQ(match.winner(), kBlue);
    ASSERT_TRUE(match.marbles().empty());
    ASSERT_TRUE(match.CanUndo());
    match.Undo();
    EXPECT_EQ(Seen(), before);
    EXPECT_EQ(match.winner(), -1);
    match.Redo();
    EXPECT_EQ(match.winner(), kBlue) << "redone, the position is the won one";
    EXPECT_EQ(match.marbles().size(), 11u) << "a redone win shows its position";
}

TEST_F(MatchHistory, NothingIsTakenBackOnlineOrWithNoGame) {
    const struct {
        const char* what;
        std::function<void(MatchHistory&)> play;
    } cases[] = {
        {"a remote player takes part",
         [](MatchHistory& t) {
             t.Start({skHuman, skNone, skNone, skRemote, skNone, skNone}, {0, 0, 0, 1});
             t.Hop(kBlue, 3, {-4, 4});
             t.match.RemoteMove(1, 4, 0);
             t.match.RemoteEndTurn(1);
         }},
        {"the game was ended",
         [](MatchHistory& t) {
             t.Start(kTwoHumans);
             t.Hop(kBlue, 3, {-4, 4});
             t.match.EndGame();
         }},
    };
    for (const auto& c : cases) {
        c.play(*this);
        const std::string seen = Seen();
        EXPECT_FALSE(match.CanUndo()) << c.what;
        EXPECT_FALSE(match.CanGoBack()) << c.what;
        match.Undo();
        match.StepBack();
        EXPECT_EQ(Seen(), seen) << c.what;
        match.EndGame();
    }
}

TEST_F(MatchHistory, NothingIsTakenBackNorHintedWhileTheComputerMoves) {
    Start(kHumanVsComputer);
    int allowed = 0;
    view.onWait = [&] {
        allowed += match.CanUndo() + match.CanRedo() + match.CanGoBack() + match.HintAvailable();
        match.Undo();
        match.StepBack();
        match.GoToStart();
    };
    Hop(kBlue, 3, {-4, 4});
    EXPECT_EQ(allowed, 0);
    EXPECT_EQ(Record(), (Lines{"1 BLUE 3 -5,3 -4,4", "1 ORANGE 2 6,-2 4,0", "2 BLUE pass"}));
}

TEST_F(MatchHistory, AHintIsTheClassicComputersMoveAndTheRecordNotesIt) {
    Start(kHumanVsComputer);
    Hop(kBlue, 3, {-4, 4});
    const ComputerChoice classic =
        ChooseComputerMove(match.marbles(), match.state().homeHoles, kBlue);
    ASSERT_TRUE(classic.marble);
    const std::string seen = Seen();
    match.ClickMarble(Marble(kBlue, 5)); // pins shown: the hint replaces them
    const std::vector<TZellhopPos*> hint = match.TakeHint();
    EXPECT_EQ(PathText(hint), PathText(classic.path));
    EXPECT_EQ(Seen(), seen) << "nothing moved";
    EXPECT_TRUE(match.ShownTargets().empty());
    const TurnRecord& turn = match.record().back();
    EXPECT_EQ(HintLine(turn), "hint 2 BLUE " + std::to_string(classic.marble->number) + " " +
                                  PathText(classic.path));

    // Kept in the record: the turn played after it carries the hint.
    Hop(kBlue, 4, {-4, 2});
    EXPECT_EQ(match.Line()[2].hint.number, classic.marble->number);
    EXPECT_NE(SavedGameText(match.Saved()).find("\nhint 2 BLUE "), std::string::npos);

    // No hint once the human has moved, or with no game.
    Start(kTwoHumans);
    match.SetJumpBackAllowed(true);
    Hop(kBlue, 2, {-4, 0});
    ASSERT_EQ(match.state().phase, kPhaseMoveStep);
    EXPECT_FALSE(match.HintAvailable());
    EXPECT_TRUE(match.TakeHint().empty());
    match.EndGame();
    EXPECT_TRUE(match.TakeHint().empty());
}

// The final position of a line, worked out without the game model: every
// marble from its layout hole to the last hole of each of its moves.
std::string FinalPosition(const SeatKinds& kinds, const std::vector<TurnRecord>& line) {
    const Board board;
    MarbleList marbles;
    for (int colour = 0; colour < kColours; ++colour)
        if (kinds[colour] != skNone)
            marbles.CreateColour(board.homeHole(colour), colour);
    for (const TurnRecord& turn : line)
        if (turn.number >= 0)
            PlaceBall(*marbles.FindBall(turn.seat, turn.number), *board.at(turn.holes.back()));
    const std::string text = PositionText(marbles, 0);
    marbles.RemoveAll();
    return text;
}

TEST_F(MatchHistory, ARecordOpensAtItsLastPositionAndStepsThroughEveryTurnHopByHop) {
    Match played;
    for (int colour : {kBlue, kOrange})
        played.SetSeat(colour, skComputer);
    played.NewGame();
    played.NextTurn();
    MatchRunner(played).Run(); // to the win, as fast as the search
    ASSERT_GE(played.winner(), 0);
    const SavedGame record = ReadSavedGame(SavedGameText(played.Saved()));
    const std::string final = FinalPosition(record.kinds, record.turns);

    match.OpenSavedGame(record);
    EXPECT_EQ(match.winner(), played.winner());
    EXPECT_EQ(PositionText(match.marbles(), 0), final) << "the won position stays shown";
    EXPECT_FALSE(match.CanGoForward());
    EXPECT_EQ(view.waits, 0);

    match.GoToStart();
    EXPECT_EQ(match.PlayedTurns(), 0);
    EXPECT_EQ(Turn(), "1 BLUE phase 0");
    EXPECT_TRUE(match.Reviewing());
    EXPECT_EQ(match.winner(), -1);
    EXPECT_EQ(Marble(kBlue, 2).pos->at, (LatticePoint{-6, 2}));

    // Each step shows one turn, a wait before and after each of its holes.
    for (size_t i = 0; i < record.turns.size(); ++i) {
        const int waits = view.waits;
        match.StepForward();
        Drive();
        EXPECT_EQ(MoveLine(match.record()[i]), MoveLine(record.turns[i]));
        const size_t holes = record.turns[i].holes.size();
        ASSERT_EQ(view.waits - waits, static_cast<int>(holes ? holes + 1 : 0)) << i;
    }
    EXPECT_EQ(match.winner(), played.winner());
    EXPECT_EQ(PositionText(match.marbles(), 0), final);
    EXPECT_FALSE(match.Reviewing());

    // Back one step and to the end again; back to the start and to the end.
    match.StepBack();
    EXPECT_EQ(match.Ahead().size(), 1u);
    EXPECT_EQ(match.winner(), -1);
    match.GoToEnd();
    EXPECT_EQ(PositionText(match.marbles(), 0), final);
    EXPECT_EQ(SavedGameText(match.Saved()), SavedGameText(record));
}

TEST_F(MatchHistory, InAReplayTheComputerWaitsAndAHumansMoveStartsANewBranch) {
    Start(kHumanVsComputer);
    Hop(kBlue, 3, {-4, 4});
    Hop(kBlue, 4, {-4, 2});
    const std::string end = Seen();
    const auto stepForward = [this] {
        match.StepForward();
        Drive();
    };
    match.GoToStart();
    stepForward(); // Blue's move; Orange's turn begins and waits
    EXPECT_EQ(Turn(), "1 ORANGE phase 0");
    EXPECT_FALSE(match.HumanMayMove()) << "the computer's marbles are not the player's";
    stepForward();
    stepForward();
    stepForward(); // the last recorded turn: the line is live again
    EXPECT_EQ(Seen(), end);

    match.GoToStart();
    stepForward();
    stepForward();
    ASSERT_EQ(Turn(), "2 BLUE phase 0");
    Hop(kBlue, 4, {-4, 0}); // a new branch: Orange answers at once
    EXPECT_EQ(Turn(), "3 BLUE phase 0");
    EXPECT_FALSE(match.Reviewing());
    EXPECT_EQ(Record()[2], "2 BLUE 4 -5,1 -4,0");
}

TEST_F(MatchHistory, ARecordThatDoesNotReplayIsRefusedByLineAndChangesNothing) {
    const std::string header = "seats H--C--\njumpback 0\n";
    const struct {
        std::string text;
        const char* message;
    } cases[] = {
        {header + "1 ORANGE pass\n", "line 3: turn 1 BLUE comes here, not 1 ORANGE"},
        {header + "1 BLUE pass\n2 BLUE pass\n", "line 4: turn 1 ORANGE comes here, not 2 BLUE"},
        {header + "1 BLUE 2 -6,0 -4,0\n", "line 3: BLUE 2 stands on -6,2"},
        {header + "1 BLUE 0 -8,0 -7,1\n", "line 3: BLUE 0 cannot move from -8,0 to -7,1"},
        {header + "1 BLUE 3 -5,3 -4,4 -3,5\n", "line 3: BLUE 3 cannot move from -4,4 to -3,5"},
        {header + "1 BLUE 2 -6,2 -4,0 -6,2\n", "line 3: BLUE 2 cannot move from -4,0 to -6,2"},
        {"seats H-----\njumpback 0\n1 BLUE 2 -6,2 -4,0\n2 BLUE 9 -5,-3 -4,-4\n"
         "hint 3 RED 0 -4,12 -3,11\n",
         "line 5: the hint is not for the turn that comes next"},
    };
    Start(kTwoHumans);
    Hop(kBlue, 3, {-4, 4});
    const std::string seen = Seen();
    for (const auto& c : cases) {
        try {
            match.OpenSavedGame(ReadSavedGame(c.text));
            ADD_FAILURE() << "opened: " << c.text;
        } catch (const LineError& e) {
            EXPECT_STREQ(e.what(), c.message) << c.text;
        }
        EXPECT_EQ(Seen(), seen) << c.text;
    }
    // Jumping back is judged by the record's own rule.
    const std::string back = "1 BLUE 2 -6,2 -4,0 -6,2\n";
    EXPECT_NO_THROW(Match::CheckSavedGame(ReadSavedGame("seats H--C--\njumpback 1\n" + back)));
}

TEST_F(MatchHistory, AnOpenedRecordGivesRemoteAndOpenSeatsToTheComputerAndPlaysOn) {
    // Blue's move was a remote player's (taken as it came); Orange is open:
    // the computer answers at once, and the human seat waits.
    const SavedGame record = ReadSavedGame("seats R--O-H\njumpback 0\n1 BLUE 2 -6,2 -4,0\n");
    match.OpenSavedGame(record);
    Drive();
    EXPECT_EQ(match.Kinds(), (SeatKinds{skComputer, skNone, skNone, skComputer, skNone, skHuman}));
    EXPECT_EQ(Record().size(), 3u);
    EXPECT_EQ(Record()[1].substr(0, 9), "1 ORANGE ");
    EXPECT_EQ(Turn(), "1 YELLOW phase 0");
    EXPECT_EQ(match.Saved().kinds, record.kinds) << "kept as they were played";
}

} // namespace
