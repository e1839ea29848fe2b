#include "move_record.h"

#include "colours.h"
#include "position_file.h"

namespace {

std::string Line(int turn, int seat, int number, const std::vector<LatticePoint>& holes) {
    std::string line = std::to_string(turn);
    line += ' ';
    line += ColourWord(seat);
    if (number < 0)
        return line + " pass";
    line += ' ';
    line += std::to_string(number);
    for (const LatticePoint& p : holes) {
        line += ' ';
        line += HoleText(p);
    }
    return line;
}

} // namespace

std::string MoveLine(const TurnRecord& turn) {
    return Line(turn.turn, turn.seat, turn.number, turn.holes);
}

std::string HintLine(const TurnRecord& turn) {
    return "hint " + Line(turn.turn, turn.seat, turn.hint.number, turn.hint.holes);
}

std::array<const TurnRecord*, kColours> LastMoves(const std::vector<TurnRecord>& record) {
    std::array<const TurnRecord*, kColours> last{};
    for (const TurnRecord& turn : record)
        if (turn.number >= 0 && turn.holes.size() > 1 && turn.seat >= 0 && turn.seat < kColours)
            last[turn.seat] = &turn;
    return last;
}
