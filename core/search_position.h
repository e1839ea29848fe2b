// A position as plain values, for the searches: every marble's colour,
// number and hole index (the hole's place in Board::holes) in list order,
// and the colour to move.  Taken from the live marbles on the calling
// thread, it holds no pointer into them, so a search may run on it on any
// thread while the game goes on.
#pragma once

#include "board.h"
#include "hole_set.h"

#include <array>
#include <cstdint>

class MarbleList;

inline constexpr int kMarblesPerColour = 10;
inline constexpr int kMaxMarbles = kColours * kMarblesPerColour;

struct MarbleSpot {
    int8_t colour = 0;
    int8_t number = 0;
    int8_t hole = 0;
};

struct SearchPosition {
    // In the order of the game's marble list: the classic player takes its
    // candidates in this order and gives ties to the earlier marble.
    std::array<MarbleSpot, kMaxMarbles> marbles{};
    int count = 0;
    int seat = 0; // the colour to move
    // The hole index of each star point's tip, as the game's homeHoles.
    std::array<int8_t, kColours> homeHoles{};

    HoleSet Occupied() const;
    HoleSet HolesOf(int colour) const;
};

// The position of the marbles that stand on a hole.  Throws
// std::invalid_argument when the list holds more marbles than a game can.
SearchPosition TakeSnapshot(const MarbleList& marbles, const std::array<TZellhopPos*, 6>& homeHoles,
                            int seat);
