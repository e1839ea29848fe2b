// A game of Zellhop as data: the board, the six seats, the marbles, whose
// turn it is and its phase, and the record of every hop.  It holds the one
// turn loop of the program: the window, zellhop-selfplay, the benchmark and
// the tests all play through it.  It knows nothing of how it is shown; it
// tells a MatchListener what happened and lets it pace the computer's moves.
//
// Views may run their event loop inside some listener calls (see
// match_listener.h), so every operation here may be entered again from
// inside another: a generation counter, grown whenever the game is ended
// or replaced, lets an operation that was interrupted see that its game is
// gone and stop without touching anything.
#pragma once

#include "board.h"
#include "computer_level.h"
#include "computer_player.h"
#include "game_state.h"
#include "marble.h"
#include "move_record.h"
#include "path_tree.h"
#include "rules.h"
#include "saved_game.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

class MatchListener;

// A marble put on the board by hand (a position, a test).
struct PlacedMarble {
    int colour = 0;
    int number = 0;
    LatticePoint at;
};

class Match {
  public:
    // How the computer chooses a seat's move, in place of
    // ChooseMoveAtLevel at the seat's LevelOf.  It may run events (a search
    // on another thread while the window waits): the game checks afterwards
    // whether it still wants the answer.
    using MoveChooser =
        std::function<ComputerChoice(const MarbleList&, const HomeHoles&, int seat)>;

    explicit Match(MatchListener* listener = nullptr);
    Match(const Match&) = delete;
    Match& operator=(const Match&) = delete;

    void SetListener(MatchListener* listener) { listener_ = listener; }
    void SetJumpBackAllowed(bool allowed);
    void SetMoveChooser(MoveChooser choose);

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
    // Set once this game's marbles are taken off or the program halts: a
    // search for one of its moves, on any thread, may stop then.
    std::shared_ptr<const std::atomic<bool>> SearchStop() const { return searchStop_; }

    // --- The course of a game -------------------------------------------
    // A new game: every taking-part colour laid out on its star point, the
    // turn just before the first one.  Plays nothing: NextTurn does.
    void NewGame();
    // The marbles of a position replace those on the board; seats and turn
    // stay.  The record starts again from this position.
    void ReplaceMarbles(const std::vector<PlacedMarble>& marbles);
    // The turn just before the first one, as a new game has it.
    void RestartTurns();
    // A position text (see position_file.h) with a computer on every colour
    // present; NextTurn plays the colour it names first, in turn 1.  Throws
    // PositionFileError and leaves the game as it was on a bad text.
    void StartFromPosition(std::string_view text);
    // The turn loop: ends the current turn and passes the turn on, playing
    // every computer seat it meets (at most `computerTurns` of them), until
    // a human here or a remote player has the turn, the game is won or
    // ended, or the program closes.
    void NextTurn();
    void NextTurn(int computerTurns);
    // Ends the game when a colour has filled its target star point; true
    // then.  Every move runs it.
    bool CheckWin();
    // End Current Game: no game any more, the marbles taken off.
    void EndGame();
    // The program closes: whatever runs stops at its next check.
    void Halt();
    bool Halted() const { return halted_; }

    // --- A human at this computer ----------------------------------------
    // A click on a marble: its targets shown or hidden; a second click on
    // the marble that moved ends the turn.
    void ClickMarble(TZellhopBall& marble);
    // A click on target k of those shown: the selected marble hops there.
    void ClickTarget(int k);
    // The targets the markers show, in marker order; empty when hidden.
    const std::vector<Target>& ShownTargets() const { return shownTargets_; }
    // Whether a click would be refused now: no human move may interleave
    // with a computer's move, whose waits let the window handle clicks,
    // and a computer seat's marbles are the computer's to move.
    bool ClicksRefused() const { return computerMoving_ || ComputerHasTurn(); }

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
    void ForgetRemoteSteps() { remoteSteps_.clear(); }

    // --- The record as a line of turns: undo, redo, replay -----------------
    // The record holds the turns played up to the position shown and the
    // turn under way; turns taken back lie ahead until a new move replaces
    // them (a new branch).  Every position is rebuilt by replaying the
    // line from the game's start.  None of this works while a move is
    // being shown or a remote player takes part.
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
    // computer seat that has the turn plays at once).  Throws LineError and
    // changes nothing when the record does not replay.
    void OpenSavedGame(const SavedGame& record);

    // --- What there is to see ---------------------------------------------
    const Board& board() const { return board_; }
    const MarbleList& marbles() const { return marbles_; }
    const GameState& state() const { return state_; }
    const std::vector<TurnRecord>& record() const { return record_; }
    // The colour that won this game, or -1.
    int winner() const { return winner_; }
    bool ComputerMoving() const { return computerMoving_; }
    bool ComputerHasTurn() const;
    // The seat NextTurn passes the turn to, and the turn number it shows.
    struct TurnPlace {
        int seat = kNoSeat;
        int turnNumber = 0;
    };
    TurnPlace Upcoming() const;
    bool GameRunning() const {
        return state_.phase != kPhaseNoGame && state_.currentSeat != kNoSeat;
    }
    TZellhopBall* FindBall(int colour, int number) const {
        return marbles_.FindBall(colour, number);
    }
    // Grows whenever the marbles of a game are taken off or replaced.
    uint64_t generation() const { return generation_; }

  private:
    struct RemoteStep {
        enum Kind { kMove, kEndTurn, kLeave };
        PlayerId sender = kNoPlayer;
        Kind kind = kEndTurn;
        int number = 0;
        int direction = 0;
        int reason = 0; // of a leave
    };

    // The marbles of the game's start and the turn just before its first.
    struct StartPosition {
        std::vector<PlacedMarble> marbles;
        TurnPlace before;
    };

    MatchListener& listener() const;
    bool BeginTurn();
    bool TurnMayBegin();
    void AdvanceSeat();
    void ComputerMove();
    void ShowComputerMove(TZellhopBall& marble, const std::vector<TZellhopPos*>& path);
    bool ShowMove(TZellhopBall& marble, const std::vector<TZellhopPos*>& path);
    bool Wait(uint64_t game);
    bool Abandoned(uint64_t game) const { return halted_ || game != generation_; }
    void Place(TZellhopBall& marble, TZellhopPos& hole);
    void ShowTargets(TZellhopBall& marble);
    void HideTargets(TZellhopBall& marble);
    void FinishMove(TZellhopBall& marble);
    void Select(TZellhopBall& marble);
    void TakeMarblesOff();
    void ClearBoard();
    void LayOut();

    void QueueRemoteStep(const RemoteStep& step);
    void ApplyRemoteSteps();
    std::deque<RemoteStep>::iterator NextRemoteStep();
    bool HasTurn(PlayerId sender) const;
    void ApplyRemoteMove(int number, int direction);
    void HandOverSeats(PlayerId leaver, int reason);

    // History (match_history.cpp).
    bool Busy() const;
    bool TurnUnderWay() const;
    bool HistoryAllowed() const;
    int UndoTarget() const;
    int RedoTarget() const;
    TurnPlace Preceding(TurnPlace place) const;
    void RememberStart(TurnPlace before);
    void GoToTurn(int played);
    void Rebuild(const std::vector<TurnRecord>& line, int played);
    void ReplayTurn(const TurnRecord& turn);
    bool AnnounceTurn();
    void ShowRebuiltPosition();
    void PlayOn();
    void Load(const SavedGame& record);

    Board board_;
    MarbleList marbles_;
    std::array<Seat, kColours> seats_{};
    GameState state_;
    MatchListener* listener_ = nullptr;
    MoveChooser choose_;

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

    ComputerLevels levels_{};

    uint64_t generation_ = 0;
    std::shared_ptr<std::atomic<bool>> searchStop_ = std::make_shared<std::atomic<bool>>(false);
    bool halted_ = false;
    bool computerMoving_ = false;
    bool beginningTurn_ = false; // a turn begins and lets its view draw it

    std::deque<RemoteStep> remoteSteps_;
    bool applyingRemoteSteps_ = false;
};
