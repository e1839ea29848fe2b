#include "position_file.h"

#include "board.h"
#include "colours.h"
#include "marble.h"
#include "text_fields.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

namespace {

constexpr int kMarblesPerColour = 10;
constexpr std::string_view kMoveWord = "move";

// Reads the text line by line; every fault names its line.
class PositionReader {
  public:
    PositionReader(const Board& board, MarbleList& marbles) : board_(board), marbles_(marbles) {}

    int Read(std::string_view text) {
        for (const std::string_view line : TextLines(text)) {
            ++line_;
            ReadLine(Fields(line));
        }
        if (toMove_ < 0) {
            line_ = std::max(line_, 1);
            Fail("the last line must be \"move <COLOUR>\"");
        }
        return toMove_;
    }

  private:
    [[noreturn]] void Fail(const std::string& what) const { throw PositionFileError(line_, what); }

    void ReadLine(const std::vector<std::string_view>& fields) {
        if (fields.empty())
            return; // blank lines carry nothing
        if (toMove_ >= 0)
            Fail("nothing may follow the move line");
        if (fields.size() == 2 && fields[0] == kMoveWord)
            ReadMove(fields[1]);
        else if (fields.size() == 3)
            ReadMarble(fields);
        else
            Fail("expected \"<COLOUR> <number> <r,c>\" or \"move <COLOUR>\"");
    }

    int Colour(std::string_view word) const {
        const int colour = ColourFromWord(word);
        if (colour < 0)
            Fail(std::string("unknown colour ") + Quoted(word));
        return colour;
    }

    void ReadMarble(const std::vector<std::string_view>& fields) {
        const int colour = Colour(fields[0]);
        const std::optional<int> number = WholeNumber(fields[1]);
        if (!number || *number < 0 || *number >= kMarblesPerColour)
            Fail(std::string("marble number ") + Quoted(fields[1]) + " is not 0..9");
        if (marbles_.FindBall(colour, *number))
            Fail(std::string(fields[0]) + " " + std::to_string(*number) + " is listed twice");
        TZellhopPos& hole = Hole(fields[2]);
        if (hole.ball)
            Fail(std::string("hole ") + std::string(fields[2]) + " already holds a marble");
        marbles_.Add(colour, *number, hole);
    }

    TZellhopPos& Hole(std::string_view text) const {
        const std::optional<LatticePoint> at = LatticePointOf(text);
        TZellhopPos* hole = at ? board_.at(*at) : nullptr;
        if (!hole)
            Fail(Quoted(text) + " is not a hole \"r,c\" of the board");
        return *hole;
    }

    void ReadMove(std::string_view word) {
        const int colour = Colour(word);
        bool present = false;
        for (const auto& m : marbles_)
            present = present || m->colour == colour;
        if (!present)
            Fail(std::string(word) + " has no marble to move");
        toMove_ = colour;
    }

    const Board& board_;
    MarbleList& marbles_;
    int line_ = 0;
    int toMove_ = -1;
};

} // namespace

int ReadPosition(std::string_view text, const Board& board, MarbleList& marbles) {
    try {
        return PositionReader(board, marbles).Read(text);
    } catch (...) {
        marbles.RemoveAll();
        throw;
    }
}

std::string PositionFileText(const std::string& fileName) {
    std::ifstream file(fileName, std::ios::binary);
    if (!file || std::filesystem::is_directory(fileName))
        throw PositionFileError(0, "cannot read " + fileName);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

int ReadPositionFile(const std::string& fileName, const Board& board, MarbleList& marbles) {
    return ReadPosition(PositionFileText(fileName), board, marbles);
}

std::string PositionText(const MarbleList& marbles, int toMove) {
    std::string text;
    for (const auto& m : marbles) {
        if (!m->pos)
            continue;
        text += std::string(ColourWord(m->colour)) + " " + std::to_string(m->number) + " " +
                HoleText(m->pos->at) + "\n";
    }
    text += std::string(kMoveWord) + " " + std::string(ColourWord(toMove)) + "\n";
    return text;
}

std::string HoleText(LatticePoint p) {
    return std::to_string(p.r) + "," + std::to_string(p.c);
}
