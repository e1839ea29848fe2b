#include "pruned_search.h"

#include "board.h"
#include "marble.h"
#include "move_gain.h"
#include "path_tree.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstdint>
#include <memory>
#include <numeric>
#include <optional>
#include <vector>

namespace {

constexpr double kUnbounded = std::numeric_limits<double>::infinity();

// A set of holes by index, small enough to copy freely.
class HoleSet {
  public:
    bool has(int h) const { return (words_[h / 64] >> (h % 64)) & 1; }
    void add(int h) { words_[h / 64] |= uint64_t{1} << (h % 64); }
    void remove(int h) { words_[h / 64] &= ~(uint64_t{1} << (h % 64)); }
    bool empty() const { return (words_[0] | words_[1]) == 0; }
    bool meets(const HoleSet& o) const {
        return ((words_[0] & o.words_[0]) | (words_[1] & o.words_[1])) != 0;
    }
    HoleSet& operator|=(const HoleSet& o) {
        words_[0] |= o.words_[0];
        words_[1] |= o.words_[1];
        return *this;
    }
    HoleSet& operator&=(const HoleSet& o) {
        words_[0] &= o.words_[0];
        words_[1] &= o.words_[1];
        return *this;
    }
    HoleSet without(const HoleSet& o) const {
        HoleSet r;
        r.words_[0] = words_[0] & ~o.words_[0];
        r.words_[1] = words_[1] & ~o.words_[1];
        return r;
    }
    template <typename Visit> void forEach(Visit visit) const {
        for (int w = 0; w < 2; ++w)
            for (uint64_t bits = words_[w]; bits; bits &= bits - 1)
                visit(w * 64 + std::countr_zero(bits));
    }

  private:
    std::array<uint64_t, 2> words_{};
};

// The hole a jump from h in direction d lands on, or none: the same tests
// as the exhaustive search, over exactly one marble of any colour onto an
// empty hole.
TZellhopPos* Landing(const TZellhopPos& h, int d) {
    TZellhopPos* n = h.neighbour[d];
    if (!n || !n->ball)
        return nullptr;
    TZellhopPos* j = n->neighbour[d];
    return j && !j->ball ? j : nullptr;
}

// The board as the bounds see it: every hole by index and the holes its
// jumps land on.  Nothing moves while a seat searches and every marble
// stays in its hole, so this holds for all the seat's marbles.
class JumpGraph {
  public:
    explicit JumpGraph(TZellhopPos& anyHole) {
        std::vector<TZellhopPos*> queue{&anyHole};
        holes_[anyHole.index] = &anyHole;
        for (size_t next = 0; next < queue.size(); ++next)
            for (TZellhopPos* n : queue[next]->neighbour)
                if (n && !holes_[n->index]) {
                    holes_[n->index] = n;
                    queue.push_back(n);
                }
        assert(queue.size() == kHoleCount);
        for (TZellhopPos* h : holes_)
            for (int d = 0; d < kDirections; ++d)
                if (const TZellhopPos* j = Landing(*h, d))
                    landings_[h->index].add(j->index);
    }

    const TZellhopPos& hole(int h) const { return *holes_[h]; }
    const HoleSet& landings(int h) const { return landings_[h]; }

  private:
    std::array<TZellhopPos*, kHoleCount> holes_{};
    std::array<HoleSet, kHoleCount> landings_{};
};

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
//   otherwise the exact value, with the node of the best destination.
class MarbleSearch {
  public:
    MarbleSearch(const TZellhopBall& marble, const TZellhopPos& target,
                 std::optional<JumpGraph>& graph, PathTree& tree, int64_t nodesBeforeBounds)
        : target_(target), origin_(*marble.pos), weight_(MarbleWeight(marble)),
          nodesBeforeBounds_(nodesBeforeBounds), graph_(graph), tree_(tree) {
        originDistance_ = D(origin_);
    }

    int64_t nodes() const { return nodes_; }
    int64_t pruned() const { return pruned_; }

    // The marble's best move if it scores above `threshold`, else a value
    // at most `threshold`; `node` is the destination's node.
    double Run(double threshold, int& node) {
        node = tree_.AddRoot(origin_);
        onChain_.add(origin_.index);
        return SearchMove(node, kStayValue, threshold, kUnbounded);
    }

  private:
    double D(const TZellhopPos& h) {
        if (!known_.has(h.index)) {
            distance_[h.index] = DistanceTo(h, target_);
            known_.add(h.index);
        }
        return distance_[h.index];
    }
    // The weighted gain of landing on h, and the unweighted one of stepping
    // onto h or of a chain stopped there.
    double Own(const TZellhopPos& h) { return WeightedGain(weight_, originDistance_, D(h)); }
    double CutBack(const TZellhopPos& h) { return Gain(originDistance_, D(h)); }

    // `best` starts as the node's own value: staying (the root) or landing.
    double SearchMove(int& node, double best, double alpha, double beta) {
        ++nodes_;
        TZellhopPos& cur = *tree_[node].hole;
        const bool root = &cur == &origin_;
        std::optional<double> cutBack; // what stopping here scores, once needed
        int bestNode = node;
        for (int d = 0; d < kDirections && best <= beta; ++d) {
            TZellhopPos* n = cur.neighbour[d];
            if (!n)
                continue;
            // Below the threshold a candidate cannot matter any more.
            const double threshold = std::max(best, alpha);
            std::optional<Candidate> c;
            if (root && !n->ball) {
                c = Step(node, *n, threshold);
            } else if (TZellhopPos* j = Landing(cur, d)) {
                if (!cutBack)
                    cutBack = CutBack(cur);
                c = Jump(node, *j, *cutBack, threshold);
            }
            if (c) {
                best = c->value;
                bestNode = c->node;
            }
        }
        node = bestNode;
        return best;
    }

    // A destination and its value, when it beats the threshold.
    struct Candidate {
        double value;
        int node;
    };

    // A step: unweighted, and only at the first level.
    std::optional<Candidate> Step(int root, TZellhopPos& n, double threshold) {
        ++nodes_;
        const double v = CutBack(n);
        if (v <= threshold)
            return std::nullopt;
        return Candidate{v, tree_.AddChild(root, n)};
    }

    // The jump from the node's hole onto j; `cutBack` is what the chain
    // scores when it stops at the node.
    std::optional<Candidate> Jump(int node, TZellhopPos& j, double cutBack, double threshold) {
        const auto stopHere = [&](auto nodeOf) -> std::optional<Candidate> {
            if (cutBack <= threshold)
                return std::nullopt;
            return Candidate{cutBack, nodeOf()};
        };
        if (onChain_.has(j.index)) // back onto its own chain: it stops here instead
            return stopHere([&] { return node; });
        const double landingDistance = D(j);
        const double landing = Own(j);
        if (landing > landingDistance) {
            // Whatever follows, the chain from j scores at least its landing,
            // more than D(j): it is cut back to j.
            return stopHere([&] { return tree_.AddChild(node, j); });
        }
        if (nodes_ > nodesBeforeBounds_ && !CouldBeat(j, threshold, cutBack)) {
            ++pruned_;
            return std::nullopt;
        }
        // Exact below the landing hole's distance; above it only "more".
        const double childAlpha = std::min(threshold, landingDistance);
        const int child = tree_.AddChild(node, j);
        int below = child;
        onChain_.add(j.index);
        const double v = SearchMove(below, landing, childAlpha, landingDistance);
        onChain_.remove(j.index);
        if (v > landingDistance) // cut back to the landing hole, scored from where it was made
            return stopHere([&] { return child; });
        if (v > childAlpha)
            return Candidate{v, below};
        return std::nullopt;
    }

    // What a node on hole h can score, and what it can hand up past its own
    // landing: a value above D(h) is cut back on the way up.  A node scores
    // at least its weighted gain, so when that exceeds D(h) nothing passes.
    double Most(const TZellhopPos& h) { return std::max(Own(h), CutBack(h)); }
    bool Blocks(const TZellhopPos& h) { return Own(h) > D(h); }
    double Passed(const TZellhopPos& h) {
        if (Blocks(h))
            return -kUnbounded;
        return CutBack(h) <= D(h) ? std::max(Own(h), CutBack(h)) : Own(h);
    }
    // Values handed up through h never exceed D(h).
    double Ceiling(const TZellhopPos& h) { return Blocks(h) ? -kUnbounded : D(h); }

    void SetUpBounds() {
        if (!graph_)
            graph_.emplace(origin_);
        bounds_ = std::make_unique<BoundTables>();
        bounds_->ceiling.Build([&](int h) { return Ceiling(graph_->hole(h)); });
        bounds_->passing.Build([&](int h) { return Passed(graph_->hole(h)); });
    }

    // Whether the jump onto j could yield a candidate above `threshold`:
    // the chain's value when that does not exceed D(j), else the cut-back
    // value.
    bool CouldBeat(const TZellhopPos& j, double threshold, double cutBack) {
        if (!bounds_)
            SetUpBounds();
        if (ReachesPassing(j.index, threshold, false))
            return true;
        if (cutBack <= threshold)
            return false;
        return Most(j) > D(j) || ReachesPassing(j.index, D(j), true);
    }

    // Whether some hole that a chain from j can still reach hands up a
    // value above `threshold` all the way to j.  Such a value never exceeds
    // the distance of a hole it passes, so holes at most `threshold` away
    // from the target are walls.  With `beyondOnly`, j's own values do not
    // count and j itself is no wall.
    bool ReachesPassing(int j, double threshold, bool beyondOnly) const {
        HoleSet open = bounds_->ceiling.Above(threshold).without(onChain_);
        const HoleSet& passing = bounds_->passing.Above(threshold);
        if (!beyondOnly && (!open.has(j) || passing.has(j)))
            return open.has(j);
        open.remove(j);
        HoleSet frontier;
        frontier.add(j);
        while (!frontier.empty()) {
            HoleSet next;
            frontier.forEach([&](int h) { next |= graph_->landings(h); });
            next &= open;
            if (next.meets(passing))
                return true;
            open = open.without(next);
            frontier = next;
        }
        return false;
    }

    const TZellhopPos& target_;
    TZellhopPos& origin_;
    const double weight_;
    const int64_t nodesBeforeBounds_;
    double originDistance_ = 0;
    std::optional<JumpGraph>& graph_;
    PathTree& tree_;
    HoleSet onChain_;
    HoleSet known_;
    std::array<double, kHoleCount> distance_;
    std::unique_ptr<BoundTables> bounds_;
    int64_t nodes_ = 0;
    int64_t pruned_ = 0;
};

// The searches of one seat's marbles, sharing the jump graph and, as the
// exhaustive search does, one tree for all of them.
class SeatSearch {
  public:
    SeatSearch(SearchCounters& counters, const PruneOptions& options)
        : counters_(counters), options_(options) {}

    // The marble's best move if it scores above `threshold`; `node` is the
    // destination's node in tree().
    MarbleSearchResult Run(const TZellhopBall& marble, const HomeHoles& homeHoles,
                           double threshold) {
        MarbleSearchResult result;
        if (const TZellhopPos* target = MarbleTarget(marble, homeHoles)) {
            MarbleSearch search(marble, *target, graph_, tree_, options_.nodesBeforeBounds);
            result.value = search.Run(threshold, result.node);
            counters_.nodes += search.nodes();
            counters_.pruned += search.pruned();
        } else {
            // Only a full target star point has no free hole, and that is a win.
            result.node = tree_.AddRoot(*marble.pos);
            ++counters_.nodes;
        }
        return result;
    }

    const PathTree& tree() const { return tree_; }

  private:
    SearchCounters& counters_;
    const PruneOptions options_;
    std::optional<JumpGraph> graph_;
    PathTree tree_;
};

} // namespace

PrunedMarbleResult SearchMarblePruned(const TZellhopBall& marble, const HomeHoles& homeHoles,
                                      double threshold, SearchCounters* counters,
                                      const PruneOptions& options) {
    SearchCounters ignored;
    SeatSearch search(counters ? *counters : ignored, options);
    const MarbleSearchResult r = search.Run(marble, homeHoles, threshold);
    PrunedMarbleResult result{r.value, {}};
    if (r.value > threshold)
        result.path = search.tree().PathTo(r.node);
    return result;
}

ComputerChoice ChooseMovePruned(const MarbleList& marbles, const HomeHoles& homeHoles, int seat,
                                SearchCounters* counters, const PruneOptions& options) {
    SearchCounters ignored;
    SeatSearch search(counters ? *counters : ignored, options);
    ComputerChoice choice;
    int destination = PathTree::kNone;
    for (const auto& m : marbles) {
        if (m->colour != seat || !m->pos)
            continue;
        // A later marble must beat the earlier ones strictly, so their best
        // is where this marble's search may stop caring.
        const MarbleSearchResult r = search.Run(*m, homeHoles, choice.value);
        if (r.value > choice.value) {
            choice.marble = m.get();
            choice.value = r.value;
            destination = r.node;
        }
    }
    if (choice.marble)
        choice.path = search.tree().PathTo(destination);
    return choice;
}
