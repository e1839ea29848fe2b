// The pruned search against the exhaustive one, which is the rule itself:
// both must pick the same marble, the same path and the same value on every
// position, or the programs of an online game drift apart.  The rule as
// written (ChooseMoveExhaustive, a tree node per landing hole) checks the
// fast exhaustive search where it is quick enough, and the fast exhaustive
// search checks the pruned one everywhere else.

#include "board.h"
#include "board_tables.h"
#include "classic_rule.h"
#include "climb_position_maker.h"
#include "colours.h"
#include "computer_level.h"
#include "computer_player.h"
#include "marble.h"
#include "path_text.h"
#include "path_tree.h"
#include "position_file.h"
#include "pruned_search.h"
#include "self_play.h"
#include "test_data.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

// Each part of the search on its own must keep the exhaustive answer.
constexpr PruneOptions kEveryOptions[] = {
    {}, {true, true, 0}, {true, false, 0}, {false, true, 0}};

std::string OptionsText(const PruneOptions& o) {
    return std::string(o.shareChainEnds ? "shared" : "unshared") + " chain ends, " +
           (o.reachBounds ? "with" : "without") + " bounds, after " +
           std::to_string(o.plainNodes) + " plain nodes";
}

// ZELLHOP_DIFF_SCALE=n runs n times as many random positions, for a sweep
// by hand; CI keeps the default.
int Scaled(int count) {
    const char* scale = std::getenv("ZELLHOP_DIFF_SCALE");
    return count * std::max(1, scale ? std::atoi(scale) : 1);
}

// Positions share one board: building the board costs more than most
// searches.
const Board& SharedBoard() {
    static const Board board;
    return board;
}

struct Position {
    const Board& board = SharedBoard();
    MarbleList marbles;
    int seat = 0;
    ~Position() { marbles.RemoveAll(); }
    SearchPosition Snapshot() const { return TakeSnapshot(marbles, board.homeHoles(), seat); }
};

std::string HexValue(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%a", v);
    return text;
}

std::string Describe(const ComputerChoice& c) {
    if (!c.marble)
        return "no move";
    return std::to_string(c.marble->number) + " [" + PathText(c.path) + "] " + HexValue(c.value);
}

std::string Describe(const SearchPosition& p, const ClassicMove& c) {
    if (c.marble < 0)
        return "no move";
    return std::to_string(p.marbles[c.marble].number) + " [" + PathText(c.path) + "] " +
           HexValue(c.value);
}

std::string SnapshotText(const SearchPosition& p) {
    std::string text;
    for (int i = 0; i < p.count; ++i)
        text += std::string(ColourWord(p.marbles[i].colour)) + " " +
                std::to_string(p.marbles[i].number) + " " +
                HoleText(Tables().at(p.marbles[i].hole)) + "\n";
    return text + "move " + std::string(ColourWord(p.seat)) + "\n";
}

// The pruned search, as the game runs it and with each of its parts alone,
// against the fast exhaustive search; returns the latter's description.
std::string ExpectPrunedAsExhaustive(const SearchPosition& p, const std::string& where,
                                     int64_t* nodes = nullptr) {
    const ClassicMove exhaustive = ExhaustiveClassicMove(p, nodes);
    const std::string expected = Describe(p, exhaustive);
    for (const PruneOptions& options : kEveryOptions)
        EXPECT_EQ(Describe(p, PrunedClassicMove(p, nullptr, options)), expected)
            << where << ", " << OptionsText(options);
    const LevelMove classic = ChooseLevelMove(p, ComputerLevel::kClassic);
    EXPECT_EQ(classic.path, exhaustive.path) << where << ": the classic level";
    return expected;
}

// The rule as written, the fast exhaustive search (with the same number of
// nodes) and the pruned search all choose alike.
ComputerChoice ExpectSameChoice(const Position& p, const std::string& where) {
    PathTree tree;
    const ComputerChoice expected =
        ChooseMoveExhaustive(p.marbles, p.board.homeHoles(), p.seat, tree);
    int64_t nodes = 0;
    EXPECT_EQ(ExpectPrunedAsExhaustive(p.Snapshot(), where, &nodes), Describe(expected))
        << where << "\n"
        << PositionText(p.marbles, p.seat);
    EXPECT_EQ(nodes, tree.Count()) << where;
    return expected;
}

// Every marble of the seat on its own, without a threshold: value and path.
void ExpectSameMarbleResults(const Position& p, const std::string& where) {
    const SearchPosition s = p.Snapshot();
    for (int i = 0; i < s.count; ++i) {
        if (s.marbles[i].colour != p.seat)
            continue;
        const TZellhopBall& m = *p.marbles.FindBall(p.seat, s.marbles[i].number);
        PathTree tree;
        const MarbleSearchResult expected = SearchMarbleExhaustive(m, p.board.homeHoles(), tree);
        for (const PruneOptions& options : kEveryOptions) {
            const PrunedMarbleResult pruned =
                SearchMarblePruned(s, i, kNoThreshold, nullptr, options);
            EXPECT_EQ(pruned.value, expected.value)
                << where << " marble " << m.number << ", " << OptionsText(options);
            EXPECT_EQ(PathText(pruned.path), PathText(tree.PathTo(expected.node)))
                << where << " marble " << m.number << ", " << OptionsText(options);
        }
    }
}

// Positions from a seeded generator.  Only the engine's raw output is used
// (its sequence is fixed by the standard), so every machine tests the same.
class RandomPositions {
  public:
    explicit RandomPositions(uint32_t seed) : rng_(seed) {}

    // `count` marbles of random colours on random holes.
    void Scatter(Position& p, int count) {
        std::array<int, kColours> numbers{};
        for (int h : ShuffledHoles()) {
            if (count-- <= 0)
                break;
            const int colour = Pick(kColours);
            if (numbers[colour] < 10)
                p.marbles.Add(colour, numbers[colour]++, p.board.hole(h));
        }
        p.seat = p.marbles[Pick(static_cast<int>(p.marbles.size()))].colour;
    }

    // Crowded: other colours on most holes of one of the board's three
    // interleaved lattices (each hole's neighbours alternate between the
    // other two), the seat's marbles in between, where every marble around
    // them can be jumped and the empty holes form long jump networks.
    void Lattice(Position& p, int keepPercent) {
        const int lattice = Pick(3);
        p.seat = Pick(kColours);
        const int seatMarbles = 1 + Pick(10);
        std::array<int, kColours> numbers{};
        for (int h : ShuffledHoles()) {
            const LatticePoint at = p.board.hole(h).at;
            if ((at.c % 3 + 3) % 3 == lattice) {
                const int colour = (p.seat + 1 + Pick(kColours - 1)) % kColours;
                if (Pick(100) < keepPercent && numbers[colour] < 10)
                    p.marbles.Add(colour, numbers[colour]++, p.board.hole(h));
            } else if (numbers[p.seat] < seatMarbles && Pick(100) < 15) {
                p.marbles.Add(p.seat, numbers[p.seat]++, p.board.hole(h));
            }
        }
        if (numbers[p.seat] == 0)
            p.marbles.Add(p.seat, 0, *p.board.at({0, 0}));
    }

    // The seat's marbles inside its target star point, where a chain that
    // passes the tip scores less than its landing hole, the rest of the
    // point partly filled with other colours, and a crowded lattice around
    // it: marbles may leave the point and jump back into it.
    void TargetPoint(Position& p) {
        Lattice(p, 50 + Pick(51));
        const HoleSet target = Tables().triangleHoles(Opposite(p.seat));
        std::vector<int> inside;
        target.forEach([&](int h) { inside.push_back(h); });
        std::vector<std::pair<int, int>> kept; // colour, hole
        for (const auto& m : p.marbles)
            if (m->colour != p.seat && !target.has(HoleIndex(p, *m->pos)))
                kept.push_back({m->colour, HoleIndex(p, *m->pos)});
        p.marbles.RemoveAll();
        std::array<int, kColours> numbers{};
        for (const auto& [colour, hole] : kept)
            p.marbles.Add(colour, numbers[colour]++, p.board.hole(hole));
        const int own = 1 + Pick(10);
        for (size_t i = inside.size(); i > 1; --i)
            std::swap(inside[i - 1], inside[Pick(static_cast<int>(i))]);
        for (size_t i = 0; i < inside.size(); ++i) {
            if (static_cast<int>(i) < own)
                p.marbles.Add(p.seat, numbers[p.seat]++, p.board.hole(inside[i]));
            else if (const int colour = (p.seat + 1 + Pick(kColours - 1)) % kColours;
                     Pick(100) < 40 && numbers[colour] < 10)
                p.marbles.Add(colour, numbers[colour]++, p.board.hole(inside[i]));
        }
        // A few more of the seat's marbles outside, to come in.
        for (int extra = Pick(10 - own + 1); extra > 0 && numbers[p.seat] < 10; --extra)
            if (const int h = Pick(kHoleCount); p.board.hole(h).ball == nullptr)
                p.marbles.Add(p.seat, numbers[p.seat]++, p.board.hole(h));
    }

    int Pick(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }

  private:
    static int HoleIndex(const Position& p, const TZellhopPos& hole) {
        for (int h = 0; h < kHoleCount; ++h)
            if (&p.board.hole(h) == &hole)
                return h;
        return -1;
    }
    std::vector<int> ShuffledHoles() {
        std::vector<int> holes(kHoleCount);
        std::iota(holes.begin(), holes.end(), 0);
        for (int i = kHoleCount - 1; i > 0; --i)
            std::swap(holes[i], holes[Pick(i + 1)]);
        return holes;
    }

    std::mt19937 rng_;
};

TEST(PrunedSearch, ChoosesAsTheExhaustiveSearchOnScatteredPositions) {
    RandomPositions random(20240611);
    for (int i = 0; i < Scaled(1500); ++i) {
        Position p;
        random.Scatter(p, 10 + random.Pick(51));
        ExpectSameChoice(p, "scattered " + std::to_string(i));
        if (HasFailure())
            return;
    }
}

TEST(PrunedSearch, ChoosesAsTheExhaustiveSearchOnCrowdedLatticePositions) {
    RandomPositions random(7);
    for (int i = 0; i < Scaled(600); ++i) {
        Position p;
        random.Lattice(p, 60 + random.Pick(41));
        ExpectSameChoice(p, "lattice " + std::to_string(i));
        if (i % 10 == 0)
            ExpectSameMarbleResults(p, "lattice " + std::to_string(i));
        if (HasFailure())
            return;
    }
}

TEST(PrunedSearch, ChoosesAsTheExhaustiveSearchWithTheSeatInItsTargetPoint) {
    RandomPositions random(31);
    for (int i = 0; i < Scaled(400); ++i) {
        Position p;
        random.TargetPoint(p);
        ExpectSameChoice(p, "target point " + std::to_string(i));
        if (i % 10 == 0)
            ExpectSameMarbleResults(p, "target point " + std::to_string(i));
        if (HasFailure())
            return;
    }
}

TEST(PrunedSearch, ChoosesAsTheExhaustiveSearchOnEveryPositionOfSelfPlayGames) {
    for (const char* seats : {"C--C--", "C-C-C-", "CC-CC-", "CCCCC-", "CCCCCC"}) {
        SelfPlay game(ParseSeats(seats));
        while (game.winner() < 0 && game.turnNumber() <= 1000) {
            Position p;
            ReadPosition(PositionText(game.marbles(), game.currentSeat()), p.board, p.marbles);
            p.seat = game.currentSeat();
            const std::string where = std::string(seats) + " turn " +
                                      std::to_string(game.turnNumber()) + " seat " +
                                      std::to_string(p.seat);
            const ComputerChoice expected = ExpectSameChoice(p, where);
            const PlayedTurn played = game.PlayTurn();
            ASSERT_EQ(played.number, expected.marble ? expected.marble->number : -1) << where;
            if (HasFailure())
                return;
        }
        EXPECT_GE(game.winner(), 0) << seats;
    }
}

// Positions whose exhaustive trees are too large to search in a test, with
// the exhaustive search's answer, found once and kept.
struct KeptAnswer {
    const char* file;
    int number;
    const char* path;
    double value;
};

// Every part of the search finds the kept answers, and the whole search
// in fewer than `maxNodes`.
void ExpectKeptAnswers(const std::vector<KeptAnswer>& answers, int64_t maxNodes) {
    for (const KeptAnswer& c : answers) {
        Position p;
        p.seat = ReadPositionFile(TestDataPath(c.file), p.board, p.marbles);
        const SearchPosition s = p.Snapshot();
        for (const PruneOptions& options : kEveryOptions) {
            SearchCounters counters;
            const ClassicMove choice = PrunedClassicMove(s, &counters, options);
            ASSERT_GE(choice.marble, 0) << c.file;
            EXPECT_EQ(s.marbles[choice.marble].number, c.number) << c.file;
            EXPECT_EQ(PathText(choice.path), c.path) << c.file;
            EXPECT_EQ(choice.value, c.value) << c.file;
            if (options.shareChainEnds && options.reachBounds) {
                EXPECT_LT(counters.nodes, maxNodes) << c.file;
            }
        }
    }
}

// The corpus positions take the exhaustive search 5.7 and 64 million
// nodes.
TEST(PrunedSearch, FindsTheExhaustiveAnswersOfTheCorpusInAFewHundredNodes) {
    ExpectKeptAnswers(
        {{"corpus/crowded-1.txt", 4,
          "-2,2 -4,4 -6,2 -4,0 -6,-2 -4,-4 -2,-6 -4,-8 -2,-10 0,-8 0,-4 2,-2",
          0x1.e5ba1325d2ep-3},
         {"corpus/crowded-2.txt", 6,
          "4,12 2,10 0,8 -2,10 -2,6 -4,4 -6,2 -4,0 -6,-2 -4,-4 -2,-2 0,0 2,2 0,4 2,6 4,8 4,4",
          0x1.b753c6136084ap-3}},
        5000);
}

// The hill-climber's worst positions for the search without the table and
// the bounds (zellhop-hill-climb --plain with more nodes than any search
// takes): exhaustive trees of 21.4 and 10.6 million nodes.
TEST(PrunedSearch, FindsTheExhaustiveAnswersOfTheLargestClimbedTreesInAFewHundredNodes) {
    ExpectKeptAnswers({{"positions/tree-1.txt", 6, "-2,-10 -4,-8", 0x1.12f0a6ffc327cp-3},
                       {"positions/tree-2.txt", 0, "3,5 3,1 1,-1", 0x1.70e1319e40072p-3}},
                      5000);
}

// Positions that take the exhaustive search long, and positions that the
// hill-climber (bench/hill_climb.cpp) built to make the pruned search work
// hardest (7 and 8 with the seat's marbles in its target star point).
// From 9 on, each kind of its starts' worst: from earlier finds (9), by time
// (10), behind a crowd (11), scattered (12), on a lattice (13), inside the
// target point (14), against the table and the bounds from the first node
// (15, 16), and with a single marble of the seat (17).
TEST(PrunedSearch, ChoosesAsTheExhaustiveSearchOnPositionsThatTakeEitherLong) {
    for (const char* file :
         {"positions/long-1.txt",   "positions/long-2.txt",   "positions/long-3.txt",
          "positions/long-4.txt",   "positions/climb-1.txt",  "positions/climb-2.txt",
          "positions/climb-3.txt",  "positions/climb-4.txt",  "positions/climb-5.txt",
          "positions/climb-6.txt",  "positions/climb-7.txt",  "positions/climb-8.txt",
          "positions/climb-9.txt",  "positions/climb-10.txt", "positions/climb-11.txt",
          "positions/climb-12.txt", "positions/climb-13.txt", "positions/climb-14.txt",
          "positions/climb-15.txt", "positions/climb-16.txt", "positions/climb-17.txt"}) {
        Position p;
        p.seat = ReadPositionFile(TestDataPath(file), p.board, p.marbles);
        ExpectSameChoice(p, file);
        ExpectSameMarbleResults(p, file);
    }
}

// What a climb in the test raises: the exhaustive search's tree, or the
// work of the pruned search's table and bounds (no plain first nodes).
enum class Raise { exhaustiveNodes, prunedNodes };

int64_t PrunedNodes(const SearchPosition& p) {
    SearchCounters counters;
    PrunedClassicMove(p, &counters, {true, true, 0});
    return counters.nodes;
}

// A greedy climb from a start of `kind`, every position on the way checked
// against the exhaustive search; it never takes a position whose
// exhaustive tree exceeds `maxExhaustiveNodes`.  Returns what it raised.
int64_t CheckedClimb(ClimbPositionMaker& maker, ClimbStart kind, Raise raise,
                     int64_t maxExhaustiveNodes) {
    const char* const raised = raise == Raise::prunedNodes ? "pruned" : "exhaustive";
    SearchPosition current = maker.Start(kind, {});
    int64_t currentCost = 0;
    for (int step = 0; step < Scaled(500) && !testing::Test::HasFailure(); ++step) {
        const SearchPosition next = step == 0 ? current : maker.Mutate(current);
        int64_t exhaustiveNodes = 0;
        ExpectPrunedAsExhaustive(next,
                                 std::string("climb from ") + ClimbStartName(kind) + " raising " +
                                     raised + " nodes, step " + std::to_string(step) + "\n" +
                                     SnapshotText(next),
                                 &exhaustiveNodes);
        const int64_t cost = raise == Raise::prunedNodes ? PrunedNodes(next) : exhaustiveNodes;
        if (cost >= currentCost && exhaustiveNodes <= maxExhaustiveNodes) {
            current = next;
            currentCost = cost;
        }
    }
    return currentCost;
}

// The hill-climber's kinds of start (bench/climb_position_maker), fresh
// and along climbs towards its worst positions: the longer exhaustive
// searches and the most work for the pruned one.  The climbs stop short of
// searches too long for a test; zellhop-hill-climb goes further by hand,
// and what it found is in tests/data/positions.
TEST(PrunedSearch, ChoosesAsTheExhaustiveSearchFromEveryKindOfClimbStart) {
    constexpr int64_t kMaxExhaustiveNodes = 50000;
    struct {
        Raise raise;
        int64_t reached; // what a climb reaches at least, so that it did climb
    } const climbs[] = {{Raise::exhaustiveNodes, kMaxExhaustiveNodes / 10},
                        {Raise::prunedNodes, 60}};
    for (const ClimbStart kind :
         {ClimbStart::behind, ClimbStart::lattice, ClimbStart::target, ClimbStart::scatter}) {
        ClimbPositionMaker maker(1000 + static_cast<uint32_t>(kind), kMarblesPerColour);
        for (int i = 0; i < Scaled(100); ++i) {
            const SearchPosition p = maker.Start(kind, {});
            ExpectPrunedAsExhaustive(p, std::string(ClimbStartName(kind)) + " " +
                                            std::to_string(i) + "\n" + SnapshotText(p));
        }
        for (const auto& climb : climbs)
            EXPECT_GE(CheckedClimb(maker, kind, climb.raise, kMaxExhaustiveNodes), climb.reached)
                << ClimbStartName(kind);
        if (HasFailure())
            return;
    }
}

// A later marble only has to be known to lose: below the threshold the
// search may stop early, above it the answer must be exact.
TEST(PrunedSearch, IsExactAboveItsThresholdAndAtMostTheThresholdOtherwise) {
    RandomPositions random(11);
    for (int i = 0; i < 40; ++i) {
        Position p;
        random.Lattice(p, 90);
        const SearchPosition s = p.Snapshot();
        for (int i = 0; i < s.count; ++i) {
            if (s.marbles[i].colour != p.seat)
                continue;
            const TZellhopBall& m = *p.marbles.FindBall(p.seat, s.marbles[i].number);
            PathTree tree;
            const MarbleSearchResult exact = SearchMarbleExhaustive(m, p.board.homeHoles(), tree);
            const double v = exact.value;
            const PrunedMarbleResult justBelow = SearchMarblePruned(
                s, i, std::nextafter(v, kNoThreshold), nullptr, PruneOptions{});
            EXPECT_EQ(justBelow.value, v) << "marble " << m.number;
            EXPECT_EQ(PathText(justBelow.path), PathText(tree.PathTo(exact.node)));
            for (double threshold : {v, v + 0.01, 1.0}) {
                const PrunedMarbleResult above =
                    SearchMarblePruned(s, i, threshold, nullptr, PruneOptions{});
                EXPECT_LE(above.value, threshold) << "marble " << m.number;
                EXPECT_TRUE(above.path.empty());
            }
        }
    }
}

} // namespace
