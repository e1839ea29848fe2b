// Rules of the computer's search that only show deep in a chain: the jump
// back onto its own chain, stopping against an equal continuation, and the
// earlier direction on ties.  Both searches must follow them.

#include "board.h"
#include "computer_player.h"
#include "marble.h"
#include "path_text.h"
#include "path_tree.h"
#include "position_file.h"

#include <gtest/gtest.h>
#include <string>

namespace {

struct Case {
    Board board;
    MarbleList marbles;
    int seat = 0;
    explicit Case(const char* position) { seat = ReadPosition(position, board, marbles); }
    ~Case() { marbles.RemoveAll(); }
    double D(int r, int c) const { return DistanceTo(*board.at({r, c}), *board.homeHole(3)); }
};

// Both searches' choice for the seat: the path, and the value.
void ExpectChoice(const Case& c, const char* path, double value) {
    PathTree tree;
    const ComputerChoice exhaustive =
        ChooseMoveExhaustive(c.marbles, c.board.homeHoles(), c.seat, tree);
    const ComputerChoice pruned = ChooseComputerMove(c.marbles, c.board.homeHoles(), c.seat);
    for (const ComputerChoice* choice : {&exhaustive, &pruned}) {
        EXPECT_EQ(PathText(choice->path), path);
        EXPECT_DOUBLE_EQ(choice->value, value);
    }
}

TEST(ComputerPlayerRules, AJumpBackOntoItsOwnChainStopsThereWithTheUnweightedGain) {
    // Blue stands in its target star point (weight 0.5).  From (5,1) the
    // chain could only jump back over (4,0) onto (3,-1), which it has
    // landed on already: it stops at (5,1) and scores the full gain.
    const Case c("BLUE 0 5,-3\n"
                 "ORANGE 0 4,-4\nORANGE 1 6,-2\nORANGE 2 4,0\nORANGE 3 3,-5\n"
                 "ORANGE 4 3,-7\nORANGE 5 4,-2\nORANGE 6 7,-1\n"
                 "move BLUE\n");
    ExpectChoice(c, "5,-3 3,-1 5,1", c.D(5, -3) - c.D(5, 1));
}

TEST(ComputerPlayerRules, StoppingWinsAgainstAnEqualContinuation) {
    // From (6,2) the chain could jump on over (7,1) onto the tip, but that
    // is cut back to the gain of (6,2), no more than stopping there.
    const Case c("BLUE 0 4,0\nORANGE 0 5,1\nORANGE 1 7,1\nmove BLUE\n");
    ExpectChoice(c, "4,0 6,2", c.D(4, 0) - c.D(6, 2));
}

TEST(ComputerPlayerRules, AHoleReachedByTwoChainsIsReachedByTheChainOfTheEarlierDirection) {
    // (2,2) is reached by the jump in direction 3, and also through (0,4)
    // by the jump in direction 2, which comes first.
    const Case c("BLUE 0 0,0\nORANGE 0 0,2\nORANGE 1 1,1\nORANGE 2 1,3\nmove BLUE\n");
    ExpectChoice(c, "0,0 0,4 2,2", c.D(0, 0) - c.D(2, 2));
}

} // namespace
