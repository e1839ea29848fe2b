// The computer's move as the window shows it: the game chooses it and
// places the marble hole by hole; the window waits the computer's delay
// before and after each hole while it goes on handling events (Pause, End
// Current Game, New Game while paused, Exit).  A stronger level's search
// runs on a worker thread while the window goes on handling the same.
#include "colours.h"
#include "main_window.h"
#include "marble.h"

#include <QAction>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>
#include <exception>
#include <thread>

namespace {

// A search shorter than this shows nothing; a longer one says so.
constexpr int kThinkingShownAfter = 200; // ms
const char* const kThinking = "The computer is thinking...";

} // namespace

// Classic, the only level of online games, chooses right here as it always
// did: its search takes microseconds (a few milliseconds at the very worst),
// so no event is handled in the middle of it and online games run as they
// always ran.  The stronger levels look ahead for up to about a second.
ComputerChoice TfMain::ChooseMove(const MarbleList& marbles, const HomeHoles& homeHoles, int seat) {
    const ComputerLevel level = game_.LevelOf(seat);
    if (level == ComputerLevel::kClassic)
        return ChooseComputerMove(marbles, homeHoles, seat);
    return SearchOffThread(marbles, homeHoles, seat, level);
}

// The search runs on a snapshot on a worker thread while this thread
// handles events: datagrams, timers, repaints, Pause, End Current Game, New
// Game and closing.  Whatever ends or replaces the game sets the game's stop
// flag, and the worker returns within a millisecond; the worker is always
// joined before this returns, so it never outlives what it reads.
ComputerChoice TfMain::SearchOffThread(const MarbleList& marbles, const HomeHoles& homeHoles,
                                       int seat, ComputerLevel level) {
    const uint64_t game = game_.generation();
    const std::shared_ptr<const std::atomic<bool>> stop = game_.SearchStop();
    const SearchPosition position = TakeSnapshot(marbles, homeHoles, seat);
    LevelMove move;
    std::exception_ptr failure;
    std::atomic<bool> done = false;
    std::jthread worker([&] {
        try {
            move = levelSearch_(position, level, stop.get());
        } catch (...) {
            failure = std::current_exception();
        }
        done = true;
        // Wakes the wait below.
        QMetaObject::invokeMethod(
            this, [] {}, Qt::QueuedConnection);
    });

    // Pause may be chosen while the computer thinks; it holds the move that
    // follows.
    const bool pauseWasEnabled = aPause->isEnabled();
    aPause->setEnabled(true);
    const QString shownBefore = StatusText(2);
    bool thinkingShown = false;
    QTimer thinking;
    thinking.setSingleShot(true);
    connect(&thinking, &QTimer::timeout, this, [&] {
        if (MoveAbandoned(game))
            return;
        SetStatusText(2, kThinking);
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
        thinkingShown = true;
    });
    thinking.start(kThinkingShownAfter);
    while (!done && !MoveAbandoned(game))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    worker.join();
    thinking.stop();
    if (thinkingShown) {
        QGuiApplication::restoreOverrideCursor();
        if (StatusText(2) == kThinking)
            SetStatusText(2, shownBefore);
    }
    if (failure)
        std::rethrow_exception(failure);
    if (MoveAbandoned(game))
        return {}; // the game is gone: its marbles may be too
    const ComputerChoice choice = LiveChoice(marbles, move);
    // A seat that cannot move only waits; Pause stays while it holds.
    if (!choice.marble && !paused_)
        aPause->setEnabled(pauseWasEnabled);
    return choice;
}

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
