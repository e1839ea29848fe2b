// The classic player's rule on plain positions: each marble heads for a
// target hole in its target star point and scores a destination by how much
// closer it gets, weighted by where the marble stands.  Shared by the fast
// exhaustive search and the pruned search, which must agree bit for bit.
#pragma once

#include "board_tables.h"
#include "computer_player.h"
#include "move_gain.h"
#include "search_position.h"

#include <array>
#include <vector>

// The classic player's move on a SearchPosition.
struct ClassicMove {
    int marble = -1;       // index into SearchPosition::marbles; -1: no legal move
    std::vector<int> path; // hole indices: the marble's hole first, then every landing hole
    double value = kStayValue;
    bool abandoned = false; // stopped on request: no move
};

// The jumps that are legal from each hole while a seat searches: nothing
// moves then, and the searching marble stays in its own hole.
class LegalJumps {
  public:
    explicit LegalJumps(const HoleSet& occupied);
    // Their landing holes in direction order, and as a set.
    const int8_t* begin(int h) const { return landing_[h].data(); }
    const int8_t* end(int h) const { return landing_[h].data() + count_[h]; }
    const HoleSet& landings(int h) const { return landings_[h]; }

  private:
    std::array<std::array<int8_t, kDirections>, kHoleCount> landing_{};
    std::array<int8_t, kHoleCount> count_{};
    std::array<HoleSet, kHoleCount> landings_{};
};

// The first hole of the target star point, searched from h inwards, that
// holds none of `own`; kNoHole only when `own` fills the star point.
int FindTargetHole(int h, int seat, const HoleSet& own);

// One marble as the rule sees it: its origin, its target and the two gains
// of every hole.  The marble stays in its origin during the search, so the
// origin counts as occupied.
class ClassicMarble {
  public:
    // `target` is kNoHole when the colour fills its target star point.
    ClassicMarble(const SearchPosition& p, int marble);

    int origin() const { return origin_; }
    int target() const { return target_; }
    double weight() const { return weight_; }
    // Distance of h from the target.
    double D(int h) const { return distance_[h]; }
    // The weighted gain of landing on h by a jump.
    double Own(int h) const { return WeightedGain(weight_, originDistance_, distance_[h]); }
    // The unweighted gain of stepping onto h, or of a chain cut back at h.
    double CutBack(int h) const { return Gain(originDistance_, distance_[h]); }

  private:
    int origin_;
    int target_;
    double weight_;
    double originDistance_ = 0;
    const double* distance_ = nullptr;
};

// The holes that lead from the node at each depth of a marble's search to
// its best destination: the searches keep these instead of a tree.
class BestBelow {
  public:
    static constexpr int kMaxChain = kHoleCount + 1;

    // The node at `depth` is its own best destination.
    void TakeSelf(int depth) { length_[depth] = 0; }
    // The node at `depth` takes its best destination from its landing j:
    // j itself, or the best destination below j (at depth + 1).
    void Take(int depth, int j, bool withBelow);
    // The holes below the root.
    std::vector<int> BelowRoot() const { return {below_[0], below_[0] + length_[0]}; }

  private:
    int8_t below_[kMaxChain][kMaxChain];
    int length_[kMaxChain];
};

// Every chain of the seat's marbles followed to its end, as the rule is
// written, on the board's tables; `nodes` counts what the rule's search tree
// would hold (a root per marble, every step and every new landing hole).
// The reference for the pruned search on positions where the plain
// exhaustive search is too slow.
ClassicMove ExhaustiveClassicMove(const SearchPosition& p, int64_t* nodes = nullptr);
