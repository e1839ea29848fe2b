// The main window: the board picture with its marbles and target markers,
// the menu and its actions, the status bar, and the state of the running
// game.  It owns every long-lived object of the program.
#pragma once

#include "board.h"
#include "game_state.h"
#include "marble.h"
#include "seat.h"

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <memory>
#include <string>

class PictureWidget;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QStatusBar;
class QTimer;
class TAboutBox;
class UserPrompts;

inline constexpr int kStatusPanels = 3;
inline constexpr int kTargetMarkers = 6; // a marble has at most one target per direction

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

    // The lobby session.
    int32_t lobbyGameNumber = 0;
    int32_t lobbyPlayerNumber = 0;
    std::string sessionId; // at most 32 characters
    std::string nickname;  // at most 16 characters

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
    QPointer<TAboutBox> AboutBox;

    // The board picture's place in the client area, for ScreenPos.
    PictureRect BoardRect() const;
    // Moves a picture so that it is centred on the hole.
    void CentreOnHole(QWidget& picture, const TZellhopPos& hole) const;

    void SetStatusText(int panel, const QString& text);
    QString StatusText(int panel) const;

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

    std::unique_ptr<UserPrompts> ownPrompts_;
    UserPrompts& prompts_;
};
