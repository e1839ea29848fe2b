// The game list dialog: the games the lobby listed, one row each, from which
// the player picks the one to join.  Created once and reused; every join
// attempt fills it afresh.
//
// Below the lobby's games it shows the games announced on this network,
// "(this network)" in their players column; those come and go while the
// dialog is open, and a row chosen stays chosen while its game is there.
#pragma once

#include "lan_game_watch.h"
#include "lan_games.h"
#include "lobby_client.h"

#include <QDialog>
#include <functional>
#include <memory>
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
    // Empties the list and shows these games of the lobby, then the games
    // on this network last set, nothing selected.
    void SetGames(const std::vector<TGameListEntry>& games);
    // The games now announced on this network, in place of those set
    // before: rows of games still there stay, with their selection.
    void SetLanGames(const std::vector<TLanGameEntry>& games);
    // The selected row's game, with the host's address that no column shows
    // (for a game on this network, the address its announcements came from).
    std::optional<TGameListEntry> SelectedGame() const;
    // Whether the selected row is a game on this network, joined directly
    // rather than through the lobby.
    bool SelectedIsOnThisNetwork() const;
    // Listens for the games announced on this network, on the interface of
    // localAddress, until the dialog closes; without a network to listen
    // on, the list shows the lobby's games alone.
    void WatchThisNetwork(const std::string& localAddress);

    QTreeWidget* lvgames;
    QWidget* Panel1;
    QPushButton* bJoin;
    QPushButton* bCancel;

  public slots:
    void bJoinClick();

  protected:
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void CreateList();
    void CreatePanel();
    void AddLanRow(const TLanGameEntry& game);
    const TLanGameEntry* LanGameOf(const class QTreeWidgetItem* row) const;
    void FitPlayersColumn();

    std::vector<TGameListEntry> games_; // as listed, in row order
    std::vector<TLanGameEntry> lanGames_;
    std::unique_ptr<TLanGameWatch> watch_;

    MessageBox messageBox_;
};
