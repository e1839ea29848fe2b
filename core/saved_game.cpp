#include "saved_game.h"

#include "colours.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

constexpr std::string_view kSeatsWord = "seats";
constexpr std::string_view kJumpBackWord = "jumpback";
constexpr std::string_view kHintWord = "hint";
constexpr std::string_view kPassWord = "pass";
constexpr char kCommentMark = '#';
constexpr int kMarblesPerColour = 10;

struct SeatLetterOf {
    SeatKind kind;
    char letter;
};
constexpr SeatLetterOf kSeatLetters[] = {
    {skNone, '-'}, {skHuman, 'H'}, {skComputer, 'C'}, {skOpen, 'O'}, {skRemote, 'R'},
};

const char* const kMoveForm =
    "expected \"<turn> <COLOUR> <marble> <r,c> <r,c> ...\" or \"<turn> <COLOUR> pass\"";

// Reads the text line by line; every fault names its line.
class RecordReader {
  public:
    SavedGame Read(std::string_view text) {
        for (const std::string_view line : TextLines(text)) {
            ++line_;
            ReadLine(Fields(line));
        }
        if (!HeaderComplete()) {
            line_ = std::max(line_, 1);
            Fail(HeaderMissing());
        }
        if (hintPending_) {
            record_.turnUnderWay = pendingHint_;
            record_.turnUnderWayLine = hintLine_;
        }
        return std::move(record_);
    }

  private:
    [[noreturn]] void Fail(const std::string& what) const { throw LineError(line_, what); }

    bool HeaderComplete() const { return seatsRead_ && jumpBackRead_; }
    static std::string HeaderMissing() {
        return "expected \"seats <KINDS>\" and \"jumpback 0|1\" before the first turn";
    }

    void ReadLine(const std::vector<std::string_view>& fields) {
        if (fields.empty() || fields[0].front() == kCommentMark)
            return;
        if (fields[0] == kSeatsWord || fields[0] == kJumpBackWord)
            return ReadHeader(fields);
        if (!HeaderComplete())
            Fail(HeaderMissing());
        if (fields[0] == kHintWord)
            return ReadHint({fields.begin() + 1, fields.end()});
        ReadTurn(fields);
    }

    void ReadHeader(const std::vector<std::string_view>& fields) {
        if (!record_.turns.empty() || hintPending_)
            Fail("the header must come before the first turn");
        const bool seats = fields[0] == kSeatsWord;
        bool& read = seats ? seatsRead_ : jumpBackRead_;
        if (read)
            Fail(Quoted(fields[0]) + " is given twice");
        read = true;
        if (seats)
            ReadSeats(fields);
        else
            ReadJumpBack(fields);
    }

    void ReadSeats(const std::vector<std::string_view>& fields) {
        const char* const form =
            "seats must be six letters of H, C, S, E, O, R and - in colour order, not all -";
        if (fields.size() != 2 || fields[1].size() != kColours)
            Fail(form);
        bool any = false;
        for (int colour = 0; colour < kColours; ++colour) {
            if (!SeatKindOfLetter(fields[1][colour], record_.kinds[colour], record_.levels[colour]))
                Fail(form);
            any = any || record_.kinds[colour] != skNone;
        }
        if (!any)
            Fail(form);
    }

    void ReadJumpBack(const std::vector<std::string_view>& fields) {
        if (fields.size() != 2 || (fields[1] != "0" && fields[1] != "1"))
            Fail("jumpback must be 0 or 1");
        record_.jumpBack = fields[1] == "1";
    }

    void ReadHint(const std::vector<std::string_view>& fields) {
        if (hintPending_)
            Fail("a hint line must be followed by the move line of its turn");
        pendingHint_ = {};
        TurnRecord hinted = Turn(fields);
        if (hinted.number < 0)
            Fail("a hint names a move, not a pass");
        pendingHint_.turn = hinted.turn;
        pendingHint_.seat = hinted.seat;
        pendingHint_.hint = {hinted.number, std::move(hinted.holes)};
        hintPending_ = true;
        hintLine_ = line_;
    }

    void ReadTurn(const std::vector<std::string_view>& fields) {
        TurnRecord turn = Turn(fields);
        if (hintPending_) {
            if (pendingHint_.turn != turn.turn || pendingHint_.seat != turn.seat)
                Fail("this is not the turn of the hint on line " + std::to_string(hintLine_));
            turn.hint = std::move(pendingHint_.hint);
            hintPending_ = false;
        }
        record_.turns.push_back(std::move(turn));
        record_.lines.push_back(line_);
    }

    // "<turn> <COLOUR> pass" or "<turn> <COLOUR> <marble> <r,c> <r,c> ...".
    TurnRecord Turn(const std::vector<std::string_view>& fields) const {
        const bool pass = fields.size() == 3 && fields[2] == kPassWord;
        if (!pass && fields.size() < 5)
            Fail(kMoveForm);
        TurnRecord turn;
        const std::optional<int> number = WholeNumber(fields[0]);
        if (!number || *number < 1)
            Fail("turn " + Quoted(fields[0]) + " is not a number from 1");
        turn.turn = *number;
        turn.seat = ColourFromWord(fields[1]);
        if (turn.seat < 0)
            Fail("unknown colour " + Quoted(fields[1]));
        if (pass)
            return turn;
        const std::optional<int> marble = WholeNumber(fields[2]);
        if (!marble || *marble < 0 || *marble >= kMarblesPerColour)
            Fail("marble number " + Quoted(fields[2]) + " is not 0..9");
        turn.number = *marble;
        for (size_t i = 3; i < fields.size(); ++i) {
            const std::optional<LatticePoint> at = LatticePointOf(fields[i]);
            if (!at || !IsOnBoard(*at))
                Fail(Quoted(fields[i]) + " is not a hole \"r,c\" of the board");
            turn.holes.push_back(*at);
        }
        return turn;
    }

    SavedGame record_;
    int line_ = 0;
    bool seatsRead_ = false;
    bool jumpBackRead_ = false;
    bool hintPending_ = false;
    TurnRecord pendingHint_;
    int hintLine_ = 0;
};

} // namespace

char SeatLetter(SeatKind kind, ComputerLevel level) {
    if (kind == skComputer)
        return LevelLetter(level);
    for (const SeatLetterOf& s : kSeatLetters)
        if (s.kind == kind)
            return s.letter;
    return '?';
}

bool SeatKindOfLetter(char letter, SeatKind& kind) {
    for (const SeatLetterOf& s : kSeatLetters)
        if (s.letter == letter) {
            kind = s.kind;
            return true;
        }
    return false;
}

bool SeatKindOfLetter(char letter, SeatKind& kind, ComputerLevel& level) {
    if (const std::optional<ComputerLevel> computer = LevelFromLetter(letter)) {
        kind = skComputer;
        level = *computer;
        return true;
    }
    level = ComputerLevel::kClassic;
    return SeatKindOfLetter(letter, kind);
}

SeatKinds PlayableKinds(const SeatKinds& kinds) {
    SeatKinds playable = kinds;
    for (SeatKind& kind : playable)
        if (kind == skOpen || kind == skRemote)
            kind = skComputer;
    return playable;
}

std::string SavedGameText(const SavedGame& record) {
    std::string text(kSeatsWord);
    text += ' ';
    for (int colour = 0; colour < kColours; ++colour)
        text += SeatLetter(record.kinds[colour], record.levels[colour]);
    text += '\n';
    text += std::string(kJumpBackWord) + (record.jumpBack ? " 1\n" : " 0\n");
    for (const TurnRecord& turn : record.turns) {
        if (turn.hint.number >= 0)
            text += HintLine(turn) + '\n';
        text += MoveLine(turn) + '\n';
    }
    if (record.turnUnderWay.hint.number >= 0)
        text += HintLine(record.turnUnderWay) + '\n';
    return text;
}

SavedGame ReadSavedGame(std::string_view text) {
    return RecordReader().Read(text);
}

std::string SavedGameFileText(const std::string& fileName) {
    std::ifstream file(fileName, std::ios::binary);
    std::error_code error;
    if (!file || std::filesystem::is_directory(fileName, error))
        throw LineError(0, "cannot read " + fileName);
    std::string text;
    char chunk[1 << 16];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
        text.append(chunk, static_cast<size_t>(file.gcount()));
        if (text.size() > kLargestSavedGame)
            throw LineError(0, fileName + " is too large for a game record");
    }
    if (file.bad())
        throw LineError(0, "cannot read " + fileName);
    return text;
}
