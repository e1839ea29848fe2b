// The seat panel at the window's left: a pin and a name for each seat that
// takes part, in colour order, the pin white while its seat has the turn.
#pragma once

#include "game_state.h"
#include "watchers_line.h"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>

class PictureWidget;
class QLabel;
class QWidget;

class SeatPanel {
  public:
    explicit SeatPanel(QWidget& client) : client_(client), watchers_(client) {}
    ~SeatPanel() { Clear(); }
    SeatPanel(const SeatPanel&) = delete;
    SeatPanel& operator=(const SeatPanel&) = delete;

    // A line per seat that takes part; a seat's name is its remote player's
    // (`playerName`, none when it has none), else "You" for a human here
    // and "Computer" for the computer.
    void Build(const std::array<Seat, kColours>& seats,
               const std::function<std::optional<QString>(int colour)>& playerName);
    void Clear();
    void SetName(int colour, const QString& name);
    // The seat's pin: white while the seat has the turn.
    void ShowTurn(int colour, bool hasTurn);
    // The lines in their places again, after the pins changed size.
    void Place();
    // Who watches the game, on a line under the seats.
    void SetWatchers(const QStringList& names);
    QLabel* WatchersLabel() const { return watchers_.Label(); }

    QLabel* NameLabel(int colour) const { return lines_.at(colour).name; }
    PictureWidget* Indicator(int colour) const { return lines_.at(colour).pin; }

  private:
    struct Line {
        QPointer<PictureWidget> pin;
        QPointer<QLabel> name;
    };
    QWidget& client_;
    std::array<Line, kColours> lines_;
    WatchersLine watchers_;
    QStringList watcherNames_;
};
