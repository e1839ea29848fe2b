#include "self_play.h"

#include "board_tables.h"
#include "colours.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <stdexcept>

namespace {
constexpr char kComputerSeat = 'C';
constexpr char kNoSeatLetter = '-';
constexpr std::string_view kSeatChars = "C-"; // a computer seat, no seat
constexpr int kOpeningRounds = 3;             // random moves of every seat before a game
constexpr double kMilliseconds = 1e3;
constexpr double kPercent = 100;
} // namespace

SeatsTakingPart ParseSeats(std::string_view kinds) {
    if (kinds.size() != kColours || kinds.find_first_not_of(kSeatChars) != std::string_view::npos)
        throw std::invalid_argument("seats must be six characters, C for a computer seat and - "
                                    "for none, in colour order");
    SeatsTakingPart seats{};
    bool any = false;
    for (int colour = 0; colour < kColours; ++colour) {
        seats[colour] = kinds[colour] == kComputerSeat;
        any = any || seats[colour];
    }
    if (!any)
        throw std::invalid_argument("at least one seat must be C");
    return seats;
}

SeatLevels ParseSeatLevels(std::string_view kinds) {
    SeatLevels levels{};
    bool any = false;
    bool valid = kinds.size() == kColours;
    for (int colour = 0; valid && colour < kColours; ++colour) {
        if (kinds[colour] == kNoSeatLetter)
            continue;
        levels[colour] = LevelFromLetter(kinds[colour]);
        valid = levels[colour].has_value();
        any = true;
    }
    if (!valid)
        throw std::invalid_argument("seats must be six characters, C, S or E for a computer seat "
                                    "of that level and - for none, in colour order");
    if (!any)
        throw std::invalid_argument("at least one seat must be C, S or E");
    return levels;
}

std::string SeatLevelsText(const SeatLevels& levels) {
    std::string text;
    for (const std::optional<ComputerLevel>& level : levels)
        text += level ? LevelLetter(*level) : kNoSeatLetter;
    return text;
}

MoveChooser LevelChooser(const SeatLevels& levels) {
    return [levels](const MarbleList& marbles, const HomeHoles& homeHoles, int seat) {
        return ChooseMoveAtLevel(marbles, homeHoles, seat,
                                 levels[seat].value_or(ComputerLevel::kClassic));
    };
}

SelfPlay::SelfPlay(const SeatsTakingPart& seats, MoveChooser choose) {
    for (int colour = 0; colour < kColours; ++colour)
        match_.SetSeat(colour, seats[colour] ? skComputer : skNone);
    TimeSearches(std::move(choose));
    match_.NewGame();
}

SelfPlay::SelfPlay(std::string_view positionText) {
    TimeSearches(ChooseComputerMove);
    match_.StartFromPosition(positionText);
}

SelfPlay::SelfPlay(const SeatLevels& levels) {
    for (int colour = 0; colour < kColours; ++colour)
        match_.SetSeat(colour, levels[colour] ? skComputer : skNone);
    TimeSearches(LevelChooser(levels));
    match_.NewGame();
}

SelfPlay::SelfPlay(const SeatLevels& levels, const std::vector<PlacedMarble>& position)
    : SelfPlay(levels) {
    match_.ReplaceMarbles(position);
}

void SelfPlay::TimeSearches(MoveChooser choose) {
    runner_ =
        MatchRunner(match_, [this, choose = std::move(choose)](
                                const MarbleList& marbles, const HomeHoles& homeHoles, int seat) {
            const auto start = std::chrono::steady_clock::now();
            ComputerChoice choice = choose(marbles, homeHoles, seat);
            lastSearchSeconds_ =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            return choice;
        });
}

PlayedTurn SelfPlay::PlayTurn() {
    lastSearchSeconds_ = 0;
    match_.NextTurn();
    runner_.Run(1);
    PlayedTurn played;
    if (!match_.record().empty())
        static_cast<TurnRecord&>(played) = match_.record().back();
    played.searchSeconds = lastSearchSeconds_;
    return played;
}

int SelfPlay::turnNumber() const {
    if (winner() >= 0)
        return match_.record().back().turn;
    return match_.Upcoming().turnNumber;
}

int SelfPlay::currentSeat() const {
    if (winner() >= 0)
        return winner();
    return match_.Upcoming().seat;
}

std::vector<PlacedMarble> Opening(const SeatLevels& levels, uint32_t seed, int opening) {
    const Board board;
    MarbleList marbles;
    for (int colour = 0; colour < kColours; ++colour)
        if (levels[colour])
            marbles.CreateColour(board.homeHole(colour), colour);
    SearchPosition p = TakeSnapshot(marbles, board.homeHoles(), 0);
    marbles.RemoveAll();
    // Only the engine's raw output is used: the standard fixes its
    // sequence, and so every machine plays the same openings.
    std::seed_seq seeds{seed, static_cast<uint32_t>(opening)};
    std::mt19937 random(seeds);
    for (int round = 0; round < kOpeningRounds; ++round)
        for (int colour = 0; colour < kColours; ++colour) {
            std::vector<std::pair<int, int>> moves; // marble, destination
            const HoleSet occupied = p.Occupied();
            for (int i = 0; i < p.count; ++i)
                if (p.marbles[i].colour == colour)
                    Destinations(occupied, p.marbles[i].hole).forEach([&](int to) {
                        moves.push_back({i, to});
                    });
            if (moves.empty())
                continue;
            const auto [marble, to] = moves[random() % moves.size()];
            p.marbles[marble].hole = static_cast<int8_t>(to);
        }
    std::vector<PlacedMarble> position;
    for (int i = 0; i < p.count; ++i)
        position.push_back(
            {p.marbles[i].colour, p.marbles[i].number, Tables().at(p.marbles[i].hole)});
    return position;
}

Tournament::Tournament(const TournamentOptions& options) : options_(options) {
    for (const std::optional<ComputerLevel>& level : options.levels)
        if (level)
            FiguresOf(*level);
}

LevelFigures& Tournament::FiguresOf(ComputerLevel level) {
    for (LevelFigures& f : figures_)
        if (f.level == level)
            return f;
    figures_.push_back({level, 0, 0, {}});
    return figures_.back();
}

bool Tournament::PlayNext(TournamentGame& game) {
    if (played_ >= 2 * options_.openings)
        return false;
    game = {};
    game.number = ++played_;
    game.opening = (played_ + 1) / 2;
    game.levels = options_.levels;
    if (played_ % 2 == 0) {
        // Every level moves on to the next seat taking part.
        std::vector<int> seats;
        for (int colour = 0; colour < kColours; ++colour)
            if (game.levels[colour])
                seats.push_back(colour);
        for (size_t k = 0; k < seats.size(); ++k)
            game.levels[seats[(k + 1) % seats.size()]] = options_.levels[seats[k]];
    }
    SelfPlay play(game.levels, Opening(game.levels, options_.seed, game.opening));
    while (play.winner() < 0 && play.turnNumber() <= options_.maxTurns) {
        const PlayedTurn turn = play.PlayTurn();
        FiguresOf(*game.levels[turn.seat]).moveSeconds.push_back(turn.searchSeconds);
    }
    game.winner = play.winner();
    game.turns = game.winner >= 0 ? play.turnNumber() : options_.maxTurns;
    std::vector<ComputerLevel> inGame;
    for (const std::optional<ComputerLevel>& level : game.levels)
        if (level && std::find(inGame.begin(), inGame.end(), *level) == inGame.end())
            inGame.push_back(*level);
    for (ComputerLevel level : inGame)
        ++FiguresOf(level).games;
    if (game.winner >= 0)
        ++FiguresOf(*game.levels[game.winner]).wins;
    return true;
}

std::string GameLine(const TournamentGame& game) {
    std::string line = "game " + std::to_string(game.number) + " " + SeatLevelsText(game.levels) +
                       " opening " + std::to_string(game.opening) + ": ";
    if (game.winner < 0)
        return line + "no winner after " + std::to_string(game.turns) + " turns";
    return line + "winner " + std::string(ColourWord(game.winner)) + " after " +
           std::to_string(game.turns) + " turns";
}

namespace {
// Whole milliseconds, but a tenth of one below ten.
std::string Milliseconds(double seconds) {
    char text[32];
    const double ms = seconds * kMilliseconds;
    std::snprintf(text, sizeof text, ms < 10 ? "%.1f ms" : "%.0f ms", ms);
    return text;
}
} // namespace

std::string FiguresLine(const LevelFigures& f) {
    std::vector<double> seconds = f.moveSeconds;
    std::sort(seconds.begin(), seconds.end());
    const double median = seconds.empty() ? 0 : seconds[seconds.size() / 2];
    const double worst = seconds.empty() ? 0 : seconds.back();
    char share[32];
    std::snprintf(share, sizeof share, "%.1f%%", f.games > 0 ? kPercent * f.wins / f.games : 0.0);
    return std::string(1, LevelLetter(f.level)) + " wins " + std::to_string(f.wins) + " of " +
           std::to_string(f.games) + " games (" + share + "), median move " + Milliseconds(median) +
           ", worst " + Milliseconds(worst);
}
