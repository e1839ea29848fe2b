#include "rules.h"

#include "board.h"
#include "marble.h"

TZellhopPos* FirstTarget(TZellhopPos& h, bool stepsAllowed, int& direction) {
    h.cursor = 0;
    return NextTarget(h, stepsAllowed, direction);
}

TZellhopPos* NextTarget(TZellhopPos& h, bool stepsAllowed, int& direction) {
    while (h.cursor < kDirections) {
        const int d = h.cursor++;
        TZellhopPos* n = h.neighbour[d];
        if (!n)
            continue;
        TZellhopPos* found = nullptr;
        if (n->ball) {
            TZellhopPos* landing = JumpLanding(*n, h);
            if (landing && !landing->ball)
                found = landing; // a jump over exactly one marble, of any colour
        } else if (stepsAllowed) {
            found = n;
        }
        if (found) {
            direction = d;
            return found;
        }
    }
    return nullptr;
}

std::vector<Target> TargetsOf(const TZellhopBall& marble, const GameState& state) {
    std::vector<Target> targets;
    if (!marble.pos)
        return targets;
    const bool steps = StepsAllowed(state.phase);
    const bool refuseJumpBack = !state.jumpBackAllowed && state.phase >= kPhaseMoveStep;
    int direction = 0;
    for (TZellhopPos* h = FirstTarget(*marble.pos, steps, direction); h;
         h = NextTarget(*marble.pos, steps, direction)) {
        if (refuseJumpBack && h == marble.prevPos)
            continue;
        targets.push_back({h, direction});
    }
    return targets;
}

TZellhopPos* ReceivedMoveDestination(const TZellhopBall& marble, int direction) {
    if (!marble.pos || direction < 0 || direction >= kDirections)
        return nullptr;
    TZellhopPos* n = marble.pos->neighbour[direction];
    if (!n)
        return nullptr;
    if (!n->ball)
        return n;
    TZellhopPos* beyond = n->neighbour[direction];
    return beyond && !beyond->ball ? beyond : nullptr;
}
