#include "board.h"
#include "computer_player.h"
#include "marble.h"
#include "path_text.h"
#include "path_tree.h"

#include <gtest/gtest.h>
#include <string>

namespace {

struct Game {
    Board board;
    MarbleList marbles;

    explicit Game(std::initializer_list<int> colours) {
        for (int colour : colours)
            marbles.CreateColour(board.homeHole(colour), colour);
    }
    TZellhopPos& at(int r, int c) { return *board.at({r, c}); }
    TZellhopBall& marble(int colour, int number) { return *marbles.FindBall(colour, number); }
};

TEST(ComputerPlayer, BluesFirstMoveJumpsMarbleTwoTowardsTheBottomTip) {
    Game g({0, 3});
    struct {
        int number;
        double value; // kStayValue: no move
        const char* path;
    } const expected[] = {
        {0, kStayValue, "-8,0"},    {1, kStayValue, "-7,1"},  {2, 0.1846, "-6,2 -4,0"},
        {3, 0.0639, "-5,3 -4,2"},   {4, 0.0608, "-5,1 -4,0"}, {5, 0.1746, "-6,0 -4,2"},
        {6, 0.0608, "-5,-1 -4,0"},  {7, kStayValue, "-7,-1"}, {8, 0.1846, "-6,-2 -4,0"},
        {9, 0.0639, "-5,-3 -4,-2"},
    };
    for (const auto& e : expected) {
        PathTree tree;
        const MarbleSearchResult r =
            SearchMarbleExhaustive(g.marble(0, e.number), g.board.homeHoles(), tree);
        EXPECT_NEAR(r.value, e.value, 5e-5) << "marble " << e.number;
        EXPECT_EQ(PathText(tree.PathTo(r.node)), e.path) << "marble " << e.number;
    }
    const ComputerChoice choice = ChooseComputerMove(g.marbles, g.board.homeHoles(), 0);
    ASSERT_NE(choice.marble, nullptr);
    EXPECT_EQ(choice.marble->number, 2) << "ties go to the first marble in list order";
    EXPECT_EQ(PathText(choice.path), "-6,2 -4,0");
    // 1.5 * (D(O) - D(j)) with D(O) about 0.8431 and D(j) = 0.72.
    EXPECT_NEAR(choice.value, 1.5 * (0.84308437005468218 - 0.72000002861022949), 1e-15);
}

TEST(ComputerPlayer, AStepCarriesNoWeightButAJumpFromTheStartDoes) {
    Game g({0});
    PathTree tree;
    // Marble 3's step to (-4,2) beats its step to (-4,4), worth about 0.0532.
    const MarbleSearchResult r = SearchMarbleExhaustive(g.marble(0, 3), g.board.homeHoles(), tree);
    EXPECT_EQ(PathText(tree.PathTo(r.node)), "-5,3 -4,2");
    const double d = DistanceTo(g.at(-5, 3), g.at(8, 0)) - DistanceTo(g.at(-4, 2), g.at(8, 0));
    EXPECT_DOUBLE_EQ(r.value, d) << "no weight of 1.5 on a step";
}

TEST(ComputerPlayer, AFirstJumpOntoTheTargetScoresNothingButAStepOntoItScoresItsGain) {
    // Blue marble 0 at (6,2), whose only move is the jump over (7,1) onto the
    // bottom tip (8,0), its target.
    Board board;
    MarbleList marbles;
    TZellhopBall& jumper = marbles.Add(0, 0, *board.at({6, 2}));
    for (LatticePoint p : {LatticePoint{7, 1}, {5, 1}, {5, 3}, {6, 0}, {4, 0}, {4, 4}, {6, -2}})
        marbles.Add(3, 0, *board.at(p));
    PathTree tree;
    MarbleSearchResult r = SearchMarbleExhaustive(jumper, board.homeHoles(), tree);
    EXPECT_EQ(PathText(tree.PathTo(r.node)), "6,2 8,0");
    EXPECT_EQ(r.value, 0.0) << "cut back: the gain of the hole jumped from, which is the origin";

    MarbleList alone;
    TZellhopBall& stepper = alone.Add(0, 0, *board.at({7, 1}));
    PathTree tree2;
    r = SearchMarbleExhaustive(stepper, board.homeHoles(), tree2);
    EXPECT_EQ(PathText(tree2.PathTo(r.node)), "7,1 8,0");
    EXPECT_DOUBLE_EQ(r.value, DistanceTo(*board.at({7, 1}), *board.at({8, 0})));
}

TEST(ComputerPlayer, TargetsInsideAndOutsideTheTargetStarPoint) {
    Board board;
    MarbleList marbles;
    // Blue on the bottom tip and in the next hole FindTarget looks at.
    TZellhopBall& onTip = marbles.Add(0, 0, *board.at({8, 0}));
    marbles.Add(0, 1, *board.at({7, -1}));
    TZellhopBall& inside = marbles.Add(0, 2, *board.at({6, 0}));
    TZellhopBall& outside = marbles.Add(0, 3, *board.at({0, 0}));
    marbles.Add(3, 0, *board.at({7, 1})); // Orange counts as free
    EXPECT_EQ(MarbleTarget(inside, board.homeHoles()), board.at({8, 0}))
        << "inside: the tip, occupied or not";
    EXPECT_EQ(MarbleTarget(onTip, board.homeHoles()), board.at({8, 0}));
    EXPECT_EQ(MarbleTarget(outside, board.homeHoles()), board.at({7, 1}))
        << "outside: the first hole without Blue";
    EXPECT_EQ(MarbleWeight(outside), 1.0);
    EXPECT_EQ(MarbleWeight(inside), 0.5);
}

TEST(ComputerPlayer, FindTargetSearchesTheWholeStarPointAndGivesUpOnlyWhenItIsFull) {
    Board board;
    MarbleList marbles;
    const LatticePoint bottom[10] = {{8, 0}, {7, -1}, {7, 1},  {6, -2}, {6, 0},
                                     {6, 2}, {5, -3}, {5, -1}, {5, 1},  {5, 3}};
    for (int i = 0; i < 9; ++i)
        marbles.Add(0, i, *board.at(bottom[i]));
    EXPECT_EQ(FindTarget(*board.homeHole(3), 0), board.at({5, 3})) << "the last free hole";
    marbles.Add(0, 9, *board.at(bottom[9]));
    EXPECT_EQ(FindTarget(*board.homeHole(3), 0), nullptr);
}

TEST(ComputerPlayer, ASeatWithoutALegalMoveChoosesNothing) {
    Board board;
    MarbleList marbles;
    // Blue on the top tip, its two neighbours taken and the holes beyond too.
    marbles.Add(0, 0, *board.at({-8, 0}));
    for (LatticePoint p : {LatticePoint{-7, -1}, {-7, 1}, {-6, -2}, {-6, 2}})
        marbles.Add(1, 0, *board.at(p));
    const ComputerChoice choice = ChooseComputerMove(marbles, board.homeHoles(), 0);
    EXPECT_EQ(choice.marble, nullptr);
    EXPECT_TRUE(choice.path.empty());
}

} // namespace
