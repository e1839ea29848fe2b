#include "climb_position_maker.h"

#include "board_tables.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

constexpr int kLattices = 3; // each hole's neighbours alternate between the other two
constexpr int kPercent = 100;

const std::pair<ClimbStart, const char*> kStartNames[] = {
    {ClimbStart::behind, "behind"}, {ClimbStart::lattice, "lattice"},
    {ClimbStart::target, "target"}, {ClimbStart::scatter, "scatter"},
    {ClimbStart::file, "file"},
};

int Count(const SearchPosition& p, int colour) {
    return static_cast<int>(std::count_if(&p.marbles[0], &p.marbles[p.count],
                                          [&](const MarbleSpot& m) { return m.colour == colour; }));
}

int FreeNumber(const SearchPosition& p, int colour) {
    for (int n = 0; n < kMarblesPerColour; ++n)
        if (std::none_of(&p.marbles[0], &p.marbles[p.count],
                         [&](const MarbleSpot& m) { return m.colour == colour && m.number == n; }))
            return n;
    return -1;
}

// False when the colour has all its marbles on the board already.
bool Add(SearchPosition& p, int colour, int hole) {
    const int number = FreeNumber(p, colour);
    if (number < 0 || p.count >= kMaxMarbles)
        return false;
    p.marbles[p.count++] = {static_cast<int8_t>(colour), static_cast<int8_t>(number),
                            static_cast<int8_t>(hole)};
    return true;
}

void Remove(SearchPosition& p, int i) {
    std::copy(&p.marbles[i + 1], &p.marbles[p.count], &p.marbles[i]);
    --p.count;
}

bool OnLattice(int h, int lattice) {
    const int c = Tables().at(h).c;
    return (c % kLattices + kLattices) % kLattices == lattice;
}

std::vector<int> Holes(const HoleSet& set) {
    std::vector<int> holes;
    set.forEach([&](int h) { holes.push_back(h); });
    return holes;
}

} // namespace

bool ParseClimbStart(const std::string& name, ClimbStart& start) {
    for (const auto& [kind, text] : kStartNames)
        if (name == text) {
            start = kind;
            return true;
        }
    return false;
}

const char* ClimbStartName(ClimbStart start) {
    for (const auto& [kind, text] : kStartNames)
        if (kind == start)
            return text;
    return "?";
}

ClimbPositionMaker::ClimbPositionMaker(uint32_t seed, int seatMarbles)
    : rng_(seed), seatMarbles_(seatMarbles) {}

int ClimbPositionMaker::Pick(int n) {
    return static_cast<int>(rng_() % static_cast<uint32_t>(n));
}

// By the engine's raw output alone, whose sequence the standard fixes (the
// library's shuffle is its own): every machine builds the same positions.
void ClimbPositionMaker::Shuffle(std::vector<int>& holes) {
    for (int i = static_cast<int>(holes.size()) - 1; i > 0; --i)
        std::swap(holes[i], holes[Pick(i + 1)]);
}

SearchPosition ClimbPositionMaker::Start(ClimbStart kind, const std::vector<SearchPosition>& files) {
    switch (kind) {
    case ClimbStart::behind:
        return Behind();
    case ClimbStart::lattice:
        return Lattice();
    case ClimbStart::target:
        return Target();
    case ClimbStart::file:
        if (!files.empty())
            return files[Pick(static_cast<int>(files.size()))];
        [[fallthrough]];
    default:
        return Scatter();
    }
}

SearchPosition ClimbPositionMaker::Empty() {
    SearchPosition p;
    for (int k = 0; k < kColours; ++k)
        p.homeHoles[k] = static_cast<int8_t>(Tables().tip(k));
    p.seat = Pick(kColours);
    return p;
}

int ClimbPositionMaker::OtherColour(int seat) {
    return (seat + 1 + Pick(kColours - 1)) % kColours;
}

// The seat's marbles in and around its starting star point, the far end of
// the board from its target; the rest of the board crowded, densest on one
// jump lattice, so that long chains run through the crowd towards the
// target and back.
SearchPosition ClimbPositionMaker::Behind() {
    SearchPosition p = Empty();
    const BoardTables& t = Tables();
    std::vector<int> home = Holes(t.triangleHoles(p.seat));
    Shuffle(home);
    const int own = 1 + Pick(seatMarbles_);
    for (int k = 0; k < own && k < static_cast<int>(home.size()); ++k)
        Add(p, p.seat, home[k]);
    const int lattice = Pick(kLattices);
    const int onLattice = 55 + Pick(45), offLattice = Pick(25);
    std::vector<int> rest = Holes(HoleSet(t.triangleHoles(kCentralHexagon)));
    for (int k = 0; k < kColours; ++k)
        if (k != p.seat) {
            const std::vector<int> more = Holes(t.triangleHoles(k));
            rest.insert(rest.end(), more.begin(), more.end());
        }
    Shuffle(rest);
    for (const int h : rest)
        if (Pick(kPercent) < (OnLattice(h, lattice) ? onLattice : offLattice))
            Add(p, OtherColour(p.seat), h);
    return p;
}

// Other colours on most holes of one of the board's three interleaved
// lattices, the seat's marbles in between: long jump networks everywhere.
SearchPosition ClimbPositionMaker::Lattice() {
    SearchPosition p = Empty();
    const int lattice = Pick(kLattices);
    const int seatMarbles = 1 + Pick(seatMarbles_);
    const int keep = 60 + Pick(41);
    std::vector<int> holes(kHoleCount);
    for (int h = 0; h < kHoleCount; ++h)
        holes[h] = h;
    Shuffle(holes);
    for (const int h : holes) {
        if (OnLattice(h, lattice)) {
            if (Pick(kPercent) < keep)
                Add(p, OtherColour(p.seat), h);
        } else if (Pick(kPercent) < 15 && Count(p, p.seat) < seatMarbles) {
            Add(p, p.seat, h);
        }
    }
    if (Count(p, p.seat) == 0)
        Add(p, p.seat, FreeHole(p));
    return p;
}

// The seat's marbles in its target star point (weight 0.5, where a chain
// cut back scores twice its landing), that point crowded with them and with
// other colours, and a lattice network around it: the marbles inside may
// leave the point and jump back into it.
SearchPosition ClimbPositionMaker::Target() {
    SearchPosition p = Lattice();
    const HoleSet target = Tables().triangleHoles(Opposite(p.seat));
    for (int i = p.count - 1; i >= 0; --i)
        if (target.has(p.marbles[i].hole) || p.marbles[i].colour == p.seat)
            Remove(p, i);
    std::vector<int> inside = Holes(target);
    Shuffle(inside);
    const int own = 1 + Pick(seatMarbles_);
    for (size_t k = 0; k < inside.size(); ++k) {
        if (static_cast<int>(k) < own)
            Add(p, p.seat, inside[k]);
        else if (Pick(kPercent) < 40)
            Add(p, OtherColour(p.seat), inside[k]);
    }
    for (int extra = Pick(seatMarbles_ - own + 1); extra > 0; --extra)
        Add(p, p.seat, FreeHole(p));
    return p;
}

SearchPosition ClimbPositionMaker::Scatter() {
    SearchPosition p = Empty();
    Add(p, p.seat, FreeHole(p));
    for (int n = 20 + Pick(40); n > 0; --n) {
        const int colour = Pick(kColours);
        if (colour != p.seat || Count(p, p.seat) < seatMarbles_)
            Add(p, colour, FreeHole(p));
    }
    return p;
}

SearchPosition ClimbPositionMaker::Mutate(const SearchPosition& from) {
    for (;;) {
        SearchPosition p = Change(from);
        if (Count(p, p.seat) >= 1 && Count(p, p.seat) <= seatMarbles_)
            return p;
    }
}

SearchPosition ClimbPositionMaker::Change(const SearchPosition& from) {
    constexpr int kKinds = 10;
    for (;;) {
        SearchPosition p = from;
        const int i = Pick(p.count), other = Pick(p.count);
        switch (Pick(kKinds)) {
        case 0:
        case 1: // a marble moved anywhere
            p.marbles[i].hole = static_cast<int8_t>(FreeHole(p));
            return p;
        case 2:
        case 3: // a marble moved a hole or two
            if (MoveNear(p, i))
                return p;
            break;
        case 4: // two marbles of different colours change places
            if (p.marbles[i].colour != p.marbles[other].colour) {
                std::swap(p.marbles[i].hole, p.marbles[other].hole);
                return p;
            }
            break;
        case 5: // a marble recoloured
            if (const int colour = Pick(kColours), number = FreeNumber(p, colour);
                number >= 0 && colour != p.marbles[i].colour) {
                p.marbles[i].colour = static_cast<int8_t>(colour);
                p.marbles[i].number = static_cast<int8_t>(number);
                return p;
            }
            break;
        case 6: // a marble added
            if (Add(p, Pick(kColours), FreeHole(p)))
                return p;
            break;
        case 7: // a marble removed
            Remove(p, i);
            return p;
        case 8: // the list order, which decides ties and what a later marble must beat
            if (i != other) {
                std::swap(p.marbles[i], p.marbles[other]);
                return p;
            }
            break;
        default: // another seat to move
            if (p.marbles[i].colour != p.seat) {
                p.seat = p.marbles[i].colour;
                return p;
            }
        }
    }
}

// Onto a free hole one step or one jump away.
bool ClimbPositionMaker::MoveNear(SearchPosition& p, int i) {
    const BoardTables& t = Tables();
    const HoleSet occupied = p.Occupied();
    const int from = p.marbles[i].hole, d = Pick(kDirections);
    const int to = Pick(2) == 0 ? t.neighbour(from, d) : t.beyond(from, d);
    if (to == kNoHole || occupied.has(to))
        return false;
    p.marbles[i].hole = static_cast<int8_t>(to);
    return true;
}

int ClimbPositionMaker::FreeHole(const SearchPosition& p) {
    const HoleSet occupied = p.Occupied();
    for (;;)
        if (const int h = Pick(kHoleCount); !occupied.has(h))
            return h;
}
