// The main window: the board picture with its marbles and target markers,
// the menu and its actions, the status bar, and the state of the running
// game.  It owns every long-lived object of the program.
#pragma once

#include "board.h"
#include "game_state.h"
#include "marble.h"
#include "path_tree.h"
#include "seat.h"

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class MarbleView;
class PictureWidget;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QStatusBar;
class QTimer;
class TAboutBox;
class TfOptions;
class TfPlayers;
class UserPrompts;

inline constexpr int kStatusPanels = 3;
inline constexpr int kTargetMarkers = 6; // a marble has at most one target per direction

// What ShowTargets does with a marble's targets.
enum TargetsMode { kHideTargets = 0, kShowTargets = 1, kCountTargets = 2 };

class TfMain : public QMainWindow {
    Q_OBJECT
  public:
    // Message boxes go through `prompts` (not owned), or through real
    // message boxes when none is given.
    explicit TfMain(UserPrompts* prompts = nullptr, QWidget* parent = nullptr);
    ~TfMain() override;

    // The board and the game.
    Board holes;
    MarbleList marbles;
    std::array<Seat, kColours> seats;
    GameState state;
    bool closing = false;
    bool paused = false;
    bool computerMoving = false;
    bool interruptRequested = false;
    // The landing holes of the current human turn (the computer searches in
    // a tree of its own).
    PathTree tv;

    // The lobby session.
    int32_t lobbyGameNumber = 0;
    int32_t lobbyPlayerNumber = 0;
    std::string sessionId;  // at most 32 characters
    std::string nickname;   // at most 16 characters
    std::string clientName; // the whole name the peers are told

    // Controls, all owned by the window.
    QLabel* imMain;
    QLabel* lblYourTurn;
    std::array<PictureWidget*, kTargetMarkers> targetMarkers;
    QStatusBar* sb;
    std::array<QLabel*, kStatusPanels> sbPanels;
    QPlainTextEdit* mLog;
    QLineEdit* eChat;
    QTimer* tm;
    QTimer* tmrRefreshGame;

    // The actions and the menu.
    QAction* aNewGame;
    QAction* aEndGame;
    QAction* aJoinGame;
    QAction* aExit;
    QAction* aEndTurn;
    QAction* aAbout;
    QAction* aPause;
    QMenu* File1;
    QMenu* Game1;
    QMenu* Play1;
    QMenu* N1;
    QAction* TavloLogin1;
    QAction* Options1;

    // The dialogs, created after the main window (see CreateWindows).
    QPointer<TfOptions> fOptions;
    QPointer<TfPlayers> fPlayers;
    QPointer<TAboutBox> AboutBox;

    // The seat panel: one pin and one name per taking-part seat.
    std::vector<QPointer<PictureWidget>> seatPictures;
    std::vector<QPointer<QLabel>> seatLabels;

    // The board picture's place in the client area, for ScreenPos.
    PictureRect BoardRect() const;
    // Moves a picture so that it is centred on the hole.
    void CentreOnHole(QWidget& picture, const TZellhopPos& hole) const;

    void SetStatusText(int panel, const QString& text);
    QString StatusText(int panel) const;
    UserPrompts& Prompts() const { return prompts_; }

    // Settings: read once after every window exists, written at close.
    void LoadSettings();
    void SaveSettings();

    // The game flow.
    void NextTurn();
    bool ConfigureGame();
    // Publishes a configuration with Open seats in the lobby; answers
    // whether a local game starts now, which it never does.
    bool PublishGame(int openSeats);
    void RefreshGame(int32_t newPlayer, int32_t newGameState, int32_t winner);
    void SetMultiplayerView(bool on);
    void BuildSeatPanel();
    void ClearSeatPanel();
    void RemoveAllMarbles();
    bool CheckWin();

    // The marbles and a human's move.
    void CreateBalls(TZellhopPos* tip, int colour);
    // Gives a marble already in `marbles` its picture, on its hole: for
    // positions that do not come from a new game's layout.
    void ShowMarble(TZellhopBall& marble);
    void PlaceBall(TZellhopBall& marble, TZellhopPos& hole);
    int ShowTargets(TZellhopBall& marble, TargetsMode mode);
    void MarbleClick(TZellhopBall& marble);
    void BallSelected(TZellhopBall& marble);
    void FinishMove(TZellhopBall& marble);
    void Praise(int index);
    // The marble's picture, or none.
    PictureWidget* MarblePicture(const TZellhopBall& marble) const;
    // The hole target marker k stands on while it is shown.
    TZellhopPos* MarkerHole(int marker) const { return markerTargets_.at(marker).hole; }

    // The computer's move for the seat to play.
    void ComputerMove();

  signals:
    // A wait of the computer's move begins (the tests count them).
    void stepWaitStarted();

  public slots:
    void aNewGameExecute();
    void aEndGameExecute();
    void aJoinGameExecute();
    void aExitExecute();
    void aEndTurnExecute();
    void aAboutExecute();
    void aPauseExecute();
    void TavloLogin1Click();
    void Options1Click();
    void MarkerClick(int marker);
    void tmTimer();
    void tmrRefreshGameTimer();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void CreateControls();
    void CreateActions();
    void CreateMenu();
    void FormCreate();
    void FormResize();
    void FormCloseQuery();
    void FormDestroy();
    // Puts every marble on its own hole again, after the board has moved.
    void PlaceAllMarbles();
    void ApplyOptions();

    // The turn loop's steps.
    bool BeginTurn();
    bool ComputerHasTurn() const;
    bool ClicksRefused() const;

    // Online play sends the end of a local human's turn and each of its
    // hops to the peers; without peers nothing goes out.
    void SendEndTurn();
    void SendMove(int number, int direction);

    // Showing the computer's chosen move hole by hole.
    void ShowComputerMove(TZellhopBall& marble, const std::vector<TZellhopPos*>& path);
    bool WaitOnce(uint64_t game);
    bool MoveAbandoned(uint64_t game) const;

    struct MarkerTarget {
        TZellhopPos* hole = nullptr;
        int direction = 0;
    };
    std::array<MarkerTarget, kTargetMarkers> markerTargets_{};
    std::map<const TZellhopBall*, std::unique_ptr<MarbleView>> marbleViews_;
    // Grows whenever the marbles are taken off the board (a new game, the
    // end of a game, a win), so that a computer move or a click handler
    // that was running learns that its marbles are gone.
    uint64_t gameGeneration_ = 0;

    std::unique_ptr<UserPrompts> ownPrompts_;
    UserPrompts& prompts_;
};
