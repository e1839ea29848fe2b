#include "match.h"

#include "match_listener.h"
#include "position_file.h"
#include "praise.h"
#include "win.h"

#include <algorithm>
#include <limits>

namespace {

// Listens to nothing: a game nobody watches runs as fast as its search.
MatchListener& Nobody() {
    static MatchListener nobody;
    return nobody;
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

void Match::SetJumpBackAllowed(bool allowed) {
    state_.jumpBackAllowed = allowed;
    // A record of this game must replay the jumps back made meanwhile.
    jumpBackInRecord_ = jumpBackInRecord_ || allowed;
}

void Match::SetMoveChooser(MoveChooser choose) {
    choose_ = std::move(choose);
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
    const int32_t seat = state_.currentSeat;
    return seat >= 0 && seat < kColours && PlayedByComputer(seats_[seat].kind);
}

bool Match::HoldsRemoteSeat(PlayerId player) const {
    return player != kNoPlayer &&
           std::any_of(seats_.begin(), seats_.end(), [player](const Seat& seat) {
               return seat.kind == skRemote && seat.player == player;
           });
}

// --- The course of a game -------------------------------------------------

void Match::NewGame() {
    // A computer move that was paused is abandoned: the new generation
    // tells it its game is gone.
    halted_ = false;
    if (state_.selectedMarble)
        HideTargets(*state_.selectedMarble);
    ClearBoard();
    LayOut();
    RestartTurns();
    RememberStart({state_.currentSeat, state_.turnNumber});
    listener().MarblesChanged();
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

// Takes the marbles off and forgets everything that belonged to them.
// Whatever still runs for them (a computer move, a click) sees the new
// generation and stops.
void Match::TakeMarblesOff() {
    ++generation_;
    // Searches still running for the old marbles stop; the new game's get
    // a flag of their own.
    searchStop_->store(true);
    searchStop_ = std::make_shared<std::atomic<bool>>(false);
    shownTargets_.clear();
    state_.selectedMarble = nullptr;
    remoteSteps_.clear();
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
    const bool underWay = state_.currentSeat >= 0 && state_.currentSeat < kColours;
    const TurnPlace now{state_.currentSeat, state_.turnNumber};
    RememberStart(underWay ? Preceding(now) : now);
    if (underWay)
        record_.push_back({state_.turnNumber, state_.currentSeat, -1, {}});
    listener().MarblesChanged();
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
}

void Match::NextTurn() {
    NextTurn(std::numeric_limits<int>::max());
}

void Match::NextTurn(int computerTurns) {
    const uint64_t game = generation_;
    int played = 0;
    do {
        if (!BeginTurn())
            return;
        const SeatKind kind = seats_[state_.currentSeat].kind;
        if (PlayedByComputer(kind)) {
            if (Reviewing())
                return; // in a replay the computer's move is the recorded one
            ComputerMove();
            ++played;
        } else if (kind == skRemote) {
            state_.phase = kPhaseRemote;
            ApplyRemoteSteps(); // what the player sent while we were behind
        }
        // A game that was ended or replaced meanwhile has run its own turns.
    } while (ComputerHasTurn() && played < computerTurns && state_.phase != kPhaseNoGame &&
             !Abandoned(game));
}

// Passes the turn to the next taking-part seat; false when the game ended
// or the turn loop is to stop while the view drew the new turn.
bool Match::BeginTurn() {
    const int32_t ending = state_.currentSeat;
    if (ending >= 0 && ending < kColours) {
        listener().TurnEnded(ending);
        if (seats_[ending].kind == skHuman)
            listener().SendEndTurn();
    }
    if (!AnySeatTakesPart())
        return false;
    AdvanceSeat();
    if (state_.selectedMarble)
        HideTargets(*state_.selectedMarble);
    path_.Clear();

    if (!TurnMayBegin())
        return false;
    record_.push_back({state_.turnNumber, state_.currentSeat, -1, {}});
    listener().TurnBegan(state_.currentSeat);
    return true;
}

// The view draws the turn that begins (and may run its event loop meanwhile);
// false when it stops the turn loop or the game went meanwhile.
bool Match::TurnMayBegin() {
    const uint64_t game = generation_;
    const bool outerTurnBeginning = beginningTurn_;
    beginningTurn_ = true;
    const bool goOn = listener().TurnBeginning(state_.currentSeat);
    beginningTurn_ = outerTurnBeginning;
    return goOn && !Abandoned(game);
}

void Match::AdvanceSeat() {
    const TurnPlace next = Upcoming();
    state_.currentSeat = next.seat;
    state_.turnNumber = next.turnNumber;
    state_.phase = kPhaseTurnStart;
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
}

// --- Placing marbles --------------------------------------------------------

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

void Match::Halt() {
    halted_ = true;
    searchStop_->store(true);
}

bool Match::CheckWin() {
    TZellhopBall* won = FindWinner(state_.homeHoles, marbles_);
    if (!won)
        return false;
    winner_ = won->colour;
    const uint64_t game = generation_;
    listener().Won(winner_);
    if (game != generation_)
        return true; // the game was ended while the view showed the win
    HideTargets(*won);
    state_.phase = kPhaseTurnStart;
    state_.currentSeat = kNoSeat;
    TakeMarblesOff(); // the record keeps the final position
    listener().GameOver();
    return true;
}

// --- The computer's move ------------------------------------------------------

void Match::ComputerMove() {
    computerMoving_ = true;
    path_.Clear();
    const uint64_t game = generation_;
    const int seat = state_.currentSeat;
    const ComputerChoice choice =
        choose_ ? choose_(marbles_, state_.homeHoles, seat)
                : ChooseMoveAtLevel(marbles_, state_.homeHoles, seat, LevelOf(seat));
    if (!Abandoned(game)) {
        if (choice.marble)
            ShowComputerMove(*choice.marble, choice.path);
        else
            Wait(game); // a seat that cannot move still takes its time, so
                        // that a game nobody can move in does not spin
    }
    computerMoving_ = false;
    listener().ComputerTurnOver();
}

void Match::ShowComputerMove(TZellhopBall& marble, const std::vector<TZellhopPos*>& path) {
    if (!ShowMove(marble, path))
        return;
    CheckWin();
    listener().ComputerMoveCompleted();
}

// A move hole by hole, with the view's wait before and after each; false
// when it was abandoned.
bool Match::ShowMove(TZellhopBall& marble, const std::vector<TZellhopPos*>& path) {
    const uint64_t game = generation_;
    listener().ComputerMoveStarting(marble);
    if (!Wait(game))
        return false;
    // The first hole is the one the marble stands on: nothing moves there.
    for (TZellhopPos* hole : path) {
        Place(marble, *hole);
        if (!Wait(game))
            return false;
    }
    listener().ComputerMoveShown(marble);
    return true;
}

bool Match::Wait(uint64_t game) {
    const bool goOn = listener().ComputerWait();
    return goOn && !Abandoned(game);
}

// --- A human at this computer -----------------------------------------------

void Match::ClickMarble(TZellhopBall& marble) {
    if (ClicksRefused() || state_.phase == kPhaseRemote || marble.colour != state_.currentSeat)
        return;
    if (TurnHasMove(state_.phase) && &marble != state_.selectedMarble)
        return;
    if (marble.targetsShown)
        HideTargets(marble);
    else
        ShowTargets(marble);
    const uint64_t game = generation_;
    if (!marble.targetsShown && TurnHasMove(state_.phase))
        FinishMove(marble);
    // The turns that followed may have ended the game and taken the marble.
    if (game == generation_)
        Select(marble);
}

void Match::Select(TZellhopBall& marble) {
    if (state_.phase == kPhaseTurnStart)
        state_.selectedMarble = &marble;
    listener().MarbleSelected(marble);
}

void Match::FinishMove(TZellhopBall& marble) {
    marble.prevPos = nullptr;
    NextTurn();
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

void Match::ClickTarget(int k) {
    TZellhopBall* marble = state_.selectedMarble;
    if (ClicksRefused() || !marble || k < 0 || k >= static_cast<int>(shownTargets_.size()))
        return;
    const Target target = shownTargets_[k];
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

    if (CheckWin())
        return;
    // A step ends the turn; so does a jump after which no further jump exists.
    if (TargetsOf(*marble, state_).empty() || IsNeighbour(*marble->pos, *marble->prevPos))
        NextTurn();
}

// --- Remote players ---------------------------------------------------------

void Match::RemoteMove(PlayerId player, int number, int direction) {
    QueueRemoteStep({player, RemoteStep::kMove, number, direction, 0});
}

void Match::RemoteEndTurn(PlayerId player) {
    QueueRemoteStep({player, RemoteStep::kEndTurn, 0, 0, 0});
}

void Match::QueueRemoteStep(const RemoteStep& step) {
    if (state_.phase == kPhaseNoGame || state_.currentSeat == kNoSeat ||
        !HoldsRemoteSeat(step.sender))
        return; // no game, or not a player of it
    remoteSteps_.push_back(step);
    ApplyRemoteSteps();
}

void Match::ApplyRemoteSteps() {
    if (applyingRemoteSteps_)
        return; // the running loop takes them up
    struct Applying {
        bool& flag;
        explicit Applying(bool& f) : flag(f) { flag = true; }
        ~Applying() { flag = false; }
    } applying(applyingRemoteSteps_);
    const uint64_t game = generation_;
    while (!Abandoned(game)) {
        const auto next = NextRemoteStep();
        if (next == remoteSteps_.end())
            return; // nobody's turn here yet
        const RemoteStep step = *next;
        remoteSteps_.erase(next);
        if (step.kind == RemoteStep::kLeave)
            HandOverSeats(step.sender, step.reason);
        else if (!HoldsRemoteSeat(step.sender))
            continue; // he left meanwhile
        else if (step.kind == RemoteStep::kMove)
            ApplyRemoteMove(step.number, step.direction);
        else
            NextTurn();
    }
}

// Each player's steps keep their order; between players the turn decides,
// since the network may bring a later player's moves first.
std::deque<Match::RemoteStep>::iterator Match::NextRemoteStep() {
    for (auto it = remoteSteps_.begin(); it != remoteSteps_.end(); ++it) {
        const bool first = std::none_of(remoteSteps_.begin(), it, [&](const RemoteStep& earlier) {
            return earlier.sender == it->sender;
        });
        if (!first)
            continue;
        const bool playing = it->kind != RemoteStep::kLeave && HoldsRemoteSeat(it->sender);
        if (!playing || (!computerMoving_ && HasTurn(it->sender)))
            return it;
    }
    return remoteSteps_.end();
}

// The sender's seat has the turn here and waits for him.
bool Match::HasTurn(PlayerId sender) const {
    const int32_t current = state_.currentSeat;
    return current >= 0 && current < kColours && state_.phase == kPhaseRemote &&
           seats_[current].kind == skRemote && seats_[current].player == sender;
}

void Match::ApplyRemoteMove(int number, int direction) {
    if (TZellhopBall* marble = marbles_.FindBall(state_.currentSeat, number))
        if (TZellhopPos* landing = ReceivedMoveDestination(*marble, direction))
            Place(*marble, *landing);
    CheckWin();
}

void Match::PlayerLeft(PlayerId player, int reason) {
    // A player whose moves still wait leaves after them.
    const bool waiting =
        std::any_of(remoteSteps_.begin(), remoteSteps_.end(),
                    [player](const RemoteStep& step) { return step.sender == player; });
    if (waiting)
        remoteSteps_.push_back({player, RemoteStep::kLeave, 0, 0, reason});
    else
        HandOverSeats(player, reason);
    ApplyRemoteSteps();
}

void Match::HandOverSeats(PlayerId leaver, int reason) {
    bool passTurn = false;
    bool playNow = false;
    // Every seat he held: a seat left waiting for a player who is gone
    // would stop the game.
    for (Seat& seat : seats_) {
        if (leaver == kNoPlayer || seat.player != leaver || seat.kind != skRemote)
            continue;
        seat.kind = skOpen;
        seat.player = kNoPlayer;
        listener().SeatHandedOver(seat.colour);
        if (seat.colour != state_.currentSeat || state_.phase < 0)
            continue;
        if (state_.phase >= kPhaseMoveStep)
            passTurn = true;
        else if (!beginningTurn_) // else the turn that begins plays it
            playNow = true;
    }
    if (passTurn) {
        NextTurn();
    } else if (playNow) {
        ComputerMove();
        NextTurn();
    }
    listener().PlayerGone(leaver, reason);
}
