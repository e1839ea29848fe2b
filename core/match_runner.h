// Drives a game with no pauses, on the calling thread: each computer move
// chosen at once and shown hole by hole without waiting.  It is what
// zellhop-selfplay, the benchmark and the tests use where the window uses
// its timer and its search thread.
#pragma once

#include "match.h"

#include <functional>
#include <limits>

class MatchRunner {
  public:
    // Moves are chosen by `choose`, or at each seat's level when none is
    // given.
    explicit MatchRunner(Match& match, Match::MoveChooser choose = {});

    // Called before each wait of a move being shown, where a window would
    // handle its events.
    std::function<void()> onWait;

    // Takes the game's steps until it waits for a human here or a remote
    // player, has no step left, or has played `computerTurns` computer
    // turns (the last of them not yet passed on).  Returns how many it
    // played.
    int Run(int computerTurns = std::numeric_limits<int>::max());

  private:
    Match* match_;
    Match::MoveChooser choose_;
};
