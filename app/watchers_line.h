// The line under the seat panel that names who watches the game.
#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>

class QLabel;
class QWidget;

class WatchersLine {
  public:
    explicit WatchersLine(QWidget& client) : client_(client) {}
    ~WatchersLine();
    WatchersLine(const WatchersLine&) = delete;
    WatchersLine& operator=(const WatchersLine&) = delete;

    // "Watching: Ann, Bob" at (x, y); nothing when nobody watches.
    void Show(const QStringList& names, int x, int y);
    QLabel* Label() const { return label_; }

  private:
    QWidget& client_;
    QPointer<QLabel> label_;
};
