// The computer's move for the seat to play: chosen by the core in one call,
// then shown hole by hole with the computer's delay before and after each
// hole, while the window goes on handling events (Pause, End Current Game,
// New Game while paused, Exit).
#include "colours.h"
#include "computer_player.h"
#include "main_window.h"
#include "marble_view.h"

#include <QAction>
#include <QCoreApplication>
#include <QTimer>

void TfMain::ComputerMove() {
    computerMoving = true;
    tv.Clear();
    const uint64_t game = gameGeneration_;
    const ComputerChoice choice = ChooseComputerMove(marbles, state.homeHoles, state.currentSeat);
    if (choice.marble)
        ShowComputerMove(*choice.marble, choice.path);
    else
        WaitOnce(game); // a seat that cannot move still takes its time, so
                        // that a game nobody can move in does not spin
    computerMoving = false;
    interruptRequested = false;
}

void TfMain::ShowComputerMove(TZellhopBall& marble, const std::vector<TZellhopPos*>& path) {
    const uint64_t game = gameGeneration_;
    const auto showPin = [this, &marble](int picture) {
        if (const auto view = marbleViews_.find(&marble); view != marbleViews_.end())
            view->second->ShowPin(picture);
    };
    aPause->setEnabled(true);
    showPin(kWhitePin);
    if (!WaitOnce(game))
        return;
    // The first hole is the one the marble stands on: nothing moves there.
    for (TZellhopPos* hole : path) {
        PlaceBall(marble, *hole);
        if (!WaitOnce(game))
            return;
    }
    showPin(marble.colour);
    CheckWin();
    aPause->setEnabled(false);
}

// Waits the computer's delay and then as long as Pause holds; false when
// the move is to stop: the program is closing, the game was ended, or its
// marbles are gone (a new game started from inside this wait).
bool TfMain::WaitOnce(uint64_t game) {
    emit stepWaitStarted();
    tm->setInterval(state.stepDelay);
    tm->start();
    while (tm->isActive() && !MoveAbandoned(game))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    while (paused && !MoveAbandoned(game))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return !MoveAbandoned(game);
}

bool TfMain::MoveAbandoned(uint64_t game) const {
    return closing || interruptRequested || game != gameGeneration_;
}

void TfMain::tmTimer() {
    // The computer's wait between two steps ends when it sees the timer off.
    tm->stop();
}
