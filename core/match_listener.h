// What a game tells whoever shows it.  The window implements every call;
// self-play and the tests implement the ones they need.  Each call is a
// notice: the game is in the middle of changing, so a listener only reads
// it and draws, and never calls back into it (StepReady is where a driver
// learns that it has something to do, later).
#pragma once

#include "game_state.h"
#include "remote_steps.h"

struct TZellhopBall;

class MatchListener {
  public:
    virtual ~MatchListener() = default;

    // The game's next step may have changed (see Match::NextStep).  A
    // driver takes it once the call that raised this has returned.
    virtual void StepReady() {}

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
    // The turn passes to the seat (its record line not yet begun).
    virtual void TurnBeginning(int /*seat*/) {}
    // The seat's turn has begun.
    virtual void TurnBegan(int /*seat*/) {}

    // The computer carries out its chosen move with this marble (a step of
    // a replay is shown the same way).
    virtual void ComputerMoveStarting(const TZellhopBall& /*marble*/) {}
    // The move shown has reached its last hole.
    virtual void ComputerMoveShown(const TZellhopBall& /*marble*/) {}
    // The move shown and its win check are complete.
    virtual void ComputerMoveCompleted() {}
    // The computer's turn is over.
    virtual void ComputerTurnOver() {}

    // Messages for the peers of an online game: a hop of a human at this
    // computer, and the end of his turn.
    virtual void SendMove(int /*number*/, int /*direction*/) {}
    virtual void SendEndTurn() {}

    // The colour has won (the final position still on the board).
    virtual void Won(int /*colour*/) {}
    // The game is over after a win: nobody has the turn any more.
    virtual void GameOver() {}

    // The game went to another position of its record (undo, redo, a step
    // of a replay, a record opened), or the record's line changed.
    virtual void PositionChanged() {}

    // A remote player's hop or end of turn was played, in the seat's turn.
    virtual void RemoteStepPlayed(const RemoteStep& /*step*/, int /*seat*/) {}
    // A seat went back to its player (see Match::ReturnSeat).
    virtual void SeatReturned(int /*colour*/) {}
    // A remote player's seat is played by the computer from now on.
    virtual void SeatHandedOver(int /*colour*/) {}
    // A remote player left the game or was given up (reason as the
    // messaging reported it), after his seats were handed over.
    virtual void PlayerGone(PlayerId /*player*/, int /*reason*/) {}
};
