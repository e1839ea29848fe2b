// The game's record as a line of turns: undo and redo, the steps of a
// replay, hints, and games kept in files.  Every position is rebuilt by
// replaying the line from the game's start, so a marble's previous hole
// and the turn's phase come out as the rules left them.
#include "colours.h"
#include "match.h"
#include "match_listener.h"
#include "position_file.h"
#include "win.h"

#include <algorithm>

namespace {

}  // namespace

// Why the rules refuse a recorded turn (also in match_running.cpp).
struct Match::RuleRefusal {
    std::string why;
};

namespace {
// A turn of a line that does not replay, and why; the record's reader
// turns it into a LineError for the line it came from.
struct TurnRefused {
    size_t index;
    std::string why;
};

std::string TurnName(int turn, int seat) {
    return std::to_string(turn) + " " + std::string(ColourWord(seat));
}

std::string MarbleName(const TurnRecord& turn) {
    return std::string(ColourWord(turn.seat)) + " " + std::to_string(turn.number);
}

std::string Hop(LatticePoint from, LatticePoint to) {
    return "from " + HoleText(from) + " to " + HoleText(to);
}

} // namespace

// --- Where the game stands in its line ---------------------------------------

// The record's last turn is the one being played, not a finished one.
bool Match::TurnUnderWay() const {
    const int32_t seat = state_.currentSeat;
    return winner_ < 0 && state_.phase != kPhaseNoGame && seat >= 0 && seat < kColours &&
           !record_.empty() && record_.back().seat == seat;
}

int Match::PlayedTurns() const {
    return static_cast<int>(record_.size()) - (TurnUnderWay() ? 1 : 0);
}

std::vector<TurnRecord> Match::Line() const {
    std::vector<TurnRecord> line(record_.begin(), record_.begin() + PlayedTurns());
    line.insert(line.end(), ahead_.begin(), ahead_.end());
    return line;
}

// Taking back a move of an online game would part this board from the
// others, for as long as the game runs (a leaver's seat turns Open).
bool Match::HistoryAllowed() const {
    return !halted_ && !ComputerMoving() && !Online() && state_.phase != kPhaseNoGame &&
           !record_.empty();
}

int Match::UndoTarget() const {
    const int played = PlayedTurns();
    if (TurnUnderWay() && TurnHasMove(state_.phase))
        return played; // the hops of the turn under way
    for (int j = played - 1; j >= 0; --j)
        if (seats_[record_[j].seat].kind == skHuman)
            return j;
    return -1;
}

int Match::RedoTarget() const {
    const int played = PlayedTurns();
    const int length = LineLength();
    for (int k = played + 1; k < length; ++k)
        if (seats_[ahead_[k - played].seat].kind == skHuman)
            return k;
    return length;
}

bool Match::CanUndo() const {
    return HistoryAllowed() && UndoTarget() >= 0;
}

void Match::Undo() {
    if (CanUndo())
        GoToTurn(UndoTarget());
}

bool Match::CanRedo() const {
    return HistoryAllowed() && Reviewing();
}

void Match::Redo() {
    if (CanRedo())
        GoToTurn(RedoTarget());
}

bool Match::CanGoBack() const {
    return HistoryAllowed() && (PlayedTurns() > 0 || (TurnUnderWay() && TurnHasMove(state_.phase)));
}

bool Match::CanGoForward() const {
    return HistoryAllowed() && Reviewing() && TurnUnderWay();
}

void Match::StepBack() {
    if (!CanGoBack())
        return;
    const int played = PlayedTurns();
    GoToTurn(TurnUnderWay() && TurnHasMove(state_.phase) ? played : played - 1);
}

void Match::GoToStart() {
    if (CanGoBack())
        GoToTurn(0);
}

void Match::GoToEnd() {
    if (CanGoForward())
        GoToTurn(LineLength());
}

// The next turn of the line, shown hole by hole like a computer's move.
void Match::StepForward() {
    if (!CanGoForward())
        return;
    const TurnRecord turn = ahead_.front();
    ahead_.erase(ahead_.begin());
    record_.back().hint = turn.hint;
    TZellhopBall* marble = turn.number < 0 ? nullptr : FindBall(turn.seat, turn.number);
    if (!marble) {
        FinishReplayStep(turn.seat); // a pass
        listener().StepReady();
        return;
    }
    ShownMove move;
    move.marble = marble;
    for (const LatticePoint& p : turn.holes)
        move.path.push_back(board_.at(p));
    move.replay = true;
    move.replayedSeat = turn.seat;
    shown_ = std::move(move);
    listener().ComputerMoveStarting(*marble);
    listener().StepReady();
}

// The turn of a replay step is over: a replay shows the won position rather
// than ending the game again, and otherwise the next turn begins.
void Match::FinishReplayStep(int seat) {
    if (record_.back().number >= 0) {
        if (const TZellhopBall* marble = FindBall(seat, record_.back().number))
            listener().ComputerMoveShown(*marble);
        listener().ComputerMoveCompleted();
        listener().ComputerTurnOver();
    }
    if (const TZellhopBall* won = FindWinner(state_.homeHoles, marbles_)) {
        winner_ = won->colour;
        state_.currentSeat = kNoSeat;
        state_.phase = kPhaseTurnStart;
        listener().TurnEnded(seat);
    } else {
        BeginTurn();
    }
    listener().PositionChanged();
}

// --- Rebuilding a position -------------------------------------------------------

void Match::RememberStart(TurnPlace before) {
    start_.marbles.clear();
    for (const auto& marble : marbles_)
        if (marble->pos)
            start_.marbles.push_back({marble->colour, marble->number, marble->pos->at});
    start_.before = before;
    ahead_.clear();
}

// The taking-part seat before `place`, so that Upcoming() from it is `place`.
Match::TurnPlace Match::Preceding(TurnPlace place) const {
    if (!AnySeatTakesPart())
        return place;
    do {
        if (--place.seat < 0) {
            place.seat = kColours - 1;
            --place.turnNumber;
        }
    } while (seats_[place.seat].kind == skNone);
    return place;
}

// Goes to the position after `played` turns of the line, tells the view,
// and lets the computer play on when no recorded turn lies ahead.
void Match::GoToTurn(int played) {
    const int32_t ending = TurnUnderWay() ? state_.currentSeat : kNoSeat;
    Rebuild(Line(), played);
    if (ending != kNoSeat)
        listener().TurnEnded(ending);
    ShowRebuiltPosition();
}

// The start's marbles, then `played` turns of the line without showing
// them; the rest of the line lies ahead.  Throws TurnRefused for a turn
// that does not replay.
void Match::Rebuild(const std::vector<TurnRecord>& line, int played) {
    TakeMarblesOff();
    record_.clear();
    winner_ = -1;
    for (const PlacedMarble& p : start_.marbles)
        marbles_.Add(p.colour, p.number, *board_.at(p.at));
    state_.currentSeat = start_.before.seat;
    state_.turnNumber = start_.before.turnNumber;
    state_.phase = kPhaseTurnStart;

    // The line is judged by the rule it was played with.
    struct KeepJumpBack {
        bool& allowed;
        const bool kept;
        KeepJumpBack(bool& a, bool during) : allowed(a), kept(a) { allowed = during; }
        ~KeepJumpBack() { allowed = kept; }
    } keep(state_.jumpBackAllowed, jumpBackInRecord_);

    for (int i = 0; i < played; ++i) {
        if (winner_ >= 0)
            throw TurnRefused{static_cast<size_t>(i),
                              "the game was already won by " + std::string(ColourWord(winner_))};
        try {
            ReplayTurn(line[i]);
        } catch (const Match::RuleRefusal& refusal) {
            throw TurnRefused{static_cast<size_t>(i), refusal.why};
        }
        if (const TZellhopBall* won = FindWinner(state_.homeHoles, marbles_))
            winner_ = won->colour;
    }
    ahead_.assign(line.begin() + played, line.end());
    if (winner_ >= 0) {
        state_.currentSeat = kNoSeat;
        state_.phase = kPhaseTurnStart;
    } else {
        AdvanceSeat();
        record_.push_back({state_.turnNumber, state_.currentSeat, -1, {}});
    }
}

// Plays one recorded turn on the board as the rules allow it; throws the
// reason when they do not.
void Match::ReplayTurn(const TurnRecord& turn) {
    const TurnPlace next = Upcoming();
    if (turn.seat != next.seat || turn.turn != next.turnNumber)
        throw Match::RuleRefusal{"turn " + TurnName(next.turnNumber, next.seat) + " comes here, not " +
                          TurnName(turn.turn, turn.seat)};
    AdvanceSeat();
    record_.push_back({turn.turn, turn.seat, -1, {}, turn.hint});
    if (turn.number >= 0)
        ReplayHops(turn, playedKinds_[turn.seat] == skRemote);
}

// The hops of a recorded turn into the turn under way, as the rules allow
// them; throws the reason when they do not.  A remote player's hops were
// taken as they came: a step or a jump in some direction, nothing more
// checked.
void Match::ReplayHops(const TurnRecord& turn, bool remote) {
    TZellhopBall* marble = FindBall(turn.seat, turn.number);
    if (!marble)
        throw Match::RuleRefusal{std::string(ColourWord(turn.seat)) + " has no marble " +
                          std::to_string(turn.number)};
    if (turn.holes.size() < 2 || marble->pos->at != turn.holes.front())
        throw Match::RuleRefusal{MarbleName(turn) + " stands on " + HoleText(marble->pos->at)};
    bool stepped = false;
    for (size_t k = 1; k < turn.holes.size(); ++k) {
        TZellhopPos* to = board_.at(turn.holes[k]);
        bool legal = to && (remote || !stepped);
        if (legal && remote) {
            legal = false;
            for (int d = 0; d < kDirections; ++d)
                legal = legal || ReceivedMoveDestination(*marble, d) == to;
        } else if (legal) {
            const std::vector<Target> targets = TargetsOf(*marble, state_);
            legal = std::any_of(targets.begin(), targets.end(),
                                [to](const Target& t) { return t.hole == to; });
        }
        if (!legal)
            throw Match::RuleRefusal{MarbleName(turn) + " cannot move " +
                              Hop(turn.holes[k - 1], turn.holes[k])};
        stepped = IsNeighbour(*marble->pos, *to);
        record_.back().holes.push_back(marble->pos->at);
        ::PlaceBall(*marble, *to);
        state_.phase += kPhaseMoveStep;
    }
    record_.back().number = turn.number;
    record_.back().holes.push_back(marble->pos->at);
}

// Shows a position rebuilt from the record, its turn beginning unless the
// game is won.  At the end of the line a computer seat that has the turn is
// the next step.
void Match::ShowRebuiltPosition() {
    listener().MarblesChanged();
    if (winner_ < 0) {
        listener().TurnBeginning(state_.currentSeat);
        listener().TurnBegan(state_.currentSeat);
    }
    listener().PositionChanged();
    listener().StepReady();
}

// --- Hints ------------------------------------------------------------------------

bool Match::HintAvailable() const {
    return !halted_ && !ComputerMoving() && TurnUnderWay() && turnKind_ == skHuman &&
           state_.phase == kPhaseTurnStart;
}

std::vector<TZellhopPos*> Match::TakeHint() {
    if (!HintAvailable())
        return {};
    // The classic player, whatever plays the computer seats.
    const ComputerChoice choice =
        ChooseComputerMove(marbles_, state_.homeHoles, state_.currentSeat);
    if (!choice.marble)
        return {};
    // The hint's path takes the place of the pins shown.
    if (state_.selectedMarble && state_.selectedMarble->targetsShown)
        HideTargets(*state_.selectedMarble);
    Suggestion& hint = record_.back().hint;
    hint.number = choice.marble->number;
    hint.holes.clear();
    for (const TZellhopPos* hole : choice.path)
        hint.holes.push_back(hole->at);
    hint_.assign(choice.path.begin(), choice.path.end());
    hintTurn_ = record_.size();
    return choice.path;
}

// A hint holds until the player does anything in its turn.
std::vector<const TZellhopPos*> Match::ShownHint() const {
    const bool stands = hintTurn_ == record_.size() && state_.phase == kPhaseTurnStart &&
                        shownTargets_.empty() && HumanMayMove();
    return stands ? hint_ : std::vector<const TZellhopPos*>{};
}

// --- Games kept in files -------------------------------------------------------------

bool Match::CanSave() const {
    return !halted_ && !ComputerMoving() && state_.phase != kPhaseNoGame && !record_.empty();
}

SavedGame Match::Saved() const {
    SavedGame record;
    record.kinds = playedKinds_;
    // The levels the computer seats play at; an online game's play Classic.
    for (int colour = 0; colour < kColours; ++colour)
        if (playedKinds_[colour] == skComputer)
            record.levels[colour] = LevelOf(colour);
    record.jumpBack = jumpBackInRecord_;
    record.turns = Line();
    if (TurnUnderWay() && !Reviewing()) {
        const TurnRecord& now = record_.back();
        record.turnUnderWay = {now.turn, now.seat, -1, {}, now.hint};
    }
    return record;
}

void Match::CheckSavedGame(const SavedGame& record) {
    Match scratch;
    scratch.Load(record);
}

// The record's game on this board, at the position after its last turn;
// nobody is told.
void Match::Load(const SavedGame& record) {
    const auto lineOf = [&record](size_t index) {
        return index < record.lines.size() ? record.lines[index] : 0;
    };
    if (std::none_of(record.kinds.begin(), record.kinds.end(),
                     [](SeatKind kind) { return kind != skNone; }))
        throw LineError(0, "no seat takes part");
    SetKinds(PlayableKinds(record.kinds));
    SetLevels(record.levels);
    ClearBoard();
    playedKinds_ = record.kinds;
    jumpBackInRecord_ = record.jumpBack;
    LayOut();
    RestartTurns();
    RememberStart({state_.currentSeat, state_.turnNumber});
    try {
        Rebuild(record.turns, static_cast<int>(record.turns.size()));
    } catch (const TurnRefused& refused) {
        throw LineError(lineOf(refused.index), refused.why);
    }
    const TurnRecord& hinted = record.turnUnderWay;
    if (hinted.hint.number < 0)
        return;
    if (!TurnUnderWay() || hinted.seat != state_.currentSeat || hinted.turn != state_.turnNumber)
        throw LineError(record.turnUnderWayLine, "the hint is not for the turn that comes next");
    record_.back().hint = hinted.hint;
}

void Match::OpenSavedGame(const SavedGame& record) {
    CheckSavedGame(record);
    halted_ = false;
    if (state_.selectedMarble)
        HideTargets(*state_.selectedMarble);
    const bool jumpBackNow = state_.jumpBackAllowed;
    Load(record);
    // Play goes on under this program's own rule.
    jumpBackInRecord_ = jumpBackInRecord_ || jumpBackNow;
    ShowRebuiltPosition();
}
