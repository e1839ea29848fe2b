#include "board.h"

#include <gtest/gtest.h>
#include <set>

namespace {

const Board& TheBoard() {
    static const Board board;
    return board;
}

TZellhopPos& At(int r, int c) {
    TZellhopPos* h = TheBoard().at({r, c});
    EXPECT_NE(h, nullptr) << r << "," << c;
    return *h;
}

TEST(Board, HasTheHolesOfTheStarRowByRow) {
    const int expectedPerRow[17] = {1, 2, 3, 4, 13, 12, 11, 10, 9, 10, 11, 12, 13, 4, 3, 2, 1};
    int perRow[17] = {};
    std::set<std::pair<int, int>> seen;
    for (const auto& h : TheBoard().holes()) {
        ++perRow[h->at.r + 8];
        EXPECT_TRUE(IsOnBoard(h->at));
        EXPECT_TRUE(seen.insert({h->at.r, h->at.c}).second) << "hole built twice";
    }
    EXPECT_EQ(TheBoard().holes().size(), 121u);
    for (int r = 0; r < 17; ++r)
        EXPECT_EQ(perRow[r], expectedPerRow[r]) << "row " << r - 8;
}

TEST(Board, LinksEveryLatticeNeighbourBothWays) {
    for (const auto& h : TheBoard().holes())
        for (int d = 0; d < 6; ++d) {
            const LatticePoint p = Step(h->at, d);
            TZellhopPos* n = h->neighbour[d];
            ASSERT_EQ(n != nullptr, IsOnBoard(p)) << h->at.r << "," << h->at.c << " d" << d;
            if (n) {
                EXPECT_EQ(n->at, p);
                EXPECT_EQ(n->neighbour[Opposite(d)], h.get());
            }
        }
}

TEST(Board, TrianglesFollowTheStarPoints) {
    int count[7] = {};
    for (const auto& h : TheBoard().holes()) {
        ++count[h->triangle];
        EXPECT_EQ(h->triangle, TriangleOf(h->at)) << h->at.r << "," << h->at.c;
    }
    for (int t = 0; t < 6; ++t)
        EXPECT_EQ(count[t], 10) << "triangle " << t;
    EXPECT_EQ(count[kCentralHexagon], 61);
}

TEST(Board, TipsAreTheHomeHoles) {
    struct {
        int triangle, r, c;
        float x, y;
    } const tips[] = {
        {0, -8, 0, 0.5f, 0.02f}, {1, -4, 12, 0.9323f, 0.26f}, {2, 4, 12, 0.9323f, 0.74f},
        {3, 8, 0, 0.5f, 0.98f},  {4, 4, -12, 0.0677f, 0.74f}, {5, -4, -12, 0.0677f, 0.26f},
    };
    for (const auto& t : tips) {
        const TZellhopPos* tip = TheBoard().homeHole(t.triangle);
        ASSERT_NE(tip, nullptr);
        EXPECT_EQ(tip->at, (LatticePoint{t.r, t.c})) << "triangle " << t.triangle;
        EXPECT_EQ(tip->triangle, t.triangle);
        EXPECT_NEAR(tip->x, t.x, 1e-4);
        EXPECT_NEAR(tip->y, t.y, 1e-4);
    }
}

TEST(Board, CoordinatesFollowTheLatticeToTheLastBitsOfASingle) {
    for (const auto& h : TheBoard().holes()) {
        EXPECT_NEAR(h->x, 0.5 + 0.036025 * h->at.c, 1e-6);
        EXPECT_NEAR(h->y, 0.5 + 0.06 * h->at.r, 1e-6);
    }
    // Accumulated along the building path, these differ from the lattice
    // formula in their last bits; the computer's tie-breaks rely on them.
    EXPECT_EQ(At(-6, 2).y, 0.139999986f);
    EXPECT_EQ(At(8, 0).y, 0.980000019f);
    EXPECT_EQ(At(-4, 12).x, 0.932299852f);
    EXPECT_EQ(At(-5, -3).x, 0.391925037f); // the lattice formula gives 0.391925007f
}

TEST(Board, NeighboursAndLandingsOfTheEdgeCases) {
    const TZellhopPos& top = At(-8, 0);
    EXPECT_EQ(top.neighbour[3], &At(-7, 1));
    EXPECT_EQ(top.neighbour[4], &At(-7, -1));
    for (int d : {0, 1, 2, 5})
        EXPECT_EQ(top.neighbour[d], nullptr) << d;
    EXPECT_NEAR(top.neighbour[3]->x, 0.536, 1e-3);
    EXPECT_NEAR(top.neighbour[3]->y, 0.08, 1e-6);

    const TZellhopPos& centre = At(0, 0);
    for (int d = 0; d < 6; ++d) {
        ASSERT_NE(centre.neighbour[d], nullptr);
        EXPECT_EQ(centre.neighbour[d]->triangle, kCentralHexagon);
    }

    const TZellhopPos& redTip = At(-4, 12);
    for (int d = 0; d < 6; ++d)
        EXPECT_EQ(redTip.neighbour[d] != nullptr, d == 4 || d == 5) << d;
    EXPECT_EQ(At(-4, 4).triangle, kCentralHexagon);
    EXPECT_EQ(At(-4, 4).neighbour[2], &At(-4, 6));
    EXPECT_EQ(At(-4, 6).triangle, 1);

    EXPECT_EQ(JumpLanding(*centre.neighbour[2], centre), &At(0, 4));
    EXPECT_EQ(JumpLanding(*top.neighbour[3], top), &At(-6, 2));
    EXPECT_EQ(JumpLanding(At(-7, 1), At(-4, 4)), nullptr) << "not neighbours";
    EXPECT_EQ(JumpLanding(At(-7, 1), At(-6, 0)), nullptr) << "far side off the board";

    EXPECT_TRUE(IsNeighbour(centre, At(0, 2)));
    EXPECT_FALSE(IsNeighbour(centre, At(0, 4)));
    EXPECT_FALSE(IsNeighbour(centre, centre));
}

TEST(Board, ModuloAndOpposite) {
    struct {
        int in, mod6, opposite;
    } const cases[] = {{-1, 5, 2}, {-2, 4, 1}, {0, 0, 3}, {4, 4, 1}, {6, 0, 3}, {13, 1, 4}};
    for (const auto& c : cases) {
        EXPECT_EQ(Mod6(c.in), c.mod6) << c.in;
        EXPECT_EQ(Opposite(c.in), c.opposite) << c.in;
    }
}

TEST(Board, StepCoordsIgnoresDirectionsOffTheCompass) {
    float x = 0.25f, y = 0.75f;
    StepCoords(x, y, 6);
    StepCoords(x, y, -1);
    EXPECT_EQ(x, 0.25f);
    EXPECT_EQ(y, 0.75f);
    StepCoords(x, y, 2);
    EXPECT_EQ(x, static_cast<float>(0.25L + 0.07205L));
}

TEST(Board, DistancesInBoardFractions) {
    struct {
        LatticePoint a, b;
        double distance;
    } const cases[] = {
        {{-6, 2}, {8, 0}, 0.8431}, // dx 0.07205, dy 0.84
        {{-4, 0}, {8, 0}, 0.72},   {{0, 0}, {0, 2}, 0.07205},
        {{0, 0}, {-1, 1}, 0.0700}, {{0, 0}, {0, 0}, 0.0},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(DistanceTo(At(c.a.r, c.a.c), At(c.b.r, c.b.c)), c.distance, 5e-5)
            << c.a.r << "," << c.a.c << " to " << c.b.r << "," << c.b.c;
    // The last bits come from single-precision differences and an
    // extended-precision root.
    EXPECT_EQ(DistanceTo(At(-4, 0), At(8, 0)), 0.72000002861022949);
}

TEST(Board, ScreenPositionsOnThePicture) {
    const TZellhopPos& centre = At(0, 0);
    EXPECT_EQ(CentredCorner(centre, {100, 0, 518, 530}, 20, 20).x, 349);
    EXPECT_EQ(ScreenPos(centre, {112, 0, 512, 530}), (PixelPoint{368, 265}));
    // Truncation towards zero: 512 * 0.02 = 10.24 -> 10.
    EXPECT_EQ(ScreenPos(At(-8, 0), {112, 0, 512, 530}).y, 10);
    EXPECT_EQ(CentredCorner(At(-8, 0), {0, 0, 518, 530}, 15, 21), (PixelPoint{252, 0}));
}

} // namespace
