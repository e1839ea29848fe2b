// Programs of an online game side by side in one test process: each a real
// main window with its dialogs, its own settings file (its nickname, the
// lobby's address, the loopback address it binds to) and its message boxes
// answered from a script.  They meet through the real lobby and talk over
// real UDP on port 3237.  The modal dialogs are answered the way a player
// would, once they are the active modal window.
#pragma once

#include "application.h"
#include "game_list_dialog.h"
#include "lobby_client.h"
#include "main_window.h"
#include "scripted_prompts.h"

#include <QStringList>
#include <QTemporaryDir>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

inline constexpr int kOnlineStepDelay = 3;  // ms between the computer's holes
inline constexpr int kOnlineWaitMs = 15000; // the longest any one exchange may take

class Player {
  public:
    Player(const std::string& nickname, const std::string& localAddress,
           const std::string& lobbyHost);
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    TfMain& operator*() const { return *window; }
    TfMain* operator->() const { return window.get(); }

    QStringList Log() const;
    int LogCount(const QString& line) const;

    QTemporaryDir config;
    ScriptedPrompts prompts;
    std::unique_ptr<TfMain> window;
};

// Runs the event loop until cond holds or the time is up; cond().
bool WaitUntil(const std::function<bool()>& cond, int timeoutMs = kOnlineWaitMs);
// Runs `answer` once `dialog` is the active modal window.  A dialog that
// nobody answers within kOnlineWaitMs is rejected, so a test fails instead
// of hanging.
void WhenModal(QWidget& dialog, std::function<void()> answer);

// Runs the event loop until the player's lobby requests have been answered
// and none of their dialogs is open.
void AwaitLobby(Player& player);
// Answers the login dialog, when it opens, with this account.
void AnswerLogin(Player& player, const std::string& user, const std::string& password);
// New Game with these seats and name, logged in on the way, published.
void Publish(Player& host, const std::array<SeatKind, kColours>& kinds, const QString& gameName,
             const std::string& user, const std::string& password);
// Join a game on Tavlo: logs in, lists the games, picks the one named
// `gameName` (whose rows go to `listed`), runs `beforeJoin` with the list
// still open, and joins.
void Join(Player& player, const std::string& user, const std::string& password,
          const std::string& gameName, std::vector<TGameListEntry>* listed = nullptr,
          const std::function<void()>& beforeJoin = {});

// The same without a lobby: "Play on this network" in the login dialog.
// The joiner's list waits up to `waitMs` for the game's announcement; the
// rows it saw last go to `listed`, and it joins only a game it found.
void AnswerThisNetwork(Player& player);
void PublishOnThisNetwork(Player& host, const std::array<SeatKind, kColours>& kinds,
                          const QString& gameName);
void JoinOnThisNetwork(Player& player, const std::string& gameName,
                       std::vector<TGameListEntry>* listed = nullptr,
                       int waitMs = kOnlineWaitMs);

// The seat's turn played with the move the computer would choose, clicked
// hop by hop, and ended by End Turn when it does not end by itself; false
// when the seat cannot move or the turn did not end.
bool PlayChosenMove(TfMain& window);
void Click(TfMain& window, const TZellhopBall& marble);
bool ClickMarkerOn(TfMain& window, const TZellhopPos& hole);

// Every marble as "colour/number@r,c", in list order.
std::vector<std::string> Board(const TfMain& window);
