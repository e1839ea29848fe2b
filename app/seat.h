// One colour's seat: who plays it, the remote player who holds it, and its
// line in the seat panel.
#pragma once

#include "game_state.h"

#include <QLabel>
#include <QPointer>
#include <cstdint>
#include <memory>

struct TContact; // a peer of an online game

struct Seat {
    int32_t colour = 0; // 0..5; never changes
    SeatKind kind = skNone;
    std::shared_ptr<TContact> contact; // the remote player who holds or held the seat
    QPointer<QLabel> indicator;        // the seat's pin in the seat panel, while it has one
    QPointer<QLabel> nameLabel;        // the seat's name in the seat panel
};
