#include "board_tables.h"

BoardTables::BoardTables(const Board& board) {
    for (int h = 0; h < kHoleCount; ++h) {
        const TZellhopPos& hole = board.hole(h);
        triangle_[h] = static_cast<int8_t>(hole.triangle);
        triangleHoles_[hole.triangle].add(h);
        at_[h] = hole.at;
        for (int d = 0; d < kDirections; ++d) {
            const TZellhopPos* n = hole.neighbour[d];
            const TZellhopPos* b = n ? n->neighbour[d] : nullptr;
            neighbour_[h][d] = static_cast<int8_t>(n ? n->index : kNoHole);
            beyond_[h][d] = static_cast<int8_t>(b ? b->index : kNoHole);
            if (n) {
                neighbours_[h].add(n->index);
                reach_[h].add(n->index);
            }
            if (b) {
                reach_[h].add(b->index);
                jumps_[h][jumpCount_[h]++] = {static_cast<int8_t>(n->index),
                                              static_cast<int8_t>(b->index)};
            }
        }
        for (int target = 0; target < kHoleCount; ++target)
            distance_[target][h] = DistanceTo(hole, board.hole(target));
    }
    for (int k = 0; k < kColours; ++k)
        tip_[k] = static_cast<int8_t>(board.homeHole(k)->index);
}

const BoardTables& Tables() {
    static const BoardTables tables{Board()};
    return tables;
}
