// The record of the running game, shared by the game flow, the rules, the
// computer player and online play.
#pragma once

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

// Phase values with a meaning of their own; any value >= 2 means the
// current human has moved this turn.
inline constexpr int32_t kPhaseNoGame = -1;
inline constexpr int32_t kPhaseTurnStart = 0;
inline constexpr int32_t kPhaseMoveStep = 2; // added by every human move
inline constexpr int32_t kPhaseRemote = 9;

inline constexpr int32_t kNoSeat = -1;
inline constexpr int32_t kBeforeFirstTurn = 6;

inline constexpr int32_t kDefaultStepDelay = 1000;

struct GameState {
    int32_t currentSeat = kNoSeat;
    int32_t phase = kPhaseNoGame;
    int32_t turnNumber = 0;
    int32_t stepDelay = kDefaultStepDelay; // ms between the computer's steps
    TZellhopBall* selectedMarble = nullptr;
    bool jumpBackAllowed = false;
    std::array<TZellhopPos*, 6> homeHoles{};
};
