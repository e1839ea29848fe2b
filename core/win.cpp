#include "win.h"

#include "board.h"
#include "marble.h"

namespace {
constexpr int kMarblesPerColour = 10;

bool InTargetTriangle(const TZellhopBall& m) {
    return m.pos && m.pos->triangle == Opposite(m.colour);
}
} // namespace

bool IsHome(const TZellhopBall& marble, const MarbleList& marbles) {
    if (!InTargetTriangle(marble))
        return false;
    int count = 0;
    for (const auto& m : marbles)
        if (m->colour == marble.colour && InTargetTriangle(*m) && ++count == kMarblesPerColour)
            return true;
    return false;
}

TZellhopBall* FindWinner(const std::array<TZellhopPos*, kColours>& homeHoles, const MarbleList& marbles) {
    for (TZellhopPos* tip : homeHoles)
        if (tip && tip->ball && IsHome(*tip->ball, marbles))
            return tip->ball;
    return nullptr;
}
