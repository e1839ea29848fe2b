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

namespace {

int CountOpen(const std::array<Seat, kColours>& seats) {
    int open = 0;
    for (const Seat& seat : seats)
        if (seat.kind == skOpen)
            ++open;
    return open;
}

std::array<SeatKind, kColours> KindsOf(const std::array<Seat, kColours>& seats) {
    std::array<SeatKind, kColours> kinds{};
    for (int i = 0; i < kColours; ++i)
        kinds[i] = seats[i].kind;
    return kinds;
}

} // namespace

std::string TfMain::LobbyGet(const std::string& target) {
    return ::LobbyGet(http, target);
}

bool TfMain::ShowLogin() {
    if (!fTavloLogin)
        return false;
    fTavloLogin->eUsername->setText(QString::fromStdString(nickname));
    fTavloLogin->lblstatus->setText("Waiting for you to login...");
    const int result = fTavloLogin->exec();
    hc.setClientName(nickname);
    return result == QDialog::Accepted;
}

void TfMain::LoggedIn(const TLoginReply& reply, const std::string& userName) {
    sessionId = reply.sessionId;
    lobbyPlayerNumber = reply.playerNumber;
    hc.setTavloNumber(lobbyPlayerNumber);
    nickname = NicknameOf(userName);
    hc.setClientName(userName);
}

void TfMain::TavloLogin1Click() {
    ShowLogin();
}

bool TfMain::ConfigureGame() {
    const bool confirmed = fPlayers && fPlayers->exec() == QDialog::Accepted;
    if (confirmed) {
        // A new configuration: remote players of an earlier game hold no seat.
        for (Seat& seat : seats)
            seat.contact.reset();
    }
    const int openSeats = CountOpen(seats);
    if (!confirmed || openSeats == 0) {
        SetMultiplayerView(false);
        return confirmed; // a local game starts now
    }
    return PublishGame(openSeats);
}

bool TfMain::PublishGame(int openSeats) {
    if (!IsLoggedIn(sessionId) && !ShowLogin()) {
        SetMultiplayerView(false);
        return false;
    }
    const std::string players = PlayersText(KindsOf(seats));
    int32_t gameNumber = 0;
    bool published = PublishOnce(players, gameNumber);
    // A refusal is taken for a session the lobby no longer knows.
    while (!published && ShowLogin())
        published = PublishOnce(players, gameNumber);
    if (published) {
        lobbyGameNumber = gameNumber;
        hc.setClientName(nickname);
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
    const std::string name = fPlayers ? fPlayers->eGamename->text().toStdString() : std::string();
    const std::optional<int32_t> number =
        ParsePublishReply(LobbyGet(PublishTarget(sessionId, name, playersText)));
    if (number)
        gameNumber = *number;
    return number.has_value();
}

void TfMain::aJoinGameExecute() {
    // The host sends the real seats when the game starts.
    for (Seat& seat : seats) {
        seat.kind = skRemote;
        seat.contact.reset();
    }
    if (!IsLoggedIn(sessionId) && !ShowLogin())
        return;
    std::vector<TGameListEntry> games;
    bool listed = ListGames(games);
    while (!listed && ShowLogin())
        listed = ListGames(games);
    if (!listed || !fGamelist)
        return;
    fGamelist->SetGames(games);
    if (fGamelist->exec() != QDialog::Accepted)
        return;
    const std::optional<TGameListEntry> game = fGamelist->SelectedGame();
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
        ParseGameList(LobbyGet(ListTarget(sessionId)));
    if (listed)
        games = *listed;
    return listed.has_value();
}

void TfMain::RefreshGame(int32_t newPlayer, int32_t newGameState, int32_t winner) {
    if (lobbyGameNumber <= 0)
        return;
    LobbyGet(RefreshTarget(sessionId, lobbyGameNumber, newPlayer, newGameState, winner));
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
        remoteSteps_.clear();
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
}
