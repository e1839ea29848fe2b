#include "position_file.h"

#include "board.h"
#include "colours.h"
#include "marble.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

namespace {

constexpr int kMarblesPerColour = 10;
constexpr std::string_view kMoveWord = "move";
constexpr std::string_view kBlanks = " \t\r";

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t at = 0;
    while ((at = line.find_first_not_of(kBlanks, at)) != std::string_view::npos) {
        const size_t end = std::min(line.find_first_of(kBlanks, at), line.size());
        fields.push_back(line.substr(at, end - at));
        at = end;
    }
    return fields;
}

std::optional<int> WholeNumber(std::string_view text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

std::string Quoted(std::string_view text) {
    std::string quoted(1, '"');
    quoted.append(text);
    quoted += '"';
    return quoted;
}

// Reads the text line by line; every fault names its line.
class PositionReader {
  public:
    PositionReader(const Board& board, MarbleList& marbles) : board_(board), marbles_(marbles) {}

    int Read(std::string_view text) {
        size_t start = 0;
        while (start < text.size()) {
            const size_t end = std::min(text.find('\n', start), text.size());
            ++line_;
            ReadLine(Fields(text.substr(start, end - start)));
            start = end + 1;
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
        const size_t comma = text.find(',');
        std::optional<int> r, c;
        if (comma != std::string_view::npos) {
            r = WholeNumber(text.substr(0, comma));
            c = WholeNumber(text.substr(comma + 1));
        }
        TZellhopPos* hole = r && c ? board_.at({*r, *c}) : nullptr;
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

PositionFileError::PositionFileError(int line, const std::string& what)
    : std::runtime_error(std::string("line ") + std::to_string(line) + ": " + what), line_(line) {}

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
