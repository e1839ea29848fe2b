// The record of the running game and of its seats, as the game model keeps
// them and the window, the rules and the computer player read them.
#pragma once

#include "board.h"

#include <array>
#include <cstdint>

struct TZellhopPos;
struct TZellhopBall;

// Who plays a seat.  The values travel in the lobby's players text and in
// the start message of an online game, so they are fixed.
enum SeatKind : int32_t {
    skNone = 0,     // nobody: the seat takes no part
    skHuman = 1,    // a user at this computer
    skComputer = 2, // the computer player
    skOpen = 3,     // a place for a joining player; played by the computer once a game runs
    skRemote = 4,   // a human at another computer of an online game
};
using SeatKinds = std::array<SeatKind, kColours>;

inline bool PlayedByComputer(SeatKind kind) {
    return kind == skComputer || kind == skOpen;
}

// A remote player as the owner of the game numbers him (the window numbers
// the peers it knows); kNoPlayer for a seat nobody holds from afar.
using PlayerId = int;
inline constexpr PlayerId kNoPlayer = 0;

// One colour's seat.
struct Seat {
    int32_t colour = 0; // 0..5; never changes
    SeatKind kind = skNone;
    PlayerId player = kNoPlayer; // the remote player who holds the seat
};

// Phase values with a meaning of their own; any value >= 2 means the
// current human has moved this turn.
inline constexpr int32_t kPhaseNoGame = -1;
inline constexpr int32_t kPhaseTurnStart = 0;
inline constexpr int32_t kPhaseMoveStep = 2; // added by every human move
inline constexpr int32_t kPhaseRemote = 9;

inline constexpr int32_t kNoSeat = -1;
inline constexpr int32_t kBeforeFirstTurn = 6;

struct GameState {
    int32_t currentSeat = kNoSeat;
    int32_t phase = kPhaseNoGame;
    int32_t turnNumber = 0;
    TZellhopBall* selectedMarble = nullptr;
    bool jumpBackAllowed = false;
    std::array<TZellhopPos*, kColours> homeHoles{};
};
