#include "pruned_search.h"

#include <algorithm>
#include <array>
#include <memory>
#include <numeric>
#include <optional>

namespace {

constexpr double kUnbounded = std::numeric_limits<double>::infinity();
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

// The orders the bounds need, set up once a marble's search grows.
struct BoundTables {
    KeyedHoles ceiling; // by the most that a chain can hand up through them
    KeyedHoles passing; // by what they hand up past their own landing
};

// One marble's search: the exhaustive search's values, nodes and
// tie-breaks, but a jump is followed only when its chain could still change
// what this node hands up, and a node returns as soon as its parent's
// question is answered:
//   value <= alpha: "at most alpha";  value > beta: "more than beta";
//   otherwise the exact value, and best_ the holes that lead from the node
//   to its best destination.
class MarbleSearch {
  public:
    MarbleSearch(const ClassicMarble& marble, const HoleSet& occupied,
                 std::optional<LegalJumps>& jumps, int64_t nodesBeforeBounds,
                 const std::atomic<bool>* stop)
        : m_(marble), t_(Tables()), occupied_(occupied), nodesBeforeBounds_(nodesBeforeBounds),
          jumps_(jumps), stop_(stop) {}

    int64_t nodes() const { return nodes_; }
    int64_t pruned() const { return pruned_; }

    // The marble's best move if it scores above `threshold`, else a value
    // at most `threshold`; `below` gets the holes after the origin.
    double Run(double threshold, std::vector<int>& below) {
        chain_.add(m_.origin());
        const double value = SearchMove(m_.origin(), 0, kStayValue, threshold, kUnbounded);
        below = best_.BelowRoot();
        return value;
    }

  private:
    double D(int h) const { return m_.D(h); }
    double Own(int h) const { return m_.Own(h); }
    double CutBack(int h) const { return m_.CutBack(h); }

    // `best` starts as the node's own value: staying (the root) or landing.
    double SearchMove(int cur, int depth, double best, double alpha, double beta) {
        if (++nodes_ % kStopCheckNodes == 0 && stop_ && stop_->load(std::memory_order_relaxed))
            throw Abandon();
        best_.TakeSelf(depth);
        const bool root = cur == m_.origin();
        std::optional<double> cutBack; // what stopping here scores, once needed
        for (int d = 0; d < kDirections && best <= beta; ++d) {
            const int n = t_.neighbour(cur, d);
            if (n == kNoHole)
                continue;
            // Below the threshold a candidate cannot matter any more.
            const double threshold = std::max(best, alpha);
            if (!occupied_.has(n)) {
                if (root) {
                    // A step: unweighted, and only at the first level.
                    ++nodes_;
                    const double v = CutBack(n);
                    if (v > threshold) {
                        best = v;
                        best_.Take(depth, n, false);
                    }
                }
                continue;
            }
            const int j = t_.beyond(cur, d);
            if (j == kNoHole || occupied_.has(j))
                continue;
            if (!cutBack)
                cutBack = CutBack(cur);
            Jump(depth, j, *cutBack, threshold, best);
        }
        return best;
    }

    // The jump from the node at `depth` onto j; `cutBack` is what the chain
    // scores when it stops at the node.  Updates `best` and the node's
    // destination when the jump beats the threshold.
    void Jump(int depth, int j, double cutBack, double threshold, double& best) {
        const auto stopHere = [&](bool onLanding) {
            if (cutBack <= threshold)
                return;
            best = cutBack;
            if (onLanding)
                best_.Take(depth, j, false);
            else
                best_.TakeSelf(depth);
        };
        if (chain_.has(j)) // back onto its own chain: it stops here instead
            return stopHere(false);
        const double landingDistance = D(j);
        const double landing = Own(j);
        if (landing > landingDistance) {
            // Whatever follows, the chain from j scores at least its landing,
            // more than D(j): it is cut back to j.
            return stopHere(true);
        }
        if (nodes_ > nodesBeforeBounds_ && !CouldBeat(j, threshold, cutBack)) {
            ++pruned_;
            return;
        }
        // Exact below the landing hole's distance; above it only "more".
        const double childAlpha = std::min(threshold, landingDistance);
        chain_.add(j);
        const double v = SearchMove(j, depth + 1, landing, childAlpha, landingDistance);
        chain_.remove(j);
        if (v > landingDistance) // cut back to the landing hole, scored from where it was made
            return stopHere(true);
        if (v > childAlpha) {
            best = v;
            best_.Take(depth, j, true);
        }
    }

    // What a node on hole h can score, and what it can hand up past its own
    // landing: a value above D(h) is cut back on the way up.  A node scores
    // at least its weighted gain, so when that exceeds D(h) nothing passes.
    double Most(int h) const { return std::max(Own(h), CutBack(h)); }
    bool Blocks(int h) const { return Own(h) > D(h); }
    double Passed(int h) const {
        if (Blocks(h))
            return -kUnbounded;
        return CutBack(h) <= D(h) ? std::max(Own(h), CutBack(h)) : Own(h);
    }
    // Values handed up through h never exceed D(h).
    double Ceiling(int h) const { return Blocks(h) ? -kUnbounded : D(h); }

    void SetUpBounds() {
        if (!jumps_)
            jumps_.emplace(occupied_);
        bounds_ = std::make_unique<BoundTables>();
        bounds_->ceiling.Build([&](int h) { return Ceiling(h); });
        bounds_->passing.Build([&](int h) { return Passed(h); });
    }

    // Whether the jump onto j could yield a candidate above `threshold`:
    // the chain's value when that does not exceed D(j), else the cut-back
    // value.
    bool CouldBeat(int j, double threshold, double cutBack) {
        if (!bounds_)
            SetUpBounds();
        if (ReachesPassing(j, threshold, false))
            return true;
        if (cutBack <= threshold)
            return false;
        return Most(j) > D(j) || ReachesPassing(j, D(j), true);
    }

    // Whether some hole that a chain from j can still reach hands up a
    // value above `threshold` all the way to j.  Such a value never exceeds
    // the distance of a hole it passes, so holes at most `threshold` away
    // from the target are walls.  With `beyondOnly`, j's own values do not
    // count and j itself is no wall.
    bool ReachesPassing(int j, double threshold, bool beyondOnly) const {
        HoleSet open = bounds_->ceiling.Above(threshold).without(chain_);
        const HoleSet& passing = bounds_->passing.Above(threshold);
        if (!beyondOnly && (!open.has(j) || passing.has(j)))
            return open.has(j);
        open.remove(j);
        HoleSet frontier;
        frontier.add(j);
        while (!frontier.empty()) {
            HoleSet next;
            frontier.forEach([&](int h) { next |= jumps_->landings(h); });
            next &= open;
            if (next.meets(passing))
                return true;
            open = open.without(next);
            frontier = next;
        }
        return false;
    }

    const ClassicMarble& m_;
    const BoardTables& t_;
    const HoleSet occupied_;
    const int64_t nodesBeforeBounds_;
    std::optional<LegalJumps>& jumps_;
    const std::atomic<bool>* stop_;
    HoleSet chain_;
    std::unique_ptr<BoundTables> bounds_;
    BestBelow best_;
    int64_t nodes_ = 0;
    int64_t pruned_ = 0;
};

// The searches of one seat's marbles, sharing the legal jumps.
class SeatSearch {
  public:
    SeatSearch(const SearchPosition& p, SearchCounters& counters, const PruneOptions& options,
               const std::atomic<bool>* stop = nullptr)
        : p_(p), occupied_(p.Occupied()), counters_(counters), options_(options), stop_(stop) {}

    // The marble's best move if it scores above `threshold`; `below` gets
    // the holes after its origin.
    double Run(int marble, double threshold, std::vector<int>& below) {
        const ClassicMarble m(p_, marble);
        below.clear();
        if (m.target() == kNoHole) {
            // Only a full target star point has no free hole, and that is a win.
            ++counters_.nodes;
            return kStayValue;
        }
        MarbleSearch search(m, occupied_, jumps_, options_.nodesBeforeBounds, stop_);
        const double value = search.Run(threshold, below);
        counters_.nodes += search.nodes();
        counters_.pruned += search.pruned();
        return value;
    }

  private:
    const SearchPosition& p_;
    const HoleSet occupied_;
    SearchCounters& counters_;
    const PruneOptions options_;
    const std::atomic<bool>* stop_;
    std::optional<LegalJumps> jumps_; // set up with the first bounds
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
    std::vector<int> below;
    PrunedMarbleResult result;
    result.value = search.Run(marble, threshold, below);
    if (result.value > threshold) {
        result.path.assign(1, p.marbles[marble].hole);
        result.path.insert(result.path.end(), below.begin(), below.end());
    }
    return result;
}

ClassicMove PrunedClassicMove(const SearchPosition& p, SearchCounters* counters,
                              const PruneOptions& options, const std::atomic<bool>* stop) {
    SearchCounters ignored;
    SeatSearch search(p, counters ? *counters : ignored, options, stop);
    ClassicMove choice;
    std::vector<int> below;
    for (int i = 0; i < p.count; ++i) {
        if (stop && stop->load(std::memory_order_relaxed))
            return Abandoned();
        if (p.marbles[i].colour != p.seat)
            continue;
        // A later marble must beat the earlier ones strictly, so their best
        // is where this marble's search may stop caring.
        double value = kStayValue;
        try {
            value = search.Run(i, choice.value, below);
        } catch (const Abandon&) {
            return Abandoned();
        }
        if (value > choice.value) {
            choice.marble = i;
            choice.value = value;
            choice.path.assign(1, p.marbles[i].hole);
            choice.path.insert(choice.path.end(), below.begin(), below.end());
        }
    }
    return choice;
}
