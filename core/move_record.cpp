#include "move_record.h"

#include "colours.h"
#include "position_file.h"

std::string MoveLine(const TurnRecord& turn) {
    std::string line = std::to_string(turn.turn);
    line += ' ';
    line += ColourWord(turn.seat);
    if (turn.number < 0)
        return line + " pass";
    line += ' ';
    line += std::to_string(turn.number);
    for (const LatticePoint& p : turn.holes) {
        line += ' ';
        line += HoleText(p);
    }
    return line;
}
