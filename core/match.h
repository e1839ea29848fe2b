// A game of Zellhop as data: the board, the six seats, the marbles, whose
// turn it is and its phase, and the record of every hop.  It holds the one
// set of turn rules of the program: the window, zellhop-selfplay, the
// benchmark and the tests all play through it.
//
// The game never waits.  It answers each call at once and exposes what it
// waits for next (NextStep): a computer move to be chosen, the next hole of
// a move being shown, a human here or a remote player to move, or nothing.
// Whoever drives it takes those steps at its own pace: the window on its
// timer (the computer's delay, Pause), zellhop-selfplay and the tests at
// once (MatchRunner).  It tells a MatchListener what happened; no listener
// call may call back into the game.
#pragma once

#include "board.h"
#include "computer_level.h"
#include "computer_player.h"
#include "game_state.h"
#include "marble.h"
#include "move_record.h"
#include "path_tree.h"
#include "remote_steps.h"
#include "rules.h"
#include "saved_game.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

class MatchListener;

// A marble put on the board by hand (a position, a test).
struct PlacedMarble {
    int colour = 0;
    int number = 0;
    LatticePoint at;
};

// What the game waits for.
enum class MatchStep {
    kNone,       // no game, a won game, or a replay waiting at a computer's turn
    kChooseMove, // the computer seat that has the turn wants its move (WantedMove)
    kShowHop,    // a move being shown: after a wait, its next hole or its end
    kPassTurn,   // the computer's turn is over: NextTurn passes it on
    kHumanMove,  // a human at this computer has the turn
    kRemoteMove, // a player at another computer has the turn
};

// The position a computer move is searched on, and how well to play it.
struct MoveRequest {
    int seat = kNoSeat;
    ComputerLevel level = ComputerLevel::kClassic;
    SearchPosition position;
};

class Match {
  public:
    // How a seat's move is chosen on the live marbles, for drivers that
    // choose on this thread (self-play compares searches with it).
    using MoveChooser =
        std::function<ComputerChoice(const MarbleList&, const HomeHoles&, int seat)>;
    // A turn of the game: whose, and its number.
    struct TurnPlace {
        int seat = kNoSeat;
        int turnNumber = 0;
    };

    explicit Match(MatchListener* listener = nullptr);
    // A search still running for this game is told to stop.
    ~Match();
    Match(const Match&) = delete;
    Match& operator=(const Match&) = delete;

    void SetListener(MatchListener* listener) { listener_ = listener; }
    void SetJumpBackAllowed(bool allowed);
    // What a new game keeps of the one before it: seats, levels, the rule.
    void TakeSetupFrom(const Match& other);

    // --- Seats ---------------------------------------------------------
    const Seat& seat(int colour) const { return seats_.at(colour); }
    const std::array<Seat, kColours>& seats() const { return seats_; }
    SeatKinds Kinds() const;
    // Sets who plays a seat: before a game, or when an online game starts.
    void SetSeat(int colour, SeatKind kind, PlayerId player = kNoPlayer);
    void SetKinds(const SeatKinds& kinds);
    // A remote player whose address became known after the start.
    void SetSeatPlayer(int colour, PlayerId player);
    bool AnySeatTakesPart() const;

    // --- Computer levels ---------------------------------------------------
    // The level each colour's computer plays in a local game (Classic until
    // set).  Seats keep it through new games; an opened record sets it.
    void SetLevels(const ComputerLevels& levels) { levels_ = levels; }
    const ComputerLevels& Levels() const { return levels_; }
    // Whether this is an online game: a seat is Open or Remote.  Every
    // online game has one on every program for as long as it runs (a
    // leaver's seat turns Open).
    bool Online() const;
    // The level the seat's computer plays now: its own in a local game,
    // Classic in an online one, where every program plays the computer
    // seats itself and the seat table carries no level.
    ComputerLevel LevelOf(int colour) const;
    // Set once this game's marbles are taken off, the game is destroyed or
    // the program halts: a search for one of its moves may stop then.
    std::shared_ptr<const std::atomic<bool>> SearchStop() const { return searchStop_; }

    // --- The course of a game -------------------------------------------
    // A new game: every taking-part colour laid out on its star point, the
    // turn just before the first one.  NextTurn begins the first turn.
    void NewGame();
    // The marbles of a position replace those on the board; seats and turn
    // stay.  The record starts again from this position.
    void ReplaceMarbles(const std::vector<PlacedMarble>& marbles);
    // The turn just before the first one, as a new game has it.
    void RestartTurns();
    // A position text (see position_file.h) with a computer on every colour
    // present; NextTurn begins the turn of the colour it names first, in
    // turn 1.  Throws PositionFileError and leaves the game as it was on a
    // bad text.
    void StartFromPosition(std::string_view text);
    // Ends the current turn and begins the next taking-part seat's.
    void NextTurn();
    // Ends the game when a colour has filled its target star point; true
    // then.  Every move runs it.
    bool CheckWin();
    // End Current Game: no game any more, the marbles taken off.
    void EndGame();
    // The program closes: nothing is waited for any more.
    void Halt();
    bool Halted() const { return halted_; }

    // --- Steps ----------------------------------------------------------------
    MatchStep NextStep() const;
    // kChooseMove: the seat, its level and a snapshot to search off this
    // thread if need be.
    MoveRequest WantedMove() const;
    // kChooseMove: the chosen move, shown hole by hole from now on (a seat
    // that cannot move still takes one wait).  A level move maps to the
    // live marbles by (colour, number) and hole indices.
    void PlayComputerMove(const ComputerChoice& choice);
    void PlayComputerMove(const LevelMove& move);
    // kShowHop: the marble goes to the next hole of the move shown, or the
    // move ends (checked for a win).  Each call follows one wait.
    void AdvanceShownMove();
    // Whether a move is being shown (a computer's, or a step of a replay).
    bool MoveShowing() const { return shown_.has_value(); }

    // --- A human at this computer ----------------------------------------
    // Whether a human at this computer has the turn and may click now.
    bool HumanMayMove() const;
    // A click on a marble: its targets shown or hidden; a second click on
    // the marble that moved ends the turn.
    void ClickMarble(TZellhopBall& marble);
    // A click on a target shown on that hole: the selected marble hops
    // there.  Nothing when no target is shown there.
    void ClickTarget(const TZellhopPos& hole);
    // The targets shown for the selected marble; empty when hidden.
    const std::vector<Target>& ShownTargets() const { return shownTargets_; }
    // End Turn: allowed once the human who has the turn has moved.
    bool CanEndTurn() const;
    void EndTurn();
    // The marble to mark as chosen: the one whose targets are shown, or
    // which may jump on; none when no human here plays.
    const TZellhopBall* RingedMarble() const;

    // --- Remote players ---------------------------------------------------
    // A remote player's hop, end of turn and departure.  Every program
    // plays the computer seats at its own pace, so they may arrive before
    // this program has reached his turn: they wait, each player's in the
    // order he sent them.  Only the player of a Remote seat is heard.
    void RemoteMove(PlayerId player, int number, int direction);
    void RemoteEndTurn(PlayerId player);
    void PlayerLeft(PlayerId player, int reason);
    bool HoldsRemoteSeat(PlayerId player) const;
    // Drops what remote players sent and the game has not yet played: they
    // are no longer listened to.
    void ForgetRemoteSteps() { remoteSteps_.Clear(); }

    // --- The record as a line of turns: undo, redo, replay -----------------
    // The record holds the turns played up to the position shown and the
    // turn under way; turns taken back lie ahead until a new move replaces
    // them (a new branch).  Every position is rebuilt by replaying the
    // line from the game's start.  None of this works while a move is
    // being shown, or in an online game (the other boards would part from
    // this one).
    //
    // Turns played up to the position shown, and the whole line.
    int PlayedTurns() const;
    int LineLength() const { return PlayedTurns() + static_cast<int>(ahead_.size()); }
    std::vector<TurnRecord> Line() const;
    const std::vector<TurnRecord>& Ahead() const { return ahead_; }
    // Turns lie ahead: the computer waits for its recorded move.
    bool Reviewing() const { return !ahead_.empty(); }
    // Back to the start of the last turn of a human at this computer (the
    // computer turns after it taken back too), and forward again to the
    // next such turn.  Nothing is shown hop by hop.
    bool CanUndo() const;
    void Undo();
    bool CanRedo() const;
    void Redo();
    // Replay: one turn back (or to the start of the turn under way), the
    // next turn of the line shown hop by hop, the start, the end.
    bool CanGoBack() const;
    bool CanGoForward() const;
    void StepBack();
    void StepForward();
    void GoToStart();
    void GoToEnd();

    // --- Hints --------------------------------------------------------------
    // The classic computer player's move for the human here who has the
    // turn and has not moved yet: the marble's hole first, then every hole
    // it would reach.  Nothing moves (pins shown are hidden); the record
    // notes the hint.  Empty when no hint can be given now.
    bool HintAvailable() const;
    std::vector<TZellhopPos*> TakeHint();
    // The hint taken in this turn, while the player has done nothing since.
    std::vector<const TZellhopPos*> ShownHint() const;

    // --- Games kept in files -------------------------------------------------
    // The game as a record: the seats as they were played, the line, and a
    // hint taken in the turn under way.
    SavedGame Saved() const;
    // Whether there is a game to keep, and no move is being shown.
    bool CanSave() const;
    // Whether the record replays under the rules from a new game's layout;
    // a LineError names the line at fault.
    static void CheckSavedGame(const SavedGame& record);
    // The game of a record, at the position after its last turn; seats
    // open or remote in it are the computer's now, and play goes on (a
    // computer seat that has the turn is the next step).  Throws LineError
    // and changes nothing when the record does not replay.
    void OpenSavedGame(const SavedGame& record);

    // --- A game that runs on other programs ---------------------------------
    // The running game a host sent to a program that comes (back) into it:
    // the record's turns replayed under the rules, a remote player's hops as
    // they came, then the next turn begun with the hops made in it so far
    // (`underWay`: its seat, turn, marble and holes, none for no hop).  The
    // seats are as this program plays them.  Throws LineError (line 0 for
    // the turn under way) and changes nothing when it does not replay.
    void JoinRunningGame(const SavedGame& record, const TurnRecord& underWay,
                         const SeatKinds& kinds, const std::array<PlayerId, kColours>& players);
    // From the start of the seat's first turn at or after `from`, the seat
    // is played by `kind` (a remote `player`'s, or a human here): a player
    // back in the game.  Every program of the game begins that turn alike,
    // however far each is when it learns of it; what the player sends
    // before then waits for it.
    void ReturnSeat(int colour, SeatKind kind, PlayerId player, TurnPlace from);
    // The turn under way as far as it went (its hops so far), or a turn
    // with no marble when none is under way or it has no hop yet: what
    // JoinRunningGame takes after the record.
    TurnRecord HopsUnderWay() const;
    // The seat's first turn after `after`.
    TurnPlace NextTurnOf(int colour, TurnPlace after) const;
    // Where the game stands: the turn under way, or the one before the first.
    TurnPlace Now() const { return {state_.currentSeat, state_.turnNumber}; }

    // --- What there is to see ---------------------------------------------
    const Board& board() const { return board_; }
    const MarbleList& marbles() const { return marbles_; }
    const GameState& state() const { return state_; }
    const std::vector<TurnRecord>& record() const { return record_; }
    // The colour that won this game, or -1.
    int winner() const { return winner_; }
    // A computer's move is being chosen or shown.
    bool ComputerMoving() const;
    bool ComputerHasTurn() const;
    // The seat NextTurn passes the turn to, and the turn number it shows.
    TurnPlace Upcoming() const;
    bool GameRunning() const {
        return state_.phase != kPhaseNoGame && state_.currentSeat != kNoSeat;
    }
    TZellhopBall* FindBall(int colour, int number) const {
        return marbles_.FindBall(colour, number);
    }

  private:
    struct RuleRefusal;
    // A seat to be played by someone else from one of its turns on.
    struct SeatReturn {
        SeatKind kind = skNone;
        PlayerId player = kNoPlayer;
        int fromTurn = 0;
    };
    // The marbles of the game's start and the turn just before its first.
    struct StartPosition {
        std::vector<PlacedMarble> marbles;
        TurnPlace before;
    };
    // A move shown hole by hole: a computer's, or a turn of the line in a
    // replay.  A wait comes before each hole and after the last one.
    struct ShownMove {
        TZellhopBall* marble = nullptr; // none: a seat that cannot move waits once
        std::vector<TZellhopPos*> path; // the marble's own hole first
        std::size_t placed = 0;         // holes of path reached so far
        bool replay = false;
        int replayedSeat = kNoSeat;
    };

    MatchListener& listener() const;
    bool InTurn() const;
    void BeginTurn();
    void AdvanceSeat();
    void FinishShownMove();
    void FinishComputerMove(const ShownMove& move);
    void Place(TZellhopBall& marble, TZellhopPos& hole);
    void ShowTargets(TZellhopBall& marble);
    void HideTargets(TZellhopBall& marble);
    void Select(TZellhopBall& marble);
    void TakeMarblesOff();
    void ClearBoard();
    void LayOut();

    void ApplyRemoteSteps();
    bool HasTurn(PlayerId sender) const;
    void ApplyRemoteMove(int number, int direction);
    void HandOverSeats(PlayerId leaver, int reason);

    // History (match_history.cpp).
    bool TurnUnderWay() const;
    bool HistoryAllowed() const;
    int UndoTarget() const;
    int RedoTarget() const;
    TurnPlace Preceding(TurnPlace place) const;
    void RememberStart(TurnPlace before);
    void GoToTurn(int played);
    void Rebuild(const std::vector<TurnRecord>& line, int played);
    void ReplayTurn(const TurnRecord& turn);
    void ReplayHops(const TurnRecord& turn, bool remote);
    void LoadRunning(const SavedGame& record, const TurnRecord& underWay);
    void TakeReturnedSeat();
    bool Heard(PlayerId player) const;
    void FinishReplayStep(int seat);
    void ShowRebuiltPosition();
    void Load(const SavedGame& record);

    Board board_;
    MarbleList marbles_;
    std::array<Seat, kColours> seats_{};
    GameState state_;
    MatchListener* listener_ = nullptr;

    // The landing holes of the current human turn.
    PathTree path_;
    std::vector<Target> shownTargets_;
    std::vector<TurnRecord> record_;
    int winner_ = -1;
    // The line is replayed from here, with the seat kinds it was played
    // with (a remote player's hops were taken as they came) and whether
    // jumping back was allowed at any time in it.
    StartPosition start_;
    SeatKinds playedKinds_{};
    bool jumpBackInRecord_ = false;
    std::vector<TurnRecord> ahead_;
    // The hint of the turn under way: the turn it was taken in (the
    // record's length then) and its holes.
    std::size_t hintTurn_ = 0;
    std::vector<const TZellhopPos*> hint_;

    ComputerLevels levels_{};

    std::optional<ShownMove> shown_;
    // Who plays the turn under way, as its seat was when the turn began: a
    // seat changed in the middle of a turn (a new configuration chosen
    // while a game runs) plays from its next turn on.
    SeatKind turnKind_ = skNone;
    bool turnPlayed_ = false; // the computer seat that has the turn has moved
    std::shared_ptr<std::atomic<bool>> searchStop_ = std::make_shared<std::atomic<bool>>(false);
    bool halted_ = false;

    RemoteSteps remoteSteps_;
    std::array<std::optional<SeatReturn>, kColours> returns_;
};
