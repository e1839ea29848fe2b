// The main window: the board picture with its marbles and target markers,
// the menu and its actions, the status bar, and the state of the running
// game.  It owns every long-lived object of the program.
#pragma once

#include "board.h"
#include "board_layout.h"
#include "board_widget.h"
#include "game_protocol.h"
#include "game_state.h"
#include "http_client.h"
#include "lobby_client.h"
#include "marble.h"
#include "path_tree.h"
#include "qcomm.h"
#include "seat.h"

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
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
class TfGamelist;
class TfOptions;
class TfPlayers;
class TfTavloLogin;
class UserPrompts;

inline constexpr int kStatusPanels = 3;
inline constexpr int kTargetMarkers = 6; // a marble has at most one target per direction
// The peer messaging of the main window.
inline constexpr int kPeerPort = 3237;
inline constexpr uint32_t kPeerTimeout = 2000; // ms

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

    // Online play: the peers of a game (its ClientName is the whole name
    // they are told) and the lobby's HTTP client.
    TQComm hc;
    THttpClient http;

    // The lobby session.
    int32_t lobbyGameNumber = 0;
    int32_t lobbyPlayerNumber = 0;
    std::string sessionId; // at most 32 characters
    std::string nickname;  // at most 16 characters
    // Settings of online play: the lobby's "host[:port]", which is also the
    // web host of the links, and the dotted address to go out from.
    std::string lobbyHost;
    std::string localAddress;

    // Controls, all owned by the window.
    BoardWidget* imMain;
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
    QPointer<TfTavloLogin> fTavloLogin;
    QPointer<TfGamelist> fGamelist;

    // The seat panel: one pin and one name per taking-part seat.
    std::vector<QPointer<PictureWidget>> seatPictures;
    std::vector<QPointer<QLabel>> seatLabels;

    // The board picture's place in the client area, for ScreenPos.
    PictureRect BoardRect() const;
    // Moves a picture so that it is centred on the hole.
    void CentreOnHole(QWidget& picture, const TZellhopPos& hole) const;
    // Lays the seat panel's lines out for the size of its pins.
    void PlaceSeatPanel();

    void SetStatusText(int panel, const QString& text);
    QString StatusText(int panel) const;
    UserPrompts& Prompts() const { return prompts_; }
    // Runs an event handler; an error that leaves it is shown in a message
    // box and the program goes on.
    void ShowingErrors(const std::function<void()>& handler);
    // Appends a line to the game log.
    void Log(const QString& line);

    // Settings: read once after every window exists, written at close.
    void LoadSettings();
    void SaveSettings();

    // The settings of online play into the messaging component, the HTTP
    // client and the links.
    void ApplyOnlineSettings();

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

    // The lobby.
    std::string LobbyGet(const std::string& target);
    bool ShowLogin();
    // A successful login's session, from the login dialog.
    void LoggedIn(const TLoginReply& reply, const std::string& userName);

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

    // The messaging component's events.
    void hcNewClient(const TQMsg& aMsg, const TpContact& aContact);
    void hcGotMsg(const TQMsg& aMsg, const TpContact& aContact);
    void hcGotAck(const TQMsg& aMsg, const TpContact& aContact);
    void hcConnectionSuccess();
    void hcConnectionFailed(const TpContact& aContact, int aReason);
    void hcClientDisconnection(const TpContact& aContact, int aReason);
    void hcTimeout(const TQMsg& aMsg, const TpContact& aContact);
    void hcConnected();
    // Enter in the chat field.
    void eChatKeyDown();

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
    // Where this program stands in an online game.
    enum class Online {
        kOff,         // no online game
        kHostWaiting, // published, admitting players to the Open seats
        kJoining,     // connecting to a host, or waiting for its start
        kPlaying,     // the game started on every program
    };
    // A hop or an end of turn of a remote player, waiting until this
    // program has reached his turn; or his leave, waiting behind them.
    struct RemoteStep {
        TpContact sender;
        int kind = gmEndTurn; // gmMove, gmEndTurn or kLeaveStep
        TGameMove move;
        int reason = 0; // of a leave
    };
    static constexpr int kLeaveStep = -1;

    void CreateControls();
    void CreateActions();
    void CreateMessaging();
    void CreateMenu();
    void FormCreate();
    void FormResize();
    void FormCloseQuery();
    void FormDestroy();
    // Puts every marble on its own hole again, after the board has moved.
    void PlaceAllMarbles();
    // The same for the target markers that are shown.
    void PlaceMarkers();
    void ApplyOptions();
    MarbleSize marbleSize_ = kDefaultMarbleSize; // from the options

    // The turn loop's steps.
    bool BeginTurn();
    bool ComputerHasTurn() const;
    bool ClicksRefused() const;

    // Online play sends the end of a local human's turn and each of its
    // hops to the peers; without peers nothing goes out.
    void SendEndTurn();
    void SendMove(int number, int direction);

    // Online play.
    void SeatJoiner(const TpContact& joiner);
    void StartHostedGame();
    void StartOnlineGame();
    void TakeSeat(const TQMsg& msg);
    void TakeSeatTable(const TQMsg& msg, const TpContact& host);
    void QueueRemoteStep(const TQMsg& msg, const TpContact& sender);
    void ApplyRemoteSteps();
    std::deque<RemoteStep>::iterator NextRemoteStep();
    bool HasTurn(const TpContact& sender) const;
    bool HoldsRemoteSeat(const TpContact& sender) const;
    void ApplyRemoteMove(const TGameMove& move);
    void HandOverSeats(const TpContact& leaver, int reason);
    bool IsContact(const TpContact& contact) const;
    void ForgetPeers();
    void RefreshGameShowingErrors(int32_t newPlayer, int32_t newGameState, int32_t winner);
    bool PublishOnce(const std::string& playersText, int32_t& gameNumber);
    bool ListGames(std::vector<TGameListEntry>& games);

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

    Online online_ = Online::kOff;
    TpContact hostContact_; // the host this program joined
    std::deque<RemoteStep> remoteSteps_;
    bool applyingRemoteSteps_ = false;
    bool beginningTurn_ = false; // a turn begins and waits for its status to be drawn
    // Remote seats whose player's contact was not yet known at the start.
    std::array<std::string, kColours> awaitedAddresses_;
    // The settings file read at start, written at close.
    std::string settingsPath_;

    std::unique_ptr<UserPrompts> ownPrompts_;
    UserPrompts& prompts_;
};
