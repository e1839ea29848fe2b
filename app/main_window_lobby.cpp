// The lobby: log-in, publishing a game with Open seats, listing the
// published games and joining one, and keeping the published entry fresh.
// Every request blocks until its reply is read; the HTTP client's errors
// leave the handler that made the request and are shown in a message box.
#include "file_version.h"
#include "game_list_dialog.h"
#include "lobby_client.h"
#include "main_window.h"
#include "players_dialog.h"
#include "settings.h"
#include "tavlo_login_dialog.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>
#include <algorithm>

namespace {

int CountOpen(const SeatKinds& kinds) {
    return static_cast<int>(std::count(kinds.begin(), kinds.end(), skOpen));
}

} // namespace

std::string TfMain::LobbyGet(const std::string& target) {
    return ::LobbyGet(http, target);
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

void TfMain::RefreshGame(int32_t newPlayer, int32_t newGameState, int32_t winner) {
    if (session_.gameNumber <= 0)
        return;
    LobbyGet(
        RefreshTarget(session_.sessionId, session_.gameNumber, newPlayer, newGameState, winner));
}

// A report to the lobby that must not stop the game when the lobby fails:
// the error is shown and the caller goes on.
void TfMain::RefreshGameShowingErrors(int32_t newPlayer, int32_t newGameState, int32_t winner) {
    ShowingErrors([&] { RefreshGame(newPlayer, newGameState, winner); });
}

void TfMain::tmrRefreshGameTimer() {
    RefreshGame(0, 0, 0);
}

void TfMain::SetMultiplayerView(bool on) {
    mLog->setVisible(on);
    eChat->setVisible(on);
    if (!on) {
        // Whatever online game there was is over for this program.
        online_ = Online::kOff;
        hostContact_.reset();
        game_.ForgetRemoteSteps();
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
}
