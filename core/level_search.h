// The search behind the stronger computer levels: a look-ahead over whole
// moves (a marble to any hole it can reach by a step or a chain of jumps),
// scored by how far every colour still has to go.  Deterministic: the
// result depends on the position and the settings only, never on a clock.
#pragma once

#include "search_position.h"

#include <atomic>
#include <cstdint>
#include <vector>

struct LevelSettings {
    // Plies: the seat's own move, then the other seats' best reply (all of
    // them as one ply: whichever single reply hurts the seat most), then
    // the seat's move again, and so on.
    int depth = 1;
    // Below the root, only this many moves of each colour are searched,
    // those that bring it furthest first; 0 searches them all.
    int width = 0;
    // In the others' ply, this many moves in all, shared evenly among the
    // other colours (each at most `width`); 0: `width` each.
    int replyWidth = 0;
    // Once the search has visited this many nodes, the deepest ply it had
    // completed decides.  0: no limit.
    int64_t nodeBudget = 0;
    // How much the leading other colour's way to go counts for the seat,
    // in percent: 100 makes a race of two zero-sum.
    int othersWeight = 0;
    // Extra cost, in percent of a hole, of the square of what each marble
    // has to go: hindmost marbles weigh more.
    int squareWeight = 0;
    // Extra cost, in percent of a hole, of each marble still in its
    // starting star point, and of each other colour's marble in the target
    // star point, which keeps the colour from winning.
    int startWeight = 0;
    int blockerWeight = 0;
    // Extra cost of each such marble that cannot move at all.
    int trappedWeight = 0;
};

struct LevelSearchResult {
    int marble = -1;       // index into SearchPosition::marbles; -1: no move or abandoned
    std::vector<int> path; // hole indices: the marble's hole first, then every hole it lands on
    bool abandoned = false;
    int64_t nodes = 0;
    int depth = 0; // the deepest ply completed
};

// The seat's move under `settings`.  `stop`, when given, is read now and
// then; once it is true the search returns at once with `abandoned` set.
LevelSearchResult SearchLevelMove(const SearchPosition& position, const LevelSettings& settings,
                                  const std::atomic<bool>* stop = nullptr);

// Every legal destination of the marble on `from`, which leaves its hole:
// the empty neighbours and every hole a chain of jumps reaches.
HoleSet Destinations(const HoleSet& occupied, int from);
// Whether the marble on `from` has any legal move.
bool CanMove(const HoleSet& occupied, int from);
// A shortest chain of legal moves from `from` to `to` (a destination).
std::vector<int> PathTo(const HoleSet& occupied, int from, int to);
