// The lobby as the window shows it: the player dialog and the publication
// of a game with Open seats, the login dialog, the list of games to join,
// the log and the chat line, and the refresh timer.  The requests are the
// online session's; they run beside the event loop, and input that would
// change the game or ask the lobby again waits for them, in order.
#include "game_list_dialog.h"
#include "main_window.h"
#include "players_dialog.h"
#include "tavlo_login_dialog.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>
#include <algorithm>

void TfMain::ConfigureGame() {
    TfPlayers* players = dialogs_.players;
    const bool confirmed = players && players->exec() == QDialog::Accepted;
    // A new configuration: remote players of an earlier game hold no seat.
    if (confirmed) {
        game_->SetKinds(players->ChosenKinds());
        game_->SetLevels(players->ChosenLevels());
    }
    const SeatKinds kinds = game_->Kinds();
    const int openSeats = static_cast<int>(std::count(kinds.begin(), kinds.end(), skOpen));
    if (!confirmed || openSeats == 0) {
        SetMultiplayerView(false);
        if (confirmed)
            NewGame(); // a local game starts now
        return;
    }
    // The game starts when its last Open seat is taken.
    online_.Publish(
        openSeats,
        [this] {
            TfPlayers* dialog = dialogs_.players;
            return dialog ? dialog->eGamename->text().toStdString() : std::string();
        },
        [this](bool published) { Published(published); });
}

void TfMain::Published(bool published) {
    if (published) {
        aNewGame->setEnabled(false);
        aJoinGame->setEnabled(false);
        aEndGame->setEnabled(true);
    }
    SetMultiplayerView(published);
}

void TfMain::aJoinGameExecute() {
    // The host sends the real seats when the game starts.
    for (int colour = 0; colour < kColours; ++colour)
        game_->SetSeat(colour, skRemote);
    online_.ListGames([this](const std::optional<std::vector<TGameListEntry>>& games) {
        if (games)
            ChooseGameToJoin(*games);
    });
}

void TfMain::ChooseGameToJoin(const std::vector<TGameListEntry>& games) {
    TfGamelist* gamelist = dialogs_.gamelist;
    if (!gamelist)
        return;
    gamelist->SetGames(games);
    gamelist->WatchThisNetwork(Messaging().LocalAddress());
    if (gamelist->exec() != QDialog::Accepted)
        return;
    const std::optional<TGameListEntry> game = gamelist->SelectedGame();
    if (!game)
        return;
    aNewGame->setEnabled(false);
    aJoinGame->setEnabled(false);
    aEndGame->setEnabled(true);
    online_.Join(game->address, gamelist->SelectedIsOnThisNetwork());
    SetMultiplayerView(true);
}

OnlineSession::Login TfMain::ShowLogin() {
    TfTavloLogin* login = dialogs_.login;
    if (!login)
        return OnlineSession::Login::kCancelled;
    login->eUsername->setText(QString::fromStdString(Session().nickname));
    login->lblstatus->setText("Waiting for you to login...");
    login->SetLobbies(usedLobbies_, lobbyHost_);
    const int result = login->exec();
    Messaging().setClientName(Session().nickname);
    if (result == TfTavloLogin::kPlayOnThisNetwork)
        return OnlineSession::Login::kThisNetwork;
    return result == QDialog::Accepted ? OnlineSession::Login::kLoggedIn
                                       : OnlineSession::Login::kCancelled;
}

void TfMain::TavloLogin1Click() {
    if (ShowLogin() == OnlineSession::Login::kThisNetwork)
        online_.PlayOnThisNetwork();
}

void TfMain::LoginRequest(const std::string& target, std::function<void(const std::string&)> reply,
                          std::function<void(const std::string&)> failure) {
    online_.Requests().Get(target, std::move(reply), [failure](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            failure(e.what());
        }
    });
}

void TfMain::CancelLoginRequest() {
    online_.Requests().Cancel();
}

void TfMain::SetMultiplayerView(bool on) {
    mLog->setVisible(on);
    eChat->setVisible(on);
    online_.SetEnabled(on);
    if (on)
        tmrRefreshGame->start();
    else
        tmrRefreshGame->stop();
}

void TfMain::tmrRefreshGameTimer() {
    online_.RefreshTick();
}

// --- Input held while the lobby is asked ------------------------------------------

void TfMain::LobbyBusyChanged(bool busy) {
    // Cancel in the login dialog keeps its own cursor.
    if (busy)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
    sbLobby->setVisible(busy);
    if (!busy)
        heldInput_->LobbyAnswered();
}

bool TfMain::HeldForLobby(std::function<void()> input) {
    return heldInput_->Hold(std::move(input));
}
