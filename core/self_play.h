// Computer-only games with the game's own core and no delays: the driver
// shared by zellhop-selfplay, the benchmark and the tests.  Turns pass as
// in the game: seats in colour order, the turn number 1 in the first pass
// and one more each time the turn wraps from the colour-5 side back to 0.
#pragma once

#include "board.h"
#include "computer_player.h"
#include "game_state.h"
#include "marble.h"

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Which colours take part, in colour order.
using SeatsTakingPart = std::array<bool, kColours>;

// "C--C--": six characters in colour order, 'C' for a computer seat and '-'
// for none.  Throws std::invalid_argument on anything else or on no seat.
SeatsTakingPart ParseSeats(std::string_view kinds);

// One turn as played.
struct PlayedTurn {
    int turn = 0;
    int colour = 0;
    int number = -1;                 // the marble moved; -1 when the seat had no legal move
    std::vector<LatticePoint> holes; // origin first, destination last
    double searchSeconds = 0;
};

// "1 BLUE 2 -6,2 -4,0", or "7 RED pass" for a seat without a legal move.
std::string MoveLine(const PlayedTurn& played);

// How a seat's move is chosen: the game's own ChooseComputerMove, or
// another search to compare it with.
using MoveChooser = std::function<ComputerChoice(const MarbleList&, const HomeHoles&, int seat)>;

class SelfPlay {
  public:
    // A new game: every seat taking part laid out in its star point, the
    // first of them to move in turn 1.
    explicit SelfPlay(const SeatsTakingPart& seats, MoveChooser choose = ChooseComputerMove);
    // A position as a position text gives it (see position_file.h): the
    // colours present take part, the colour named last moves in turn 1.
    explicit SelfPlay(std::string_view positionText);
    SelfPlay(const SelfPlay&) = delete;
    SelfPlay& operator=(const SelfPlay&) = delete;

    // The current seat's move: chosen, placed hole by hole, then checked
    // for a win; afterwards the turn passes to the next seat.
    PlayedTurn PlayTurn();

    // The winning colour, or -1 while nobody has won.
    int winner() const { return winner_; }
    int turnNumber() const { return state_.turnNumber; }
    int currentSeat() const { return state_.currentSeat; }
    const Board& board() const { return board_; }
    const MarbleList& marbles() const { return marbles_; }

  private:
    void NextSeat();

    Board board_;
    MarbleList marbles_;
    GameState state_;
    SeatsTakingPart seats_{};
    MoveChooser choose_ = ChooseComputerMove;
    int winner_ = -1;
};
