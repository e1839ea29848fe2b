// zellhop-hill-climb: an adversary of the classic player's search.  It
// builds positions on which PrunedClassicMove works hardest by simulated
// annealing on its cost (the nodes it visits, or its time), climb after
// climb until the time is up.  Climbs start from positions of several kinds
// in turn (see ClimbStart), or from hard positions found before; within a
// climb it tries small changes, keeps those that cost more and, the more
// so the earlier in the climb, some that cost less, and goes back to the
// climb's best when it has found nothing better for a while.  A climb's
// hardest position, when it is the worst its kind of start has led to so
// far, is written as a position file and measured (and checked against the
// exhaustive search when asked); at the end, each kind's worst.  By hand
// only; its finds go into the tests and the benchmark.
//
//   zellhop-hill-climb [--minutes M] [--steps N] [--seed S] [--out DIR]
//       [--start behind,lattice,target,scatter,file] [--from FILE]...
//       [--objective nodes|time] [--seat-marbles N] [--temperature T]
//       [--check yes] [--without sharing|bounds] [--plain N]
//
// --without and --plain change how the search spends its effort (see
// PruneOptions), to climb against its parts alone: --plain 0 puts the table
// and the bounds to work from a marble's first node.

#include "board_tables.h"
#include "classic_rule.h"
#include "climb_position_maker.h"
#include "colours.h"
#include "marble.h"
#include "position_file.h"
#include "pruned_search.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTimings = 3;            // a climb's time is the best of these
constexpr int kReportTimings = 21;     // the report's is the median of these
constexpr double kFinalTemperature = 0.01;
constexpr double kStallFraction = 0.1; // back to the climb's best after this much of it in vain

struct Options {
    double minutes = 10;
    int steps = 3000; // per climb
    uint32_t seed = 1;
    std::string out = ".";
    std::vector<ClimbStart> starts = {ClimbStart::behind, ClimbStart::lattice, ClimbStart::target};
    std::vector<std::string> from;
    std::string objective = "nodes";
    int seatMarbles = kMarblesPerColour;
    double temperature = 0.3; // on the logarithm of the cost, at a climb's start
    bool check = false;
    PruneOptions search; // a part turned off, to climb against the others alone
};

PruneOptions g_search; // as --without leaves it

int64_t Nodes(const SearchPosition& p) {
    SearchCounters counters;
    PrunedClassicMove(p, &counters, g_search);
    return counters.nodes;
}

std::vector<double> Timings(const SearchPosition& p, int timings) {
    std::vector<double> ms;
    for (int i = 0; i < timings; ++i) {
        const auto start = Clock::now();
        PrunedClassicMove(p, nullptr, g_search);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms;
}

// The best of a few: what a climb compares, least disturbed by the machine.
double Milliseconds(const SearchPosition& p, int timings) { return Timings(p, timings).front(); }

// The median: what the report quotes.
double MedianMilliseconds(const SearchPosition& p, int timings) {
    return Timings(p, timings)[timings / 2];
}

// What a climb raises: the nodes, or the time in microseconds.
double Cost(const std::string& objective, const SearchPosition& p) {
    if (objective == "time")
        return Milliseconds(p, kTimings) * 1e3;
    return static_cast<double>(Nodes(p));
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

// "agrees, N exhaustive nodes" or what differs.
std::string Check(const SearchPosition& p) {
    int64_t nodes = 0;
    const ClassicMove exhaustive = ExhaustiveClassicMove(p, &nodes);
    const ClassicMove pruned = PrunedClassicMove(p, nullptr, g_search);
    const bool same = exhaustive.marble == pruned.marble && exhaustive.path == pruned.path &&
                      exhaustive.value == pruned.value;
    return (same ? "agrees, " : "DIFFERS, ") + std::to_string(nodes) + " exhaustive nodes";
}

struct Found {
    SearchPosition position;
    double cost = 0;
};

// One climb of simulated annealing from `start`.
Found Climb(const Options& o, ClimbPositionMaker& maker, const SearchPosition& start,
            Clock::time_point deadline) {
    Found best{start, Cost(o.objective, start)};
    Found current = best;
    int sinceBetter = 0;
    for (int step = 0; step < o.steps && Clock::now() < deadline; ++step) {
        SearchPosition next = maker.Mutate(current.position);
        for (int more = maker.Pick(3); more > 0; --more)
            next = maker.Mutate(next);
        const double cost = Cost(o.objective, next);
        const double progress = static_cast<double>(step) / o.steps;
        const double temperature =
            o.temperature * std::pow(kFinalTemperature / o.temperature, progress);
        const double rise = std::log(std::max(cost, 1.0)) - std::log(std::max(current.cost, 1.0));
        if (rise >= 0 || maker.Uniform() < std::exp(rise / temperature))
            current = {next, cost};
        if (current.cost > best.cost) {
            best = current;
            sinceBetter = 0;
        } else if (++sinceBetter > o.steps * kStallFraction) {
            current = best;
            sinceBetter = 0;
        }
    }
    return best;
}

bool ParseStarts(const std::string& list, std::vector<ClimbStart>& starts) {
    starts.clear();
    std::stringstream in(list);
    std::string name;
    while (std::getline(in, name, ',')) {
        ClimbStart start;
        if (!ParseClimbStart(name, start))
            return false;
        starts.push_back(start);
    }
    return !starts.empty();
}

bool ParseArguments(int argc, char** argv, Options& o) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i], value = argv[i + 1];
        if (name == "--minutes")
            o.minutes = std::atof(value.c_str());
        else if (name == "--steps")
            o.steps = std::max(1, std::atoi(value.c_str()));
        else if (name == "--seed")
            o.seed = static_cast<uint32_t>(std::atoll(value.c_str()));
        else if (name == "--out")
            o.out = value;
        else if (name == "--start") {
            if (!ParseStarts(value, o.starts))
                return false;
        } else if (name == "--from")
            o.from.push_back(value);
        else if (name == "--objective" && (value == "nodes" || value == "time"))
            o.objective = value;
        else if (name == "--seat-marbles")
            o.seatMarbles = std::clamp(std::atoi(value.c_str()), 1, kMarblesPerColour);
        else if (name == "--temperature")
            o.temperature = std::max(kFinalTemperature, std::atof(value.c_str()));
        else if (name == "--check")
            o.check = value == "yes";
        else if (name == "--without" && value == "sharing")
            o.search.shareChainEnds = false;
        else if (name == "--without" && value == "bounds")
            o.search.reachBounds = false;
        else if (name == "--plain")
            o.search.plainNodes = std::max(0, std::atoi(value.c_str()));
        else
            return false;
    }
    return argc % 2 == 1;
}

// The worst a kind of start has led to.
struct KindRecord {
    ClimbStart kind = ClimbStart::scatter;
    int climbs = 0;
    Found worst;
    std::string file;
};

// "N nodes, T ms (median)", and the check when asked.
std::string Measure(const Options& o, const SearchPosition& p) {
    char text[64];
    std::snprintf(text, sizeof text, "%lld nodes, %.3f ms", static_cast<long long>(Nodes(p)),
                  MedianMilliseconds(p, kReportTimings));
    return text + (o.check ? "; " + Check(p) : "");
}

// A climb's find, written when it is the worst its kind has led to.
void Record(const Options& o, int climb, const Found& found, KindRecord& record) {
    ++record.climbs;
    if (found.cost <= record.worst.cost)
        return;
    record.worst = found;
    record.file = o.out + "/climb-" + std::to_string(o.seed) + "-" + std::to_string(climb) + ".txt";
    std::ofstream(record.file) << Text(found.position);
    std::printf("%s (%s): %s\n", record.file.c_str(), ClimbStartName(record.kind),
                Measure(o, found.position).c_str());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseArguments(argc, argv, o)) {
        std::cerr << "usage: zellhop-hill-climb [--minutes M] [--steps N] [--seed S] [--out DIR]"
                     " [--start behind,lattice,target,scatter,file] [--from FILE]..."
                     " [--objective nodes|time] [--seat-marbles N] [--temperature T]"
                     " [--check yes] [--without sharing|bounds] [--plain N]\n";
        return 2;
    }
    g_search = o.search;
    std::vector<SearchPosition> files;
    for (const std::string& file : o.from)
        files.push_back(Read(file));
    ClimbPositionMaker maker(o.seed, o.seatMarbles);
    std::vector<KindRecord> records;
    for (const ClimbStart kind : o.starts) {
        records.emplace_back();
        records.back().kind = kind;
    }
    const auto begin = Clock::now();
    const auto deadline = begin + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(o.minutes * 60));
    for (int climb = 0; Clock::now() < deadline; ++climb) {
        KindRecord& record = records[climb % records.size()];
        Record(o, climb, Climb(o, maker, maker.Start(record.kind, files), deadline), record);
    }
    std::printf("%.1f minutes\n", std::chrono::duration<double>(Clock::now() - begin).count() / 60);
    for (const KindRecord& record : records)
        std::printf("%s: %d climbs, the worst %s: %s\n", ClimbStartName(record.kind), record.climbs,
                    record.file.c_str(), Measure(o, record.worst.position).c_str());
    return 0;
}
