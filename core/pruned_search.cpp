#include "pruned_search.h"

#include "chain_table.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <memory>
#include <numeric>

namespace {

constexpr int64_t kStopCheckNodes = 1024; // nodes between two looks at the stop flag

struct Abandon {}; // thrown out of a search that must stop

// Holes ordered by a key, with the set of those whose key exceeds any
// given threshold at hand.
class KeyedHoles {
  public:
    template <typename Key> void Build(Key key) {
        std::array<double, kHoleCount> byHole;
        for (int h = 0; h < kHoleCount; ++h)
            byHole[h] = key(h);
        std::array<int, kHoleCount> order;
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(), [&](int a, int b) { return byHole[a] > byHole[b]; });
        prefix_[0] = HoleSet();
        for (int k = 0; k < kHoleCount; ++k) {
            keys_[k] = byHole[order[k]];
            prefix_[k + 1] = prefix_[k];
            prefix_[k + 1].add(order[k]);
        }
    }
    const HoleSet& Above(double threshold) const {
        const auto end = std::partition_point(keys_.begin(), keys_.end(),
                                              [&](double k) { return k > threshold; });
        return prefix_[end - keys_.begin()];
    }

  private:
    std::array<double, kHoleCount> keys_;
    std::array<HoleSet, kHoleCount + 1> prefix_;
};

// A node's best so far: its value and where its move goes.
struct Choice {
    double value = kStayValue;
    BestMove move = BestMove::stop;
    int landing = kNoHole;

    // A later candidate replaces the best only when strictly greater: lower
    // directions win ties, and so does stopping.
    void Offer(double candidate, BestMove to, int hole) {
        if (candidate > value)
            *this = {candidate, to, hole};
    }
};

// One marble's search.  Its values, nodes and tie-breaks are the
// exhaustive search's; a node answers its parent's question only:
//   value <= alpha: "at most alpha";  value > beta: "more than beta";
//   otherwise the exact value, and the table its best move.
class MarbleSearch {
  public:
    MarbleSearch(const ClassicMarble& marble, const HoleSet& occupied, const LegalJumps& jumps,
                 ChainTable& table, SearchCounters& counters, const PruneOptions& options,
                 const std::atomic<bool>* stop)
        : m_(marble), t_(Tables()), occupied_(occupied), jumps_(jumps), table_(table),
          counters_(counters), options_(options), stop_(stop),
          sameWeight_(marble.weight() == 1.0) {
        for (int h = 0; h < kHoleCount; ++h) {
            distance_[h] = m_.D(h);
            own_[h] = m_.Own(h);
            cutBack_[h] = m_.CutBack(h);
            most_[h] = std::max(own_[h], cutBack_[h]);
            if (most_[h] > distance_[h])
                alwaysCut_.add(h);
        }
        table_.Clear();
    }

    // The marble's best move if it scores above `threshold`, else a value
    // at most `threshold`; `path` gets the whole move.
    double Run(double threshold, std::vector<int>& path) {
        const int origin = m_.origin();
        chain_.add(origin);
        ++counters_.nodes;
        Choice best;
        double ceiling = kStayValue;
        for (int d = 0; d < kDirections; ++d) {
            const int n = t_.neighbour(origin, d);
            if (n == kNoHole)
                continue;
            if (!occupied_.has(n)) {
                // A step: unweighted, and only at the first level.
                ++counters_.nodes;
                best.Offer(cutBack_[n], BestMove::cutBack, n);
                continue;
            }
            const int j = t_.beyond(origin, d);
            if (j != kNoHole && !occupied_.has(j))
                Jump(origin, j, threshold, best, ceiling);
        }
        path.clear();
        if (best.value > threshold)
            path = PathOf(best);
        return best.value;
    }

  private:
    // What a node scores at least: its landing, and, below the first level,
    // the jump back onto the hole it came from, which stops the chain there.
    double Floor(int parent, int h) const {
        return parent == m_.origin() ? own_[h] : most_[h];
    }
    // A landing that scores more than its own distance whatever follows:
    // its chain is always cut back.
    bool AlwaysCut(int parent, int h) const {
        return parent == m_.origin() ? own_[h] > distance_[h] : alwaysCut_.has(h);
    }

    // The candidate of the jump from `cur` onto j, a hole off the chain,
    // offered to `best`.  `ceiling` gets a bound on the candidate when it is
    // at most the node's threshold and not found exactly.
    void Jump(int cur, int j, double alpha, Choice& best, double& ceiling) {
        const double threshold = std::max(alpha, best.value);
        const double cutBack = cutBack_[cur]; // what stopping at cur scores
        const double landingDistance = distance_[j];
        if (AlwaysCut(cur, j)) {
            ++counters_.nodes;
            best.Offer(cutBack, BestMove::cutBack, j);
            ceiling = std::max(ceiling, cutBack);
            return;
        }
        if (landingDistance <= threshold) {
            // What passes j is too little; only a cut back can count.
            if (cutBack <= threshold) {
                ceiling = std::max(ceiling, std::max(cutBack, landingDistance));
                return;
            }
            const double v = Child(cur, j, landingDistance, landingDistance);
            if (v > landingDistance)
                best.Offer(cutBack, BestMove::cutBack, j);
            else
                ceiling = std::max(ceiling, v);
            return;
        }
        const double v = Child(cur, j, threshold, landingDistance);
        if (v > landingDistance) { // cut back to the landing hole, scored from where it was made
            best.Offer(cutBack, BestMove::cutBack, j);
            ceiling = std::max(ceiling, cutBack);
        } else if (v > threshold) {
            best.Offer(v, BestMove::continued, j);
        } else {
            ceiling = std::max(ceiling, v);
        }
    }

    double Child(int cur, int j, double alpha, double beta) {
        chain_.add(j);
        const double v = Node(cur, j, alpha, beta);
        chain_.remove(j);
        return v;
    }

    // The node of the landing hole `cur`, reached from `parent`.
    double Node(int parent, int cur, double alpha, double beta) {
        if (++counters_.nodes % kStopCheckNodes == 0 && stop_ &&
            stop_->load(std::memory_order_relaxed))
            throw Abandon();
        const double floor = Floor(parent, cur);
        if (floor > beta)
            return floor;
        HoleSet reach;
        const ChainEnd key = Describe(cur, reach);
        if (options_.shareChainEnds) {
            const ChainFacts known = table_.Find(key);
            if (known.lower > beta || known.upper <= alpha || known.exact) {
                ++counters_.shared;
                return known.upper <= alpha ? known.upper : known.lower;
            }
            // It is known to be at least `lower`: exact from there on.
            if (known.lower > alpha)
                alpha = std::nextafter(known.lower, kNoThreshold);
        }
        if (options_.reachBounds && most_[cur] <= alpha && !CanExceed(cur, reach, alpha)) {
            ++counters_.pruned;
            Store(key, {kNoThreshold, alpha});
            return alpha;
        }
        Choice best{own_[cur], BestMove::stop, kNoHole};
        double ceiling = best.value;
        for (const int8_t* landing = jumps_.begin(cur); landing != jumps_.end(cur); ++landing) {
            const int j = *landing;
            if (chain_.has(j)) // back onto its own chain: the chain stops here instead
                best.Offer(cutBack_[cur], BestMove::stop, kNoHole);
            else
                Jump(cur, j, alpha, best, ceiling);
            if (best.value > beta) {
                Store(key, {best.value});
                return best.value;
            }
        }
        if (best.value <= alpha) {
            const double upper = std::max(ceiling, best.value);
            Store(key, {kNoThreshold, upper});
            return upper;
        }
        Store(key, {best.value, best.value, true, best.move, static_cast<int8_t>(best.landing)});
        return best.value;
    }

    void Store(const ChainEnd& key, const ChainFacts& facts) {
        // The best path is read back from the table, so exact facts are
        // kept even when chains do not share them.
        if (options_.shareChainEnds || facts.exact)
            table_.Store(key, facts);
    }

    // The holes a search below `cur` can still reach through landing holes
    // that pass values on, and what it depends on: with the weight 1 a jump
    // back onto the chain never scores more than stopping, so only those
    // holes; otherwise the holes of the chain that a jump from them lands on.
    ChainEnd Describe(int cur, HoleSet& reach) const {
        HoleSet touched = jumps_.landings(cur);
        HoleSet frontier = touched.without(chain_).without(alwaysCut_);
        reach = frontier;
        while (!frontier.empty()) {
            HoleSet next;
            frontier.forEach([&](int h) { next |= jumps_.landings(h); });
            touched |= next;
            frontier = next.without(chain_).without(alwaysCut_).without(reach);
            reach |= frontier;
        }
        return {sameWeight_ ? reach : touched & chain_, cur};
    }

    // Whether a value above `alpha` could come up to `cur`: from a hole it
    // can reach that scores more, handed up through landing holes more than
    // `alpha` from the target (what passes a landing never exceeds its
    // distance), so holes nearer are walls.
    bool CanExceed(int cur, const HoleSet& reach, double alpha) {
        if (!bounds_)
            SetUpBounds();
        const HoleSet& scoring = bounds_->most.Above(alpha);
        if (!reach.meets(scoring))
            return false;
        HoleSet open = reach & bounds_->distance.Above(alpha);
        HoleSet frontier = jumps_.landings(cur) & open;
        while (!frontier.empty()) {
            if (frontier.meets(scoring))
                return true;
            open = open.without(frontier);
            HoleSet next;
            frontier.forEach([&](int h) { next |= jumps_.landings(h); });
            frontier = next & open;
        }
        return false;
    }

    struct Bounds {
        KeyedHoles most;     // by the most a hole passes on: -inf where its chain is always cut
        KeyedHoles distance; // by the distance from the target
    };
    void SetUpBounds() {
        bounds_ = std::make_unique<Bounds>();
        bounds_->most.Build(
            [&](int h) { return alwaysCut_.has(h) ? kNoThreshold : most_[h]; });
        bounds_->distance.Build([&](int h) { return distance_[h]; });
    }

    // The move of the root's best choice, read back from the table.
    std::vector<int> PathOf(const Choice& root) {
        if (root.move == BestMove::stop)
            return {m_.origin()};
        std::vector<int> path{m_.origin(), root.landing};
        if (root.move != BestMove::continued)
            return path;
        chain_.add(root.landing);
        for (int cur = root.landing;;) {
            HoleSet reach;
            const ChainFacts facts = table_.Find(Describe(cur, reach));
            assert(facts.exact && "an exact value comes from exact values below");
            if (facts.best == BestMove::stop)
                return path;
            path.push_back(facts.landing);
            if (facts.best == BestMove::cutBack)
                return path;
            cur = facts.landing;
            chain_.add(cur);
        }
    }

    const ClassicMarble& m_;
    const BoardTables& t_;
    const HoleSet occupied_;
    const LegalJumps& jumps_;
    ChainTable& table_;
    SearchCounters& counters_;
    const PruneOptions options_;
    const std::atomic<bool>* stop_;
    const bool sameWeight_;
    std::array<double, kHoleCount> distance_;
    std::array<double, kHoleCount> own_;
    std::array<double, kHoleCount> cutBack_;
    std::array<double, kHoleCount> most_;
    HoleSet alwaysCut_; // below the first level
    HoleSet chain_;
    std::unique_ptr<Bounds> bounds_;
};

// The searches of one seat's marbles, sharing the legal jumps and the table.
class SeatSearch {
  public:
    SeatSearch(const SearchPosition& p, SearchCounters& counters, const PruneOptions& options,
               const std::atomic<bool>* stop = nullptr)
        : p_(p), occupied_(p.Occupied()), jumps_(occupied_), counters_(counters),
          options_(options), stop_(stop) {}

    // The marble's best move if it scores above `threshold`; `path` gets it.
    double Run(int marble, double threshold, std::vector<int>& path) {
        const ClassicMarble m(p_, marble);
        path.clear();
        if (m.target() == kNoHole) {
            // Only a full target star point has no free hole, and that is a win.
            ++counters_.nodes;
            return kStayValue;
        }
        MarbleSearch search(m, occupied_, jumps_, table_, counters_, options_, stop_);
        const double value = search.Run(threshold, path);
        counters_.chainEnds += table_.size();
        return value;
    }

  private:
    const SearchPosition& p_;
    const HoleSet occupied_;
    const LegalJumps jumps_;
    SearchCounters& counters_;
    const PruneOptions options_;
    const std::atomic<bool>* stop_;
    ChainTable table_;
};

ClassicMove Abandoned() {
    ClassicMove move;
    move.abandoned = true;
    return move;
}

} // namespace

PrunedMarbleResult SearchMarblePruned(const SearchPosition& p, int marble, double threshold,
                                      SearchCounters* counters, const PruneOptions& options) {
    SearchCounters ignored;
    SeatSearch search(p, counters ? *counters : ignored, options);
    PrunedMarbleResult result;
    result.value = search.Run(marble, threshold, result.path);
    return result;
}

ClassicMove PrunedClassicMove(const SearchPosition& p, SearchCounters* counters,
                              const PruneOptions& options, const std::atomic<bool>* stop) {
    SearchCounters ignored;
    SeatSearch search(p, counters ? *counters : ignored, options, stop);
    ClassicMove choice;
    std::vector<int> path;
    for (int i = 0; i < p.count; ++i) {
        if (stop && stop->load(std::memory_order_relaxed))
            return Abandoned();
        if (p.marbles[i].colour != p.seat)
            continue;
        // A later marble must beat the earlier ones strictly, so their best
        // is where this marble's search may stop caring.
        double value = kStayValue;
        try {
            value = search.Run(i, choice.value, path);
        } catch (const Abandon&) {
            return Abandoned();
        }
        if (value > choice.value) {
            choice.marble = i;
            choice.value = value;
            choice.path = path;
        }
    }
    return choice;
}
