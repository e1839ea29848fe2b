// Computer-only games played through the game model with no delays: the
// driver shared by zellhop-selfplay, the benchmark and the tests.  Turns
// pass as in the game: seats in colour order, the turn number 1 in the
// first pass and one more each time the turn wraps from the colour-5 side
// back to 0.
#pragma once

#include "computer_player.h"
#include "match.h"
#include "move_record.h"

#include <array>
#include <functional>
#include <string_view>

// Which colours take part, in colour order.
using SeatsTakingPart = std::array<bool, kColours>;

// "C--C--": six characters in colour order, 'C' for a computer seat and '-'
// for none.  Throws std::invalid_argument on anything else or on no seat.
SeatsTakingPart ParseSeats(std::string_view kinds);

// One turn as played, and how long its search took.
struct PlayedTurn : TurnRecord {
    double searchSeconds = 0;
};

// How a seat's move is chosen: the game's own ChooseComputerMove, or
// another search to compare it with.
using MoveChooser = Match::MoveChooser;

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
    double lastSearchSeconds_ = 0;
};
