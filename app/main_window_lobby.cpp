// The lobby: log-in, publishing a game with Open seats, listing the
// published games and joining one, and keeping the published entry fresh.
//
// A request runs beside the event loop (TLobbyRequester): peers are
// answered, timers tick and the window repaints while it waits, and input
// that would change the game or ask the lobby again is held until it ends.
// The requests a player waits for (login, publishing, listing) end their
// handler with the HTTP client's error, shown in a message box.  Reports
// that nobody waits for (refreshes, a new player, the start, the winner)
// are queued and sent one at a time when the game is at rest; a failed one
// is written to the log, and the reports queued behind it, which would
// meet the same lobby, are dropped with it.
#include "file_version.h"
#include "game_list_dialog.h"
#include "http_errors.h"
#include "lobby_client.h"
#include "main_window.h"
#include "players_dialog.h"
#include "settings.h"
#include "tavlo_login_dialog.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>
#include <algorithm>

namespace {

// How long a report waits for the game to come to rest before it looks again.
constexpr int kReportRetryMs = 100;

int CountOpen(const SeatKinds& kinds) {
    return static_cast<int>(std::count(kinds.begin(), kinds.end(), skOpen));
}

// An error's text on one line of the log.
QString OneLine(const char* text) {
    return QString::fromUtf8(text).replace("\r\n", " ").replace('\n', ' ');
}

} // namespace

std::string TfMain::LobbyGet(const std::string& target) {
    if (OnLobbyRequest)
        OnLobbyRequest(target);
    return lobby.Get(target);
}

std::string TfMain::LoginRequest(const std::string& target) {
    loginRequesting_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{loginRequesting_};
    return LobbyGet(target);
}

void TfMain::CancelLoginRequest() {
    if (loginRequesting_)
        lobby.Cancel();
}

void TfMain::LobbyBusyChanged(bool busy) {
    // Cancel in the login dialog keeps its own cursor.
    if (busy)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
    sbLobby->setVisible(busy);
    if (!busy && !heldInput_.empty())
        // After the caller of the request has taken its reply.
        QTimer::singleShot(0, this, [this] { ReplayHeldInput(); });
}

bool TfMain::HeldForLobby(std::function<void()> input) {
    if (!lobby.Busy())
        return false;
    heldInput_.push_back(std::move(input));
    return true;
}

void TfMain::ReplayHeldInput() {
    while (!heldInput_.empty() && !lobby.Busy()) {
        const std::function<void()> input = heldInput_.front();
        heldInput_.erase(heldInput_.begin());
        ShowingErrors(input);
    }
}

bool TfMain::ShowLogin() {
    TfTavloLogin* login = dialogs_.login;
    if (!login)
        return false;
    login->eUsername->setText(QString::fromStdString(session_.nickname));
    login->lblstatus->setText("Waiting for you to login...");
    const int result = login->exec();
    hc.setClientName(session_.nickname);
    return result == QDialog::Accepted;
}

void TfMain::LoggedIn(const TLoginReply& reply, const std::string& userName) {
    session_.sessionId = reply.sessionId;
    session_.playerNumber = reply.playerNumber;
    hc.setTavloNumber(session_.playerNumber);
    session_.nickname = NicknameOf(userName);
    hc.setClientName(userName);
}

void TfMain::TavloLogin1Click() {
    ShowLogin();
}

bool TfMain::ConfigureGame() {
    TfPlayers* players = dialogs_.players;
    const bool confirmed = players && players->exec() == QDialog::Accepted;
    // A new configuration: remote players of an earlier game hold no seat.
    if (confirmed) {
        game_.SetKinds(players->ChosenKinds());
        game_.SetLevels(players->ChosenLevels());
    }
    const int openSeats = CountOpen(game_.Kinds());
    if (!confirmed || openSeats == 0) {
        SetMultiplayerView(false);
        return confirmed; // a local game starts now
    }
    return PublishGame(openSeats);
}

bool TfMain::PublishGame(int openSeats) {
    if (!IsLoggedIn(session_.sessionId) && !ShowLogin()) {
        SetMultiplayerView(false);
        return false;
    }
    const std::string players = PlayersText(game_.Kinds());
    int32_t gameNumber = 0;
    bool published = PublishOnce(players, gameNumber);
    // A refusal is taken for a session the lobby no longer knows.
    while (!published && ShowLogin())
        published = PublishOnce(players, gameNumber);
    if (published) {
        session_.gameNumber = gameNumber;
        hc.setClientName(session_.nickname);
        hc.setMaxConnections(openSeats);
        Log(QString("***Multiplayer game started. Waiting for %1 players").arg(openSeats));
        aNewGame->setEnabled(false);
        aJoinGame->setEnabled(false);
        aEndGame->setEnabled(true);
        ForgetPeers();
    }
    SetMultiplayerView(published);
    if (published)
        online_ = Online::kHostWaiting;
    return false; // the game starts when its last Open seat is taken
}

// One publish request with the game name as the dialog has it now.
bool TfMain::PublishOnce(const std::string& playersText, int32_t& gameNumber) {
    TfPlayers* players = dialogs_.players;
    const std::string name = players ? players->eGamename->text().toStdString() : std::string();
    const std::optional<int32_t> number =
        ParsePublishReply(LobbyGet(PublishTarget(session_.sessionId, name, playersText)));
    if (number)
        gameNumber = *number;
    return number.has_value();
}

void TfMain::aJoinGameExecute() {
    // The host sends the real seats when the game starts.
    for (int colour = 0; colour < kColours; ++colour)
        game_.SetSeat(colour, skRemote);
    if (!IsLoggedIn(session_.sessionId) && !ShowLogin())
        return;
    std::vector<TGameListEntry> games;
    bool listed = ListGames(games);
    while (!listed && ShowLogin())
        listed = ListGames(games);
    TfGamelist* gamelist = dialogs_.gamelist;
    if (!listed || !gamelist)
        return;
    gamelist->SetGames(games);
    if (gamelist->exec() != QDialog::Accepted)
        return;
    const std::optional<TGameListEntry> game = gamelist->SelectedGame();
    if (!game)
        return;
    Log("***Trying to join remote computer...");
    ForgetPeers();
    hc.setMaxConnections(0); // a joiner admits nobody until the host says
    SetMultiplayerView(true);
    online_ = Online::kJoining;
    aNewGame->setEnabled(false);
    aJoinGame->setEnabled(false);
    aEndGame->setEnabled(true);
    hc.Connect(game->address);
}

bool TfMain::ListGames(std::vector<TGameListEntry>& games) {
    const std::optional<std::vector<TGameListEntry>> listed =
        ParseGameList(LobbyGet(ListTarget(session_.sessionId)));
    if (listed)
        games = *listed;
    return listed.has_value();
}

// Queues the report; the caller goes on at once.
void TfMain::RefreshGame(int32_t newPlayer, int32_t newGameState, int32_t winner) {
    if (session_.gameNumber <= 0)
        return;
    reports_.push_back(
        RefreshTarget(session_.sessionId, session_.gameNumber, newPlayer, newGameState, winner));
    if (!reportsScheduled_) {
        reportsScheduled_ = true;
        QTimer::singleShot(0, this, [this] { SendReports(); });
    }
}

// Not inside a handler of ours that a long wait would hold up: a peer's
// message (the messaging hands on the next one only after it), a computer
// move, another lobby request.
bool TfMain::AtRest() const {
    return gameWork_ == 0 && !game_.ComputerMoving() && !lobby.Busy() && !sendingReports_;
}

void TfMain::SendReports() {
    reportsScheduled_ = false;
    if (reports_.empty())
        return;
    if (!AtRest()) {
        reportsScheduled_ = true;
        QTimer::singleShot(kReportRetryMs, this, [this] { SendReports(); });
        return;
    }
    sendingReports_ = true;
    while (!reports_.empty()) {
        const std::string target = reports_.front();
        reports_.pop_front();
        try {
            LobbyGet(target); // the reply is not looked at
        } catch (const ERequestCancelled&) {
            // The program closes.
        } catch (const std::exception& e) {
            reports_.clear();
            Log(QString("***Couldn't report to the lobby: %1").arg(OneLine(e.what())));
        }
    }
    sendingReports_ = false;
}

void TfMain::tmrRefreshGameTimer() {
    // A request under way keeps the entry fresh as well.
    if (!lobby.Busy() && reports_.empty())
        RefreshGame(0, 0, 0);
}

void TfMain::SetMultiplayerView(bool on) {
    mLog->setVisible(on);
    eChat->setVisible(on);
    if (!on) {
        // Whatever online game there was is over for this program, and so
        // for the lobby: no more refreshes or reports for it.
        online_ = Online::kOff;
        hostContact_.reset();
        game_.ForgetRemoteSteps();
        earlySteps_.clear();
        session_.gameNumber = 0;
    }
    hc.setEnabled(on);
    if (on)
        tmrRefreshGame->start();
    else
        tmrRefreshGame->stop();
}

// A new online game talks to its own peers only: the contacts of an
// earlier one, which disabling the component keeps, are dropped.
void TfMain::ForgetPeers() {
    if (hc.Enabled() && hc.ContactCount() > 0)
        hc.Disconnect(false);
    while (hc.ContactCount() > 0)
        hc.DeleteContact(hc.ContactCount() - 1);
    hostContact_.reset();
    awaitedAddresses_ = {};
    players_.clear();
    earlySteps_.clear();
}
