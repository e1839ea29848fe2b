// The board as the searches read it: the holes by index (their position in
// Board::holes), with their neighbours, the holes their jumps land on, their
// star points and the distances between them, all computed once from a
// Board and never changed.  Any thread may read them.
#pragma once

#include "board.h"
#include "hole_set.h"

#include <array>
#include <cstdint>

inline constexpr int kNoHole = -1;

class BoardTables {
  public:
    // A jump from a hole: over `over`, onto `landing`, in direction order.
    struct Jump {
        int8_t over;
        int8_t landing;
    };

    explicit BoardTables(const Board& board);

    int neighbour(int h, int d) const { return neighbour_[h][d]; }
    // The hole two steps from h in direction d, or kNoHole.
    int beyond(int h, int d) const { return beyond_[h][d]; }
    // The jumps that the board allows from h (both holes exist), in
    // direction order; whether they are legal depends on the marbles.
    const Jump* jumpsBegin(int h) const { return jumps_[h].data(); }
    const Jump* jumpsEnd(int h) const { return jumps_[h].data() + jumpCount_[h]; }
    const HoleSet& neighbours(int h) const { return neighbours_[h]; }
    // The neighbours of h and the holes its jumps land on: the holes whose
    // marbles decide whether a marble on h can move.
    const HoleSet& reach(int h) const { return reach_[h]; }

    int triangle(int h) const { return triangle_[h]; }
    // The holes of star point k (0..5) or of the central hexagon (6).
    const HoleSet& triangleHoles(int k) const { return triangleHoles_[k]; }
    // The tip of star point k.
    int tip(int k) const { return tip_[k]; }
    LatticePoint at(int h) const { return at_[h]; }
    // Every hole's DistanceTo the target, bit for bit, by hole index.
    const double* distancesTo(int target) const { return distance_[target].data(); }

  private:
    std::array<std::array<int8_t, kDirections>, kHoleCount> neighbour_{};
    std::array<std::array<int8_t, kDirections>, kHoleCount> beyond_{};
    std::array<std::array<Jump, kDirections>, kHoleCount> jumps_{};
    std::array<int8_t, kHoleCount> jumpCount_{};
    std::array<HoleSet, kHoleCount> neighbours_{};
    std::array<HoleSet, kHoleCount> reach_{};
    std::array<int8_t, kHoleCount> triangle_{};
    std::array<HoleSet, kColours + 1> triangleHoles_{};
    std::array<int8_t, kColours> tip_{};
    std::array<LatticePoint, kHoleCount> at_{};
    std::array<std::array<double, kHoleCount>, kHoleCount> distance_{};
};

// The tables of the one board layout every Board has.
const BoardTables& Tables();
