// The window's side of online play: the session starts the game here, the
// game's hops and ends of turn go to the session, and the chat line's Enter
// sends the line.
#include "main_window.h"

#include <QAction>
#include <QLineEdit>

void TfMain::StartOnlineGame(const SeatKinds& kinds,
                             const std::array<TpContact, kColours>& players) {
    online_.StartGame(kinds, players);
}

void TfMain::OnlineGameStarts(const SeatKinds& kinds,
                              const std::array<PlayerId, kColours>& players) {
    for (int i = 0; i < kColours; ++i)
        game_->SetSeat(i, kinds[i], players[i]);
    interruptRequested_ = true;
    // Not through the action: an online start is no player's input, and
    // goes ahead while the lobby is asked.
    aNewGameExecute();
    aNewGame->setEnabled(false);
}

void TfMain::SendMove(int number, int direction) {
    online_.SendMove(number, direction);
}

void TfMain::SendEndTurn() {
    online_.SendEndTurn();
}

void TfMain::eChatKeyDown() {
    online_.SendChat(eChat->text().toStdString());
    eChat->clear();
}
