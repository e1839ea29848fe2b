// The classic player's cost: one move on positions of real games (2, 3, 4
// and 6 seats), of the corpus of crowded positions and of the positions the
// hill-climber built against the pruned search (and against it without its
// table and bounds: trees of millions of nodes), every move of whole games,
// and a whole 6-seat game; each with the pruned search that the game uses
// and the fast exhaustive search it must agree with, nodes side by side.
// The exhaustive search's cost per node is measured on the corpus, both
// the fast one and the rule as written (a tree node per landing hole).
//
// Corpus positions are read from tests/data/corpus/, the hill-climbed ones
// from tests/data/positions/; the exhaustive searches need up to seconds
// on the corpus, so those runs take a single iteration.

#include "board.h"
#include "classic_rule.h"
#include "computer_player.h"
#include "marble.h"
#include "path_tree.h"
#include "position_file.h"
#include "pruned_search.h"
#include "self_play.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <ctime>
#include <string>
#include <vector>

namespace {

const char* const kGames[] = {"C--C--", "C-C-C-", "CC-CC-", "CCCCCC"};
const char* const kCorpus[] = {"corpus/crowded-1", "corpus/crowded-2"};
const char* const kClimbed[] = {
    "positions/climb-1",  "positions/climb-2",  "positions/climb-3",  "positions/climb-4",
    "positions/climb-5",  "positions/climb-6",  "positions/climb-7",  "positions/climb-8",
    "positions/climb-9",  "positions/climb-10", "positions/climb-11", "positions/climb-12",
    "positions/climb-13", "positions/climb-14", "positions/climb-15", "positions/climb-16",
    "positions/climb-17"};
// The hill-climber's worst for the search without the table and the
// bounds: exhaustive trees of 21.4 and 10.6 million nodes.
const char* const kClimbedTrees[] = {"positions/tree-1", "positions/tree-2"};
constexpr int kMaxTurns = 1000;
constexpr int kTimingsPerMove = 5; // the best of these counts, to keep noise out
constexpr double kMicroseconds = 1e6;
constexpr double kNanoseconds = 1e9;

enum class Search { pruned, exhaustive, rule };

const char* Name(Search s) {
    switch (s) {
    case Search::pruned:
        return "pruned";
    case Search::exhaustive:
        return "exhaustive";
    default:
        return "rule";
    }
}

struct Loaded {
    Board board;
    MarbleList marbles;
    int seat = 0;
    SearchPosition snapshot;
    explicit Loaded(const std::string& text) {
        seat = ReadPosition(text, board, marbles);
        snapshot = TakeSnapshot(marbles, board.homeHoles(), seat);
    }
    ~Loaded() { marbles.RemoveAll(); }

    // One search of the seat's move; returns the nodes it visited.
    int64_t Run(Search search) const {
        if (search == Search::pruned) {
            SearchCounters counters;
            benchmark::DoNotOptimize(PrunedClassicMove(snapshot, &counters));
            return counters.nodes;
        }
        if (search == Search::exhaustive) {
            int64_t nodes = 0;
            benchmark::DoNotOptimize(ExhaustiveClassicMove(snapshot, &nodes));
            return nodes;
        }
        PathTree tree;
        benchmark::DoNotOptimize(ChooseMoveExhaustive(marbles, board.homeHoles(), seat, tree));
        return tree.Count();
    }
};

std::string DataFile(const std::string& name) {
    return std::string(ZELLHOP_DATA_DIR) + "/" + name + ".txt";
}

// The position before every move of a self-play game, as position texts.
std::vector<std::string> GamePositions(const char* seats) {
    std::vector<std::string> positions;
    SelfPlay game(ParseSeats(seats));
    while (game.winner() < 0 && game.turnNumber() <= kMaxTurns) {
        positions.push_back(PositionText(game.marbles(), game.currentSeat()));
        game.PlayTurn();
    }
    return positions;
}

// The thread's processor time: what a node costs, whatever else the
// machine runs meanwhile.
double ThreadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / kNanoseconds;
}

void OneMove(benchmark::State& state, const std::string& position, Search search) {
    const Loaded p(position);
    int64_t nodes = 0;
    const double start = ThreadSeconds();
    for (auto _ : state)
        nodes = p.Run(search);
    state.counters["nodes"] = static_cast<double>(nodes);
    state.counters["ns_per_node"] =
        (ThreadSeconds() - start) * kNanoseconds / static_cast<double>(nodes * state.iterations());
}

// Every position timed on its own: median and worst per move.
void EveryMove(benchmark::State& state, const std::vector<std::string>& positions, Search search) {
    std::vector<double> seconds;
    int64_t nodes = 0, worstNodes = 0;
    for (auto _ : state) {
        seconds.clear();
        for (const std::string& position : positions) {
            const Loaded p(position);
            double best = 1e9;
            for (int i = 0; i < kTimingsPerMove; ++i) {
                const auto start = std::chrono::steady_clock::now();
                const int64_t n = p.Run(search);
                best = std::min(
                    best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
                              .count());
                nodes += i == 0 ? n : 0;
                worstNodes = std::max(worstNodes, n);
            }
            seconds.push_back(best);
        }
    }
    std::sort(seconds.begin(), seconds.end());
    state.counters["moves"] = static_cast<double>(seconds.size());
    state.counters["median_us"] = seconds[seconds.size() / 2] * kMicroseconds;
    state.counters["worst_us"] = seconds.back() * kMicroseconds;
    state.counters["nodes_per_move"] =
        static_cast<double>(nodes) / static_cast<double>(state.iterations() * seconds.size());
    state.counters["worst_nodes"] = static_cast<double>(worstNodes);
}

void WholeGame(benchmark::State& state, const char* seats, Search search) {
    const MoveChooser choose = [search](const MarbleList& marbles, const HomeHoles& homeHoles,
                                        int seat) {
        if (search == Search::pruned)
            return ChooseComputerMove(marbles, homeHoles, seat);
        PathTree tree;
        return ChooseMoveExhaustive(marbles, homeHoles, seat, tree);
    };
    int moves = 0;
    for (auto _ : state) {
        SelfPlay game(ParseSeats(seats), choose);
        for (moves = 0; game.winner() < 0 && game.turnNumber() <= kMaxTurns; ++moves)
            game.PlayTurn();
    }
    state.counters["moves"] = moves;
}

// The positions of a game at its median and its worst move, by the
// exhaustive search's nodes.
std::vector<std::pair<std::string, std::string>>
TypicalAndWorst(const std::vector<std::string>& positions) {
    std::vector<std::pair<int64_t, size_t>> byNodes;
    for (size_t i = 0; i < positions.size(); ++i)
        byNodes.push_back({Loaded(positions[i]).Run(Search::exhaustive), i});
    std::sort(byNodes.begin(), byNodes.end());
    return {{"median", positions[byNodes[byNodes.size() / 2].second]},
            {"worst", positions[byNodes.back().second]}};
}

void RegisterAll() {
    for (const char* seats : kGames) {
        const std::vector<std::string> positions = GamePositions(seats);
        for (const auto& [which, position] : TypicalAndWorst(positions))
            for (Search s : {Search::pruned, Search::exhaustive})
                benchmark::RegisterBenchmark(
                    ("move/" + std::string(seats) + "/" + which + "/" + Name(s)).c_str(), OneMove,
                    position, s)
                    ->Unit(benchmark::kMicrosecond);
        for (Search s : {Search::pruned, Search::exhaustive})
            benchmark::RegisterBenchmark(
                ("every_move/" + std::string(seats) + "/" + Name(s)).c_str(), EveryMove, positions,
                s)
                ->Unit(benchmark::kMillisecond)
                ->Iterations(1);
    }
    // The oracle's cost per node, and the pruned search on the same.
    for (const char* name : kCorpus) {
        const std::string text = PositionFileText(DataFile(name));
        benchmark::RegisterBenchmark(("move/" + std::string(name) + "/pruned").c_str(), OneMove,
                                     text, Search::pruned)
            ->Unit(benchmark::kMicrosecond);
        // The rule as written keeps a tree node per landing hole: 1 GB and
        // tens of seconds on the larger one.
        for (Search s : {Search::exhaustive, Search::rule})
            if (s == Search::exhaustive || name == kCorpus[0])
                benchmark::RegisterBenchmark(
                    ("oracle/" + std::string(name) + "/" + Name(s)).c_str(), OneMove, text, s)
                    ->Unit(benchmark::kMillisecond)
                    ->Iterations(1);
    }
    // The pruned search's worst time on what the hill-climber built.
    std::vector<std::string> climbed;
    for (const char* name : kClimbed)
        climbed.push_back(PositionFileText(DataFile(name)));
    benchmark::RegisterBenchmark("every_move/climbed/pruned", EveryMove, climbed, Search::pruned)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    // Each climbed position on its own, and the large trees beside the
    // exhaustive search they spare.
    for (const char* name : kClimbed)
        benchmark::RegisterBenchmark(("move/" + std::string(name) + "/pruned").c_str(), OneMove,
                                     PositionFileText(DataFile(name)), Search::pruned)
            ->Unit(benchmark::kMicrosecond);
    for (const char* name : kClimbedTrees) {
        const std::string text = PositionFileText(DataFile(name));
        benchmark::RegisterBenchmark(("move/" + std::string(name) + "/pruned").c_str(), OneMove,
                                     text, Search::pruned)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("move/" + std::string(name) + "/exhaustive").c_str(),
                                     OneMove, text, Search::exhaustive)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
    }
    for (Search s : {Search::pruned, Search::rule})
        benchmark::RegisterBenchmark((std::string("game/CCCCCC/") + Name(s)).c_str(), WholeGame,
                                     "CCCCCC", s)
            ->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RegisterAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
