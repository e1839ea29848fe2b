// What remote players sent that the game has not played yet: hops, ends of
// turn and departures, kept per player in the order he sent them.  The
// network may bring a later player's moves before an earlier one's, so the
// game takes from the front of each player's line whichever step the turn
// allows, and steps of different players in the order they arrived.
#pragma once

#include "game_state.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>

struct RemoteStep {
    enum Kind { kMove, kEndTurn, kLeave };
    PlayerId sender = kNoPlayer;
    Kind kind = kEndTurn;
    int number = 0;    // of a move
    int direction = 0; // of a move
    int reason = 0;    // of a leave
};

class RemoteSteps {
  public:
    // More than the hops of any turn a player could make while this program
    // is a turn or two behind him; a sender past it is not heard further.
    static constexpr std::size_t kMaxPerSender = 256;
    // Ends of turn that may wait per sender: nobody plays this many turns
    // ahead of the others, so a sender past it is flooding, not ahead.
    static constexpr int kMaxTurnsPerSender = 8;

    // False when the sender's line is full and the step was dropped.  His
    // leave always finds room (once): a seat must not wait for him forever.
    bool Push(const RemoteStep& step);
    // The earliest arrived step at the front of a sender's line that
    // `ready` accepts, taken out; none when no front step is ready.
    std::optional<RemoteStep> TakeReady(const std::function<bool(const RemoteStep&)>& ready);
    bool Waiting(PlayerId sender) const;
    bool Empty() const { return lines_.empty(); }
    void Clear() { lines_.clear(); }

  private:
    struct Arrived {
        RemoteStep step;
        uint64_t order = 0;
    };
    struct Line {
        std::deque<Arrived> steps;
        int turnsEnded = 0; // kEndTurn among steps
        bool leaving = false;
    };
    std::map<PlayerId, Line> lines_;
    uint64_t arrivals_ = 0;
};
