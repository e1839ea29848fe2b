// The computer player: for every marble of the seat a target hole in the
// seat's target star point, every move of the marble scored by how much
// closer it brings the marble to that target, and the best move over all
// marbles.  No randomness: in an online game every program plays the
// computer seats itself, and only this determinism keeps their boards equal.
#pragma once

#include "board.h"

#include <array>
#include <vector>

struct TZellhopPos;
struct TZellhopBall;
class MarbleList;
class PathTree;

// Value of staying where the marble is.
inline constexpr double kStayValue = -1000.0;

using HomeHoles = std::array<TZellhopPos*, kColours>;

// The move the computer plays for a seat.
struct ComputerChoice {
    TZellhopBall* marble = nullptr; // none when the seat has no legal move
    std::vector<TZellhopPos*> path; // the marble's hole first, then every landing hole
    double value = kStayValue;
};

// The first hole of the target star point, searched from h inwards, that
// holds no marble of the seat's colour; none only when the seat's marbles
// fill the whole star point.
TZellhopPos* FindTarget(TZellhopPos& h, int seat);
// The target of a marble: the tip of its target star point when it already
// stands there, otherwise FindTarget from that tip.
TZellhopPos* MarbleTarget(const TZellhopBall& marble, const HomeHoles& homeHoles);
// 1.5 in its starting star point, 0.5 in its target star point, 1 elsewhere.
double MarbleWeight(const TZellhopBall& marble);

// The best move of one marble and its value; `node` is the destination's
// node in `tree` (the marble's root node when it cannot move).
struct MarbleSearchResult {
    double value = kStayValue;
    int node = -1;
};

// The plain exhaustive search: every chain of jumps that does not revisit a
// hole of its own chain, each landing hole a node of `tree`.  Kept as the
// reference that any faster search must agree with, move for move.
MarbleSearchResult SearchMarbleExhaustive(const TZellhopBall& marble, const HomeHoles& homeHoles,
                                          PathTree& tree);
ComputerChoice ChooseMoveExhaustive(const MarbleList& marbles, const HomeHoles& homeHoles, int seat,
                                    PathTree& tree);

// The computer's move for the seat: the same choice as the exhaustive
// search, found faster.
ComputerChoice ChooseComputerMove(const MarbleList& marbles, const HomeHoles& homeHoles, int seat);

// A path of hole indices (see board_tables.h) as the holes of the board
// that `from`, the path's first hole, belongs to.
std::vector<TZellhopPos*> HolesAlong(TZellhopPos& from, const std::vector<int>& path);
