#include "computer_player.h"

#include "board.h"
#include "board_tables.h"
#include "marble.h"
#include "move_gain.h"
#include "path_tree.h"
#include "pruned_search.h"

#include <cassert>

namespace {

bool HoldsColour(const TZellhopPos& h, int colour) {
    return h.ball && h.ball->colour == colour;
}

// One marble's search.  The marble stays in its origin hole throughout, so
// the origin counts as occupied and no chain can land on it.
class ExhaustiveSearch {
  public:
    ExhaustiveSearch(const TZellhopBall& marble, TZellhopPos& target, PathTree& tree)
        : tree_(tree), target_(target), origin_(*marble.pos), weight_(MarbleWeight(marble)),
          originDistance_(D(origin_)) {}

    MarbleSearchResult Run() {
        int node = tree_.AddRoot(origin_);
        const double value = SearchMove(node, false);
        return {value, node};
    }

  private:
    double D(const TZellhopPos& h) const { return DistanceTo(h, target_); }

    // Adds a child for the hole below `parent`, unless the hole is already
    // on the parent's chain.
    int AddPathNode(int parent, TZellhopPos& hole) {
        if (tree_.PathContains(parent, hole))
            return PathTree::kNone;
        return tree_.AddChild(parent, hole);
    }

    double SearchMove(int& node, bool jumpsOnly) {
        TZellhopPos& cur = *tree_[node].hole;
        double best =
            &cur == &origin_ ? kStayValue : WeightedGain(weight_, originDistance_, D(cur));
        int bestNode = node;
        for (int i = 0; i < kDirections; ++i) {
            TZellhopPos* n = cur.neighbour[i];
            if (!n)
                continue;
            double value = 0;
            int candidate = PathTree::kNone;
            if (!jumpsOnly && !n->ball) {
                // A step: unweighted, and only at the first level.
                value = Gain(originDistance_, D(*n));
                candidate = AddPathNode(node, *n);
            } else {
                TZellhopPos* j = n->neighbour[i];
                if (!n->ball || !j || j->ball)
                    continue;
                const int child = AddPathNode(node, *j);
                if (child == PathTree::kNone) {
                    value = Gain(originDistance_, D(cur));
                    candidate = node;
                } else {
                    int below = child;
                    const double v = SearchMove(below, true);
                    if (D(*j) >= v) {
                        value = v;
                        candidate = below;
                    } else {
                        // The continuation promises more than the landing
                        // hole's remaining distance: cut back to the landing.
                        value = Gain(originDistance_, D(cur));
                        candidate = child;
                    }
                }
            }
            if (value > best) {
                best = value;
                bestNode = candidate;
            }
        }
        node = bestNode;
        return best;
    }

    PathTree& tree_;
    TZellhopPos& target_;
    TZellhopPos& origin_;
    const double weight_;
    const double originDistance_;
};

} // namespace

TZellhopPos* FindTarget(TZellhopPos& h, int seat) {
    if (!HoldsColour(h, seat))
        return &h; // a hole with another colour's marble counts as free
    const int triangle = h.triangle;
    // From the tip of the target star point, directions seat and seat + 1
    // lead inwards: both children first, then descend along direction seat.
    for (int k = 0; k < 2; ++k) {
        TZellhopPos* n = h.neighbour[Mod6(seat + k)];
        if (n && n->triangle == triangle && !HoldsColour(*n, seat))
            return n;
    }
    for (int k = 0; k < 2; ++k) {
        TZellhopPos* n = h.neighbour[Mod6(seat + k)];
        if (n && n->triangle == triangle)
            if (TZellhopPos* found = FindTarget(*n, seat))
                return found;
    }
    return nullptr;
}

TZellhopPos* MarbleTarget(const TZellhopBall& marble, const HomeHoles& homeHoles) {
    const int targetTriangle = Opposite(marble.colour);
    TZellhopPos* tip = homeHoles[targetTriangle];
    if (marble.pos->triangle == targetTriangle)
        return tip;
    return FindTarget(*tip, marble.colour);
}

double MarbleWeight(const TZellhopBall& marble) {
    const double s = marble.pos->triangle == marble.colour ? 1.0 : 0.0;
    const double t = marble.pos->triangle == Opposite(marble.colour) ? 1.0 : 0.0;
    return 1 + 0.5 * s - 0.5 * t;
}

MarbleSearchResult SearchMarbleExhaustive(const TZellhopBall& marble, const HomeHoles& homeHoles,
                                          PathTree& tree) {
    TZellhopPos* target = MarbleTarget(marble, homeHoles);
    // A marble outside its target star point always has a target; a full
    // star point is a win, and the game ends before anyone searches again.
    if (!target)
        return {kStayValue, tree.AddRoot(*marble.pos)};
    return ExhaustiveSearch(marble, *target, tree).Run();
}

ComputerChoice ChooseMoveExhaustive(const MarbleList& marbles, const HomeHoles& homeHoles, int seat,
                                    PathTree& tree) {
    ComputerChoice choice;
    int destination = PathTree::kNone;
    for (const auto& m : marbles) {
        if (m->colour != seat || !m->pos)
            continue;
        const MarbleSearchResult r = SearchMarbleExhaustive(*m, homeHoles, tree);
        // Strictly greater: the first marble in list order wins ties.
        if (r.value > choice.value && tree[r.node].hole != m->pos) {
            choice.marble = m.get();
            choice.value = r.value;
            destination = r.node;
        }
    }
    if (choice.marble)
        choice.path = tree.PathTo(destination);
    return choice;
}

ComputerChoice ChooseComputerMove(const MarbleList& marbles, const HomeHoles& homeHoles, int seat) {
    const ClassicMove move = PrunedClassicMove(TakeSnapshot(marbles, homeHoles, seat));
    ComputerChoice choice;
    if (move.marble < 0)
        return choice;
    // The snapshot holds the marbles that stand on a hole, in list order.
    int index = 0;
    for (const auto& m : marbles)
        if (m->pos && index++ == move.marble)
            choice.marble = m.get();
    choice.path = HolesAlong(*choice.marble->pos, move.path);
    choice.value = move.value;
    return choice;
}

std::vector<TZellhopPos*> HolesAlong(TZellhopPos& from, const std::vector<int>& path) {
    const BoardTables& t = Tables();
    std::vector<TZellhopPos*> holes{&from};
    for (size_t i = 1; i < path.size(); ++i) {
        const size_t before = holes.size();
        // Each hole is a step or a jump from the one before.
        TZellhopPos& last = *holes.back();
        for (int d = 0; d < kDirections; ++d) {
            if (t.neighbour(path[i - 1], d) == path[i]) {
                holes.push_back(last.neighbour[d]);
                break;
            }
            if (t.beyond(path[i - 1], d) == path[i]) {
                holes.push_back(last.neighbour[d]->neighbour[d]);
                break;
            }
        }
        assert(holes.size() == before + 1 && "a path is a step or a chain of jumps");
        (void)before;
    }
    return holes;
}
