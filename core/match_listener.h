// What a game tells whoever shows it, and the few questions it asks back.
// The window implements every one; self-play and the tests implement the
// ones they need.  Calls marked "may run events" are where a view lets its
// event loop run (a wait, a message box): the game may have been ended or
// replaced by the time they return, and the game checks that itself.
#pragma once

#include "game_state.h"

struct TZellhopBall;

class MatchListener {
  public:
    virtual ~MatchListener() = default;

    // The marbles were laid out, replaced or taken off: every picture anew.
    virtual void MarblesChanged() {}
    // A marble was placed on a hole (also on the one it stands on).
    virtual void MarblePlaced(const TZellhopBall& /*marble*/) {}
    // The target markers to show changed (see Match::ShownTargets).
    virtual void TargetsChanged() {}
    // A human at this computer picked a marble.
    virtual void MarbleSelected(const TZellhopBall& /*marble*/) {}
    // A human at this computer made a hop; the praise index grows with the
    // holes the marble has reached this turn.
    virtual void HumanHopped(int /*praiseIndex*/) {}

    // The seat's turn is over (before the next seat is chosen).
    virtual void TurnEnded(int /*seat*/) {}
    // The turn passed to the seat.  May run events; false stops the turn
    // loop (the program is closing, or whoever drives the game has seen
    // enough turns).
    virtual bool TurnBeginning(int /*seat*/) { return true; }
    // The seat's turn has begun and nothing ended the game meanwhile.
    virtual void TurnBegan(int /*seat*/) {}

    // The computer carries out its chosen move with this marble.
    virtual void ComputerMoveStarting(const TZellhopBall& /*marble*/) {}
    // The pause before and after each hole of a computer move.  May run
    // events; false abandons the move.
    virtual bool ComputerWait() { return true; }
    // The computer's move has reached its last hole.
    virtual void ComputerMoveShown(const TZellhopBall& /*marble*/) {}
    // The computer's move and its win check are complete.
    virtual void ComputerMoveCompleted() {}
    // The computer's turn is over, complete or abandoned.
    virtual void ComputerTurnOver() {}

    // Messages for the peers of an online game: a hop of a human at this
    // computer, and the end of his turn.
    virtual void SendMove(int /*number*/, int /*direction*/) {}
    virtual void SendEndTurn() {}

    // The colour has won.  May run events.
    virtual void Won(int /*colour*/) {}
    // The game is over after a win: nobody has the turn any more.
    virtual void GameOver() {}

    // The game went to another position of its record (undo, redo, a step
    // of a replay, a record opened), or the record's line changed.
    virtual void PositionChanged() {}

    // A remote player's seat is played by the computer from now on.
    virtual void SeatHandedOver(int /*colour*/) {}
    // A remote player left the game or was given up (reason as the
    // messaging reported it), after his seats were handed over.
    virtual void PlayerGone(PlayerId /*player*/, int /*reason*/) {}
};
