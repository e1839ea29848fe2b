// What helps a player read the game and go back in it: undo and redo, the
// hint, the steps of a replay, games kept in files, the marks on the board
// (every seat's last move, the chosen marble, the hint, the keyboard
// cursor) and keyboard play.  The game model does all of it; this turns
// menu entries and keys into its calls and draws what it shows.  Its
// actions belong to the main window, whose menus list them.
#pragma once

#include "board_cursor.h"
#include "board_layout.h"
#include "board_marks.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class Match;
class QAction;
class QLabel;
class QMainWindow;
class QMenu;
class QStatusBar;
class QWidget;
struct TZellhopPos;

class PlayAids : public QObject {
  public:
    // What the aids need of the main window.
    struct Window {
        QMainWindow* window = nullptr;
        QMenu* fileMenu = nullptr;
        QMenu* gameMenu = nullptr;
        QMenu* playMenu = nullptr;
        QStatusBar* statusBar = nullptr;
        QWidget* board = nullptr;     // the board picture, under every mark
        QAction* newGame = nullptr;   // a game opened replaces the game, as New Game does
        std::function<Match&()> game; // the game shown now
        // Runs the input now, or keeps it for the lobby request under way
        // (true then).
        std::function<bool(std::function<void()>)> heldForLobby;
        std::function<void(const std::function<void()>&)> showingErrors;
        std::function<void(const QString& fileName)> openGame;
        std::function<void(const QString& fileName)> saveGame;
        // The keys belong to someone else now (the chat line).
        std::function<bool()> keysTaken;
    };

    explicit PlayAids(Window window);
    ~PlayAids() override;

    // Another game is shown: the cursor follows it, hidden.
    void FollowGame(Match& game);
    // Whatever the game did, the actions, the replay's place and the marks
    // follow it.
    void Update();
    // The board was laid out anew.
    void LayOut(const PictureRect& board);
    // A key pressed in the window; false when it is not one of keyboard
    // play's.
    bool KeyPressed(int key);
    const TZellhopPos* KeyboardCursor() const { return cursor_ ? cursor_->Shown() : nullptr; }
    // Game ▸ Show Last Move.
    bool ShowLastMove() const;
    void SetShowLastMove(bool on);

  private:
    void CreateActions();
    QString AskGameFile(bool saving);
    BoardMarksScene MarksScene();

    Window window_;
    std::unique_ptr<BoardCursor> cursor_;
    QString gameFolder_; // where the last game was opened or saved

    QAction* aOpenGame;
    QAction* aSaveGame;
    QAction* aUndo;
    QAction* aRedo;
    QAction* aHint;
    QAction* aStepBack;
    QAction* aStepForward;
    QAction* aToStart;
    QAction* aToEnd;
    QAction* aShowLastMove;
    // "Replay: move 3 of 40" while turns lie ahead.
    QLabel* sbReplay;
    // The last moves under the marbles; selection, hint and cursor over them.
    BoardMarks* marksUnder_;
    BoardMarks* marksOver_;
};
