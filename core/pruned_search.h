// The classic player's search with exact pruning: the same marble, the same
// path and the same value as the exhaustive search on every position, found
// without following the chains that cannot change the result.
//
// A node's value comes from some hole its chain can still reach, and it
// survives the way up only where it does not exceed the remaining distance
// D(h) of every landing hole it passes; a landing hole whose own weighted
// gain exceeds D(h) always cuts its chain back.  So holes nearer the target
// than the best value so far are walls, and a jump whose chain cannot
// reach, past such walls, a hole that could hand up more than the running
// best (strictly) is skipped.  A node also returns as soon as its parent's
// question is answered ("at most this", "more than that").  Bounds are
// formed with the same floating-point operations as the values, so a skip
// never changes a result, a tie-break included.
#pragma once

#include "classic_rule.h"

#include <atomic>
#include <cstdint>
#include <limits>

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
// otherwise the value is at most `threshold` and the path is empty.  The
// threshold lets a later marble stop once it is known to lose.
struct PrunedMarbleResult {
    double value = kStayValue;
    std::vector<int> path; // the marble's hole first, as ClassicMove
};
PrunedMarbleResult SearchMarblePruned(const SearchPosition& p, int marble,
                                      double threshold = kNoThreshold,
                                      SearchCounters* counters = nullptr,
                                      const PruneOptions& options = {});

// The seat's move: what the exhaustive search chooses.  `stop`, when
// given, is read now and then; once it is true the search returns at once,
// abandoned.
ClassicMove PrunedClassicMove(const SearchPosition& p, SearchCounters* counters = nullptr,
                              const PruneOptions& options = {},
                              const std::atomic<bool>* stop = nullptr);
