// The main window: the view of a game and the controller of its input.  It
// draws the board, the marbles, the target markers, the seat panel and the
// status bar from the game model (`Match`), turns clicks, keys and menu
// actions into the model's calls, and lets a TurnDriver take the game's
// steps at the computer's pace.  Online play is the OnlineSession's; the
// window shows its log and forwards the game's messages.  It owns every
// long-lived object of the program.
#pragma once

#include "board.h"
#include "board_layout.h"
#include "board_widget.h"
#include "held_input.h"
#include "match.h"
#include "match_listener.h"
#include "online_session.h"
#include "picture_widget.h"
#include "play_aids.h"
#include "seat_panel.h"
#include "turn_driver.h"

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class MarblePictures;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QStatusBar;
class QTimer;
class TAboutBox;
class TfGamelist;
class TfOptions;
class TfPlayers;
class TfTavloLogin;
class UserPrompts;

inline constexpr int kStatusPanels = 3;
inline constexpr int kTargetMarkers = 6;       // a marble has at most one target per direction
inline constexpr int kDefaultStepDelay = 1000; // ms between the computer's steps

// The dialogs of the main window, created after it (see CreateWindows).
struct MainDialogs {
    QPointer<TfOptions> options;
    QPointer<TfPlayers> players;
    QPointer<TAboutBox> about;
    QPointer<TfTavloLogin> login;
    QPointer<TfGamelist> gamelist;
};

class TfMain : public QMainWindow, private MatchListener {
    Q_OBJECT
  public:
    // Message boxes go through `prompts` (not owned), or through real
    // message boxes when none is given.
    explicit TfMain(UserPrompts* prompts = nullptr, QWidget* parent = nullptr);
    ~TfMain() override;

    // The game shown.  New Game, an online start and opening a game
    // replace it; whatever changes it, the window follows.
    Match& game() { return *game_; }
    const Match& game() const { return *game_; }
    // The game waits for a player (or there is none): no computer move is
    // being searched or shown.
    bool TurnsSettled() const { return driver_->Idle(); }

    void SetDialogs(const MainDialogs& dialogs) { dialogs_ = dialogs; }
    const MainDialogs& dialogs() const { return dialogs_; }
    UserPrompts& Prompts() const { return prompts_; }

    // What the window shows.
    QString StatusText(int panel) const;
    // The board picture's place in the client area, for ScreenPos.
    PictureRect BoardRect() const;
    // The marble's picture, or none.
    PictureWidget* MarblePicture(const TZellhopBall& marble) const;
    // Target marker k and the hole it stands on while it is shown.
    PictureWidget* TargetMarker(int k) const { return targetMarkers_.at(k); }
    TZellhopPos* MarkerHole(int k) const;
    // Moves a picture so that it is centred on the hole.
    void CentreOnHole(QWidget& picture, const TZellhopPos& hole) const;

    // The window's flags: the program closes, Pause holds the computer, New
    // Game skips the player dialog (an online start).
    bool Closing() const { return closing_; }
    bool Paused() const { return paused_; }
    bool InterruptRequested() const { return interruptRequested_; }
    // The computer's pause between two steps, in ms.
    int StepDelay() const { return stepDelay_; }
    void SetStepDelay(int ms) { stepDelay_ = ms; }
    // The search that finds the computer's moves on the worker thread
    // (ChooseLevelMove; a test gives one that takes long).
    void SetLevelSearch(TurnDriver::Search search) { levelSearch_ = std::move(search); }

    // Runs an event handler; an error that leaves it is shown in a message
    // box and the program goes on.
    void ShowingErrors(const std::function<void()>& handler);
    // Appends a line to the game log.
    void Log(const QString& line);

    // Settings: read once after every window exists, written at close.
    void LoadSettings();
    void SaveSettings();
    // The lobby's "host[:port]" (also the web host of the links) and the
    // dotted address to go out from, into the messaging component, the
    // HTTP client and the links.
    void SetOnlineSettings(const std::string& lobbyHost, const std::string& localAddress);
    void ApplyOnlineSettings();
    // The login dialog's lobby logged in to: the lobby from now on, kept in
    // the settings file at once with the lobbies used before.
    void KeepLobby(const std::string& lobbyHost, const std::vector<std::string>& used);
    const std::string& LobbyHost() const { return lobbyHost_; }

    // Online play: the peers, the lobby's HTTP client and the session.
    OnlineSession& Online() { return online_; }
    TQComm& Messaging() { return online_.Messaging(); }
    const TQComm& Messaging() const { return online_.Messaging(); }
    THttpClient& LobbyHttp() { return online_.LobbyHttp(); }
    LobbySession& Session() { return online_.Lobby(); }
    const LobbySession& Session() const { return online_.Lobby(); }
    // The login dialog's request, which its Cancel ends at once.
    void LoginRequest(const std::string& target, std::function<void(const std::string&)> reply,
                      std::function<void(const std::string&)> failure);
    void CancelLoginRequest();
    // A lobby request is under way.
    bool WaitingForLobby() const { return online_.Requests().Busy(); }
    // Tests: the target of every lobby request, as it starts.
    std::function<void(const std::string& target)> OnLobbyRequest;
    // An online game as it starts on every program: the seats as the host
    // gave them, no dialog.
    void StartOnlineGame(const SeatKinds& kinds, const std::array<TpContact, kColours>& players);
    // The contact of a seat's remote player, or none.
    TpContact SeatContact(int colour) const { return online_.SeatContact(colour); }
    // The seat panel's name of a colour, or none when it has no line.
    QLabel* SeatNameLabel(int colour) const { return seatPanel_->NameLabel(colour); }
    PictureWidget* SeatIndicator(int colour) const { return seatPanel_->Indicator(colour); }

    // Games kept in files: opened (replacing the game shown, as New Game
    // does) or saved; a failure is shown in a message box.
    void OpenGame(const QString& fileName);
    void SaveGame(const QString& fileName);
    // Where the keyboard cursor stands, and the hint shown; none when not
    // shown.
    const TZellhopPos* KeyboardCursor() const { return playAids_->KeyboardCursor(); }
    std::vector<const TZellhopPos*> ShownHint() const { return game_->ShownHint(); }

  signals:
    // A wait of the computer's move begins (the tests count them).
    void stepWaitStarted();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void SetStatusText(int panel, const QString& text);
    void CreateControls();
    void CreateActions();
    void CreateMenu();
    void FormCreate();
    void FormResize();
    void FormCloseQuery();
    void FormDestroy();
    void ApplyOptions();
    // Puts the shown target markers in their places again, after the board
    // or the pins changed size.
    void PlaceMarkers();

    // The actions.
    void aNewGameExecute();
    void aEndGameExecute();
    void aJoinGameExecute();
    void aExitExecute();
    void aEndTurnExecute();
    void aAboutExecute();
    void aPauseExecute();
    void TavloLogin1Click();
    void Options1Click();
    void MarbleClick(const TZellhopBall& marble);
    void MarkerClick(int marker);
    void tmrRefreshGameTimer();

    // The game flow.
    void ReplaceGame();
    void NewGame();
    void ConfigureGame();
    void Published(bool published);
    void OnlineGameStarts(const SeatKinds& kinds, const std::array<PlayerId, kColours>& players);
    OnlineSession::View OnlineView(); // what the session asks of the window
    void JoinRunningOnline(const TTakenGame& game);
    void ChooseGameToJoin(const std::vector<TGameListEntry>& games);
    OnlineSession::Login ShowLogin();
    void SetMultiplayerView(bool on);
    void BuildSeatPanel();
    void ShowWin(int colour);
    void SearchStarted(ComputerLevel level);
    void SearchEnded(ComputerLevel level, bool moved);
    void ShowThinking();
    void EndThinking();

    // Input that would change the game or ask the lobby again waits for a
    // lobby request under way: runs `input` at once, or keeps it for the
    // request's end; true when it was kept.
    bool HeldForLobby(std::function<void()> input);
    void LobbyBusyChanged(bool busy);

    // The pictures of the game.
    void RemoveMarblePictures();
    void ShowTargetMarkers();

    // Undo and redo, the hint, the replay, games in files, the marks on the
    // board and keyboard play (main_window_history.cpp).
    void CreatePlayAids();
    void StartSavedGame(const SavedGame& record);
    void UpdatePlayAids() { playAids_->Update(); }
    void NameTarget(int k);

    // What the game tells its view.
    void StepReady() override;
    void MarblesChanged() override;
    void MarblePlaced(const TZellhopBall& marble) override;
    void TargetsChanged() override;
    void MarbleSelected(const TZellhopBall& marble) override;
    void HumanHopped(int praiseIndex) override;
    void TurnEnded(int seat) override;
    void TurnBeginning(int seat) override;
    void TurnBegan(int seat) override;
    void ComputerMoveStarting(const TZellhopBall& marble) override;
    void ComputerMoveShown(const TZellhopBall& marble) override;
    void ComputerMoveCompleted() override;
    void ComputerTurnOver() override;
    void SendMove(int number, int direction) override;
    void SendEndTurn() override;
    void Won(int colour) override;
    void GameOver() override;
    void SeatHandedOver(int colour) override;
    void RemoteStepPlayed(const RemoteStep& step, int seat) override;
    void PlayerGone(PlayerId player, int reason) override;
    void PositionChanged() override;

    // Enter in the chat field.
    void eChatKeyDown();

    // The game and what takes its steps.
    std::shared_ptr<Match> game_;
    std::unique_ptr<TurnDriver> driver_;
    bool closing_ = false;
    bool paused_ = false;
    bool interruptRequested_ = false;
    int stepDelay_ = kDefaultStepDelay;
    TurnDriver::Search levelSearch_ = [](const SearchPosition& position, ComputerLevel level,
                                         const std::atomic<bool>* stop) {
        return ChooseLevelMove(position, level, stop);
    };
    MarbleSize marbleSize_ = kDefaultMarbleSize; // from the options
    bool pauseBeforeSearch_ = false;             // Pause's state when a search began
    bool thinkingShown_ = false;                 // "The computer is thinking..."
    QString statusBeforeThinking_;

    // Online play: the peers, the lobby and the game protocol.
    OnlineSession online_;
    HeldInput* heldInput_;
    // Settings of online play: the lobby's "host[:port]", which is also the
    // web host of the links, and the dotted address to go out from.
    std::string lobbyHost_;
    std::string localAddress_;
    std::vector<std::string> usedLobbies_; // the last chosen first

    // Controls, all owned by the window.  The board drawn is a board of its
    // own: its holes are the game's at every place, whichever game is shown.
    const Board boardDrawn_;
    BoardWidget* imMain;
    QLabel* lblYourTurn;
    std::array<PictureWidget*, kTargetMarkers> targetMarkers_;
    QStatusBar* sb;
    std::array<QLabel*, kStatusPanels> sbPanels;
    QLabel* sbLobby; // shown while the lobby is asked
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
    PlayAids* playAids_;

    MainDialogs dialogs_;

    std::unique_ptr<SeatPanel> seatPanel_;

    std::unique_ptr<MarblePictures> marbles_;
    // The settings file read at start, written at close.
    std::string settingsPath_;

    std::unique_ptr<UserPrompts> ownPrompts_;
    UserPrompts& prompts_;
};
