// Computer-only games played through the game model with no delays: the
// driver shared by zellhop-selfplay, the benchmark and the tests.  Turns
// pass as in the game: seats in colour order, the turn number 1 in the
// first pass and one more each time the turn wraps from the colour-5 side
// back to 0.
#pragma once

#include "computer_level.h"
#include "computer_player.h"
#include "match.h"
#include "match_runner.h"
#include "move_record.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Which colours take part, in colour order.
using SeatsTakingPart = std::array<bool, kColours>;

// "C--C--": six characters in colour order, 'C' for a computer seat and '-'
// for none.  Throws std::invalid_argument on anything else or on no seat.
SeatsTakingPart ParseSeats(std::string_view kinds);

// The level that plays each seat; none where the seat takes no part.
using SeatLevels = std::array<std::optional<ComputerLevel>, kColours>;

// "C--S--": six characters in colour order, the letter of a level (C, S or
// E) for a computer seat and '-' for none.  Throws std::invalid_argument on
// anything else or on no seat.
SeatLevels ParseSeatLevels(std::string_view kinds);
// The levels written as ParseSeatLevels reads them.
std::string SeatLevelsText(const SeatLevels& levels);

// One turn as played, and how long its search took.
struct PlayedTurn : TurnRecord {
    double searchSeconds = 0;
};

// How a seat's move is chosen: the game's own ChooseComputerMove, or
// another search to compare it with.
using MoveChooser = Match::MoveChooser;

// Plays every seat at its level: the classic level is ChooseComputerMove
// itself, the others search a snapshot of the position.
MoveChooser LevelChooser(const SeatLevels& levels);

class SelfPlay {
  public:
    // A new game: every seat taking part laid out in its star point, the
    // first of them to move in turn 1.
    explicit SelfPlay(const SeatsTakingPart& seats, MoveChooser choose = ChooseComputerMove);
    // A new game of the seats' levels.
    explicit SelfPlay(const SeatLevels& levels);
    // A position as a position text gives it (see position_file.h): the
    // colours present take part, the colour named last moves in turn 1.
    explicit SelfPlay(std::string_view positionText);
    // A game of the seats' levels from a position of their marbles; the
    // first seat taking part moves in turn 1.
    SelfPlay(const SeatLevels& levels, const std::vector<PlacedMarble>& position);
    SelfPlay(const SelfPlay&) = delete;
    SelfPlay& operator=(const SelfPlay&) = delete;

    // The next seat's turn: its move chosen, placed hole by hole, then
    // checked for a win.
    PlayedTurn PlayTurn();

    // The winning colour, or -1 while nobody has won.
    int winner() const { return match_.winner(); }
    // The seat that plays next and its turn number; after a win, the
    // winner's.
    int turnNumber() const;
    int currentSeat() const;
    const Board& board() const { return match_.board(); }
    const MarbleList& marbles() const { return match_.marbles(); }
    const Match& match() const { return match_; }

  private:
    void TimeSearches(MoveChooser choose);

    Match match_;
    MatchRunner runner_{match_};
    double lastSearchSeconds_ = 0;
};

// Games between levels from varied openings: each opening (a few random
// legal moves of every seat from the start, seeded) is played twice, the
// second time with every level moved on to the next seat taking part.
struct TournamentOptions {
    SeatLevels levels{};
    int openings = 0;
    uint32_t seed = 0;
    int maxTurns = 0; // a game still without a winner after this turn is no one's
};

struct TournamentGame {
    int number = 0;  // from 1
    int opening = 0; // from 1
    SeatLevels levels{};
    int winner = -1; // the winning colour, or -1
    int turns = 0;   // the turn of the winning move, or the turn limit
};

// What one level did over a tournament: the games it played in (at any
// number of seats), those a seat of it won, and the time of its every move.
struct LevelFigures {
    ComputerLevel level = ComputerLevel::kClassic;
    int games = 0;
    int wins = 0;
    std::vector<double> moveSeconds;
};

// The position after the opening moves of `opening` (from 1).
std::vector<PlacedMarble> Opening(const SeatLevels& levels, uint32_t seed, int opening);

class Tournament {
  public:
    explicit Tournament(const TournamentOptions& options);

    // Plays the next game into `game`; false once all have been played.
    bool PlayNext(TournamentGame& game);
    // Every level of the seats, in the order the seats first name them.
    const std::vector<LevelFigures>& figures() const { return figures_; }

  private:
    LevelFigures& FiguresOf(ComputerLevel level);

    const TournamentOptions options_;
    int played_ = 0;
    std::vector<LevelFigures> figures_;
};

// "game 3 C--S-- opening 2: winner ORANGE after 57 turns", or "...: no
// winner after 1000 turns".
std::string GameLine(const TournamentGame& game);
// "S wins 183 of 200 games (91.5%), median move 12 ms, worst 240 ms".
std::string FiguresLine(const LevelFigures& figures);
