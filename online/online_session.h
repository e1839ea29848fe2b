// One program's part in online play: the peers (TQComm), the lobby (its
// session, the requests, the reports nobody waits for), and the game
// protocol between them and the game model.  The host seats each joiner
// and starts the game when its Open seats are taken; every program passes
// the hops and ends of turn of the others to its game, plays the computer
// seats itself, chats, and hands the seat of a player who leaves to its
// computer.  The window draws what it is told and forwards its input.
//
// A message is taken only from whoever may send it: moves and ends of turn
// from the player of a Remote seat (the game itself checks that), the seat
// and the start from the host this program joined, chat from any contact.
// The rest is acknowledged by the messaging and dropped.
//
// Lobby requests run beside the event loop (TLobbyRequester) and finish
// by callbacks.  Reports that nobody waits for (the periodic refresh, a
// new player, the start, the winner) go out one at a time in order; a
// failed one is logged, and the reports behind it, which would meet the
// same lobby, are dropped with it.
#pragma once

#include "contact.h"
#include "game_state.h"
#include "http_client.h"
#include "lan_host_announcement.h"
#include "lobby_client.h"
#include "lobby_requester.h"
#include "program_key_file.h"
#include "qcomm.h"
#include "session_paths.h"
#include "running_game_guest.h"
#include "running_game_host.h"

#include <QString>
#include <QStringList>
#include <array>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class Match;
struct RemoteStep;

// The lobby session: who this program is logged in as, and the game it
// published.
struct LobbySession {
    int32_t gameNumber = 0;
    int32_t playerNumber = 0;
    std::string sessionId; // at most 32 characters
    std::string nickname;  // at most 16 characters
};

// The peer messaging of the game: every program listens on this port.
inline constexpr int kPeerPort = 3237;
inline constexpr uint32_t kPeerTimeout = 2000; // ms

class OnlineSession {
  public:
    // Where this program stands in an online game.
    enum class Stage {
        kOff,         // no online game
        kHostWaiting, // published, admitting players to the Open seats
        kJoining,     // connecting to a host, or waiting for its start
        kPlaying,     // the game started on every program
    };

    // How the login dialog closed.
    enum class Login {
        kLoggedIn,
        kCancelled,
        kThisNetwork, // "Play on this network": no lobby
    };

    // What the session asks of the window.
    struct View {
        // A line of the game log.
        std::function<void(const QString& line)> log;
        // An online game starts on this program: the seats as the host gave
        // them (the players numbered as PlayerOf knows them), no dialog.
        std::function<void(const SeatKinds& kinds, const std::array<PlayerId, kColours>& players)>
            startGame;
        // A seat's player became known after the start.
        std::function<void(int colour, const QString& name)> seatNamed;
        // The login dialog, modal.
        std::function<Login()> showLogin;
        // An error the player must see (a request that failed).
        std::function<void(const QString& message)> showError;
        // A game under way taken up from its host: laid out with
        // Match::JoinRunningGame on the game the session is then given.
        std::function<void(const TTakenGame& game)> joinRunning;
        // Who watches the game now (optional).
        std::function<void(const QStringList& names)> watchersChanged;
    };

    explicit OnlineSession(View view);
    OnlineSession(const OnlineSession&) = delete;
    OnlineSession& operator=(const OnlineSession&) = delete;

    TQComm& Messaging() { return hc_; }
    const TQComm& Messaging() const { return hc_; }
    THttpClient& LobbyHttp() { return http_; }
    LobbySession& Lobby() { return lobby_; }
    const LobbySession& Lobby() const { return lobby_; }
    TLobbyRequester& Requests() { return requests_; }
    const TLobbyRequester& Requests() const { return requests_; }
    Stage stage() const { return stage_; }

    // The game model the protocol plays into; none between games.
    void SetMatch(Match* match);

    // --- The lobby --------------------------------------------------------
    // A successful login's session, from the login dialog.
    void LoggedIn(const TLoginReply& reply, const std::string& userName);
    // What the lobby gave beyond the written reply at that log-in (none
    // from a lobby of the written protocol), before LoggedIn.  The lobby
    // at LobbyHttp() must show the key it showed at the first log-in there
    // (kept in TLobbyKeyPins::DefaultFile()); where it does not, the items
    // are dropped and the log says why.
    void TakeLobbyItems(const TLobbyItems& items);
    // The program's key, sent at log-in; made at the first call (kept
    // beside the settings, or for this run when that fails).
    const TProgramKey& ProgramKey();
    // The whole pair, which also seals the links to the other players.
    const TProgramKeyPair& ProgramKeyPair();
    // Paths to members across routers, the lobby's items, the forwarded port.
    TSessionPaths& Paths() { return paths_; }
    bool IsLoggedInToLobby() const;
    // The player chose to play on this network, without a lobby, until he
    // logs in to one again.
    bool ThisNetworkOnly() const { return thisNetworkOnly_; }
    void PlayOnThisNetwork() { thisNetworkOnly_ = true; }
    // Publishes a configuration with `openSeats` Open seats under the game
    // name `gameName()` reads (read afresh for each try); done(true) once
    // this program waits for players.  A refusal is taken for a session the
    // lobby no longer knows: the login dialog, then another try.  Playing
    // on this network, the game is announced there instead of published.
    void Publish(int openSeats, std::function<std::string()> gameName,
                 std::function<void(bool published)> done);
    // The lobby's games, or nothing when the player gave up logging in;
    // none but those announced on this network when he plays there.
    void ListGames(std::function<void(std::optional<std::vector<TGameListEntry>>)> done);
    // Joins the host at `address` (the list's entry); one that announced
    // its game on this network is known to be a program of ours.
    void Join(const std::string& address, bool thisNetwork = false);
    // Queues a report; the caller goes on at once.
    void RefreshGame(int32_t newPlayer, int32_t newGameState, int32_t winner);
    // The refresh timer's tick: a request under way keeps the entry fresh
    // as well.
    void RefreshTick();
    // The colour won: reported with its player's lobby number, and the
    // lobby has heard the end of its game.
    void ReportWin(int colour);

    // --- The game -----------------------------------------------------------
    // On (the messaging enabled) or off: off, whatever online game there
    // was is over for this program and for the lobby.
    void SetEnabled(bool on);
    // An online game starts: the seats with their players' contacts.
    void StartGame(const SeatKinds& kinds, const std::array<TpContact, kColours>& players);
    // The game was laid out: what members sent before it goes in first.
    void GameLaidOut();
    // A hop and the end of a turn of a human here, for the peers.
    void SendMove(int number, int direction);
    void SendEndTurn();
    void SendChat(const std::string& text);
    // The game handed a leaver's seats over.
    void PlayerGone(PlayerId player, int reason);
    // What the game played of a remote player's, and a seat it handed to
    // the computer: the host passes them on to those who came in late.
    void StepPlayed(const RemoteStep& step, int seat);
    void SeatHandedOver(int colour);
    // This program came into a game under way only to watch it.
    bool Watching() const { return guest_.Watching(); }
    const RunningGameHost& LateComers() const { return host_; }
    // The contact of a seat's remote player, or none.
    TpContact SeatContact(int colour) const;
    QString SeatPlayerName(int colour) const;
    // Closing: every peer hears that this program leaves.
    void Close();

  private:
    void CreateMessaging();
    // Logs in when not logged in; false when the player gave it up.
    bool EnsureLogin();
    // The login dialog after the lobby refused the session: try again,
    // play on this network, or give up.
    void LoginAgain(const std::function<void()>& retry, const std::function<void()>& thisNetwork,
                    const std::function<void()>& giveUp);
    void AnnounceOnThisNetwork(int openSeats, const std::string& gameName,
                               const std::function<void(bool)>& done);
    void WaitForPlayers(int openSeats);
    void PublishOnce(int openSeats, std::function<std::string()> gameName,
                     std::function<void(bool)> done);
    void ListOnce(std::function<void(std::optional<std::vector<TGameListEntry>>)> done);
    std::optional<std::vector<TGameListEntry>> ListedGames(const std::string& reply);
    void SendReports();
    void ForgetPeers();

    // The messaging component's events.
    void hcNewClient(const TQMsg& aMsg, const TpContact& aContact);
    void hcGotMsg(const TQMsg& aMsg, const TpContact& aContact);
    void hcGotAck(const TQMsg& aMsg, const TpContact& aContact);
    void hcConnectionSuccess();
    void hcConnectionFailed(const TpContact& aContact, int aReason);
    void hcClientDisconnection(const TpContact& aContact, int aReason);
    void hcTimeout(const TQMsg& aMsg, const TpContact& aContact);
    void hcConnected();

    void SeatJoiner(const TpContact& joiner);
    void StartHostedGame();
    void TakeSeat(const TQMsg& msg);
    void TakeSeatTable(const TQMsg& msg, const TpContact& host);
    void KeepEarlyStep(const TQMsg& msg, const TpContact& sender);
    bool IsContact(const TpContact& contact) const;
    // The number the game knows a peer by, given on first sight.
    PlayerId PlayerIdOf(const TpContact& contact);
    PlayerId KnownPlayer(const TpContact& contact) const;
    TpContact ContactOf(PlayerId player) const;
    void PlayerGoneLine(const TpContact& contact, int reason);
    // Late joiners: the admission's rule, their welcome, and what the
    // host's members learn of them.
    bool MembersMeshable(const TpContact& newcomer) const;
    std::vector<TpContact> Members() const;
    void WelcomeLateJoiner(const TpContact& newcomer);
    void MemberAnnounced(const TpContact& member);
    void TakeSeatBack(const TQMsg& msg);
    void RunningGameTaken(const TTakenGame& game);
    void WatchersChanged();
    void EndListing();
    void SendToPlayers(TQMsg& msg);
    void Log(const QString& line) const;
    void SealWithProgramKey();

    View view_;
    TQComm hc_;
    THttpClient http_;
    TLobbyRequester requests_{http_};
    LobbySession lobby_;
    TSessionPaths paths_{hc_, http_, lobby_, [this](const QString& line) { Log(line); }};
    std::optional<TProgramKeyPair> programKey_;
    // The game was found through (or published in) a lobby of ours: every
    // peer must show that lobby's ticket for its key.
    bool lobbyGame_ = false;
    Match* match_ = nullptr;
    Stage stage_ = Stage::kOff;
    bool thisNetworkOnly_ = false;
    // The game hosted on this network, announced while it waits for players.
    std::unique_ptr<TLanHostAnnouncement> lanGame_;

    // Reports waiting to go out, one request at a time.
    std::deque<std::string> reports_;
    bool reporting_ = false;

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
    RunningGameHost host_;
    RunningGameGuest guest_;
};
