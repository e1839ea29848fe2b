// zellhop-selfplay: computer-only games with the game's own core and no
// delays, one line per move, so that games can be compared across builds
// and machines.  With --position it plays the one move of a stored position.
//
//   zellhop-selfplay [--seats KINDS] [--max-turns N] [--record FILE]
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
constexpr int kUsageError = 2;
constexpr int kInputError = 1;
constexpr double kMicrosecondsPerSecond = 1e6;

struct Options {
    std::string seats{kDefaultSeats};
    int maxTurns = kDefaultMaxTurns;
    std::optional<std::string> position;
    std::optional<std::string> record; // the game kept as a game record
};

int Usage(const std::string& why) {
    std::cerr << kProgram << ": " << why << "\n"
              << "usage: " << kProgram << " [--seats KINDS] [--max-turns N] [--record FILE]\n"
              << "       " << kProgram << " --position FILE\n"
              << "KINDS: six characters in colour order, C for a computer seat and - for none"
              << " (default " << kDefaultSeats << "); N defaults to " << kDefaultMaxTurns << "\n";
    return kUsageError;
}

std::optional<int> TurnCount(std::string_view text) {
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
    for (int i = 1; i < argc; ++i) {
        const std::string_view name = argv[i];
        if (name != "--seats" && name != "--max-turns" && name != "--position" &&
            name != "--record")
            return std::string("unknown argument ") + std::string(name);
        if (i + 1 >= argc)
            return std::string(name) + " needs a value";
        const std::string value = argv[++i];
        if (name == "--position") {
            options.position = value;
            continue;
        }
        gameOptions = true;
        if (name == "--record") {
            options.record = value;
        } else if (name == "--seats") {
            options.seats = value;
        } else if (const std::optional<int> n = TurnCount(value)) {
            options.maxTurns = *n;
        } else {
            return "--max-turns wants a whole number of turns, not " + value;
        }
    }
    if (options.position && gameOptions)
        return "--position plays one move: no --seats, --max-turns or --record with it";
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

// The seats and the very move lines printed, as the game opens them.
bool WriteRecord(const std::string& fileName, const SeatsTakingPart& seats,
                 std::vector<TurnRecord> turns) {
    SavedGame record;
    for (int colour = 0; colour < kColours; ++colour)
        record.kinds[colour] = seats[colour] ? skComputer : skNone;
    record.turns = std::move(turns);
    std::ofstream file(fileName, std::ios::binary);
    file << SavedGameText(record);
    file.close();
    if (!file)
        std::cerr << kProgram << ": cannot write " << fileName << "\n";
    return static_cast<bool>(file);
}

int PlayGame(const Options& options) {
    const SeatsTakingPart seats = ParseSeats(options.seats);
    SelfPlay game(seats);
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
    if (options.record && !WriteRecord(*options.record, seats, std::move(turns)))
        return kInputError;
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
        return options.position ? PlayPosition(*options.position) : PlayGame(options);
    } catch (const std::invalid_argument& e) {
        return Usage(e.what());
    }
}
