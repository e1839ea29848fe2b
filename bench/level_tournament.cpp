// zellhop-level-tournament: games between computer levels from seeded
// openings, for tuning the levels by hand.  Each opening (a few random legal
// moves per seat from the start) is played once for every rotation of the
// players over the seats.
//
//   zellhop-level-tournament --seats SPEC,SPEC,... [--openings N] [--seed S]
//
// SPEC per seat in colour order: "-" none, "C" classic, "S" strong,
// "E" expert, or settings such as "d2w20r0b0o100s0" (depth, width, root
// width, node budget, others' weight, straggler weight).

#include "board_tables.h"
#include "colours.h"
#include "computer_level.h"
#include "level_search.h"
#include "position_file.h"
#include "pruned_search.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kMaxRounds = 600;
constexpr int kOpeningRounds = 3;

struct Player {
    std::string name;
    bool classic = false;
    LevelSettings settings;
};

Player ParsePlayer(const std::string& spec, int seats) {
    Player p;
    p.name = spec;
    if (spec == "C") {
        p.classic = true;
        return p;
    }
    if (spec == "S" || spec == "E") {
        p.settings =
            LevelSettingsOf(spec == "S" ? ComputerLevel::kStrong : ComputerLevel::kExpert, seats);
        return p;
    }
    for (size_t i = 0; i < spec.size();) {
        const char key = spec[i++];
        size_t used = 0;
        const long long value = std::stoll(spec.substr(i), &used);
        i += used;
        switch (key) {
        case 'd':
            p.settings.depth = static_cast<int>(value);
            break;
        case 'w':
            p.settings.width = static_cast<int>(value);
            break;
        case 'y':
            p.settings.replyWidth = static_cast<int>(value);
            break;
        case 'r':
            p.settings.rootWidth = static_cast<int>(value);
            break;
        case 'b':
            p.settings.nodeBudget = value;
            break;
        case 'o':
            p.settings.othersWeight = static_cast<int>(value);
            break;
        case 'q':
            p.settings.squareWeight = static_cast<int>(value);
            break;
        case 'h':
            p.settings.startWeight = static_cast<int>(value);
            break;
        case 'k':
            p.settings.blockerWeight = static_cast<int>(value);
            break;
        case 't':
            p.settings.trappedWeight = static_cast<int>(value);
            break;
        default:
            throw std::invalid_argument("bad player " + spec);
        }
    }
    return p;
}

SearchPosition StartPosition(const std::vector<int>& colours) {
    const BoardTables& t = Tables();
    SearchPosition p;
    for (int k = 0; k < kColours; ++k)
        p.homeHoles[k] = static_cast<int8_t>(t.tip(k));
    // The layout of a colour: from its tip, directions colour + 3 and
    // colour + 4, four rows deep, numbered in that order.
    for (int colour : colours) {
        int number = 0;
        auto lay = [&](auto&& self, int h, int depth) -> void {
            if (h == kNoHole || depth >= 4 || p.Occupied().has(h))
                return;
            p.marbles[p.count++] = {static_cast<int8_t>(colour), static_cast<int8_t>(number++),
                                    static_cast<int8_t>(h)};
            self(self, t.neighbour(h, Mod6(colour + 3)), depth + 1);
            self(self, t.neighbour(h, Mod6(colour + 4)), depth + 1);
        };
        lay(lay, t.tip(colour), 0);
    }
    return p;
}

bool Won(const SearchPosition& p, int colour) {
    int home = 0;
    for (int i = 0; i < p.count; ++i)
        home += p.marbles[i].colour == colour &&
                Tables().triangle(p.marbles[i].hole) == Opposite(colour);
    return home == kMarblesPerColour;
}

void RandomMove(SearchPosition& p, std::mt19937& rng) {
    std::vector<std::pair<int, int>> moves;
    const HoleSet occupied = p.Occupied();
    for (int i = 0; i < p.count; ++i)
        if (p.marbles[i].colour == p.seat)
            Destinations(occupied, p.marbles[i].hole).forEach([&](int to) {
                moves.push_back({i, to});
            });
    if (moves.empty())
        return;
    const auto& [i, to] = moves[rng() % moves.size()];
    p.marbles[i].hole = static_cast<int8_t>(to);
}

struct Stats {
    int games = 0;
    int wins = 0;
    std::vector<double> ms;
    std::vector<int64_t> nodes;
};

// Plays one game; returns the winning colour or -1.
int Play(SearchPosition p, const std::vector<int>& colours, const std::vector<Player*>& bySeat,
         std::vector<Stats*>& stats) {
    for (int round = 0; round < kMaxRounds; ++round)
        for (int colour : colours) {
            p.seat = colour;
            const Player& player = *bySeat[colour];
            const auto start = std::chrono::steady_clock::now();
            int marble = -1;
            std::vector<int> path;
            if (player.classic) {
                const ClassicMove m = PrunedClassicMove(p);
                marble = m.marble;
                path = m.path;
            } else {
                const LevelSearchResult r = SearchLevelMove(p, player.settings);
                marble = r.marble;
                path = r.path;
                stats[colour]->nodes.push_back(r.nodes);
            }
            stats[colour]->ms.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
            if (marble < 0)
                continue;
            p.marbles[marble].hole = static_cast<int8_t>(path.back());
            if (Won(p, colour)) {
                std::fprintf(stderr, "won in round %d: ", round);
                return colour;
            }
        }
    if (std::getenv("SHOW_UNFINISHED")) {
        for (int i = 0; i < p.count; ++i)
            std::fprintf(stderr, "%s %d %s\n", std::string(ColourWord(p.marbles[i].colour)).c_str(),
                         p.marbles[i].number, HoleText(Tables().at(p.marbles[i].hole)).c_str());
        std::fprintf(stderr, "move BLUE\n");
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    std::string seatsSpec;
    int openings = 10;
    uint32_t seed = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i], value = argv[i + 1];
        if (name == "--seats")
            seatsSpec = value;
        else if (name == "--openings")
            openings = std::atoi(value.c_str());
        else if (name == "--seed")
            seed = static_cast<uint32_t>(std::atoll(value.c_str()));
    }
    std::vector<std::string> specs;
    std::stringstream in(seatsSpec);
    for (std::string s; std::getline(in, s, ',');)
        specs.push_back(s);
    if (specs.size() != kColours) {
        std::cerr << "--seats wants six specs, comma-separated\n";
        return 2;
    }
    std::vector<int> colours;
    for (int c = 0; c < kColours; ++c)
        if (specs[c] != "-")
            colours.push_back(c);
    std::vector<Player> players;
    for (int c : colours)
        players.push_back(ParsePlayer(specs[c], static_cast<int>(colours.size())));
    std::vector<Stats> stats(players.size());
    const size_t n = players.size();
    int unfinished = 0;
    for (int opening = 0; opening < openings; ++opening) {
        std::mt19937 rng(seed * 7919u + static_cast<uint32_t>(opening));
        SearchPosition start = StartPosition(colours);
        for (int round = 0; round < kOpeningRounds; ++round)
            for (int colour : colours) {
                start.seat = colour;
                RandomMove(start, rng);
            }
        for (size_t rotation = 0; rotation < n; ++rotation) {
            std::vector<Player*> bySeat(kColours, nullptr);
            std::vector<Stats*> statsBySeat(kColours, nullptr);
            for (size_t k = 0; k < n; ++k) {
                bySeat[colours[k]] = &players[(k + rotation) % n];
                statsBySeat[colours[k]] = &stats[(k + rotation) % n];
            }
            const int winner = Play(start, colours, bySeat, statsBySeat);
            for (size_t k = 0; k < n; ++k)
                ++statsBySeat[colours[k]]->games;
            if (winner >= 0)
                ++statsBySeat[winner]->wins;
            else
                ++unfinished;
            std::fprintf(stderr, "opening %d rotation %zu: %s\n", opening, rotation,
                         winner >= 0 ? bySeat[winner]->name.c_str() : "none");
        }
    }
    // Players with the same spec share their figures.
    for (size_t i = 0; i < n; ++i) {
        bool first = true;
        for (size_t j = 0; j < i; ++j)
            first = first && players[j].name != players[i].name;
        if (!first)
            continue;
        Stats all;
        for (size_t j = i; j < n; ++j)
            if (players[j].name == players[i].name) {
                all.games += stats[j].games;
                all.wins += stats[j].wins;
                all.ms.insert(all.ms.end(), stats[j].ms.begin(), stats[j].ms.end());
                all.nodes.insert(all.nodes.end(), stats[j].nodes.begin(), stats[j].nodes.end());
            }
        std::sort(all.ms.begin(), all.ms.end());
        std::sort(all.nodes.begin(), all.nodes.end());
        if (!all.nodes.empty())
            std::printf("%s nodes: median %lld, 99%% %lld, worst %lld\n", players[i].name.c_str(),
                        static_cast<long long>(all.nodes[all.nodes.size() / 2]),
                        static_cast<long long>(all.nodes[all.nodes.size() * 99 / 100]),
                        static_cast<long long>(all.nodes.back()));
        std::printf(
            "%s wins %d of %d games (%.1f%%), median move %.2f ms, worst %.1f ms\n",
            players[i].name.c_str(), all.wins, all.games, 100.0 * all.wins / std::max(1, all.games),
            all.ms.empty() ? 0 : all.ms[all.ms.size() / 2], all.ms.empty() ? 0 : all.ms.back());
    }
    std::printf("unfinished %d\n", unfinished);
    return 0;
}
