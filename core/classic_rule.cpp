#include "classic_rule.h"

#include <cstring>

LegalJumps::LegalJumps(const HoleSet& occupied) {
    const BoardTables& t = Tables();
    for (int h = 0; h < kHoleCount; ++h)
        for (auto* jump = t.jumpsBegin(h); jump != t.jumpsEnd(h); ++jump)
            if (occupied.has(jump->over) && !occupied.has(jump->landing)) {
                landing_[h][count_[h]++] = jump->landing;
                landings_[h].add(jump->landing);
            }
}

int FindTargetHole(int h, int seat, const HoleSet& own) {
    const BoardTables& t = Tables();
    if (!own.has(h))
        return h; // a hole with another colour's marble counts as free
    const int triangle = t.triangle(h);
    // From the tip of the target star point, directions seat and seat + 1
    // lead inwards: both children first, then descend along direction seat.
    for (int k = 0; k < 2; ++k) {
        const int n = t.neighbour(h, Mod6(seat + k));
        if (n != kNoHole && t.triangle(n) == triangle && !own.has(n))
            return n;
    }
    for (int k = 0; k < 2; ++k) {
        const int n = t.neighbour(h, Mod6(seat + k));
        if (n != kNoHole && t.triangle(n) == triangle)
            if (const int found = FindTargetHole(n, seat, own); found != kNoHole)
                return found;
    }
    return kNoHole;
}

ClassicMarble::ClassicMarble(const SearchPosition& p, int marble) {
    const BoardTables& t = Tables();
    const MarbleSpot& m = p.marbles[marble];
    origin_ = m.hole;
    const int targetTriangle = Opposite(m.colour);
    const int tip = p.homeHoles[targetTriangle];
    target_ = t.triangle(origin_) == targetTriangle
                  ? tip
                  : FindTargetHole(tip, m.colour, p.HolesOf(m.colour));
    const double s = t.triangle(origin_) == m.colour ? 1.0 : 0.0;
    const double u = t.triangle(origin_) == targetTriangle ? 1.0 : 0.0;
    weight_ = 1 + 0.5 * s - 0.5 * u;
    if (target_ != kNoHole) {
        distance_ = t.distancesTo(target_);
        originDistance_ = distance_[origin_];
    }
}

void BestBelow::Take(int depth, int j, bool withBelow) {
    below_[depth][0] = static_cast<int8_t>(j);
    length_[depth] = 1;
    if (withBelow) {
        std::memcpy(&below_[depth][1], below_[depth + 1], length_[depth + 1]);
        length_[depth] += length_[depth + 1];
    }
}

namespace {

// One marble's search exactly as the rule is written; only the tree is
// gone: each level keeps the holes below it that lead to its best node.
class ExhaustiveMarble {
  public:
    ExhaustiveMarble(const ClassicMarble& marble, const HoleSet& occupied, const LegalJumps& jumps)
        : m_(marble), t_(Tables()), occupied_(occupied), jumps_(jumps) {
        for (int h = 0; h < kHoleCount; ++h) {
            own_[h] = m_.Own(h);
            cut_[h] = m_.CutBack(h);
            distance_[h] = m_.D(h);
        }
        onChain_[m_.origin()] = true;
    }

    // The marble's best value and the holes after its origin.
    double Run(std::vector<int>& below, int64_t& nodes) {
        const double value = Root();
        below = best_.BelowRoot();
        nodes += nodes_;
        return value;
    }

  private:
    double Root() {
        const int origin = m_.origin();
        double best = kStayValue;
        best_.TakeSelf(0);
        ++nodes_;
        for (int d = 0; d < kDirections; ++d) {
            const int n = t_.neighbour(origin, d);
            if (n == kNoHole)
                continue;
            if (!occupied_.has(n)) {
                // A step: unweighted, and only at the first level.
                ++nodes_;
                if (cut_[n] > best) {
                    best = cut_[n];
                    best_.Take(0, n, false);
                }
                continue;
            }
            const int j = t_.beyond(origin, d);
            if (j == kNoHole || occupied_.has(j))
                continue;
            const double value = Landed(j, 1);
            const bool passes = distance_[j] >= value;
            const double candidate = passes ? value : cut_[origin];
            if (candidate > best) {
                best = candidate;
                best_.Take(0, j, passes);
            }
        }
        return best;
    }

    // The search of a node just added for the landing hole j at `depth`.
    double Landed(int j, int depth) {
        ++nodes_;
        onChain_[j] = true;
        const double value = Search(j, depth);
        onChain_[j] = false;
        return value;
    }

    double Search(int cur, int depth) {
        double best = own_[cur];
        best_.TakeSelf(depth);
        for (const int8_t* landing = jumps_.begin(cur); landing != jumps_.end(cur); ++landing) {
            const int j = *landing;
            if (onChain_[j]) {
                // Back onto its own chain: the chain stops here instead.
                if (cut_[cur] > best) {
                    best = cut_[cur];
                    best_.TakeSelf(depth);
                }
                continue;
            }
            const double value = Landed(j, depth + 1);
            const bool passes = distance_[j] >= value;
            const double candidate = passes ? value : cut_[cur];
            if (candidate > best) {
                best = candidate;
                best_.Take(depth, j, passes);
            }
        }
        return best;
    }

    const ClassicMarble& m_;
    const BoardTables& t_;
    const HoleSet occupied_;
    const LegalJumps& jumps_;
    std::array<bool, kHoleCount> onChain_{};
    double own_[kHoleCount];
    double cut_[kHoleCount];
    double distance_[kHoleCount];
    BestBelow best_;
    int64_t nodes_ = 0;
};

} // namespace

ClassicMove ExhaustiveClassicMove(const SearchPosition& p, int64_t* nodes) {
    int64_t counted = 0;
    ClassicMove choice;
    const HoleSet occupied = p.Occupied();
    const LegalJumps jumps(occupied);
    std::vector<int> below;
    for (int i = 0; i < p.count; ++i) {
        if (p.marbles[i].colour != p.seat)
            continue;
        const ClassicMarble marble(p, i);
        if (marble.target() == kNoHole) {
            ++counted; // a full target star point is a win: nothing to search
            continue;
        }
        const double value = ExhaustiveMarble(marble, occupied, jumps).Run(below, counted);
        // Strictly greater: the first marble in list order wins ties.  A
        // marble that can only stay keeps kStayValue and is never chosen.
        if (value > choice.value && !below.empty()) {
            choice.marble = i;
            choice.value = value;
            choice.path.assign(1, marble.origin());
            choice.path.insert(choice.path.end(), below.begin(), below.end());
        }
    }
    if (nodes)
        *nodes = counted;
    return choice;
}
