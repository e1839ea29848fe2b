#include "self_play.h"

#include <gtest/gtest.h>
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

} // namespace
