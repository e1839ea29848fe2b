#include "level_search.h"

#include "board_tables.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>

namespace {

constexpr int kWin = 1'000'000;
constexpr int kInfinity = std::numeric_limits<int>::max() / 2;
constexpr int kStopCheckNodes = 1024; // nodes between two looks at the stop flag
constexpr int kPercent = 100;
constexpr int kKillers = 2; // moves that cut off remembered per depth
constexpr size_t kMaxMoves = kMaxMarbles * kHoleCount;

// How many single steps a hole lies from the tip of each colour's target
// star point, on an empty board: what a marble there still has to go.
class ProgressTables {
  public:
    ProgressTables() {
        const BoardTables& t = Tables();
        for (int colour = 0; colour < kColours; ++colour) {
            const LatticePoint tip = t.at(t.tip(Opposite(colour)));
            for (int h = 0; h < kHoleCount; ++h)
                toGo_[colour][h] = static_cast<int8_t>(HexDistance(t.at(h), tip));
        }
    }
    int toGo(int colour, int h) const { return toGo_[colour][h]; }

  private:
    // Rows r and half-columns c as cube coordinates x = (c - r) / 2, z = r.
    static int HexDistance(LatticePoint a, LatticePoint b) {
        const int dz = a.r - b.r;
        const int dx = ((a.c - a.r) - (b.c - b.r)) / 2;
        return std::max({std::abs(dx), std::abs(dz), std::abs(dx + dz)});
    }

    std::array<std::array<int8_t, kHoleCount>, kColours> toGo_{};
};

const ProgressTables& Progress() {
    static const ProgressTables tables;
    return tables;
}

// What a marble of each colour costs on each hole under the settings: its
// way to go, its square, and whether it still stands where it started.
using HoleCosts = std::array<std::array<int, kHoleCount>, kColours>;

HoleCosts CostsOf(const LevelSettings& s) {
    const ProgressTables& progress = Progress();
    HoleCosts costs;
    for (int colour = 0; colour < kColours; ++colour)
        for (int h = 0; h < kHoleCount; ++h) {
            const int toGo = progress.toGo(colour, h);
            costs[colour][h] = toGo * kPercent + toGo * toGo * s.squareWeight +
                               (Tables().triangle(h) == colour ? s.startWeight : 0);
        }
    return costs;
}

// The position as the look-ahead changes it: every colour's marbles by
// slot (their order in the position), the occupied holes, and running sums.
class LevelBoard {
  public:
    LevelBoard(const SearchPosition& p, const HoleCosts& costs) : costs_(costs) {
        for (int i = 0; i < p.count; ++i) {
            const MarbleSpot& m = p.marbles[i];
            const int slot = count_[m.colour]++;
            hole_[m.colour][slot] = m.hole;
            index_[m.colour][slot] = static_cast<int8_t>(i);
            occupied_.add(m.hole);
            holesOf_[m.colour].add(m.hole);
            cost_[m.colour] += costs_[m.colour][m.hole];
            inTarget_[m.colour] += InTarget(m.colour, m.hole);
            ++inTriangle_[Tables().triangle(m.hole)];
        }
    }

    const HoleSet& occupied() const { return occupied_; }
    const HoleSet& holesOf(int colour) const { return holesOf_[colour]; }
    int count(int colour) const { return count_[colour]; }
    int hole(int colour, int slot) const { return hole_[colour][slot]; }
    int index(int colour, int slot) const { return index_[colour][slot]; }
    // The sum of the colour's marbles' hole costs.
    int cost(int colour) const { return cost_[colour]; }
    int inTarget(int colour) const { return inTarget_[colour]; }
    bool Won(int colour) const { return inTarget_[colour] == kMarblesPerColour; }
    // Other colours' marbles in the colour's target star point.
    int blockers(int colour) const { return inTriangle_[Opposite(colour)] - inTarget_[colour]; }

    void Place(int colour, int slot, int to) {
        const int from = hole_[colour][slot];
        occupied_.remove(from);
        occupied_.add(to);
        holesOf_[colour].remove(from);
        holesOf_[colour].add(to);
        hole_[colour][slot] = static_cast<int8_t>(to);
        cost_[colour] += costs_[colour][to] - costs_[colour][from];
        inTarget_[colour] += InTarget(colour, to) - InTarget(colour, from);
        --inTriangle_[Tables().triangle(from)];
        ++inTriangle_[Tables().triangle(to)];
    }

    static bool InTarget(int colour, int h) { return Tables().triangle(h) == Opposite(colour); }

  private:
    const HoleCosts& costs_;
    HoleSet occupied_;
    std::array<HoleSet, kColours> holesOf_{};
    std::array<std::array<int8_t, kMaxMarbles>, kColours> hole_{};
    std::array<std::array<int8_t, kMaxMarbles>, kColours> index_{};
    std::array<int, kColours> count_{};
    std::array<int, kColours> cost_{};
    std::array<int, kColours> inTarget_{};
    std::array<int, kColours + 1> inTriangle_{};
};

struct Move {
    int8_t colour;
    int8_t slot;
    int8_t from;
    int8_t to;
    int16_t gain;  // how much nearer the marble gets: the order of the search
    int16_t order; // among equal gains, the order of generation
};

bool SearchedBefore(const Move& a, const Move& b) {
    return a.gain != b.gain ? a.gain > b.gain : a.order < b.order;
}

bool SameMove(const Move& a, const Move& b) {
    return a.colour == b.colour && a.from == b.from && a.to == b.to;
}

// Where a marble can go, and the holes whose marbles decided it: those its
// chains landed on, their neighbours, and the landing holes of the jumps
// over those neighbours.  While none of those changes, neither do its
// destinations.
struct Reach {
    HoleSet destinations;
    HoleSet depends;
};

Reach ReachOf(const HoleSet& occupied, int from) {
    const BoardTables& t = Tables();
    HoleSet taken = occupied;
    taken.remove(from);
    HoleSet reached;
    reached.add(from);
    HoleSet depends;
    HoleSet frontier = reached;
    while (!frontier.empty()) {
        HoleSet next;
        frontier.forEach([&](int h) {
            depends |= t.neighbours(h);
            for (auto* jump = t.jumpsBegin(h); jump != t.jumpsEnd(h); ++jump)
                if (taken.has(jump->over)) {
                    depends.add(jump->landing);
                    if (!taken.has(jump->landing))
                        next.add(jump->landing);
                }
        });
        next = next.without(reached);
        reached |= next;
        frontier = next;
    }
    depends |= reached;
    HoleSet destinations = reached | t.neighbours(from).without(taken);
    destinations.remove(from);
    return {destinations, depends};
}

// The reach of marbles on one board, kept by a node for its children: they
// move the other side's marbles on boards that differ from the node's by one
// move.  A reach found on a child's board holds on the node's board too
// when it does not depend on that move's holes, and then serves every child
// whose move it does not depend on either.
class ReachCache {
  public:
    // The node's board has changed: nothing known holds any more.
    void Renew() { ++now_; }
    const Reach* Find(int colour, int slot) const {
        return stamp_[colour][slot] == now_ ? &reach_[colour][slot] : nullptr;
    }
    void Keep(int colour, int slot, const Reach& reach) {
        reach_[colour][slot] = reach;
        stamp_[colour][slot] = now_;
    }

  private:
    std::array<std::array<Reach, kMaxMarbles>, kColours> reach_;
    std::array<std::array<uint32_t, kMaxMarbles>, kColours> stamp_{};
    uint32_t now_ = 1;
};

// What a node's board differs by from the board of the cache it was given:
// its parent's move, or nothing.
struct Since {
    ReachCache* cache = nullptr; // none: nothing to keep or find
    HoleSet changed;
};

Since After(ReachCache& cache, const Move& m) {
    Since since{&cache, {}};
    since.changed.add(m.from);
    since.changed.add(m.to);
    return since;
}

HoleSet DestinationsOf(const LevelBoard& b, int colour, int slot, const Since& since) {
    if (since.cache)
        if (const Reach* known = since.cache->Find(colour, slot);
            known && !known->depends.meets(since.changed))
            return known->destinations;
    const Reach reach = ReachOf(b.occupied(), b.hole(colour, slot));
    if (since.cache && !reach.depends.meets(since.changed))
        since.cache->Keep(colour, slot, reach);
    return reach.destinations;
}

// The colour's moves, those that bring it furthest first, at most `width`
// of them (0: all); among equals the earlier marble and the lower hole.
void GenerateMoves(const LevelBoard& b, int colour, int width, const Since& since,
                   std::vector<Move>& moves) {
    const ProgressTables& progress = Progress();
    const size_t kept = width > 0 ? static_cast<size_t>(width) : kMaxMoves;
    moves.clear();
    int16_t order = 0;
    for (int slot = 0; slot < b.count(colour); ++slot) {
        const int from = b.hole(colour, slot);
        const int fromToGo = progress.toGo(colour, from);
        DestinationsOf(b, colour, slot, since).forEach([&](int to) {
            const Move m{static_cast<int8_t>(colour),
                         static_cast<int8_t>(slot),
                         static_cast<int8_t>(from),
                         static_cast<int8_t>(to),
                         static_cast<int16_t>(fromToGo - progress.toGo(colour, to)),
                         order++};
            // Few are kept below the root: keep them sorted as they come.
            if (moves.size() == kept && !SearchedBefore(m, moves.back()))
                return;
            if (moves.size() == kept)
                moves.pop_back();
            moves.insert(std::upper_bound(moves.begin(), moves.end(), m, SearchedBefore), m);
        });
    }
}

struct Abandon {}; // thrown out of the look-ahead when it must stop

// Best-reply search: the seat's own plies alternate with one ply in which
// the other colours together make the single move that leaves the seat
// worst off.  With two seats this is plain minimax; with more it keeps the
// seat's own plans deep without a ply for every other colour.  Alpha-beta,
// iterative deepening over a fixed node budget.
class LevelSearch {
  public:
    LevelSearch(const SearchPosition& p, const LevelSettings& settings,
                const std::atomic<bool>* stop)
        : costs_(CostsOf(settings)), board_(p, costs_), seat_(p.seat), settings_(settings),
          stop_(stop) {
        for (int k = 1; k < kColours; ++k) {
            const int colour = (p.seat + k) % kColours;
            if (board_.count(colour) > 0)
                others_.push_back(colour);
        }
        replyWidth_ = settings.width;
        if (settings.replyWidth > 0 && !others_.empty()) {
            const int share = (settings.replyWidth + static_cast<int>(others_.size()) - 1) /
                              static_cast<int>(others_.size());
            replyWidth_ = settings.width > 0 ? std::min(settings.width, share) : share;
        }
        const size_t plies = static_cast<size_t>(std::max(settings.depth, 1)) + 1;
        moves_.resize(plies);
        colourMoves_.resize(plies);
        caches_.resize(plies);
        killers_.resize(plies);
        for (auto& killers : killers_)
            killers.fill({-1, 0, kNoHole, kNoHole, 0, 0});
    }

    LevelSearchResult Run() {
        LevelSearchResult result;
        std::vector<Move> root;
        GenerateMoves(board_, seat_, 0, {}, root);
        if (root.empty())
            return result;
        try {
            for (int depth = 1; depth <= settings_.depth; ++depth) {
                SearchRoot(root, depth);
                result.depth = depth;
            }
        } catch (const Abandon&) {
            if (stopped_) {
                result.abandoned = true;
                result.nodes = nodes_;
                return result;
            }
            // Out of nodes: the deepest completed ply decides.
        }
        const Move& m = root.front();
        result.marble = board_.index(m.colour, m.slot);
        result.path = PathTo(board_.occupied(), m.from, m.to);
        result.nodes = nodes_;
        return result;
    }

  private:
    // Searches the root moves to `depth` plies, then puts the best first
    // (the earliest among equals) and the others in the order of their
    // values, which the next ply searches first.  Moves cut off keep the
    // place their bound gives them.
    void SearchRoot(std::vector<Move>& root, int depth) {
        std::vector<int> values(root.size(), -kInfinity);
        int alpha = -kInfinity;
        ReachCache& cache = Renewed(depth);
        for (size_t i = 0; i < root.size(); ++i) {
            const Move& m = root[i];
            Play(m);
            values[i] =
                board_.Won(seat_) ? kWin : Others(depth - 1, 1, alpha, kInfinity, After(cache, m));
            Undo(m);
            alpha = std::max(alpha, values[i]);
        }
        std::vector<size_t> order(root.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return values[a] > values[b]; });
        std::vector<Move> sorted;
        for (size_t i : order)
            sorted.push_back(root[i]);
        root = std::move(sorted);
    }

    // The cache that a node of `depth` keeps for its children.
    ReachCache& Renewed(int depth) {
        caches_[depth].Renew();
        return caches_[depth];
    }

    // The seat to move.
    int Own(int depth, int ply, int alpha, int beta, const Since& since) {
        if (depth == 0)
            return Evaluate();
        if (depth == 1)
            return LastOwnPly(ply, since);
        std::vector<Move>& moves = moves_[depth];
        GenerateMoves(board_, seat_, settings_.width, since, moves);
        ReachCache& cache = Renewed(depth);
        if (moves.empty())
            return Others(depth - 1, ply + 1, alpha, beta, {&cache, {}});
        return Children(moves, true, depth, ply, alpha, beta, cache);
    }

    // The seat's last ply.  Most moves change nothing but the seat's own
    // hole costs, and their values follow without playing them; only a move
    // from or to a hole where it could change another term is played.
    int LastOwnPly(int ply, const Since& since) {
        const int* costs = costs_[seat_].data();
        const int now = Evaluate();
        const HoleSet sensitive = Sensitive();
        const HoleSet target = Tables().triangleHoles(Opposite(seat_));
        const bool lastOutside = board_.inTarget(seat_) == kMarblesPerColour - 1;
        int best = -kInfinity;
        for (int slot = 0; slot < board_.count(seat_); ++slot) {
            const int from = board_.hole(seat_, slot);
            const HoleSet destinations = DestinationsOf(board_, seat_, slot, since);
            Count(destinations.count());
            if (lastOutside && !target.has(from) && destinations.meets(target))
                return kWin - ply;
            destinations.forEach([&](int to) {
                if (sensitive.has(from) || sensitive.has(to)) {
                    board_.Place(seat_, slot, to);
                    best = std::max(best, Evaluate());
                    board_.Place(seat_, slot, from);
                } else {
                    best = std::max(best, now + costs[from] - costs[to]);
                }
            });
        }
        return best == -kInfinity ? now : best;
    }

    // The holes where a move of the seat changes more of the evaluation than
    // its own hole costs: next to or a jump away from another colour's
    // marble in the seat's target (whether that marble can move), and, when
    // their marbles there count, the others' target star points.
    HoleSet Sensitive() const {
        const BoardTables& t = Tables();
        HoleSet sensitive;
        if (settings_.trappedWeight > 0)
            Strangers().forEach([&](int h) { sensitive |= t.reach(h); });
        if (settings_.othersWeight > 0 && settings_.blockerWeight > 0)
            for (int colour : others_)
                sensitive |= t.triangleHoles(Opposite(colour));
        return sensitive;
    }

    // The others' best reply: whichever single move of any other colour
    // leaves the seat worst off.
    int Others(int depth, int ply, int alpha, int beta, const Since& since) {
        if (depth == 0)
            return Evaluate();
        if (others_.empty())
            return Own(depth - 1, ply + 1, alpha, beta, {});
        std::vector<Move>& moves = moves_[depth];
        std::vector<Move>& colourMoves = colourMoves_[depth];
        moves.clear();
        for (int colour : others_) {
            GenerateMoves(board_, colour, replyWidth_, since, colourMoves);
            moves.insert(moves.end(), colourMoves.begin(), colourMoves.end());
        }
        ReachCache& cache = Renewed(depth);
        if (moves.empty())
            return Own(depth - 1, ply + 1, alpha, beta, {&cache, {}});
        return Children(moves, false, depth, ply, alpha, beta, cache);
    }

    // A node's value from its children: the best of the seat's moves for
    // it, or the worst of the others' replies.  The children's boards
    // differ from the node's by one move: `cache` keeps what they find on it.
    int Children(std::vector<Move>& moves, bool seatMoves, int depth, int ply, int alpha, int beta,
                 ReachCache& cache) {
        TryKillersFirst(depth, moves);
        int best = seatMoves ? -kInfinity : kInfinity;
        for (const Move& m : moves) {
            Play(m);
            int v = 0;
            if (board_.Won(m.colour))
                v = seatMoves ? kWin - ply : -kWin + ply;
            else if (seatMoves)
                v = Others(depth - 1, ply + 1, alpha, beta, After(cache, m));
            else
                v = Own(depth - 1, ply + 1, alpha, beta, After(cache, m));
            Undo(m);
            if (seatMoves) {
                best = std::max(best, v);
                alpha = std::max(alpha, v);
            } else {
                best = std::min(best, v);
                beta = std::min(beta, v);
            }
            if (alpha >= beta) {
                RememberKiller(depth, m);
                break;
            }
        }
        return best;
    }

    // Moves that cut the search off at this depth elsewhere, likely to do
    // so again (a reply that blocks the seat's best chain usually blocks it
    // after most of its moves): searched first when they are legal here.
    void TryKillersFirst(int depth, std::vector<Move>& moves) const {
        auto front = moves.begin();
        for (const Move& killer : killers_[depth]) {
            const auto found = std::find_if(front, moves.end(),
                                            [&](const Move& m) { return SameMove(m, killer); });
            if (found != moves.end()) {
                std::rotate(front, found, found + 1);
                ++front;
            }
        }
    }
    void RememberKiller(int depth, const Move& m) {
        std::array<Move, kKillers>& killers = killers_[depth];
        if (SameMove(killers[0], m))
            return;
        std::rotate(killers.begin(), killers.end() - 1, killers.end());
        killers[0] = m;
    }

    void Count(int nodes) {
        const int64_t before = nodes_;
        nodes_ += nodes;
        if (before / kStopCheckNodes != nodes_ / kStopCheckNodes && stop_ &&
            stop_->load(std::memory_order_relaxed)) {
            stopped_ = true;
            throw Abandon();
        }
        if (settings_.nodeBudget > 0 && nodes_ > settings_.nodeBudget)
            throw Abandon();
    }
    void Play(const Move& m) {
        Count(1);
        board_.Place(m.colour, m.slot, m.to);
    }
    void Undo(const Move& m) { board_.Place(m.colour, m.slot, m.from); }

    // What the colour still has to go, and what keeps it from winning.
    int Cost(int colour) const {
        return board_.cost(colour) + board_.blockers(colour) * settings_.blockerWeight;
    }

    // Other colours' marbles in the seat's target star point that cannot
    // move: while one stays there, the seat cannot win.
    int Trapped() const {
        int trapped = 0;
        Strangers().forEach([&](int h) { trapped += !CanMove(board_.occupied(), h); });
        return trapped;
    }
    HoleSet Strangers() const {
        return (board_.occupied() & Tables().triangleHoles(Opposite(seat_)))
            .without(board_.holesOf(seat_));
    }

    // The seat's view: its own way to go against that of the leading other.
    int Evaluate() const {
        int value = -Cost(seat_);
        if (settings_.trappedWeight > 0 && board_.blockers(seat_) > 0)
            value -= Trapped() * settings_.trappedWeight;
        if (settings_.othersWeight > 0 && !others_.empty()) {
            int leading = kInfinity;
            for (int colour : others_)
                leading = std::min(leading, Cost(colour));
            value += leading * settings_.othersWeight / kPercent;
        }
        return value;
    }

    const HoleCosts costs_;
    LevelBoard board_;
    const int seat_;
    const LevelSettings settings_;
    const std::atomic<bool>* stop_;
    std::vector<int> others_;
    int replyWidth_ = 0; // moves of each other colour in their ply
    // By remaining depth: the moves of a node, one other colour's moves,
    // the reach kept for the children, and the moves that cut off.
    std::vector<std::vector<Move>> moves_;
    std::vector<std::vector<Move>> colourMoves_;
    std::vector<ReachCache> caches_;
    std::vector<std::array<Move, kKillers>> killers_;
    int64_t nodes_ = 0;
    bool stopped_ = false;
};

} // namespace

bool CanMove(const HoleSet& occupied, int from) {
    const BoardTables& t = Tables();
    if (!t.neighbours(from).without(occupied).empty())
        return true;
    for (auto* jump = t.jumpsBegin(from); jump != t.jumpsEnd(from); ++jump)
        if (!occupied.has(jump->landing))
            return true; // every neighbour is taken, so this is a jump
    return false;
}

HoleSet Destinations(const HoleSet& occupied, int from) {
    return ReachOf(occupied, from).destinations;
}

std::vector<int> PathTo(const HoleSet& occupied, int from, int to) {
    const BoardTables& t = Tables();
    for (int d = 0; d < kDirections; ++d)
        if (t.neighbour(from, d) == to && !occupied.has(to))
            return {from, to};
    HoleSet taken = occupied;
    taken.remove(from);
    std::array<int8_t, kHoleCount> cameFrom;
    cameFrom.fill(kNoHole);
    cameFrom[from] = static_cast<int8_t>(from);
    std::vector<int> queue{from};
    for (size_t next = 0; next < queue.size() && cameFrom[to] == kNoHole; ++next) {
        const int h = queue[next];
        for (auto* jump = t.jumpsBegin(h); jump != t.jumpsEnd(h); ++jump)
            if (taken.has(jump->over) && !taken.has(jump->landing) &&
                cameFrom[jump->landing] == kNoHole) {
                cameFrom[jump->landing] = static_cast<int8_t>(h);
                queue.push_back(jump->landing);
            }
    }
    std::vector<int> path;
    if (cameFrom[to] == kNoHole)
        return path;
    for (int h = to; h != from; h = cameFrom[h])
        path.push_back(h);
    path.push_back(from);
    std::reverse(path.begin(), path.end());
    return path;
}

LevelSearchResult SearchLevelMove(const SearchPosition& position, const LevelSettings& settings,
                                  const std::atomic<bool>* stop) {
    return LevelSearch(position, settings, stop).Run();
}
