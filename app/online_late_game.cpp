// The window's side of a game under way that this program came into late:
// what the session asks of the window, the game laid out from the host's
// record, and the steps the host passes on to those who came late.
#include "main_window.h"
#include "remote_steps.h"
#include "seat_panel.h"
#include "user_prompts.h"

#include <QAction>
#include <QMenuBar>

OnlineSession::View TfMain::OnlineView() {
    return {.log = [this](const QString& line) { Log(line); },
            .startGame =
                [this](const SeatKinds& kinds, const std::array<PlayerId, kColours>& players) {
                    OnlineGameStarts(kinds, players);
                },
            .seatNamed = [this](int colour,
                                const QString& name) { seatPanel_->SetName(colour, name); },
            .showLogin = [this] { return ShowLogin(); },
            .showError = [this](const QString& message) { prompts_.ShowMessage(message); },
            .joinRunning = [this](const TTakenGame& game) { JoinRunningOnline(game); },
            .watchersChanged =
                [this](const QStringList& names) { seatPanel_->SetWatchers(names); }};
}

// As a new online game starts, but at the position the host's record left.
void TfMain::JoinRunningOnline(const TTakenGame& game) {
    for (QAction* entry : menuBar()->actions())
        entry->setEnabled(true);
    interruptRequested_ = false;
    aNewGame->setEnabled(false);
    aJoinGame->setEnabled(false);
    aEndGame->setEnabled(true);
    aEndTurn->setEnabled(false);
    ReplaceGame();
    closing_ = false;
    paused_ = false;
    aPause->setText("Pause");
    game_->SetJumpBackAllowed(game.record.jumpBack);
    game_->JoinRunningGame(game.record, game.underWay, game.kinds, game.players);
    BuildSeatPanel();
    SetStatusText(2, "");
}

void TfMain::RemoteStepPlayed(const RemoteStep& step, int seat) {
    online_.StepPlayed(step, seat);
}
