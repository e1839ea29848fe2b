#include "match.h"

#include "match_listener.h"
#include "position_file.h"
#include "praise.h"
#include "win.h"

#include <algorithm>

namespace {

// Listens to nothing: a game nobody watches runs as fast as its driver.
MatchListener& Nobody() {
    static MatchListener nobody;
    return nobody;
}

bool IsSeat(int32_t seat) {
    return seat >= 0 && seat < kColours;
}

} // namespace

MatchListener& Match::listener() const {
    return listener_ ? *listener_ : Nobody();
}

Match::Match(MatchListener* listener) : listener_(listener) {
    for (int colour = 0; colour < kColours; ++colour)
        seats_[colour].colour = colour;
    state_.homeHoles = board_.homeHoles();
}

Match::~Match() {
    searchStop_->store(true);
}

void Match::SetJumpBackAllowed(bool allowed) {
    state_.jumpBackAllowed = allowed;
    // A record of this game must replay the jumps back made meanwhile.
    jumpBackInRecord_ = jumpBackInRecord_ || allowed;
}

void Match::TakeSetupFrom(const Match& other) {
    seats_ = other.seats_;
    levels_ = other.levels_;
    state_.jumpBackAllowed = other.state_.jumpBackAllowed;
    jumpBackInRecord_ = state_.jumpBackAllowed;
}

// --- Seats -------------------------------------------------------------

SeatKinds Match::Kinds() const {
    SeatKinds kinds{};
    for (int colour = 0; colour < kColours; ++colour)
        kinds[colour] = seats_[colour].kind;
    return kinds;
}

void Match::SetSeat(int colour, SeatKind kind, PlayerId player) {
    Seat& seat = seats_.at(colour);
    seat.kind = kind;
    seat.player = player;
}

void Match::SetKinds(const SeatKinds& kinds) {
    for (int colour = 0; colour < kColours; ++colour)
        SetSeat(colour, kinds[colour]);
}

void Match::SetSeatPlayer(int colour, PlayerId player) {
    seats_.at(colour).player = player;
}

bool Match::AnySeatTakesPart() const {
    return std::any_of(seats_.begin(), seats_.end(),
                       [](const Seat& seat) { return seat.kind != skNone; });
}

bool Match::Online() const {
    return std::any_of(seats_.begin(), seats_.end(), [](const Seat& seat) {
        return seat.kind == skOpen || seat.kind == skRemote;
    });
}

ComputerLevel Match::LevelOf(int colour) const {
    return Online() ? ComputerLevel::kClassic : levels_.at(colour);
}

bool Match::ComputerHasTurn() const {
    return IsSeat(state_.currentSeat) && PlayedByComputer(turnKind_);
}

bool Match::ComputerMoving() const {
    const MatchStep step = NextStep();
    return step == MatchStep::kChooseMove || step == MatchStep::kShowHop;
}

bool Match::HoldsRemoteSeat(PlayerId player) const {
    return player != kNoPlayer &&
           std::any_of(seats_.begin(), seats_.end(), [player](const Seat& seat) {
               return seat.kind == skRemote && seat.player == player;
           });
}

// --- The course of a game -------------------------------------------------

void Match::NewGame() {
    halted_ = false;
    if (state_.selectedMarble)
        HideTargets(*state_.selectedMarble);
    ClearBoard();
    LayOut();
    RestartTurns();
    RememberStart({state_.currentSeat, state_.turnNumber});
    listener().MarblesChanged();
    listener().StepReady();
}

void Match::RestartTurns() {
    state_.phase = kPhaseTurnStart;
    state_.currentSeat = kBeforeFirstTurn;
    state_.turnNumber = 0;
}

void Match::LayOut() {
    for (int colour = 0; colour < kColours; ++colour)
        if (seats_[colour].kind != skNone)
            marbles_.CreateColour(state_.homeHoles[colour], colour);
}

// Takes the marbles off and forgets everything that belonged to them: the
// move being shown, what remote players sent, and the search under way.
void Match::TakeMarblesOff() {
    searchStop_->store(true);
    searchStop_ = std::make_shared<std::atomic<bool>>(false);
    shown_.reset();
    turnPlayed_ = false;
    shownTargets_.clear();
    state_.selectedMarble = nullptr;
    remoteSteps_.Clear();
    hint_.clear();
    marbles_.RemoveAll();
    path_.Clear();
}

// A board for another game: the record and the winner go too.
void Match::ClearBoard() {
    TakeMarblesOff();
    record_.clear();
    winner_ = -1;
    ahead_.clear();
    playedKinds_ = Kinds();
    jumpBackInRecord_ = state_.jumpBackAllowed;
}

void Match::ReplaceMarbles(const std::vector<PlacedMarble>& placed) {
    const GameState kept = state_;
    ClearBoard();
    for (const PlacedMarble& p : placed)
        if (TZellhopPos* hole = board_.at(p.at); hole && !hole->ball)
            marbles_.Add(p.colour, p.number, *hole);
    state_.currentSeat = kept.currentSeat;
    state_.phase = kept.phase;
    state_.turnNumber = kept.turnNumber;
    // The turn under way goes on from the new position.
    const bool underWay = IsSeat(state_.currentSeat);
    const TurnPlace now{state_.currentSeat, state_.turnNumber};
    RememberStart(underWay ? Preceding(now) : now);
    if (underWay)
        record_.push_back({state_.turnNumber, state_.currentSeat, -1, {}});
    listener().MarblesChanged();
    listener().StepReady();
}

void Match::StartFromPosition(std::string_view text) {
    {
        // A bad text must leave the game as it was: read it on a board of
        // its own first.
        const Board scratch;
        MarbleList checked;
        ReadPosition(text, scratch, checked);
    }
    ClearBoard();
    const int toMove = ReadPosition(text, board_, marbles_);
    for (int colour = 0; colour < kColours; ++colour)
        SetSeat(colour, skNone);
    for (const auto& marble : marbles_)
        SetSeat(marble->colour, skComputer);
    // The turn just before the colour to move, so that NextTurn passes the
    // turn to it in turn 1.
    int before = toMove;
    do
        before = (before + kColours - 1) % kColours;
    while (seats_[before].kind == skNone);
    state_.currentSeat = before;
    state_.turnNumber = before >= toMove ? 0 : 1;
    state_.phase = kPhaseTurnStart;
    playedKinds_ = Kinds();
    RememberStart({state_.currentSeat, state_.turnNumber});
    listener().MarblesChanged();
    listener().StepReady();
}

void Match::NextTurn() {
    if (halted_ || !GameRunning() || !AnySeatTakesPart())
        return;
    BeginTurn();
    ApplyRemoteSteps(); // what a player sent while we were behind
    listener().StepReady();
}

// Ends the turn of the seat that has it and passes the turn to the next
// taking-part seat.
void Match::BeginTurn() {
    const int32_t ending = state_.currentSeat;
    if (IsSeat(ending)) {
        listener().TurnEnded(ending);
        if (seats_[ending].kind == skHuman)
            listener().SendEndTurn();
    }
    AdvanceSeat();
    if (state_.selectedMarble)
        HideTargets(*state_.selectedMarble);
    path_.Clear();
    turnPlayed_ = false;
    listener().TurnBeginning(state_.currentSeat);
    record_.push_back({state_.turnNumber, state_.currentSeat, -1, {}});
    if (turnKind_ == skRemote)
        state_.phase = kPhaseRemote;
    listener().TurnBegan(state_.currentSeat);
}

void Match::AdvanceSeat() {
    const TurnPlace next = Upcoming();
    state_.currentSeat = next.seat;
    state_.turnNumber = next.turnNumber;
    state_.phase = kPhaseTurnStart;
    turnKind_ = seats_[next.seat].kind;
    TakeReturnedSeat();
}

Match::TurnPlace Match::Upcoming() const {
    TurnPlace next{state_.currentSeat, state_.turnNumber};
    if (!AnySeatTakesPart())
        return next;
    do {
        if (++next.seat >= kColours) {
            next.seat = 0;
            ++next.turnNumber;
        }
    } while (seats_[next.seat].kind == skNone);
    return next;
}

void Match::EndGame() {
    state_.phase = kPhaseNoGame;
    TakeMarblesOff(); // the record stays: the game is over, not forgotten
    listener().MarblesChanged();
    listener().StepReady();
}

void Match::Halt() {
    halted_ = true;
    searchStop_->store(true);
    listener().StepReady();
}

bool Match::CheckWin() {
    TZellhopBall* won = FindWinner(state_.homeHoles, marbles_);
    if (!won)
        return false;
    winner_ = won->colour;
    listener().Won(winner_);
    HideTargets(*won);
    state_.phase = kPhaseTurnStart;
    state_.currentSeat = kNoSeat;
    TakeMarblesOff(); // the record keeps the final position
    listener().GameOver();
    listener().StepReady();
    return true;
}

// Every placement goes into the record as a hop of the turn being played.
void Match::Place(TZellhopBall& marble, TZellhopPos& hole) {
    TZellhopPos* from = marble.pos;
    ::PlaceBall(marble, hole);
    if (from && from != &hole && !record_.empty()) {
        TurnRecord& turn = record_.back();
        if (turn.holes.empty()) {
            turn.number = marble.number;
            turn.holes.push_back(from->at);
        }
        turn.holes.push_back(hole.at);
    }
    listener().MarblePlaced(marble);
}

// --- Steps --------------------------------------------------------------------

bool Match::InTurn() const {
    return !halted_ && GameRunning() && IsSeat(state_.currentSeat);
}

MatchStep Match::NextStep() const {
    if (!InTurn())
        return MatchStep::kNone;
    if (shown_)
        return MatchStep::kShowHop;
    const SeatKind kind = turnKind_;
    if (PlayedByComputer(kind)) {
        if (turnPlayed_)
            return MatchStep::kPassTurn;
        // In a replay the computer's move is the recorded one.
        return Reviewing() ? MatchStep::kNone : MatchStep::kChooseMove;
    }
    if (kind == skHuman)
        return MatchStep::kHumanMove;
    return kind == skRemote ? MatchStep::kRemoteMove : MatchStep::kNone;
}

MoveRequest Match::WantedMove() const {
    const int seat = state_.currentSeat;
    return {seat, LevelOf(seat), TakeSnapshot(marbles_, state_.homeHoles, seat)};
}

void Match::PlayComputerMove(const LevelMove& move) {
    if (!move.abandoned)
        PlayComputerMove(LiveChoice(marbles_, move));
}

void Match::PlayComputerMove(const ComputerChoice& choice) {
    if (NextStep() != MatchStep::kChooseMove)
        return; // the game moved on while it was searched
    path_.Clear();
    ShownMove move;
    move.marble = choice.marble;
    if (choice.marble)
        move.path = choice.path;
    shown_ = std::move(move);
    if (choice.marble)
        listener().ComputerMoveStarting(*choice.marble);
    listener().StepReady();
}

void Match::AdvanceShownMove() {
    if (!shown_ || !InTurn())
        return;
    ShownMove& move = *shown_;
    // The first hole is the one the marble stands on: nothing moves there.
    if (move.marble && move.placed < move.path.size())
        Place(*move.marble, *move.path[move.placed++]);
    else
        FinishShownMove();
    listener().StepReady();
}

void Match::FinishShownMove() {
    const ShownMove move = std::move(*shown_);
    shown_.reset();
    if (move.replay)
        FinishReplayStep(move.replayedSeat);
    else
        FinishComputerMove(move);
}

void Match::FinishComputerMove(const ShownMove& move) {
    if (move.marble) {
        listener().ComputerMoveShown(*move.marble);
        CheckWin();
        listener().ComputerMoveCompleted();
    }
    turnPlayed_ = true;
    listener().ComputerTurnOver();
}

// --- A human at this computer -----------------------------------------------

bool Match::HumanMayMove() const {
    return InTurn() && !shown_ && turnKind_ == skHuman;
}

void Match::ClickMarble(TZellhopBall& marble) {
    if (!HumanMayMove() || marble.colour != state_.currentSeat)
        return;
    if (TurnHasMove(state_.phase) && &marble != state_.selectedMarble)
        return;
    if (marble.targetsShown)
        HideTargets(marble);
    else
        ShowTargets(marble);
    if (!marble.targetsShown && TurnHasMove(state_.phase)) {
        marble.prevPos = nullptr;
        BeginTurn();
        ApplyRemoteSteps();
    }
    Select(marble);
    listener().StepReady();
}

void Match::Select(TZellhopBall& marble) {
    if (state_.phase == kPhaseTurnStart)
        state_.selectedMarble = &marble;
    listener().MarbleSelected(marble);
}

void Match::ShowTargets(TZellhopBall& marble) {
    shownTargets_ = TargetsOf(marble, state_);
    marble.targetsShown = !shownTargets_.empty();
    listener().TargetsChanged();
}

void Match::HideTargets(TZellhopBall& marble) {
    marble.targetsShown = false;
    shownTargets_.clear();
    listener().TargetsChanged();
}

void Match::ClickTarget(const TZellhopPos& hole) {
    TZellhopBall* marble = state_.selectedMarble;
    const auto shown = std::find_if(shownTargets_.begin(), shownTargets_.end(),
                                    [&hole](const Target& t) { return t.hole == &hole; });
    if (!HumanMayMove() || !marble || shown == shownTargets_.end())
        return;
    const Target target = *shown;
    ahead_.clear(); // a move of its own: the turns taken back are gone
    state_.phase += kPhaseMoveStep;
    Place(*marble, *target.hole);
    HideTargets(*marble);
    listener().SendMove(marble->number, target.direction);

    const int last = path_.Last();
    if (!path_.PathContains(last, *target.hole)) {
        if (last == PathTree::kNone)
            path_.AddRoot(*target.hole);
        else
            path_.AddChild(last, *target.hole);
    }
    listener().HumanHopped(PraiseIndexFor(path_.Count()));

    // A step ends the turn; so does a jump after which no further jump exists.
    if (!CheckWin() &&
        (TargetsOf(*marble, state_).empty() || IsNeighbour(*marble->pos, *marble->prevPos))) {
        BeginTurn();
        ApplyRemoteSteps();
    }
    listener().StepReady();
}

bool Match::CanEndTurn() const {
    return HumanMayMove() && TurnHasMove(state_.phase);
}

void Match::EndTurn() {
    if (CanEndTurn())
        NextTurn();
}

const TZellhopBall* Match::RingedMarble() const {
    const TZellhopBall* selected = state_.selectedMarble;
    if (!HumanMayMove() || !selected || !selected->pos || selected->colour != state_.currentSeat)
        return nullptr;
    return selected->targetsShown || TurnHasMove(state_.phase) ? selected : nullptr;
}

// --- Remote players ---------------------------------------------------------

void Match::RemoteMove(PlayerId player, int number, int direction) {
    if (!GameRunning() || !Heard(player))
        return; // no game, or not a player of it
    remoteSteps_.Push({player, RemoteStep::kMove, number, direction, 0});
    ApplyRemoteSteps();
    listener().StepReady();
}

void Match::RemoteEndTurn(PlayerId player) {
    if (!GameRunning() || !Heard(player))
        return;
    remoteSteps_.Push({player, RemoteStep::kEndTurn, 0, 0, 0});
    ApplyRemoteSteps();
    listener().StepReady();
}

void Match::PlayerLeft(PlayerId player, int reason) {
    // A player whose moves still wait leaves after them.
    if (remoteSteps_.Waiting(player))
        remoteSteps_.Push({player, RemoteStep::kLeave, 0, 0, reason});
    else
        HandOverSeats(player, reason);
    ApplyRemoteSteps();
    listener().StepReady();
}

// Plays every waiting step that the turn allows now, in the order it
// allows them.
void Match::ApplyRemoteSteps() {
    const auto ready = [this](const RemoteStep& step) {
        if (step.kind != RemoteStep::kLeave && !HoldsRemoteSeat(step.sender))
            return !Heard(step.sender); // his seat comes back later: wait for it
        return step.kind == RemoteStep::kLeave || (!shown_ && HasTurn(step.sender));
    };
    while (const std::optional<RemoteStep> step = remoteSteps_.TakeReady(ready)) {
        const int seat = state_.currentSeat;
        if (step->kind == RemoteStep::kLeave)
            HandOverSeats(step->sender, step->reason);
        else if (!HoldsRemoteSeat(step->sender))
            continue; // he left meanwhile
        else if (step->kind == RemoteStep::kMove)
            ApplyRemoteMove(step->number, step->direction);
        else
            BeginTurn();
        if (step->kind != RemoteStep::kLeave)
            listener().RemoteStepPlayed(*step, seat);
    }
}

// The sender's seat has the turn here and waits for him.
bool Match::HasTurn(PlayerId sender) const {
    const int32_t current = state_.currentSeat;
    return InTurn() && state_.phase == kPhaseRemote && turnKind_ == skRemote &&
           seats_[current].kind == skRemote && seats_[current].player == sender;
}

void Match::ApplyRemoteMove(int number, int direction) {
    if (TZellhopBall* marble = marbles_.FindBall(state_.currentSeat, number))
        if (TZellhopPos* landing = ReceivedMoveDestination(*marble, direction))
            Place(*marble, *landing);
    CheckWin();
}

void Match::HandOverSeats(PlayerId leaver, int reason) {
    bool passTurn = false;
    for (std::optional<SeatReturn>& back : returns_)
        if (back && back->kind == skRemote && back->player == leaver)
            back.reset(); // gone again before his seat came back
    // Every seat he held: a seat left waiting for a player who is gone
    // would stop the game.  A seat whose turn has not begun for him is the
    // computer's next step.
    for (Seat& seat : seats_) {
        if (leaver == kNoPlayer || seat.player != leaver || seat.kind != skRemote)
            continue;
        seat.kind = skOpen;
        seat.player = kNoPlayer;
        listener().SeatHandedOver(seat.colour);
        if (seat.colour != state_.currentSeat || !InTurn())
            continue;
        if (state_.phase >= kPhaseMoveStep)
            passTurn = true;
        else
            turnKind_ = skOpen; // his turn has not begun for him: the computer plays it
    }
    if (passTurn)
        BeginTurn();
    listener().PlayerGone(leaver, reason);
}
