// The main window: the view and controller of a game.  It draws the board,
// the marbles, the target markers, the seat panel and the status bar from
// the game model (`Match`), turns clicks and menu actions into the model's
// calls, paces the computer's moves with its timer, and carries the
// model's messages to the peers of an online game and theirs back.  It
// owns every long-lived object of the program.
#pragma once

#include "board.h"
#include "board_cursor.h"
#include "board_layout.h"
#include "board_marks.h"
#include "board_widget.h"
#include "game_protocol.h"
#include "http_client.h"
#include "lobby_client.h"
#include "lobby_requester.h"
#include "match.h"
#include "match_listener.h"
#include "picture_widget.h"
#include "qcomm.h"

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
inline constexpr int kDefaultStepDelay = 1000; // ms between the computer's steps

// The lobby session: who this program is logged in as, and the game it
// published.
struct LobbySession {
    int32_t gameNumber = 0;
    int32_t playerNumber = 0;
    std::string sessionId; // at most 32 characters
    std::string nickname;  // at most 16 characters
};

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

    // The game shown.  Whatever changes it, the window follows.
    Match& game() { return game_; }
    const Match& game() const { return game_; }

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
    // The search a stronger level's move runs on the worker thread
    // (ChooseLevelMove; a test gives one that takes long).
    using LevelSearch = std::function<LevelMove(const SearchPosition&, ComputerLevel,
                                                const std::atomic<bool>* stop)>;
    void SetLevelSearch(LevelSearch search) { levelSearch_ = std::move(search); }

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
    const std::string& LobbyHost() const { return lobbyHost_; }

    // Online play: the peers, the lobby's HTTP client and the session.
    TQComm& Messaging() { return hc; }
    const TQComm& Messaging() const { return hc; }
    THttpClient& LobbyHttp() { return http; }
    LobbySession& Session() { return session_; }
    const LobbySession& Session() const { return session_; }
    // A lobby request: the reply's body, or the HTTP client's error.  The
    // window goes on meanwhile (datagrams, timers, repaints) and holds
    // whatever input would change the game or ask the lobby again.
    std::string LobbyGet(const std::string& target);
    // The login dialog's request, which its Cancel ends at once.
    std::string LoginRequest(const std::string& target);
    void CancelLoginRequest();
    // A lobby request is under way.
    bool WaitingForLobby() const { return lobby.Busy(); }
    // Tests: the target of every lobby request, as it starts.
    std::function<void(const std::string& target)> OnLobbyRequest;
    // A successful login's session, from the login dialog.
    void LoggedIn(const TLoginReply& reply, const std::string& userName);
    // An online game as it starts on every program: the seats as the host
    // gave them, no dialog.
    void StartOnlineGame(const SeatKinds& kinds, const std::array<TpContact, kColours>& players);
    // The contact of a seat's remote player, or none.
    TpContact SeatContact(int colour) const;
    // The seat panel's name of a colour, or none when it has no line.
    QLabel* SeatNameLabel(int colour) const { return seatLines_.at(colour).nameLabel; }
    PictureWidget* SeatIndicator(int colour) const { return seatLines_.at(colour).indicator; }

    // Games kept in files: opened (replacing the game shown, as New Game
    // does) or saved; a failure is shown in a message box.
    void OpenGame(const QString& fileName);
    void SaveGame(const QString& fileName);
    // Where the keyboard cursor stands, and the hint shown; none when not
    // shown.
    const TZellhopPos* KeyboardCursor() const;
    const std::vector<const TZellhopPos*>& ShownHint() const { return hint_.path; }

  signals:
    // A wait of the computer's move begins (the tests count them).
    void stepWaitStarted();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // Where this program stands in an online game.
    enum class Online {
        kOff,         // no online game
        kHostWaiting, // published, admitting players to the Open seats
        kJoining,     // connecting to a host, or waiting for its start
        kPlaying,     // the game started on every program
    };
    // One line of the seat panel.
    struct SeatPanelLine {
        QPointer<PictureWidget> indicator; // the seat's pin
        QPointer<QLabel> nameLabel;
    };

    void SetStatusText(int panel, const QString& text);
    void CreateControls();
    void CreateActions();
    void CreateMessaging();
    void CreateMenu();
    void FormCreate();
    void FormResize();
    void FormCloseQuery();
    void FormDestroy();
    void ApplyOptions();
    // Puts the shown target markers and the seat panel's lines in their
    // places again, after the board or the pins changed size.
    void PlaceMarkers();
    void PlaceSeatPanel();

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
    void tmTimer();
    void tmrRefreshGameTimer();

    // The game flow.
    void NewGame();
    bool ConfigureGame();
    // Publishes a configuration with Open seats in the lobby; answers
    // whether a local game starts now, which it never does.
    bool PublishGame(int openSeats);
    void RefreshGame(int32_t newPlayer, int32_t newGameState, int32_t winner);
    void SendReports();
    bool AtRest() const;
    void LobbyBusyChanged(bool busy);
    // Runs `input` at once, or keeps it for the end of the lobby request
    // under way; true when it was kept.
    bool HeldForLobby(std::function<void()> input);
    void ReplayHeldInput();
    bool PublishOnce(const std::string& playersText, int32_t& gameNumber);
    bool ListGames(std::vector<TGameListEntry>& games);
    bool ShowLogin();
    void SetMultiplayerView(bool on);
    void BuildSeatPanel();
    void ClearSeatPanel();
    void SetSeatName(int colour, const QString& name);

    // The pictures of the game.
    void ShowMarbles();
    void RemoveMarblePictures();
    void PlaceMarble(const TZellhopBall& marble);
    void PlaceAllMarbles();
    void ShowTargetMarkers();
    void ShowPin(const TZellhopBall& marble, int picture);

    // What helps a player read and replay the game: undo and redo, the
    // hint, the steps of a replay, games in files, the marks on the board
    // and the keyboard cursor (main_window_history.cpp).
    void CreatePlayAids();
    void aOpenGameExecute();
    void aSaveGameExecute();
    void aHintExecute();
    QString AskGameFile(bool saving);
    void StartSavedGame(const SavedGame& record);
    void History(void (Match::*step)());
    void LayOutMarks();
    void UpdatePlayAids();
    BoardMarksScene MarksScene();
    bool KeyboardPlay(int key);
    void NameMarble(const TZellhopBall& marble);
    void NameTarget(int k);

    // The computer's choice of a move, and its waits.
    ComputerChoice ChooseMove(const MarbleList& marbles, const HomeHoles& homeHoles, int seat);
    ComputerChoice SearchOffThread(const MarbleList& marbles, const HomeHoles& homeHoles, int seat,
                                   ComputerLevel level);
    bool WaitOnce(uint64_t game);
    bool MoveAbandoned(uint64_t game) const;

    // What the game tells its view.
    void MarblesChanged() override;
    void MarblePlaced(const TZellhopBall& marble) override;
    void TargetsChanged() override;
    void MarbleSelected(const TZellhopBall& marble) override;
    void HumanHopped(int praiseIndex) override;
    void TurnEnded(int seat) override;
    bool TurnBeginning(int seat) override;
    void TurnBegan(int seat) override;
    void ComputerMoveStarting(const TZellhopBall& marble) override;
    bool ComputerWait() override;
    void ComputerMoveShown(const TZellhopBall& marble) override;
    void ComputerMoveCompleted() override;
    void ComputerTurnOver() override;
    void SendMove(int number, int direction) override;
    void SendEndTurn() override;
    void Won(int colour) override;
    void GameOver() override;
    void SeatHandedOver(int colour) override;
    void PlayerGone(PlayerId player, int reason) override;
    void PositionChanged() override;

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

    // Online play.
    void SeatJoiner(const TpContact& joiner);
    void StartHostedGame();
    void TakeSeat(const TQMsg& msg);
    void TakeSeatTable(const TQMsg& msg, const TpContact& host);
    void KeepEarlyStep(const TQMsg& msg, const TpContact& sender);
    void PlayEarlySteps();
    bool IsContact(const TpContact& contact) const;
    void ForgetPeers();
    // The number the game knows a peer by, given on first sight.
    PlayerId PlayerIdOf(const TpContact& contact);
    PlayerId KnownPlayer(const TpContact& contact) const;
    void PlayerGoneLine(const TpContact& contact, int reason);
    TpContact ContactOf(PlayerId player) const;

    // The game.
    Match game_;
    bool closing_ = false;
    bool paused_ = false;
    bool interruptRequested_ = false;
    int stepDelay_ = kDefaultStepDelay;
    LevelSearch levelSearch_ = [](const SearchPosition& position, ComputerLevel level,
                                  const std::atomic<bool>* stop) {
        return ChooseLevelMove(position, level, stop);
    };
    MarbleSize marbleSize_ = kDefaultMarbleSize; // from the options

    // Online play: the peers of a game (its ClientName is the whole name
    // they are told) and the lobby's HTTP client.
    TQComm hc;
    THttpClient http;
    TLobbyRequester lobby{http};
    LobbySession session_;
    // Reports to the lobby that nobody waits for (refreshes, a new player,
    // the start, the winner), sent one at a time when the game is at rest.
    std::deque<std::string> reports_;
    bool sendingReports_ = false;
    bool reportsScheduled_ = false;
    bool loginRequesting_ = false;
    // Our handlers of peer messages and turn drawings under way: no lobby
    // report starts inside them.
    int gameWork_ = 0;
    // Input that came while the lobby was asked, in order.
    std::vector<std::function<void()>> heldInput_;
    // Settings of online play: the lobby's "host[:port]", which is also the
    // web host of the links, and the dotted address to go out from.
    std::string lobbyHost_;
    std::string localAddress_;

    // Controls, all owned by the window.
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
    // Games in files, undo, redo, hint, replay, and the last moves shown.
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
    BoardCursor cursor_{game_};
    // The hint shown, for the turn and the game it was given in.
    struct ShownHintPath {
        std::vector<const TZellhopPos*> path;
        uint64_t generation = 0;
        size_t turns = 0;
    } hint_;
    QString gameFolder_; // where the last game was opened or saved

    MainDialogs dialogs_;

    // The seat panel: a line per taking-part seat.
    std::array<SeatPanelLine, kColours> seatLines_;

    std::map<const TZellhopBall*, std::unique_ptr<MarbleView>> marbleViews_;

    Online online_ = Online::kOff;
    TpContact hostContact_; // the host this program joined
    // The peers the game knows, numbered from 1 in the order first seen.
    std::vector<TpContact> players_;
    // Remote seats whose player's contact was not yet known at the start.
    std::array<std::string, kColours> awaitedAddresses_;
    // Hops and ends of turn that came before this program's game started
    // (the host's start can be overtaken by another member's first move).
    struct EarlyStep {
        TpContact sender;
        int kind = 0;
        int number = 0;
        int direction = 0;
    };
    std::deque<EarlyStep> earlySteps_;
    // The settings file read at start, written at close.
    std::string settingsPath_;

    std::unique_ptr<UserPrompts> ownPrompts_;
    UserPrompts& prompts_;
};
