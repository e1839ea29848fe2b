#include "board_tables.h"
#include "self_play.h"

#include <gtest/gtest.h>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Play(const char* seats, int turns) {
    SelfPlay game(ParseSeats(seats));
    std::vector<std::string> lines;
    while (game.winner() < 0 && game.turnNumber() <= turns)
        lines.push_back(MoveLine(game.PlayTurn()));
    return lines;
}

TEST(SelfPlay, TurnsPassInColourOrderAndTheTurnNumberGrowsWhenTheTurnWraps) {
    const std::vector<std::string> lines = Play("-C--C-", 2);
    ASSERT_EQ(lines.size(), 4u);
    const char* expected[] = {"1 RED ", "1 GREEN ", "2 RED ", "2 GREEN "};
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].rfind(expected[i], 0), 0u) << lines[i];
}

TEST(SelfPlay, BluesFirstMoveIsMarbleTwosJumpHoleByHole) {
    EXPECT_EQ(Play("C--C--", 1).front(), "1 BLUE 2 -6,2 -4,0");
}

TEST(SelfPlay, TheSameSeatsPlayTheSameGame) {
    EXPECT_EQ(Play("CCCCCC", 20), Play("CCCCCC", 20));
}

TEST(SelfPlay, AMoveLineNamesEveryHoleAndASeatWithoutMovePasses) {
    struct {
        PlayedTurn played;
        const char* line;
    } const cases[] = {
        {{12, 4, 7, {{2, -8}, {0, -6}, {-2, -4}}}, "12 GREEN 7 2,-8 0,-6 -2,-4"},
        {{3, 5, 0, {{-4, -12}, {-4, -10}}}, "3 YELLOW 0 -4,-12 -4,-10"},
        {{9, 1, -1, {}}, "9 RED pass"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MoveLine(c.played), c.line);
}

TEST(SelfPlay, ASeatWithoutALegalMovePassesAndTheTurnGoesOn) {
    // Blue boxed in on its tip; Red free to move.
    SelfPlay game("BLUE 0 -8,0\n"
                  "RED 0 -7,-1\nRED 1 -7,1\nRED 2 -6,-2\nRED 3 -6,2\n"
                  "move BLUE\n");
    EXPECT_EQ(MoveLine(game.PlayTurn()), "1 BLUE pass");
    EXPECT_EQ(game.currentSeat(), 1);
    EXPECT_EQ(game.turnNumber(), 1);
    EXPECT_NE(MoveLine(game.PlayTurn()), "1 RED pass");
    EXPECT_EQ(game.currentSeat(), 0);
    EXPECT_EQ(game.turnNumber(), 2);
}

TEST(SelfPlay, TheLastMarbleIntoTheStarPointWinsAndEndsTheGame) {
    // Nine Blue marbles in the bottom star point; marble 9 steps into the
    // last free hole (5,3) from (4,4).
    SelfPlay game("BLUE 0 8,0\nBLUE 1 7,-1\nBLUE 2 7,1\nBLUE 3 6,-2\nBLUE 4 6,0\n"
                  "BLUE 5 6,2\nBLUE 6 5,-3\nBLUE 7 5,-1\nBLUE 8 5,1\nBLUE 9 4,4\n"
                  "ORANGE 0 -8,0\n"
                  "move BLUE\n");
    EXPECT_EQ(MoveLine(game.PlayTurn()), "1 BLUE 9 4,4 5,3");
    EXPECT_EQ(game.winner(), 0);
    EXPECT_EQ(game.currentSeat(), 0) << "the turn stays with the winner";
}

TEST(SelfPlay, SeatsAreSixCharactersOfCAndDash) {
    for (const char* bad : {"", "C--C-", "C--C---", "c--c--", "C--H--", "------"})
        EXPECT_THROW(ParseSeats(bad), std::invalid_argument) << bad;
    const SeatsTakingPart seats = ParseSeats("C-C--C");
    EXPECT_EQ(seats, (SeatsTakingPart{true, false, true, false, false, true}));
}

TEST(SelfPlay, SeatsNameALevelOrNone) {
    struct {
        const char* kinds;
        const char* read; // as written back; empty: refused
    } const cases[] = {
        {"C--C--", "C--C--"}, {"S--E--", "S--E--"}, {"SCCCCC", "SCCCCC"}, {"-E----", "-E----"},
        {"------", ""},       {"C--X--", ""},       {"s--C--", ""},       {"C--C-", ""},
    };
    for (const auto& c : cases) {
        if (*c.read)
            EXPECT_EQ(SeatLevelsText(ParseSeatLevels(c.kinds)), c.read);
        else
            EXPECT_THROW(ParseSeatLevels(c.kinds), std::invalid_argument) << c.kinds;
    }
}

TEST(SelfPlay, ClassicSeatsByLevelPlayTheGameOfClassicSeats) {
    SelfPlay byLevel(ParseSeatLevels("CC-CC-"));
    std::vector<std::string> lines;
    while (byLevel.winner() < 0 && byLevel.turnNumber() <= 15)
        lines.push_back(MoveLine(byLevel.PlayTurn()));
    EXPECT_EQ(lines, Play("CC-CC-", 15));
}

// An opening: the start, then three random legal moves of every seat, the
// same for the same seed and opening on every run and machine.
TEST(Tournament, OpeningsAreSeededAndDifferFromOneAnother) {
    const SeatLevels levels = ParseSeatLevels("S-C-E-");
    const std::vector<PlacedMarble> first = Opening(levels, 5, 1);
    ASSERT_EQ(first.size(), 30u);
    std::set<std::pair<int, int>> holes;
    for (const PlacedMarble& m : first)
        holes.insert({m.at.r, m.at.c});
    EXPECT_EQ(holes.size(), 30u) << "one marble a hole";
    const auto text = [](const std::vector<PlacedMarble>& position) {
        std::string s;
        for (const PlacedMarble& m : position)
            s += std::to_string(m.colour) + "/" + std::to_string(m.number) + " " +
                 std::to_string(m.at.r) + "," + std::to_string(m.at.c) + "\n";
        return s;
    };
    EXPECT_EQ(text(Opening(levels, 5, 1)), text(first));
    EXPECT_NE(text(Opening(levels, 5, 2)), text(first));
    EXPECT_NE(text(Opening(levels, 6, 1)), text(first));
    const SelfPlay start(levels);
    std::string startText;
    for (const auto& m : start.marbles())
        startText += std::to_string(m->colour) + "/" + std::to_string(m->number) + " " +
                     std::to_string(m->pos->at.r) + "," + std::to_string(m->pos->at.c) + "\n";
    EXPECT_NE(text(first), startText);
}

TEST(Tournament, EachOpeningIsPlayedTwiceWithTheLevelsMovedOnOneSeat) {
    TournamentOptions options;
    options.levels = ParseSeatLevels("S-C-C-");
    options.openings = 1;
    options.seed = 2;
    options.maxTurns = 12;
    const auto play = [&] {
        Tournament tournament(options);
        std::vector<std::string> lines;
        for (TournamentGame game; tournament.PlayNext(game);)
            lines.push_back(GameLine(game));
        for (const LevelFigures& figures : tournament.figures()) {
            EXPECT_EQ(figures.games, 2) << LevelName(figures.level);
            EXPECT_FALSE(figures.moveSeconds.empty());
        }
        return lines;
    };
    const std::vector<std::string> lines = play();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "game 1 S-C-C- opening 1: no winner after 12 turns");
    EXPECT_EQ(lines[1], "game 2 C-S-C- opening 1: no winner after 12 turns");
    EXPECT_EQ(play(), lines) << "the same games on every run";
}

TEST(Tournament, AFiguresLineGivesTheWinShareAndTheMoveTimes) {
    const LevelFigures figures{ComputerLevel::kStrong, 200, 183, {0.012, 0.240, 0.004}};
    EXPECT_EQ(FiguresLine(figures),
              "S wins 183 of 200 games (91.5%), median move 12 ms, worst 240 ms");
    const LevelFigures quick{ComputerLevel::kClassic, 3, 0, {0.00004, 0.0031}};
    EXPECT_EQ(FiguresLine(quick), "C wins 0 of 3 games (0.0%), median move 3.1 ms, worst 3.1 ms");
}

} // namespace
