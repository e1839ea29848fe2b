#include "board.h"
#include "marble.h"
#include "path_tree.h"
#include "praise.h"
#include "rules.h"
#include "win.h"

#include <gtest/gtest.h>
#include <string>

namespace {

struct Position {
    Board board;
    MarbleList marbles;
    GameState state;

    TZellhopPos& at(int r, int c) {
        TZellhopPos* h = board.at({r, c});
        EXPECT_NE(h, nullptr) << r << "," << c;
        return *h;
    }
    void layOut(std::initializer_list<int> colours) {
        for (int colour : colours)
            marbles.CreateColour(board.homeHole(colour), colour);
    }
    TZellhopBall& marble(int colour, int number) { return *marbles.FindBall(colour, number); }
};

std::string Describe(const std::vector<Target>& targets) {
    std::string s;
    for (const Target& t : targets)
        s += std::to_string(t.hole->at.r) + "," + std::to_string(t.hole->at.c) + "/d" +
             std::to_string(t.direction) + " ";
    return s;
}

TEST(Marbles, EveryColourIsLaidOutInItsStarPointInTheNumberingOrder) {
    const LatticePoint expected[6][10] = {
        {{-8, 0},
         {-7, 1},
         {-6, 2},
         {-5, 3},
         {-5, 1},
         {-6, 0},
         {-5, -1},
         {-7, -1},
         {-6, -2},
         {-5, -3}},
        {{-4, 12},
         {-3, 11},
         {-2, 10},
         {-1, 9},
         {-2, 8},
         {-3, 9},
         {-3, 7},
         {-4, 10},
         {-4, 8},
         {-4, 6}},
        {{4, 12}, {4, 10}, {4, 8}, {4, 6}, {3, 7}, {3, 9}, {2, 8}, {3, 11}, {2, 10}, {1, 9}},
        {{8, 0}, {7, -1}, {6, -2}, {5, -3}, {5, -1}, {6, 0}, {5, 1}, {7, 1}, {6, 2}, {5, 3}},
        {{4, -12},
         {3, -11},
         {2, -10},
         {1, -9},
         {2, -8},
         {3, -9},
         {3, -7},
         {4, -10},
         {4, -8},
         {4, -6}},
        {{-4, -12},
         {-4, -10},
         {-4, -8},
         {-4, -6},
         {-3, -7},
         {-3, -9},
         {-2, -8},
         {-3, -11},
         {-2, -10},
         {-1, -9}},
    };
    Position p;
    p.layOut({0, 1, 2, 3, 4, 5});
    ASSERT_EQ(p.marbles.size(), 60u);
    for (size_t i = 0; i < p.marbles.size(); ++i) {
        const TZellhopBall& m = p.marbles[i];
        EXPECT_EQ(m.colour, static_cast<int>(i / 10));
        EXPECT_EQ(m.number, static_cast<int>(i % 10));
        EXPECT_EQ(m.pos->at, expected[m.colour][m.number])
            << "colour " << m.colour << " marble " << m.number;
        EXPECT_EQ(m.pos->triangle, m.colour);
        EXPECT_EQ(m.pos->ball, &m);
        EXPECT_EQ(m.prevPos, nullptr);
    }
}

TEST(Marbles, PlacingRemembersTheHoleLeftAndRemovingEmptiesTheBoard) {
    Position p;
    p.layOut({0});
    TZellhopBall& m = p.marble(0, 4);
    TZellhopPos& from = *m.pos;
    PlaceBall(m, p.at(-4, 2));
    EXPECT_EQ(from.ball, nullptr);
    EXPECT_EQ(m.prevPos, &from);
    PlaceBall(m, p.at(-4, 2)); // the same hole again: nothing changes
    EXPECT_EQ(m.prevPos, &from);
    EXPECT_EQ(p.marbles.FindBall(0, 10), nullptr);
    EXPECT_EQ(p.marbles.FindBall(1, 4), nullptr);

    p.marbles.RemoveAll();
    for (const auto& h : p.board.holes())
        EXPECT_EQ(h->ball, nullptr);
}

TEST(Rules, TargetsOfAMarble) {
    struct Case {
        const char* what;
        int colour, number;
        int32_t phase;
        bool jumpBack;
        std::function<void(Position&)> setUp;
        std::string targets;
    };
    const Case cases[] = {
        {"Blue 3 at the start: two steps, no jump", 0, 3, 0, false, {}, "-4,4/d3 -4,2/d4 "},
        {"Blue 4 at the start: two steps", 0, 4, 0, false, {}, "-4,2/d3 -4,0/d4 "},
        {"Blue 2 at the start: jumps over Blue 3 and Blue 4",
         0,
         2,
         0,
         false,
         {},
         "-4,4/d3 -4,0/d4 "},
        {"after a move only jumps remain", 0, 3, 2, false, {}, ""},
        {"jump back refused in a chain", 0, 2, 2, false,
         [](Position& p) { PlaceBall(p.marble(0, 2), p.at(-4, 0)); }, ""},
        {"jump back allowed by the option", 0, 2, 2, true,
         [](Position& p) { PlaceBall(p.marble(0, 2), p.at(-4, 0)); }, "-6,2/d1 "},
        {"an earlier hole of the chain may be reached again, not the one just left", 4, 0, 4, false,
         [](Position& p) {
             // A triangle of jumps: (0,0) -> (0,4) -> (-2,2) -> back to (0,0).
             for (LatticePoint over : {LatticePoint{0, 2}, {-1, 3}, {-1, 1}})
                 p.marbles.Add(5, 0, p.at(over.r, over.c));
             TZellhopBall& m = p.marbles.Add(4, 0, p.at(0, 0));
             PlaceBall(m, p.at(0, 4));
             PlaceBall(m, p.at(-2, 2));
         },
         "0,0/d4 "},
        {"a marble of another colour is jumped like one's own", 3, 5, 0, false,
         [](Position& p) { PlaceBall(p.marble(0, 0), p.at(5, 1)); }, "4,-2/d0 4,2/d1 "},
    };
    for (const Case& c : cases) {
        Position p;
        p.layOut({0, 1, 3});
        if (c.setUp)
            c.setUp(p);
        p.state.phase = c.phase;
        p.state.jumpBackAllowed = c.jumpBack;
        EXPECT_EQ(Describe(TargetsOf(p.marble(c.colour, c.number), p.state)), c.targets) << c.what;
    }
}

TEST(Rules, TheEnumerationResumesFromTheHolesCursor) {
    Position p;
    p.layOut({0});
    TZellhopPos& hole = *p.marble(0, 3).pos;
    int direction = -1;
    EXPECT_EQ(FirstTarget(hole, true, direction), &p.at(-4, 4));
    EXPECT_EQ(direction, 3);
    EXPECT_EQ(NextTarget(hole, true, direction), &p.at(-4, 2));
    EXPECT_EQ(direction, 4);
    EXPECT_EQ(NextTarget(hole, true, direction), nullptr);
    EXPECT_EQ(hole.cursor, 6);
}

TEST(Rules, AStepIsAMoveToANeighbour) {
    Position p;
    p.layOut({0});
    TZellhopBall& four = p.marble(0, 4);
    PlaceBall(four, p.at(-4, 2));
    EXPECT_TRUE(IsNeighbour(*four.pos, *four.prevPos)) << "a step ends the turn";
    TZellhopBall& two = p.marble(0, 2);
    PlaceBall(two, p.at(-4, 0));
    EXPECT_FALSE(IsNeighbour(*two.pos, *two.prevPos)) << "a jump does not";
}

TEST(Rules, AReceivedMoveIsReDerivedFromItsDirection) {
    struct Case {
        const char* what;
        int number, direction;
        LatticePoint lands; // {99, 99}: nothing moves
    };
    const Case cases[] = {
        {"step into an empty neighbour", 4, 3, {-4, 2}},
        {"jump over a taken neighbour", 2, 4, {-4, 0}},
        {"neighbour and the hole beyond taken", 0, 3, {99, 99}},
        {"off the board", 0, 0, {99, 99}},
        {"direction outside 0..5", 4, 6, {99, 99}},
        {"negative direction", 4, -1, {99, 99}},
    };
    for (const Case& c : cases) {
        Position p;
        p.layOut({0});
        TZellhopPos* to = ReceivedMoveDestination(p.marble(0, c.number), c.direction);
        if (c.lands.r == 99)
            EXPECT_EQ(to, nullptr) << c.what;
        else
            EXPECT_EQ(to, &p.at(c.lands.r, c.lands.c)) << c.what;
    }
}

TEST(PathTree, RecordsChainsAndAnswersWhetherAPathHoldsAHole) {
    Position p;
    PathTree tree;
    EXPECT_FALSE(tree.PathContains(PathTree::kNone, p.at(0, 0)));
    const int root = tree.AddRoot(p.at(0, 0));
    const int a = tree.AddChild(root, p.at(0, 4));
    const int sibling = tree.AddChild(root, p.at(-2, 2));
    const int b = tree.AddChild(a, p.at(0, 8));
    EXPECT_EQ(tree.Last(), b);
    EXPECT_TRUE(tree.PathContains(b, p.at(0, 0)));
    EXPECT_TRUE(tree.PathContains(b, p.at(0, 4)));
    EXPECT_FALSE(tree.PathContains(b, p.at(-2, 2))) << "a sibling is not on the path";
    EXPECT_FALSE(tree.PathContains(sibling, p.at(0, 4)));
    const std::vector<TZellhopPos*> expected = {&p.at(0, 0), &p.at(0, 4), &p.at(0, 8)};
    EXPECT_EQ(tree.PathTo(b), expected);
    tree.Clear();
    EXPECT_EQ(tree.Last(), PathTree::kNone);
}

TEST(Praise, GrowsWithTheLandingsOfTheTurn) {
    const std::pair<int, const char*> cases[] = {
        {1, ""},
        {2, "..."},
        {3, "Ok"},
        {5, "Good!"},
        {14, "Not enough messages to tell you how cool that move was."},
        {40, "Not enough messages to tell you how cool that move was."},
    };
    for (const auto& [nodes, text] : cases)
        EXPECT_EQ(Praise(PraiseIndexFor(nodes)), text) << nodes << " nodes";
    EXPECT_EQ(Praise(9), "You're in good shape today!");
}

// Blue's ten marbles moved into the bottom star point, except those listed.
void FillBottomWithBlue(Position& p, int except = -1) {
    const LatticePoint bottom[10] = {{8, 0}, {7, -1}, {7, 1},  {6, -2}, {6, 0},
                                     {6, 2}, {5, -3}, {5, -1}, {5, 1},  {5, 3}};
    for (int i = 0; i < 10; ++i)
        if (i != except)
            PlaceBall(p.marble(0, i), p.at(bottom[i].r, bottom[i].c));
}

TEST(Win, AColourWinsWhenItFillsTheOppositeStarPoint) {
    Position p;
    p.layOut({0});
    FillBottomWithBlue(p, 9);
    PlaceBall(p.marble(0, 9), p.at(4, 0)); // the tenth still in the hexagon
    EXPECT_FALSE(IsHome(p.marble(0, 0), p.marbles));
    EXPECT_EQ(FindWinner(p.board.homeHoles(), p.marbles), nullptr);

    PlaceBall(p.marble(0, 9), p.at(5, 3));
    EXPECT_TRUE(IsHome(p.marble(0, 9), p.marbles));
    EXPECT_EQ(FindWinner(p.board.homeHoles(), p.marbles), &p.marble(0, 0))
        << "the marble on the tip";
}

TEST(Win, AForeignMarbleInTheTargetKeepsAColourFromWinning) {
    Position p;
    p.layOut({3});
    for (int i = 0; i < 9; ++i)
        PlaceBall(p.marble(3, i), p.at(0, -8 + 2 * i)); // Orange 9 alone stays at (5, 3)
    p.marbles.CreateColour(p.board.homeHole(0), 0);
    FillBottomWithBlue(p, 9);
    PlaceBall(p.marble(0, 9), p.at(4, 2));
    EXPECT_FALSE(IsHome(p.marble(0, 0), p.marbles));
    EXPECT_EQ(FindWinner(p.board.homeHoles(), p.marbles), nullptr);
    EXPECT_FALSE(IsHome(p.marble(3, 9), p.marbles)) << "Orange at home is not in its target";
}

} // namespace
