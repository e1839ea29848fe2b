// A game kept in a file: a small text that names the seats and the
// jump-back rule the game was played with, then one line per turn in the
// form zellhop-selfplay prints them:
//
//   seats H--C--
//   jumpback 0
//   1 BLUE 2 -6,2 -4,0
//   hint 1 ORANGE 2 6,-2 4,0
//   1 ORANGE 2 6,-2 4,0
//   2 BLUE pass
//
// Seat letters in colour order: H a human at this computer, C the
// computer (S and E: the computer at the Strong and Expert levels, as
// zellhop-selfplay's seats name them), O open for a joining player, R a
// player over the Internet, - nobody.  A "hint" line notes that the human asked for a hint in the
// turn whose move line follows (at the end of the file: in the turn that was under way when the
// game was kept).  Blank lines and lines beginning with
// "#" carry nothing.  Reading checks the form of every line; whether the
// moves obey the rules is the game's to check (Match::CheckSavedGame).
#pragma once

#include "computer_level.h"
#include "game_state.h"
#include "move_record.h"
#include "text_fields.h"

#include <string>
#include <string_view>
#include <vector>

struct SavedGame {
    SeatKinds kinds{};
    ComputerLevels levels{};       // Classic but for S and E seats
    bool jumpBack = false;         // jumping straight back was allowed in the game
    std::vector<TurnRecord> turns; // every turn played, hints attached
    TurnRecord turnUnderWay;       // only its hint counts: a hint with no move yet
    std::vector<int> lines;        // the line of each turn in the text read
    int turnUnderWayLine = 0;      // the line of that hint
};

// The letter of a seat kind in the "seats" line, and back; '?' / false for
// what is none of them.  A computer seat's letter is its level's.
char SeatLetter(SeatKind kind, ComputerLevel level = ComputerLevel::kClassic);
bool SeatKindOfLetter(char letter, SeatKind& kind);
bool SeatKindOfLetter(char letter, SeatKind& kind, ComputerLevel& level);

// The seats of a record as the game plays them when it is opened: a seat
// that was open or a remote player's is the computer's.
SeatKinds PlayableKinds(const SeatKinds& kinds);

std::string SavedGameText(const SavedGame& record);
// Reads the text of a game record.  It is untrusted: on any fault a
// LineError names the line and what is wrong with it.
SavedGame ReadSavedGame(std::string_view text);
// The text of a file of at most kLargestSavedGame bytes; LineError with
// line 0 when it cannot be read.
inline constexpr size_t kLargestSavedGame = 8u << 20;
std::string SavedGameFileText(const std::string& fileName);
