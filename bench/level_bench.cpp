// The computer's levels: the time and nodes of every move of a game that a
// level plays against itself (two and six seats), and tournaments between
// the levels, whose win shares are the figures the levels are held to.
// Run by hand:
//
//   build/bench/level_bench [--benchmark_filter=...]
//
// ZELLHOP_OPENINGS sets the openings of each tournament (default 10, two
// games each; the figures quoted for the levels come from 100).

#include "computer_level.h"
#include "level_search.h"
#include "self_play.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

constexpr int kMaxTurns = 1000;
constexpr int kDefaultOpenings = 10;
constexpr double kMilliseconds = 1e3;
constexpr double kPercent = 100;

const char* const kGames[] = {"S--S--", "E--E--", "SSSSSS", "EEEEEE"};
// The first level named is the one whose win share counts.
const char* const kTournaments[] = {"S--C--", "E--S--", "SCCCCC", "ECCCCC"};

double ThreadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The position before every move of a game from the first opening, each
// seat at its level.
std::vector<SearchPosition> GamePositions(const SeatLevels& levels) {
    std::vector<SearchPosition> positions;
    SelfPlay game(levels, Opening(levels, 1, 1));
    while (game.winner() < 0 && game.turnNumber() <= kMaxTurns) {
        positions.push_back(
            TakeSnapshot(game.marbles(), game.board().homeHoles(), game.currentSeat()));
        game.PlayTurn();
    }
    return positions;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void EveryMove(benchmark::State& state, const std::string& seats) {
    const SeatLevels levels = ParseSeatLevels(seats);
    const std::vector<SearchPosition> positions = GamePositions(levels);
    const int count = static_cast<int>(
        std::count_if(levels.begin(), levels.end(), [](const auto& l) { return l.has_value(); }));
    std::vector<double> ms, nodes;
    for (auto _ : state) {
        ms.clear();
        nodes.clear();
        for (const SearchPosition& p : positions) {
            const LevelSettings settings = LevelSettingsOf(*levels[p.seat], count);
            const double start = ThreadSeconds();
            const LevelSearchResult r = SearchLevelMove(p, settings);
            ms.push_back((ThreadSeconds() - start) * kMilliseconds);
            nodes.push_back(static_cast<double>(r.nodes));
        }
    }
    state.counters["moves"] = static_cast<double>(positions.size());
    state.counters["median_ms"] = Median(ms);
    state.counters["worst_ms"] = *std::max_element(ms.begin(), ms.end());
    state.counters["median_nodes"] = Median(nodes);
    state.counters["worst_nodes"] = *std::max_element(nodes.begin(), nodes.end());
}

void PlayTournament(benchmark::State& state, const std::string& seats) {
    const char* openings = std::getenv("ZELLHOP_OPENINGS");
    TournamentOptions options;
    options.levels = ParseSeatLevels(seats);
    options.openings = openings ? std::max(1, std::atoi(openings)) : kDefaultOpenings;
    options.seed = 1;
    options.maxTurns = kMaxTurns;
    for (auto _ : state) {
        Tournament tournament(options);
        for (TournamentGame game; tournament.PlayNext(game);) {
        }
        for (const LevelFigures& f : tournament.figures()) {
            const std::string level(1, LevelLetter(f.level));
            state.counters[level + "_win_pct"] = kPercent * f.wins / std::max(1, f.games);
            state.counters[level + "_median_ms"] = Median(f.moveSeconds) * kMilliseconds;
            state.counters[level + "_worst_ms"] =
                *std::max_element(f.moveSeconds.begin(), f.moveSeconds.end()) * kMilliseconds;
            state.counters["games"] = f.games;
        }
    }
}

void RegisterAll() {
    for (const char* seats : kGames)
        benchmark::RegisterBenchmark(("every_move/" + std::string(seats)).c_str(), EveryMove,
                                     std::string(seats))
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
    for (const char* seats : kTournaments)
        benchmark::RegisterBenchmark(("tournament/" + std::string(seats)).c_str(), PlayTournament,
                                     std::string(seats))
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
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
