#include "pruned_search.h"

#include "chain_table.h"
#include "keyed_holes.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <memory>
#include <optional>

namespace {

constexpr int64_t kStopCheckNodes = 1024; // nodes between two looks at the stop flag

struct Abandon {}; // thrown out of a search that must stop

// A node's best so far: its value and where its move goes.
struct Choice {
    double value = kStayValue;
    BestMove move = BestMove::stop;
    int landing = kNoHole;
};

// One marble's search.  Its values and tie-breaks are the exhaustive
// search's; a node answers its parent's question only:
//   value <= alpha: "at most alpha";  value > beta: "more than beta";
//   otherwise the exact value, and best_ the holes that lead from the node
//   to its best destination.
// Its first nodes search plainly: most searches are over before a table or
// a bound would pay for itself.
class MarbleSearch {
  public:
    MarbleSearch(const ClassicMarble& marble, const HoleSet& occupied,
                 std::optional<LegalJumps>& jumps, ChainTable& table, SearchCounters& counters,
                 const PruneOptions& options, const std::atomic<bool>* stop)
        : m_(marble), t_(Tables()), occupied_(occupied), jumps_(jumps), table_(table),
          counters_(counters), options_(options), stop_(stop),
          sameWeight_(marble.weight() == 1.0) {
        table_.Clear();
    }

    // The marble's best move if it scores above `threshold`, else a value
    // at most `threshold`; `path` gets the whole move.
    double Run(double threshold, std::vector<int>& path) {
        const int origin = m_.origin();
        chain_.add(origin);
        Count();
        Choice best;
        best_.TakeSelf(0);
        double ceiling = kStayValue;
        for (int d = 0; d < kDirections; ++d) {
            const int n = t_.neighbour(origin, d);
            if (n == kNoHole)
                continue;
            if (!occupied_.has(n)) {
                // A step: unweighted, and only at the first level.
                Count();
                Offer(0, best, {CutBack(n), BestMove::cutBack, n});
                continue;
            }
            const int j = t_.beyond(origin, d);
            if (j != kNoHole && !occupied_.has(j))
                Jump(origin, 0, j, threshold, best, ceiling);
        }
        path.clear();
        if (best.value > threshold) {
            path.push_back(origin);
            const std::vector<int> below = best_.BelowRoot();
            path.insert(path.end(), below.begin(), below.end());
        }
        return best.value;
    }

  private:
    double D(int h) const { return m_.D(h); }
    double Own(int h) const { return m_.Own(h); }
    double CutBack(int h) const { return m_.CutBack(h); }
    double Most(int h) const { return std::max(Own(h), CutBack(h)); }

    // What a node scores at least: its landing, and, below the first level,
    // the jump back onto the hole it came from, which stops the chain there.
    double Floor(int parent, int h) const {
        return parent == m_.origin() ? Own(h) : Most(h);
    }
    // A landing that scores more than its own distance whatever follows:
    // its chain is always cut back.
    bool AlwaysCut(int parent, int h) const { return Floor(parent, h) > D(h); }

    void Count() {
        if (++nodes_ % kStopCheckNodes == 0 && stop_ && stop_->load(std::memory_order_relaxed))
            throw Abandon();
        ++counters_.nodes;
    }
    bool Plain() const { return nodes_ <= options_.plainNodes; }

    // A later candidate replaces the best only when strictly greater: lower
    // directions win ties, and so does stopping.
    void Offer(int depth, Choice& best, const Choice& candidate) {
        if (candidate.value <= best.value)
            return;
        best = candidate;
        if (candidate.move == BestMove::stop)
            best_.TakeSelf(depth);
        else
            best_.Take(depth, candidate.landing, candidate.move == BestMove::continued);
    }

    // The candidate of the jump from `cur`, the node at `depth`, onto j, a
    // hole off the chain, offered to `best`.  `ceiling` gets a bound on the
    // candidate when it is at most the node's threshold and not found
    // exactly.
    void Jump(int cur, int depth, int j, double alpha, Choice& best, double& ceiling) {
        const double threshold = std::max(alpha, best.value);
        const double cutBack = CutBack(cur); // what stopping at cur scores
        const Choice cut{cutBack, BestMove::cutBack, j};
        const double landingDistance = D(j);
        if (AlwaysCut(cur, j)) {
            Count();
            Offer(depth, best, cut);
            ceiling = std::max(ceiling, cutBack);
            return;
        }
        if (landingDistance <= threshold) {
            // What passes j is too little; only a cut back can count.
            if (cutBack <= threshold) {
                ceiling = std::max(ceiling, std::max(cutBack, landingDistance));
                return;
            }
            const double v = Child(cur, depth, j, landingDistance, landingDistance);
            if (v > landingDistance)
                Offer(depth, best, cut);
            else
                ceiling = std::max(ceiling, v);
            return;
        }
        const double v = Child(cur, depth, j, threshold, landingDistance);
        if (v > landingDistance) { // cut back to the landing hole, scored from where it was made
            Offer(depth, best, cut);
            ceiling = std::max(ceiling, cutBack);
        } else if (v > threshold) {
            Offer(depth, best, {v, BestMove::continued, j});
        } else {
            ceiling = std::max(ceiling, v);
        }
    }

    double Child(int cur, int depth, int j, double alpha, double beta) {
        chain_.add(j);
        const double v = Node(cur, j, depth + 1, alpha, beta);
        chain_.remove(j);
        return v;
    }

    // What the table and the bounds need, once the plain search is over.
    void PrepareBeyondPlain() {
        if (alwaysCutKnown_)
            return;
        alwaysCutKnown_ = true;
        if (!jumps_)
            jumps_.emplace(occupied_);
        for (int h = 0; h < kHoleCount; ++h)
            if (Most(h) > D(h))
                alwaysCut_.add(h);
    }

    // The node of the landing hole `cur`, reached from `parent`.
    double Node(int parent, int cur, int depth, double alpha, double beta) {
        Count();
        const double floor = Floor(parent, cur);
        if (floor > beta)
            return floor;
        if (Plain())
            return Expand(cur, depth, alpha, beta).value;
        PrepareBeyondPlain();
        HoleSet reach;
        const ChainEnd key = Describe(cur, reach);
        if (options_.shareChainEnds) {
            const ChainFacts known = table_.Find(key);
            if (known.lower > beta || known.upper <= alpha) {
                ++counters_.shared;
                return known.upper <= alpha ? known.upper : known.lower;
            }
            if (known.exact) {
                ++counters_.shared;
                TakeFromTable(cur, depth, known);
                return known.lower;
            }
            // It is known to be at least `lower`: exact from there on.
            if (known.lower > alpha)
                alpha = std::nextafter(known.lower, kNoThreshold);
        }
        if (options_.reachBounds && Most(cur) <= alpha && !CanExceed(cur, reach, alpha)) {
            ++counters_.pruned;
            Store(key, {kNoThreshold, alpha});
            return alpha;
        }
        const Choice best = Expand(cur, depth, alpha, beta);
        if (best.value > beta)
            Store(key, {best.value});
        else if (best.value <= alpha)
            Store(key, {kNoThreshold, best.value});
        else
            Store(key, {best.value, best.value, true, best.move, static_cast<int8_t>(best.landing)});
        return best.value;
    }

    // The node's candidates in direction order.  Its value when exact, more
    // than beta when that is known, else a bound at most alpha.
    Choice Expand(int cur, int depth, double alpha, double beta) {
        Choice best{Own(cur), BestMove::stop, kNoHole};
        best_.TakeSelf(depth);
        double ceiling = best.value;
        for (auto* jump = t_.jumpsBegin(cur); jump != t_.jumpsEnd(cur); ++jump) {
            const int j = jump->landing;
            if (!occupied_.has(jump->over) || occupied_.has(j))
                continue;
            if (chain_.has(j)) // back onto its own chain: the chain stops here instead
                Offer(depth, best, {CutBack(cur), BestMove::stop, kNoHole});
            else
                Jump(cur, depth, j, alpha, best, ceiling);
            if (best.value > beta)
                return best;
        }
        if (best.value <= alpha)
            best.value = std::max(ceiling, best.value);
        return best;
    }

    void Store(const ChainEnd& key, const ChainFacts& facts) {
        if (options_.shareChainEnds)
            table_.Store(key, facts);
    }

    // The holes a search below `cur` can still reach through landing holes
    // that pass values on, and what it depends on: with the weight 1 a jump
    // back onto the chain never scores more than stopping, so only those
    // holes; otherwise the holes of the chain that a jump from them lands on.
    ChainEnd Describe(int cur, HoleSet& reach) const {
        HoleSet touched = jumps_->landings(cur);
        HoleSet frontier = touched.without(chain_).without(alwaysCut_);
        reach = frontier;
        while (!frontier.empty()) {
            HoleSet next;
            frontier.forEach([&](int h) { next |= jumps_->landings(h); });
            touched |= next;
            frontier = next.without(chain_).without(alwaysCut_).without(reach);
            reach |= frontier;
        }
        return {sameWeight_ ? reach : touched & chain_, cur};
    }

    // The best move below `cur` that another chain found, as best_ keeps it.
    void TakeFromTable(int cur, int depth, ChainFacts facts) {
        std::vector<int> below;
        HoleSet added;
        for (;;) {
            if (facts.best == BestMove::stop)
                break;
            below.push_back(facts.landing);
            if (facts.best == BestMove::cutBack)
                break;
            cur = facts.landing;
            chain_.add(cur);
            added.add(cur);
            HoleSet reach;
            facts = table_.Find(Describe(cur, reach));
            assert(facts.exact && "an exact value comes from exact values below");
        }
        chain_ = chain_.without(added);
        best_.TakeSelf(depth + static_cast<int>(below.size()));
        for (int k = static_cast<int>(below.size()) - 1; k >= 0; --k)
            best_.Take(depth + k, below[k], true);
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
        HoleSet frontier = jumps_->landings(cur) & open;
        while (!frontier.empty()) {
            if (frontier.meets(scoring))
                return true;
            open = open.without(frontier);
            HoleSet next;
            frontier.forEach([&](int h) { next |= jumps_->landings(h); });
            frontier = next & open;
        }
        return false;
    }

    struct Bounds {
        KeyedHoles most;     // by the most a hole passes on: none where its chain is always cut
        KeyedHoles distance; // by the distance from the target
    };
    void SetUpBounds() {
        bounds_ = std::make_unique<Bounds>();
        bounds_->most.Build([&](int h) { return alwaysCut_.has(h) ? kNoThreshold : Most(h); });
        bounds_->distance.Build([&](int h) { return D(h); });
    }

    const ClassicMarble& m_;
    const BoardTables& t_;
    const HoleSet occupied_;
    std::optional<LegalJumps>& jumps_; // shared by the seat's marbles, set up once needed
    ChainTable& table_;
    SearchCounters& counters_;
    const PruneOptions options_;
    const std::atomic<bool>* stop_;
    const bool sameWeight_;
    bool alwaysCutKnown_ = false;
    HoleSet alwaysCut_; // below the first level
    HoleSet chain_;
    BestBelow best_;
    int64_t nodes_ = 0;
    std::unique_ptr<Bounds> bounds_;
};

// The searches of one seat's marbles, sharing the legal jumps and the table.
class SeatSearch {
  public:
    SeatSearch(const SearchPosition& p, SearchCounters& counters, const PruneOptions& options,
               const std::atomic<bool>* stop = nullptr)
        : p_(p), occupied_(p.Occupied()), counters_(counters), options_(options), stop_(stop) {}

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
    std::optional<LegalJumps> jumps_;
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
