// Takes the steps of the game the window shows, at the pace a player sees
// them: a computer's move is searched on a worker thread and comes back as
// an event; each hole of a move being shown is placed once the computer's
// delay has passed on the window's step timer, and Pause holds it there.
//
// A driver serves one game.  A new game gets a new driver, so nothing left
// of the old one (a search, a tick of the timer) reaches the new game: the
// search of a driver that goes is told to stop and joined.
#pragma once

#include "computer_level.h"
#include "match.h"

#include <QObject>
#include <QTimer>
#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <thread>

class TurnDriver : public QObject {
    Q_OBJECT
  public:
    using Search = std::function<LevelMove(const SearchPosition&, ComputerLevel,
                                           const std::atomic<bool>* stop)>;
    struct Pace {
        std::function<int()> stepDelay; // ms before each hole of a move shown
        std::function<bool()> paused;   // Pause holds the move between two holes
    };

    TurnDriver(Match& match, QTimer& stepTimer, Search search, Pace pace,
               QObject* parent = nullptr);
    ~TurnDriver() override;
    TurnDriver(const TurnDriver&) = delete;
    TurnDriver& operator=(const TurnDriver&) = delete;

    // The game's next step may have changed: the driver looks once the
    // event under way is over (never from inside the game's own call).
    void StepReady();
    // Pause was let go: a hole that was due is placed now.
    void Resume();
    // Nothing to do until a player acts, or no game.
    bool Idle() const;

  signals:
    // A wait of a move being shown begins.
    void waitStarted();
    // A search of a computer's move begins and ends (moved: it found one).
    void searchStarted(ComputerLevel level);
    void searchEnded(ComputerLevel level, bool moved);
    // A search at a stronger level has run for a noticeable while.
    void thinking();

  private:
    void Drive();
    void StartSearch();
    void SearchDone(const LevelMove& move, std::exception_ptr failure);
    void StartWait();
    void WaitOver();
    void Advance();

    Match& match_;
    QTimer& stepTimer_;
    Search search_;
    Pace pace_;
    QTimer thinkingTimer_;

    bool scheduled_ = false; // a look at the next step is queued
    bool waiting_ = false;   // the step timer runs for a hole (or it is due)
    bool due_ = false;       // the wait is over but Pause holds the hole
    bool searching_ = false;
    ComputerLevel searchLevel_ = ComputerLevel::kClassic;
    std::shared_ptr<std::atomic<bool>> searchStop_; // of the search under way
    std::thread worker_;
};
