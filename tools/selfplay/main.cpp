// zellhop-selfplay: computer-only games with the game's own core and no
// delays, one line per move, so that games can be compared across builds
// and machines.  With --position it plays the one move of a stored position;
// with --openings it plays a tournament between the seats' levels.
//
//   zellhop-selfplay [--seats KINDS] [--max-turns N] [--record FILE]
//   zellhop-selfplay [--seats KINDS] [--max-turns N] --openings N [--seed S]
//   zellhop-selfplay --position FILE

#include "colours.h"
#include "position_file.h"
#include "saved_game.h"
#include "self_play.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr const char* kProgram = "zellhop-selfplay";
constexpr std::string_view kDefaultSeats = "C--C--";
constexpr int kDefaultMaxTurns = 1000;
constexpr int kDefaultSeed = 1;
constexpr int kUsageError = 2;
constexpr int kInputError = 1;
constexpr double kMicrosecondsPerSecond = 1e6;

struct Options {
    std::string seats{kDefaultSeats};
    int maxTurns = kDefaultMaxTurns;
    std::optional<std::string> position;
    std::optional<int> openings;
    int seed = kDefaultSeed;
    std::optional<std::string> record; // the game kept as a game record
};

int Usage(const std::string& why) {
    std::cerr << kProgram << ": " << why << "\n"
              << "usage: " << kProgram << " [--seats KINDS] [--max-turns N] [--record FILE]\n"
              << "       " << kProgram
              << " [--seats KINDS] [--max-turns N] --openings N [--seed S]\n"
              << "       " << kProgram << " --position FILE\n"
              << "KINDS: six characters in colour order, C, S or E for a computer seat playing"
              << " Classic, Strong or Expert and - for none (default " << kDefaultSeats
              << "); --max-turns defaults to " << kDefaultMaxTurns << ", --seed to " << kDefaultSeed
              << "\n";
    return kUsageError;
}

// A whole number of at least 0.
std::optional<int> Count(std::string_view text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value < 0)
        return std::nullopt;
    return value;
}

// Fills `options`; returns an empty text on success, else what is wrong.
std::string ParseArguments(int argc, char** argv, Options& options) {
    bool gameOptions = false;
    bool seedGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view name = argv[i];
        if (name != "--seats" && name != "--max-turns" && name != "--position" &&
            name != "--openings" && name != "--seed" && name != "--record")
            return std::string("unknown argument ") + std::string(name);
        if (i + 1 >= argc)
            return std::string(name) + " needs a value";
        const std::string value = argv[++i];
        if (name == "--position") {
            options.position = value;
            continue;
        }
        gameOptions = true;
        const std::optional<int> n = Count(value);
        if (name == "--record") {
            options.record = value;
        } else if (name == "--seats") {
            options.seats = value;
        } else if (name == "--max-turns") {
            if (!n)
                return "--max-turns wants a whole number of turns, not " + value;
            options.maxTurns = *n;
        } else if (name == "--openings") {
            if (!n || *n == 0)
                return "--openings wants a number of openings, at least 1, not " + value;
            options.openings = *n;
        } else {
            if (!n)
                return "--seed wants a whole number, not " + value;
            options.seed = *n;
            seedGiven = true;
        }
    }
    if (options.position && gameOptions)
        return "--position plays one move: no other option with it";
    if (seedGiven && !options.openings)
        return "--seed seeds the openings of a tournament: give --openings too";
    if (options.record && options.openings)
        return "--record keeps one game: not with --openings";
    return {};
}

// Most moves take a few microseconds: print them to a tenth of one.
std::string Microseconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f us", seconds * kMicrosecondsPerSecond);
    return text;
}

void PrintTiming(std::vector<double> seconds) {
    if (seconds.empty()) {
        std::cerr << "moves 0\n";
        return;
    }
    double total = 0;
    for (double s : seconds)
        total += s;
    const auto middle = seconds.begin() + seconds.size() / 2;
    std::nth_element(seconds.begin(), middle, seconds.end());
    const double worst = *std::max_element(seconds.begin(), seconds.end());
    std::cerr << "moves " << seconds.size() << ", total " << Microseconds(total) << ", median "
              << Microseconds(*middle) << ", worst " << Microseconds(worst) << " per move\n";
}

// The seats with their levels and the very move lines printed, as the game
// opens them.
bool WriteRecord(const std::string& fileName, const SeatLevels& seats,
                 std::vector<TurnRecord> turns) {
    SavedGame record;
    for (int colour = 0; colour < kColours; ++colour) {
        record.kinds[colour] = seats[colour] ? skComputer : skNone;
        record.levels[colour] = seats[colour].value_or(ComputerLevel::kClassic);
    }
    record.turns = std::move(turns);
    std::ofstream file(fileName, std::ios::binary);
    file << SavedGameText(record);
    file.close();
    if (!file)
        std::cerr << kProgram << ": cannot write " << fileName << "\n";
    return static_cast<bool>(file);
}

int PlayGame(const Options& options) {
    const SeatLevels levels = ParseSeatLevels(options.seats);
    SelfPlay game(levels);
    std::vector<double> searchTimes;
    std::vector<TurnRecord> turns;
    while (game.winner() < 0 && game.turnNumber() <= options.maxTurns) {
        const PlayedTurn played = game.PlayTurn();
        std::cout << MoveLine(played) << "\n";
        searchTimes.push_back(played.searchSeconds);
        turns.push_back(played);
    }
    if (game.winner() >= 0)
        std::cout << "winner " << ColourWord(game.winner()) << " after " << game.turnNumber()
                  << " turns\n";
    else
        std::cout << "no winner after " << options.maxTurns << " turns\n";
    PrintTiming(std::move(searchTimes));
    if (options.record && !WriteRecord(*options.record, levels, std::move(turns)))
        return kInputError;
    return 0;
}

int PlayTournament(const Options& options) {
    TournamentOptions t;
    t.levels = ParseSeatLevels(options.seats);
    t.openings = *options.openings;
    t.seed = static_cast<uint32_t>(options.seed);
    t.maxTurns = options.maxTurns;
    Tournament tournament(t);
    TournamentGame game;
    while (tournament.PlayNext(game))
        std::cout << GameLine(game) << std::endl;
    for (const LevelFigures& figures : tournament.figures())
        std::cout << FiguresLine(figures) << "\n";
    return 0;
}

int PlayPosition(const std::string& fileName) {
    try {
        SelfPlay game(PositionFileText(fileName));
        const PlayedTurn played = game.PlayTurn();
        std::cout << MoveLine(played) << "\n";
        std::cerr << "search " << Microseconds(played.searchSeconds) << "\n";
        return 0;
    } catch (const PositionFileError& e) {
        std::cerr << kProgram << ": " << fileName << ": " << e.what() << "\n";
        return kInputError;
    }
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (const std::string fault = ParseArguments(argc, argv, options); !fault.empty())
        return Usage(fault);
    try {
        if (options.position)
            return PlayPosition(*options.position);
        return options.openings ? PlayTournament(options) : PlayGame(options);
    } catch (const std::invalid_argument& e) {
        return Usage(e.what());
    }
}
