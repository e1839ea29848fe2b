// zellhop-hill-climb: builds crowded positions on which the classic
// player's pruned search works hardest, by hill-climbing on its node count
// (or, with --exhaustive, on the exhaustive search's).  Each climb starts
// from a seeded crowded position and tries small changes: a marble moved,
// recoloured, added or removed, or another seat to move; a change is kept
// when the count does not fall.  The hardest position of each climb is
// written as a position file.  By hand only; its finds go into the tests.
//
//   zellhop-hill-climb [--climbs N] [--steps N] [--seed S] [--out DIR]
//                      [--seat-marbles N] [--objective bounded|nodes|time]
//                      [--start lattice|target] [--from POSITION-FILE]

#include "board_tables.h"
#include "classic_rule.h"
#include "colours.h"
#include "marble.h"
#include "position_file.h"
#include "pruned_search.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

namespace {

struct Options {
    int climbs = 4;
    int steps = 2000;
    uint32_t seed = 1;
    std::string out = ".";
    int seatMarbles = kMarblesPerColour; // at most this many marbles of the seat to move
    std::string objective = "bounded";   // what a climb raises: see Score
    std::string from;                    // a position file to start every climb from
    std::string start = "lattice";       // where climbs start: see Climber::Start
};

class Climber {
  public:
    Climber(uint32_t seed, int seatMarbles, bool inTarget)
        : rng_(seed), seatMarbles_(seatMarbles), inTarget_(inTarget) {}

    SearchPosition Start() { return inTarget_ ? TargetStart() : LatticeStart(); }

    // Other colours on most holes of one of the board's three interleaved
    // lattices, the seat's marbles in between: long jump networks.
    SearchPosition LatticeStart() {
        const BoardTables& t = Tables();
        SearchPosition p;
        for (int k = 0; k < kColours; ++k)
            p.homeHoles[k] = static_cast<int8_t>(t.tip(k));
        p.seat = Pick(kColours);
        const int lattice = Pick(3);
        const int seatMarbles = 1 + Pick(seatMarbles_);
        for (int h = 0; h < kHoleCount; ++h) {
            const int c = t.at(h).c;
            if ((c % 3 + 3) % 3 == lattice) {
                if (Pick(100) < 80)
                    Add(p, (p.seat + 1 + Pick(kColours - 1)) % kColours, h);
            } else if (Pick(100) < 15 && Count(p, p.seat) < seatMarbles) {
                Add(p, p.seat, h);
            }
        }
        if (Count(p, p.seat) == 0)
            Add(p, p.seat, FreeHole(p));
        return p;
    }

    // The seat's marbles in its target star point (weight 0.5, where a
    // chain cut back scores twice its landing), that point crowded with
    // them and with other colours, and the lattice network around it: the
    // marbles inside may leave the point and jump back into it.
    SearchPosition TargetStart() {
        SearchPosition p = LatticeStart();
        const BoardTables& t = Tables();
        const int target = Opposite(p.seat);
        std::vector<int> inside;
        t.triangleHoles(target).forEach([&](int h) { inside.push_back(h); });
        // The point emptied, then filled again: the seat's marbles first.
        int kept = 0;
        for (int i = 0; i < p.count; ++i)
            if (!(t.triangle(p.marbles[i].hole) == target || p.marbles[i].colour == p.seat))
                p.marbles[kept++] = p.marbles[i];
        p.count = kept;
        const int own = 1 + Pick(seatMarbles_);
        for (int k = 0; k < own; ++k) {
            const int at = Pick(static_cast<int>(inside.size()));
            Add(p, p.seat, inside[at]);
            inside.erase(inside.begin() + at);
        }
        for (const int h : inside)
            if (Pick(100) < 40)
                Add(p, (p.seat + 1 + Pick(kColours - 1)) % kColours, h);
        return p;
    }

    // A small change that keeps the position one a game could hold.
    SearchPosition Mutate(const SearchPosition& from) {
        for (;;) {
            SearchPosition p = Change(from);
            if (Count(p, p.seat) <= seatMarbles_)
                return p;
        }
    }

    int Pick(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }

  private:
    SearchPosition Change(const SearchPosition& from) {
        for (;;) {
            SearchPosition p = from;
            const int i = Pick(p.count);
            switch (Pick(inTarget_ ? 6 : 5)) {
            case 0: // move a marble
                p.marbles[i].hole = static_cast<int8_t>(FreeHole(p));
                return p;
            case 5: // move a marble into the seat's target star point
                if (const int h = FreeTargetHole(p); h != kNoHole) {
                    p.marbles[i].hole = static_cast<int8_t>(h);
                    return p;
                }
                break;
            case 1: // recolour a marble
                if (Recolour(p, i, Pick(kColours)))
                    return p;
                break;
            case 2: // add a marble
                if (p.count < kMaxMarbles && Add(p, Pick(kColours), FreeHole(p)))
                    return p;
                break;
            case 3: // remove a marble, not the seat's last
                if (p.marbles[i].colour != p.seat || Count(p, p.seat) > 1) {
                    std::copy(&p.marbles[i + 1], &p.marbles[p.count], &p.marbles[i]);
                    --p.count;
                    return p;
                }
                break;
            default: // another seat to move
                p.seat = p.marbles[i].colour;
                if (p.seat != from.seat)
                    return p;
            }
        }
    }

    static int Count(const SearchPosition& p, int colour) {
        return static_cast<int>(
            std::count_if(&p.marbles[0], &p.marbles[p.count],
                          [&](const MarbleSpot& m) { return m.colour == colour; }));
    }
    static int FreeNumber(const SearchPosition& p, int colour) {
        for (int n = 0; n < kMarblesPerColour; ++n)
            if (std::none_of(&p.marbles[0], &p.marbles[p.count], [&](const MarbleSpot& m) {
                    return m.colour == colour && m.number == n;
                }))
                return n;
        return -1;
    }
    int FreeHole(const SearchPosition& p) {
        const HoleSet occupied = p.Occupied();
        for (;;)
            if (const int h = Pick(kHoleCount); !occupied.has(h))
                return h;
    }
    int FreeTargetHole(const SearchPosition& p) {
        const HoleSet free = Tables().triangleHoles(Opposite(p.seat)).without(p.Occupied());
        std::vector<int> holes;
        free.forEach([&](int h) { holes.push_back(h); });
        return holes.empty() ? kNoHole : holes[Pick(static_cast<int>(holes.size()))];
    }
    static bool Add(SearchPosition& p, int colour, int hole) {
        const int number = FreeNumber(p, colour);
        if (number < 0)
            return false;
        p.marbles[p.count++] = {static_cast<int8_t>(colour), static_cast<int8_t>(number),
                                static_cast<int8_t>(hole)};
        return true;
    }
    static bool Recolour(SearchPosition& p, int i, int colour) {
        const int number = FreeNumber(p, colour);
        if (number < 0 || (p.marbles[i].colour == p.seat && Count(p, p.seat) == 1))
            return false;
        p.marbles[i].colour = static_cast<int8_t>(colour);
        p.marbles[i].number = static_cast<int8_t>(number);
        return true;
    }

    std::mt19937 rng_;
    int seatMarbles_;
    bool inTarget_;
};

int64_t Nodes(const SearchPosition& p, const PruneOptions& options = {}) {
    SearchCounters counters;
    PrunedClassicMove(p, &counters, options);
    return counters.nodes;
}

double Milliseconds(const SearchPosition& p, int timings = 3) {
    double best = 1e9;
    for (int i = 0; i < timings; ++i) {
        const auto start = std::chrono::steady_clock::now();
        PrunedClassicMove(p);
        best = std::min(best, std::chrono::duration<double, std::milli>(
                                  std::chrono::steady_clock::now() - start)
                                  .count());
    }
    return best;
}

// "bounded": the nodes with bounds from the start (with the default
// allowance every marble runs its first nodes unbounded, a plateau that
// hides which changes make the bounds weaker); "nodes": the nodes the game's
// search visits; "time": its time in nanoseconds, the best of three.
int64_t Score(const std::string& objective, const SearchPosition& p) {
    if (objective == "nodes")
        return Nodes(p);
    if (objective == "time")
        return static_cast<int64_t>(Milliseconds(p) * 1e6);
    return Nodes(p, PruneOptions{0});
}

SearchPosition Read(const std::string& file) {
    const Board board;
    MarbleList marbles;
    const int seat = ReadPositionFile(file, board, marbles);
    const SearchPosition p = TakeSnapshot(marbles, board.homeHoles(), seat);
    marbles.RemoveAll();
    return p;
}

std::string Text(const SearchPosition& p) {
    std::string text;
    for (int i = 0; i < p.count; ++i)
        text += std::string(ColourWord(p.marbles[i].colour)) + " " +
                std::to_string(p.marbles[i].number) + " " +
                HoleText(Tables().at(p.marbles[i].hole)) + "\n";
    return text + "move " + std::string(ColourWord(p.seat)) + "\n";
}

bool ParseArguments(int argc, char** argv, Options& o) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i], value = argv[i + 1];
        if (name == "--climbs")
            o.climbs = std::atoi(value.c_str());
        else if (name == "--steps")
            o.steps = std::atoi(value.c_str());
        else if (name == "--seed")
            o.seed = static_cast<uint32_t>(std::atoll(value.c_str()));
        else if (name == "--out")
            o.out = value;
        else if (name == "--objective" &&
                 (value == "bounded" || value == "nodes" || value == "time"))
            o.objective = value;
        else if (name == "--start" && (value == "lattice" || value == "target"))
            o.start = value;
        else if (name == "--from")
            o.from = value;
        else if (name == "--seat-marbles")
            o.seatMarbles = std::clamp(std::atoi(value.c_str()), 1, kMarblesPerColour);
        else
            return false;
    }
    return argc % 2 == 1;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseArguments(argc, argv, o)) {
        std::cerr << "usage: zellhop-hill-climb [--climbs N] [--steps N] [--seed S] [--out DIR]"
                     " [--seat-marbles N] [--objective bounded|nodes|time] [--start lattice|target]"
                     " [--from FILE]\n";
        return 2;
    }
    Climber climber(o.seed, o.seatMarbles, o.start == "target");
    for (int climb = 0; climb < o.climbs; ++climb) {
        SearchPosition best = o.from.empty() ? climber.Start() : Read(o.from);
        int64_t bestNodes = Score(o.objective, best);
        SearchPosition current = best;
        int64_t currentNodes = bestNodes;
        for (int step = 0; step < o.steps; ++step) {
            // One to three changes at a time, and now and then a step down,
            // so that a climb does not stall on the first small hill.
            SearchPosition next = climber.Mutate(current);
            for (int more = climber.Pick(3); more > 0; --more)
                next = climber.Mutate(next);
            const int64_t nodes = Score(o.objective, next);
            if (nodes >= currentNodes ||
                (climber.Pick(100) < 2 && nodes * 10 >= currentNodes * 9)) {
                current = next;
                currentNodes = nodes;
                if (nodes > bestNodes) {
                    best = next;
                    bestNodes = nodes;
                }
            }
        }
        const std::string file =
            o.out + "/climb-" + std::to_string(o.seed) + "-" + std::to_string(climb) + ".txt";
        std::ofstream(file) << Text(best);
        std::printf("%s: %lld nodes bounded from the start, %lld by default, %.3f ms\n",
                    file.c_str(), static_cast<long long>(Nodes(best, PruneOptions{0})),
                    static_cast<long long>(Nodes(best)), Milliseconds(best, 20));
        std::fflush(stdout);
    }
    return 0;
}
