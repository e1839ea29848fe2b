// A game that runs on other programs too: taken up from its host's record
// by a program that comes (back) into it, and a seat going back to its
// player at a turn every program begins alike.
#include "colours.h"
#include "match.h"
#include "match_listener.h"

#include <string>

struct Match::RuleRefusal {
    std::string why;
};

void Match::JoinRunningGame(const SavedGame& record, const TurnRecord& underWay,
                            const SeatKinds& kinds, const std::array<PlayerId, kColours>& players) {
    {
        // A record that does not replay must leave the game as it was.
        Match scratch;
        scratch.LoadRunning(record, underWay);
    }
    halted_ = false;
    if (state_.selectedMarble)
        HideTargets(*state_.selectedMarble);
    LoadRunning(record, underWay);
    for (int colour = 0; colour < kColours; ++colour)
        SetSeat(colour, kinds[colour], players[colour]);
    returns_ = {};
    listener().MarblesChanged();
    if (winner_ < 0 && InTurn()) {
        turnKind_ = seats_[state_.currentSeat].kind;
        // The hops of the turn under way were a player's; their phase is
        // his seat's as this program sees it.
        state_.phase = turnKind_ == skRemote ? kPhaseRemote : state_.phase;
        listener().TurnBeginning(state_.currentSeat);
        listener().TurnBegan(state_.currentSeat);
    }
    listener().PositionChanged();
    listener().StepReady();
}

// The record on this board, the next turn begun, its hops so far made.
void Match::LoadRunning(const SavedGame& record, const TurnRecord& underWay) {
    Load(record);
    if (underWay.number < 0)
        return;
    if (winner_ >= 0 || !InTurn() || underWay.seat != state_.currentSeat ||
        underWay.turn != state_.turnNumber)
        throw LineError(0, "the turn under way is not the turn that comes next");
    try {
        ReplayHops(underWay, true);
    } catch (const RuleRefusal& refusal) {
        throw LineError(0, "the turn under way: " + refusal.why);
    }
}

TurnRecord Match::HopsUnderWay() const {
    if (!TurnUnderWay() || record_.back().holes.empty())
        return {};
    return record_.back();
}

void Match::ReturnSeat(int colour, SeatKind kind, PlayerId player, TurnPlace from) {
    returns_.at(colour) = SeatReturn{kind, player, from.turnNumber};
}

Match::TurnPlace Match::NextTurnOf(int colour, TurnPlace after) const {
    TurnPlace next = after;
    if (colour < 0 || colour >= kColours || seats_[colour].kind == skNone)
        return next;
    do {
        if (++next.seat >= kColours) {
            next.seat = 0;
            ++next.turnNumber;
        }
    } while (next.seat != colour);
    return next;
}

// The turn that begins is a returned seat's: its new player plays it.
void Match::TakeReturnedSeat() {
    const int colour = state_.currentSeat;
    std::optional<SeatReturn>& back = returns_[colour];
    if (!back || state_.turnNumber < back->fromTurn)
        return;
    seats_[colour].kind = back->kind;
    seats_[colour].player = back->kind == skRemote ? back->player : kNoPlayer;
    back.reset();
    turnKind_ = seats_[colour].kind;
    listener().SeatReturned(colour);
}

// A player whose seat comes back to him at one of its turns is heard
// already: what he sends waits for that turn.
bool Match::Heard(PlayerId player) const {
    if (HoldsRemoteSeat(player))
        return true;
    for (const std::optional<SeatReturn>& back : returns_)
        if (back && back->kind == skRemote && back->player == player)
            return true;
    return false;
}
