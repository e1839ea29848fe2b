// The computer's move as the window shows it: the game chooses it and
// places the marble hole by hole; the window waits the computer's delay
// before and after each hole while it goes on handling events (Pause, End
// Current Game, New Game while paused, Exit).
#include "colours.h"
#include "main_window.h"

#include <QAction>
#include <QCoreApplication>
#include <QTimer>

void TfMain::ComputerMoveStarting(const TZellhopBall& marble) {
    aPause->setEnabled(true);
    ShowPin(marble, kWhitePin);
    UpdatePlayAids();
}

bool TfMain::ComputerWait() {
    return WaitOnce(game_.generation());
}

void TfMain::ComputerMoveShown(const TZellhopBall& marble) {
    ShowPin(marble, marble.colour);
}

void TfMain::ComputerMoveCompleted() {
    aPause->setEnabled(false);
}

void TfMain::ComputerTurnOver() {
    interruptRequested_ = false;
    UpdatePlayAids();
}

// Waits the computer's delay and then as long as Pause holds; false when
// the move is to stop: the program is closing, the game was ended, or its
// marbles are gone (a new game started from inside this wait).
bool TfMain::WaitOnce(uint64_t game) {
    emit stepWaitStarted();
    tm->setInterval(stepDelay_);
    tm->start();
    while (tm->isActive() && !MoveAbandoned(game))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    while (paused_ && !MoveAbandoned(game))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return !MoveAbandoned(game);
}

bool TfMain::MoveAbandoned(uint64_t game) const {
    return closing_ || interruptRequested_ || game != game_.generation();
}

void TfMain::tmTimer() {
    // The computer's wait between two steps ends when it sees the timer off.
    tm->stop();
}
