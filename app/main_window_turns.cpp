// The flow of a game as the window shows it: New Game, End Turn, Pause, End
// Current Game, the seat panel, the turns and the win.  The turns
// themselves are the game model's; the window draws them.
#include "colours.h"
#include "contact.h"
#include "main_window.h"
#include "picture_widget.h"
#include "pin_pictures.h"
#include "players_dialog.h"
#include "shown_text.h"
#include "user_prompts.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QMenuBar>
#include <QTimer>

namespace {

constexpr int kPanelLeft = 8;
constexpr int kPanelTop = 30;
constexpr int kPanelLineHeight = 24;
constexpr int kPanelNameLeft = 30;
constexpr int kPanelNameDrop = 2; // the name sits a little below its pin's top

} // namespace

void TfMain::aNewGameExecute() {
    for (QAction* entry : menuBar()->actions())
        entry->setEnabled(true);
    if (!interruptRequested_ && !ConfigureGame())
        return;
    interruptRequested_ = false;
    NewGame();
}

void TfMain::NewGame() {
    aNewGame->setEnabled(false);
    aJoinGame->setEnabled(false);
    aEndGame->setEnabled(true);
    BuildSeatPanel();
    // A computer move that was paused is abandoned: the new game tells it
    // its marbles are gone.
    closing_ = false;
    paused_ = false;
    aPause->setText("Pause");
    aEndTurn->setEnabled(false);
    game_.NewGame();
    PlayEarlySteps();
    game_.NextTurn();
    SetStatusText(2, "");
}

void TfMain::aEndTurnExecute() {
    game_.NextTurn();
}

void TfMain::aPauseExecute() {
    paused_ = !paused_;
    // Outside a game (End Current Game during a paused move leaves Pause
    // on) New Game stays available.
    aNewGame->setEnabled(paused_ || !aEndGame->isEnabled());
    aPause->setText(paused_ ? "Unpause" : "Pause");
}

void TfMain::aEndGameExecute() {
    if (!prompts_.Confirm("Are you sure you wish to end current game?"))
        return;
    aNewGame->setEnabled(true);
    aJoinGame->setEnabled(true);
    aEndGame->setEnabled(false);
    aEndTurn->setEnabled(false);
    lblYourTurn->hide();
    interruptRequested_ = game_.ComputerMoving();
    SetMultiplayerView(false);
    game_.EndGame();
    ClearSeatPanel();
}

// --- The turns as the game reports them ---------------------------------

void TfMain::TurnEnded(int seat) {
    if (PictureWidget* indicator = seatLines_[seat].indicator)
        indicator->SetPicture(LoadPinPicture(seat));
}

bool TfMain::TurnBeginning(int seat) {
    SetStatusText(0, QString("It's now player %1 turn").arg(Text(ColourWord(seat))));
    SetStatusText(1, QString("Turn # %1").arg(game_.state().turnNumber));
    // Draws the new status before a computer move starts.
    ++gameWork_;
    QCoreApplication::processEvents();
    --gameWork_;
    return !closing_;
}

void TfMain::TurnBegan(int seat) {
    aEndTurn->setEnabled(false);
    lblYourTurn->setVisible(game_.seat(seat).kind == skHuman);
    if (PictureWidget* indicator = seatLines_[seat].indicator)
        indicator->SetPicture(LoadPinPicture(kWhitePin));
    UpdatePlayAids();
}

void TfMain::Won(int colour) {
    const TpContact player = SeatContact(colour);
    RefreshGame(0, kLobbyGameWon, player ? player->TavloNumber : 0);
    // The lobby has heard the end of its game: no refresh after it.
    session_.gameNumber = 0;
    prompts_.ShowMessage(QString("Player %1 won!").arg(Text(ColourWord(colour))));
}

void TfMain::GameOver() {
    aEndTurn->setEnabled(false);
    RemoveMarblePictures();
    UpdatePlayAids();
}

// --- The seat panel -----------------------------------------------------

void TfMain::BuildSeatPanel() {
    ClearSeatPanel();
    QWidget* client = centralWidget();
    int lines = 0;
    for (const Seat& seat : game_.seats()) {
        if (seat.kind == skNone)
            continue;
        const int top = kPanelTop + kPanelLineHeight * lines++;
        auto* picture = new PictureWidget(client);
        picture->setObjectName(QString("seatIndicator%1").arg(seat.colour));
        picture->SetPicture(LoadPinPicture(seat.colour));
        picture->move(kPanelLeft, top);
        picture->show();

        QString name;
        if (const TpContact contact = SeatContact(seat.colour))
            name = Text(contact->Name);
        else if (seat.kind == skHuman)
            name = "You";
        else if (seat.kind == skComputer)
            name = "Computer";
        auto* label = new QLabel(name, client);
        label->setObjectName(QString("seatName%1").arg(seat.colour));
        label->move(kPanelNameLeft, top + kPanelNameDrop);
        label->adjustSize();
        label->show();

        seatLines_[seat.colour] = {picture, label};
    }
    PlaceSeatPanel();
}

void TfMain::ClearSeatPanel() {
    for (SeatPanelLine& line : seatLines_) {
        delete line.indicator.data();
        delete line.nameLabel.data();
        line = {};
    }
}

void TfMain::SetSeatName(int colour, const QString& name) {
    if (QLabel* label = seatLines_[colour].nameLabel) {
        label->setText(name);
        label->adjustSize();
    }
}
