// What one marble's classic search has learnt about the ends of its chains.
// Below a landing hole, everything the search can still do depends only on
// that hole and on the holes of the chain that the rest of the search could
// run into, so chains that reach the same hole with the same such holes
// behind them share one entry: bounds on the value below it, and where its
// best move goes once the value is known exactly.
#pragma once

#include "hole_set.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

// A chain's end as the search below it sees it.
struct ChainEnd {
    HoleSet holes; // what the search below the end depends on, beside the end itself
    int end = 0;   // the landing hole
    friend bool operator==(const ChainEnd&, const ChainEnd&) = default;
};

// Where a node's best move goes.
enum class BestMove : int8_t {
    stop,     // the chain ends here
    cutBack,  // onto `landing`, the chain cut back there
    continued // onto `landing`, then that node's best move
};

struct ChainFacts {
    double lower = -std::numeric_limits<double>::infinity();
    double upper = std::numeric_limits<double>::infinity();
    // The best move, known once a search found the value exactly; bounds
    // that happen to meet do not tell it.
    bool exact = false;
    BestMove best = BestMove::stop;
    int8_t landing = -1;
};

class ChainTable {
  public:
    // Forgets everything: the next marble's values are its own.
    void Clear();
    // What is known of the end; bounds at infinity when nothing is.
    ChainFacts Find(const ChainEnd& key) const;
    // Adds bounds (and, with exact ones, the best move) to what is known.
    void Store(const ChainEnd& key, const ChainFacts& facts);
    int64_t size() const { return count_; }

  private:
    struct Slot {
        ChainEnd key;
        ChainFacts facts;
        uint32_t generation = 0; // a slot of an earlier generation is free
    };
    size_t Index(const ChainEnd& key) const;
    void Grow();

    std::vector<Slot> slots_;
    uint32_t generation_ = 1;
    int64_t count_ = 0;
};
