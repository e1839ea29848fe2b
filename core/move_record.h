// The record of a game: every turn in the order it was played, with the
// seat, the marble moved and every hole it stood on, so that a game can be
// written out, compared, taken back and played again.
#pragma once

#include "board.h"

#include <array>
#include <string>
#include <vector>

// A move the computer player suggested to a human who asked for a hint.
struct Suggestion {
    int number = -1;                 // the marble; -1 when no hint was taken
    std::vector<LatticePoint> holes; // its hole first, then every hole it would reach
};

struct TurnRecord {
    int turn = 0;                    // the turn number the status bar showed
    int seat = 0;                    // the colour that played
    int number = -1;                 // the marble moved; -1 while it has not moved (a pass)
    std::vector<LatticePoint> holes; // the marble's hole first, then every hole it reached
    Suggestion hint{};               // the hint taken in this turn, if any
};

// "1 BLUE 2 -6,2 -4,0", or "7 RED pass" for a turn without a move.
std::string MoveLine(const TurnRecord& turn);
// "hint 1 BLUE 2 -6,2 -4,0": the turn's hint, in a line of its own so
// that the move lines stay as zellhop-selfplay prints them.
std::string HintLine(const TurnRecord& turn);

// Per colour, the last turn in the record in which that colour moved a
// marble, or none.
std::array<const TurnRecord*, kColours> LastMoves(const std::vector<TurnRecord>& record);
