// The rules of a legal move: where a marble may go from its hole, which of
// those holes a human is offered, and how a move received as (marble,
// direction) is re-derived on arrival.
#pragma once

#include "game_state.h"

#include <vector>

struct TZellhopPos;
struct TZellhopBall;

// A legal destination and the direction it was found in.
struct Target {
    TZellhopPos* hole = nullptr;
    int direction = 0;
};

// Steps are allowed only for the first move of a turn; every later move of
// the turn is a jump of the same marble.
inline bool StepsAllowed(int32_t phase) {
    return phase < kPhaseMoveStep;
}
inline bool TurnHasMove(int32_t phase) {
    return phase > kPhaseTurnStart;
}

// The enumeration of legal destinations from hole h in direction order.
// Its position lives in h.cursor, so only one enumeration per hole can run
// at a time.  Each returns the hole found (and its direction), or none when
// the enumeration is exhausted.
TZellhopPos* FirstTarget(TZellhopPos& h, bool stepsAllowed, int& direction);
TZellhopPos* NextTarget(TZellhopPos& h, bool stepsAllowed, int& direction);

// The targets offered for a marble, at most one per direction: steps only
// while the turn has no move yet, and, unless jumping back is allowed, not
// the hole the marble has just left in the middle of a jump chain.
std::vector<Target> TargetsOf(const TZellhopBall& marble, const GameState& state);

// Where a move received as (marble, direction) lands: the neighbour when it
// is empty (a step), the hole beyond it when the neighbour is taken and the
// hole beyond is empty (a jump), otherwise none.
TZellhopPos* ReceivedMoveDestination(const TZellhopBall& marble, int direction);
