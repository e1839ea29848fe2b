#include "game_list_dialog.h"

#include "shown_text.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// The design's outer 307 × 310, less the frame and caption of a window.
constexpr QSize kClientSize{299, 283};
constexpr int kPanelHeight = 41;
constexpr QRect kJoinButton{16, 8, 75, 25};
constexpr QRect kCancelButton{200, 8, 75, 25};
constexpr int kPlayersWidth = 60;

enum Column { kNameColumn = 0, kPlayersColumn = 1, kAddressColumn = 2, kColumns = 3 };

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
        row->setData(kNameColumn, Qt::UserRole, static_cast<qulonglong>(i));
        row->setText(kNameColumn, Shown(game.name));
        row->setText(kPlayersColumn, Shown(game.players));
        row->setTextAlignment(kPlayersColumn, Qt::AlignRight | Qt::AlignVCenter);
        row->setText(kAddressColumn, Shown(game.address));
    }
    lvgames->clearSelection();
    lvgames->setCurrentItem(nullptr);
}

std::optional<TGameListEntry> TfGamelist::SelectedGame() const {
    const QList<QTreeWidgetItem*> selected = lvgames->selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    // The entry as the lobby sent it: the row shows it on one line.
    const size_t index = selected.front()->data(kNameColumn, Qt::UserRole).toULongLong();
    return index < games_.size() ? std::optional(games_[index]) : std::nullopt;
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
