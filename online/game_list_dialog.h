// The game list dialog: the games the lobby listed, one row each, from which
// the player picks the one to join.  Created once and reused; every join
// attempt fills it afresh.
#pragma once

#include "lobby_client.h"

#include <QDialog>
#include <functional>
#include <optional>
#include <vector>

class QPushButton;
class QTreeWidget;
class QWidget;

class TfGamelist : public QDialog {
    Q_OBJECT
  public:
    using MessageBox = std::function<void(const QString& text)>;

    explicit TfGamelist(QWidget* parent = nullptr);

    // Where "You didn't select a game." goes.
    void SetMessageBox(MessageBox messageBox) { messageBox_ = std::move(messageBox); }
    // Empties the list and shows these games, nothing selected.
    void SetGames(const std::vector<TGameListEntry>& games);
    // The selected row's game, with the host's address that no column shows.
    std::optional<TGameListEntry> SelectedGame() const;

    QTreeWidget* lvgames;
    QWidget* Panel1;
    QPushButton* bJoin;
    QPushButton* bCancel;

  public slots:
    void bJoinClick();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void CreateList();
    void CreatePanel();

    std::vector<TGameListEntry> games_; // as listed, in row order

    MessageBox messageBox_;
};
