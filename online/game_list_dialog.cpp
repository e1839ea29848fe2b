#include "game_list_dialog.h"

#include "lobby_protocol.h"
#include "shown_text.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// The design's outer 307 × 310, less the frame and caption of a window.
constexpr QSize kClientSize{299, 283};
constexpr int kPanelHeight = 41;
constexpr QRect kJoinButton{16, 8, 75, 25};
constexpr QRect kCancelButton{200, 8, 75, 25};
constexpr int kPlayersWidth = 60;

enum Column { kNameColumn = 0, kPlayersColumn = 1, kAddressColumn = 2, kColumns = 3 };
// A lobby row holds its index in the lobby's list; a row of this network
// holds its game's key, since those rows come and go.
enum Role { kLobbyIndexRole = Qt::UserRole, kLanKeyRole };

const char* const kThisNetwork = "(this network)";

QString LanKey(const TLanGameEntry& game) {
    return QString::fromStdString(game.address + "/" + std::to_string(game.gameId));
}

// As the lobby gives its games: "1/2", and "playing 2/2" once under way.
std::string PlayersOf(const TLanGameEntry& game) {
    return game.running ? std::string(lobby_protocol::kPlayingPrefix) + game.players
                        : game.players;
}

QString LanPlayers(const TLanGameEntry& game) {
    const std::string players = PlayersOf(game);
    return players.empty() ? QString(kThisNetwork) : Shown(players) + " " + kThisNetwork;
}

} // namespace

TfGamelist::TfGamelist(QWidget* parent) : QDialog(parent) {
    setObjectName("fGamelist");
    setWindowTitle("Game list");
    resize(kClientSize);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    CreateList();
    CreatePanel();
    layout->addWidget(lvgames, 1);
    layout->addWidget(Panel1);
}

void TfGamelist::CreateList() {
    lvgames = new QTreeWidget(this);
    lvgames->setObjectName("lvgames");
    lvgames->setColumnCount(kColumns);
    lvgames->setHeaderLabels({"Game name", "Players", QString()});
    lvgames->headerItem()->setTextAlignment(kPlayersColumn, Qt::AlignRight | Qt::AlignVCenter);
    lvgames->hideColumn(kAddressColumn);
    lvgames->setRootIsDecorated(false);
    lvgames->setItemsExpandable(false);
    lvgames->setSelectionMode(QAbstractItemView::SingleSelection);
    lvgames->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvgames->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QHeaderView* header = lvgames->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(kNameColumn, QHeaderView::Stretch);
    header->setSectionResizeMode(kPlayersColumn, QHeaderView::Fixed);
    header->resizeSection(kPlayersColumn, kPlayersWidth);
}

void TfGamelist::CreatePanel() {
    Panel1 = new QWidget(this);
    Panel1->setObjectName("Panel1");
    Panel1->setFixedHeight(kPanelHeight);
    bJoin = new QPushButton("Join game", Panel1);
    bJoin->setObjectName("bJoin");
    bJoin->setGeometry(kJoinButton);
    connect(bJoin, &QPushButton::clicked, this, &TfGamelist::bJoinClick);
    bCancel = new QPushButton("Cancel", Panel1);
    bCancel->setObjectName("bCancel");
    bCancel->setGeometry(kCancelButton);
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);
    // Neither button is pressed by Enter.
    for (QPushButton* button : {bJoin, bCancel}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
}

void TfGamelist::SetGames(const std::vector<TGameListEntry>& games) {
    lvgames->clear();
    games_ = games;
    for (size_t i = 0; i < games.size(); ++i) {
        const TGameListEntry& game = games[i];
        auto* row = new QTreeWidgetItem(lvgames);
        row->setData(kNameColumn, kLobbyIndexRole, static_cast<qulonglong>(i));
        row->setText(kNameColumn, Shown(game.name));
        row->setText(kPlayersColumn, Shown(game.players));
        row->setTextAlignment(kPlayersColumn, Qt::AlignRight | Qt::AlignVCenter);
        row->setText(kAddressColumn, Shown(game.address));
    }
    for (const TLanGameEntry& game : lanGames_)
        AddLanRow(game);
    lvgames->clearSelection();
    lvgames->setCurrentItem(nullptr);
    FitPlayersColumn();
}

void TfGamelist::SetLanGames(const std::vector<TLanGameEntry>& games) {
    lanGames_ = games;
    const auto listed = [&](const QString& key) {
        return std::any_of(games.begin(), games.end(),
                           [&](const TLanGameEntry& g) { return LanKey(g) == key; });
    };
    bool choiceLeft = false;
    for (int i = lvgames->topLevelItemCount(); i-- > 0;) {
        QTreeWidgetItem* row = lvgames->topLevelItem(i);
        const QVariant key = row->data(kNameColumn, kLanKeyRole);
        if (!key.isValid() || listed(key.toString()))
            continue;
        choiceLeft = choiceLeft || row->isSelected();
        delete lvgames->takeTopLevelItem(i);
    }
    // The list would move the choice to a neighbour: a game the player
    // never chose.
    if (choiceLeft) {
        lvgames->clearSelection();
        lvgames->setCurrentItem(nullptr);
    }
    for (const TLanGameEntry& game : games) {
        const QString key = LanKey(game);
        QTreeWidgetItem* row = nullptr;
        for (int i = 0; i < lvgames->topLevelItemCount() && !row; ++i)
            if (lvgames->topLevelItem(i)->data(kNameColumn, kLanKeyRole) == key)
                row = lvgames->topLevelItem(i);
        if (!row) {
            AddLanRow(game);
            continue;
        }
        row->setText(kNameColumn, Shown(game.name));
        row->setText(kPlayersColumn, LanPlayers(game));
    }
    FitPlayersColumn();
}

void TfGamelist::AddLanRow(const TLanGameEntry& game) {
    auto* row = new QTreeWidgetItem(lvgames);
    row->setData(kNameColumn, kLanKeyRole, LanKey(game));
    row->setText(kNameColumn, Shown(game.name));
    row->setText(kPlayersColumn, LanPlayers(game));
    row->setTextAlignment(kPlayersColumn, Qt::AlignRight | Qt::AlignVCenter);
    row->setText(kAddressColumn, Shown(game.address));
}

// "(this network)" needs more room than the lobby's texts; the column
// never gets narrower than it was designed, and keeps that width while only
// the lobby's games are shown.
void TfGamelist::FitPlayersColumn() {
    lvgames->header()->resizeSection(kPlayersColumn, kPlayersWidth);
    if (lanGames_.empty())
        return;
    lvgames->resizeColumnToContents(kPlayersColumn);
    const int wanted = lvgames->columnWidth(kPlayersColumn);
    lvgames->header()->resizeSection(kPlayersColumn, std::max(kPlayersWidth, wanted));
}

const TLanGameEntry* TfGamelist::LanGameOf(const QTreeWidgetItem* row) const {
    const QVariant key = row->data(kNameColumn, kLanKeyRole);
    if (!key.isValid())
        return nullptr;
    for (const TLanGameEntry& game : lanGames_)
        if (LanKey(game) == key.toString())
            return &game;
    return nullptr;
}

std::optional<TGameListEntry> TfGamelist::SelectedGame() const {
    const QList<QTreeWidgetItem*> selected = lvgames->selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    if (const TLanGameEntry* game = LanGameOf(selected.front()))
        return TGameListEntry{game->name, PlayersOf(*game), game->address};
    if (selected.front()->data(kNameColumn, kLanKeyRole).isValid())
        return std::nullopt;
    // The entry as the lobby sent it: the row shows it on one line.
    const size_t index = selected.front()->data(kNameColumn, kLobbyIndexRole).toULongLong();
    return index < games_.size() ? std::optional(games_[index]) : std::nullopt;
}

bool TfGamelist::SelectedIsOnThisNetwork() const {
    const QList<QTreeWidgetItem*> selected = lvgames->selectedItems();
    return !selected.isEmpty() && LanGameOf(selected.front()) != nullptr;
}

void TfGamelist::bJoinClick() {
    if (SelectedGame()) {
        accept();
        return;
    }
    if (messageBox_)
        messageBox_("You didn't select a game.");
}

void TfGamelist::keyPressEvent(QKeyEvent* event) {
    // Escape does not close this dialog; Cancel and the close box do.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfGamelist::showEvent(QShowEvent* event) {
    // Centred on the screen, not on the main window.
    if (const QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

void TfGamelist::WatchThisNetwork(const std::string& localAddress) {
    SetLanGames({});
    try {
        watch_ = std::make_unique<TLanGameWatch>(
            localAddress, [this](const std::vector<TLanGameEntry>& games) { SetLanGames(games); });
    } catch (const std::exception&) {
        watch_.reset(); // no network to listen on: the lobby's games alone
    }
}

void TfGamelist::done(int result) {
    watch_.reset();
    QDialog::done(result);
}
