// Positions as text, for the self-play tool, the benchmark and the tests:
// one marble a line in list order, "<COLOUR> <number> <r,c>" (for example
// "BLUE 0 -8,0", with the hole's row and half-column), then a last line
// "move <COLOUR>".  The seats taking part are the colours present.
#pragma once

#include "board.h"
#include "text_fields.h"

#include <string>
#include <string_view>

class MarbleList;

// A position text that cannot be read; the message names the line.
class PositionFileError : public LineError {
  public:
    using LineError::LineError;
};

// Reads a position onto an empty board: its marbles go into `marbles` in
// the order of the text.  Returns the colour to move.  The text is
// untrusted: on any fault nothing stays on the board and PositionFileError
// names the line.
int ReadPosition(std::string_view text, const Board& board, MarbleList& marbles);
// The whole text of a position file; a file that cannot be read is
// reported as line 0.
std::string PositionFileText(const std::string& fileName);
int ReadPositionFile(const std::string& fileName, const Board& board, MarbleList& marbles);

// "r,c": a hole as position files and move lines name it.
std::string HoleText(LatticePoint p);

// The text of a position, as ReadPosition reads it.
std::string PositionText(const MarbleList& marbles, int toMove);
