// The computer's levels and the one entry that plays any of them on a
// snapshot of the position, safely off the thread that owns the game.
//
// Use from a window or a game model:
//   1. On the thread that owns the marbles, take a snapshot:
//        SearchPosition p = TakeSnapshot(marbles, homeHoles, seat);
//      It holds plain values only (colour, number and hole index of every
//      marble), so the game may go on changing its marbles afterwards.
//   2. On any thread, search it:
//        LevelMove move = ChooseLevelMove(p, level, &stopFlag);
//      The search reads nothing but its arguments and the board's constant
//      tables, and writes nothing shared; several may run at once.  Set the
//      flag to true to abandon it: it returns within a few milliseconds
//      with `abandoned` set and no move.
//   3. Back on the owning thread, map the result to the live marbles: the
//      marble is (colour, number), the path holds indices of Board::holes
//      (Board::hole(i)), the marble's own hole first.
// The result depends on the position and the level only: the same snapshot
// gives the same move on every machine, at any speed.
#pragma once

#include "computer_player.h"
#include "level_search.h"
#include "search_position.h"

#include <array>
#include <atomic>
#include <optional>
#include <string_view>
#include <vector>

enum class ComputerLevel {
    kClassic, // the classic player: the only level of online games, where all must choose alike
    kStrong,
    kExpert,
};

inline constexpr std::array<ComputerLevel, 3> kComputerLevels = {
    ComputerLevel::kClassic, ComputerLevel::kStrong, ComputerLevel::kExpert};

// The level of each colour's computer, in colour order.
using ComputerLevels = std::array<ComputerLevel, kColours>;

// "Classic", "Strong", "Expert".
std::string_view LevelName(ComputerLevel level);
// 'C', 'S', 'E', as zellhop-selfplay's seats name them.
char LevelLetter(ComputerLevel level);
std::optional<ComputerLevel> LevelFromLetter(char letter);
std::optional<ComputerLevel> LevelFromName(std::string_view name);

// The look-ahead behind a stronger level (not kClassic) in a game of that
// many seats.
LevelSettings LevelSettingsOf(ComputerLevel level, int seats);

struct LevelMove {
    bool abandoned = false; // the stop flag was set: no move
    int colour = -1;        // the marble to move; -1 when the seat has no legal move
    int number = -1;
    // Hole indices of Board: the marble's hole first, then each hole it lands on.
    std::vector<int> path;
};

// The seat's move at `level`.  kClassic gives exactly ChooseComputerMove's
// choice.
LevelMove ChooseLevelMove(const SearchPosition& position, ComputerLevel level,
                          const std::atomic<bool>* stop = nullptr);

// The level move on the live marbles it was searched from: no marble when
// the search was abandoned or the seat has no legal move.
ComputerChoice LiveChoice(const MarbleList& marbles, const LevelMove& move);

// The seat's move at `level`, on this thread: kClassic is
// ChooseComputerMove itself, the others search a snapshot.
ComputerChoice ChooseMoveAtLevel(const MarbleList& marbles, const HomeHoles& homeHoles, int seat,
                                 ComputerLevel level);
