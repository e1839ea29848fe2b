#include "search_position.h"

#include "board_tables.h"
#include "marble.h"

#include <stdexcept>

HoleSet SearchPosition::Occupied() const {
    HoleSet s;
    for (int i = 0; i < count; ++i)
        s.add(marbles[i].hole);
    return s;
}

HoleSet SearchPosition::HolesOf(int colour) const {
    HoleSet s;
    for (int i = 0; i < count; ++i)
        if (marbles[i].colour == colour)
            s.add(marbles[i].hole);
    return s;
}

SearchPosition TakeSnapshot(const MarbleList& marbles, const std::array<TZellhopPos*, 6>& homeHoles,
                            int seat) {
    SearchPosition p;
    p.seat = seat;
    for (int k = 0; k < kColours; ++k)
        p.homeHoles[k] = static_cast<int8_t>(homeHoles[k] ? homeHoles[k]->index : Tables().tip(k));
    for (const auto& m : marbles) {
        if (!m->pos)
            continue;
        if (p.count == kMaxMarbles)
            throw std::invalid_argument("more marbles than a game has");
        p.marbles[p.count++] = {static_cast<int8_t>(m->colour), static_cast<int8_t>(m->number),
                                static_cast<int8_t>(m->pos->index)};
    }
    return p;
}
