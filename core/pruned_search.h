// The computer's search with exact pruning: the same marble, the same path
// and the same value as the exhaustive search on every position, found
// without following the chains that cannot change the result.
//
// Every value of a marble's search is the gain of some hole the chain can
// still reach, and a chain's value only survives a jump when it does not
// exceed the landing hole's remaining distance.  So what a subtree can
// still score is bounded by the holes reachable from it; a subtree whose
// bound cannot beat the running best (strictly) is skipped, and a subtree
// is left as soon as the answer its parent needs is known.  Bounds are
// formed with the same floating-point operations as the values, so a skip
// never changes a result, a tie-break included.
#pragma once

#include "computer_player.h"

#include <cstdint>
#include <limits>

class MarbleList;
struct TZellhopBall;

// What a search did, for the benchmark and the tests.
struct SearchCounters {
    int64_t nodes = 0;  // tree nodes: roots, steps and landing holes searched
    int64_t pruned = 0; // jumps whose whole chain was skipped
};

// How the search spends its effort; the result never depends on it.
struct PruneOptions {
    // Nodes a marble's search runs before it sets up its bounds: most
    // searches are over sooner than the bounds could be set up.
    int64_t nodesBeforeBounds = 200;
};

inline constexpr double kNoThreshold = -std::numeric_limits<double>::infinity();

// One marble's best move, exact when its value exceeds `threshold`;
// otherwise the value is at most `threshold` and the path means nothing.
struct PrunedMarbleResult {
    double value = kStayValue;
    std::vector<TZellhopPos*> path; // the marble's hole first, as ComputerChoice
};
PrunedMarbleResult SearchMarblePruned(const TZellhopBall& marble, const HomeHoles& homeHoles,
                                      double threshold = kNoThreshold,
                                      SearchCounters* counters = nullptr,
                                      const PruneOptions& options = {});

// The seat's move: what ChooseMoveExhaustive chooses.
ComputerChoice ChooseMovePruned(const MarbleList& marbles, const HomeHoles& homeHoles, int seat,
                                SearchCounters* counters = nullptr,
                                const PruneOptions& options = {});
