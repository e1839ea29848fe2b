// The record of a game: every turn in the order it was played, with the
// seat, the marble moved and every hole it stood on, so that a game can be
// written out, compared, taken back and played again.
#pragma once

#include "board.h"

#include <string>
#include <vector>

struct TurnRecord {
    int turn = 0;                    // the turn number the status bar showed
    int seat = 0;                    // the colour that played
    int number = -1;                 // the marble moved; -1 while it has not moved (a pass)
    std::vector<LatticePoint> holes; // the marble's hole first, then every hole it reached
};

// "1 BLUE 2 -6,2 -4,0", or "7 RED pass" for a turn without a move.
std::string MoveLine(const TurnRecord& turn);
