// The classic player's search, exact and fast: the same marble, the same
// path and the same value as the exhaustive search on every position.
//
// Three things spare it most of the exhaustive tree, none of them ever
// changing a result, a tie-break included:
//  - Chains that reach the same hole, with the same holes of their own
//    behind them where the rest of the search could run into them, have the
//    same future; what one learnt (bounds, or the value and best move) is
//    kept for the others (ChainTable).
//  - A node answers only its parent's question: "at most this", "more than
//    that", or the exact value in between (windows, as in alpha-beta).
//  - Bounds from the holes a chain can still reach: a value above x comes
//    from a hole that scores more than x and has to be handed up through
//    landing holes more than x from the target, so a node none of whose
//    reachable holes can do that is at most x without a search.  A landing
//    hole that scores more than its own distance whatever follows (it can
//    always jump back) cuts its chain back at once.
// Bounds are formed with the same floating-point operations as the values.
#pragma once

#include "classic_rule.h"

#include <atomic>
#include <cstdint>
#include <limits>

// What a search did, for the benchmark and the tests.
struct SearchCounters {
    int64_t nodes = 0;     // tree nodes searched: roots, steps and landing holes
    int64_t pruned = 0;    // nodes answered by a bound without a search
    int64_t shared = 0;    // nodes answered from what another chain learnt
    int64_t chainEnds = 0; // chain ends the searches kept facts about
};

// How the search spends its effort; the result never depends on it.  The
// tests turn the parts off to check each against the exhaustive search.
struct PruneOptions {
    bool shareChainEnds = true;
    bool reachBounds = true;
    // Nodes a marble's search runs plainly, without the table and the
    // bounds: most searches are over sooner than those would pay off.
    int64_t plainNodes = 200;
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
