// The flow of a game: New Game, the turn loop, Pause, End Turn, End Current
// Game, the seat panel and the end of a game by a win.
#include "colours.h"
#include "contact.h"
#include "main_window.h"
#include "picture_widget.h"
#include "pin_pictures.h"
#include "players_dialog.h"
#include "user_prompts.h"
#include "win.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTimer>

namespace {

constexpr int kPanelLeft = 8;
constexpr int kPanelTop = 30;
constexpr int kPanelLineHeight = 24;
constexpr int kPanelNameLeft = 30;
constexpr int kPanelNameDrop = 2; // the name sits a little below its pin's top

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

bool PlayedByComputer(SeatKind kind) {
    return kind == skComputer || kind == skOpen;
}

} // namespace

void TfMain::aNewGameExecute() {
    // A game published in the lobby is over for the lobby once a new one
    // begins: no more refreshes or winner reports for it.
    lobbyGameNumber = 0;
    for (QAction* entry : menuBar()->actions())
        entry->setEnabled(true);
    if (!interruptRequested && !ConfigureGame())
        return;
    interruptRequested = false;

    aNewGame->setEnabled(false);
    aJoinGame->setEnabled(false);
    aEndGame->setEnabled(true);
    BuildSeatPanel();
    // A computer move that was paused is abandoned: RemoveAllMarbles below
    // tells it its game is gone.
    closing = false;
    paused = false;
    aPause->setText("Pause");
    if (state.selectedMarble)
        ShowTargets(*state.selectedMarble, kHideTargets);
    aEndTurn->setEnabled(false);
    RemoveAllMarbles();
    for (int colour = 0; colour < kColours; ++colour)
        if (seats[colour].kind != skNone)
            CreateBalls(state.homeHoles[colour], colour);
    state.phase = kPhaseTurnStart;
    state.currentSeat = kBeforeFirstTurn;
    state.selectedMarble = nullptr;
    state.turnNumber = 0;
    NextTurn();
    SetStatusText(2, "");
}

void TfMain::NextTurn() {
    const uint64_t game = gameGeneration_;
    do {
        if (!BeginTurn())
            return;
        const SeatKind kind = seats[state.currentSeat].kind;
        if (PlayedByComputer(kind)) {
            ComputerMove();
        } else if (kind == skRemote) {
            state.phase = kPhaseRemote;
            ApplyRemoteSteps(); // what the player sent while we were behind
        }
        // A game that was ended or replaced meanwhile has run its own turns.
    } while (ComputerHasTurn() && state.phase != kPhaseNoGame && !closing &&
             game == gameGeneration_);
}

// Passes the turn to the next taking-part seat and shows whose it is;
// false when the game ended while the window handled its events.
bool TfMain::BeginTurn() {
    const int32_t ending = state.currentSeat;
    if (ending >= 0 && ending < kColours) {
        Seat& seat = seats[ending];
        if (seat.indicator)
            seat.indicator->setPixmap(LoadPinPicture(ending));
        if (seat.kind == skHuman)
            SendEndTurn();
    }
    bool anySeat = false;
    for (const Seat& seat : seats)
        anySeat = anySeat || seat.kind != skNone;
    if (!anySeat)
        return false;
    do {
        ++state.currentSeat;
        state.phase = kPhaseTurnStart;
        if (state.currentSeat >= kColours) {
            state.currentSeat = 0;
            ++state.turnNumber;
        }
    } while (seats[state.currentSeat].kind == skNone);

    if (state.selectedMarble)
        ShowTargets(*state.selectedMarble, kHideTargets);
    const int32_t colour = state.currentSeat;
    SetStatusText(0, QString("It's now player %1 turn").arg(Text(ColourWord(colour))));
    SetStatusText(1, QString("Turn # %1").arg(state.turnNumber));
    tv.Clear();

    // Draws the new status before a computer move starts.
    const uint64_t game = gameGeneration_;
    const bool outerTurnBeginning = beginningTurn_;
    beginningTurn_ = true;
    QCoreApplication::processEvents();
    beginningTurn_ = outerTurnBeginning;
    if (game != gameGeneration_ || closing)
        return false;

    aEndTurn->setEnabled(false);
    Seat& seat = seats[colour];
    lblYourTurn->setVisible(seat.kind == skHuman);
    if (seat.indicator)
        seat.indicator->setPixmap(LoadPinPicture(kWhitePin));
    return true;
}

bool TfMain::ComputerHasTurn() const {
    const int32_t seat = state.currentSeat;
    return seat >= 0 && seat < kColours && PlayedByComputer(seats[seat].kind);
}

void TfMain::SendEndTurn() {
    if (!hc.Enabled())
        return; // a local game has no peers
    hc.NewMsg(gmEndTurn);
    hc.SendMsg(smAll, true);
}

void TfMain::aEndTurnExecute() {
    NextTurn();
}

void TfMain::aPauseExecute() {
    paused = !paused;
    // Outside a game (End Current Game during a paused move leaves Pause
    // on) New Game stays available.
    aNewGame->setEnabled(paused || !aEndGame->isEnabled());
    aPause->setText(paused ? "Unpause" : "Pause");
}

void TfMain::aEndGameExecute() {
    if (!prompts_.Confirm("Are you sure you wish to end current game?"))
        return;
    aNewGame->setEnabled(true);
    aJoinGame->setEnabled(true);
    aEndGame->setEnabled(false);
    aEndTurn->setEnabled(false);
    lblYourTurn->hide();
    interruptRequested = computerMoving;
    SetMultiplayerView(false);
    state.phase = kPhaseNoGame;
    state.selectedMarble = nullptr;
    RemoveAllMarbles();
    ClearSeatPanel();
}

bool TfMain::CheckWin() {
    TZellhopBall* winner = FindWinner(state.homeHoles, marbles);
    if (!winner)
        return false;
    const int colour = winner->colour;
    const Seat& seat = seats[colour];
    RefreshGameShowingErrors(0, kLobbyGameWon, seat.contact ? seat.contact->TavloNumber : 0);
    const uint64_t game = gameGeneration_;
    prompts_.ShowMessage(QString("Player %1 won!").arg(Text(ColourWord(colour))));
    if (game != gameGeneration_)
        return true; // the game was ended while the message was up
    ShowTargets(*winner, kHideTargets);
    aEndTurn->setEnabled(false);
    state.phase = kPhaseTurnStart;
    state.currentSeat = kNoSeat;
    RemoveAllMarbles();
    return true;
}

void TfMain::BuildSeatPanel() {
    ClearSeatPanel();
    QWidget* client = centralWidget();
    for (int colour = 0; colour < kColours; ++colour) {
        Seat& seat = seats[colour];
        if (seat.kind == skNone)
            continue;
        const int top = kPanelTop + kPanelLineHeight * static_cast<int>(seatPictures.size());
        auto* picture = new PictureWidget(client);
        picture->SetPicture(LoadPinPicture(colour));
        picture->move(kPanelLeft, top);
        picture->show();

        QString name;
        if (seat.contact)
            name = QString::fromStdString(seat.contact->Name);
        else if (seat.kind == skHuman)
            name = "You";
        else if (seat.kind == skComputer)
            name = "Computer";
        auto* label = new QLabel(name, client);
        label->move(kPanelNameLeft, top + kPanelNameDrop);
        label->adjustSize();
        label->show();

        seatPictures.emplace_back(picture);
        seatLabels.emplace_back(label);
        seat.indicator = picture;
        seat.nameLabel = label;
    }
    PlaceSeatPanel();
}

void TfMain::ClearSeatPanel() {
    for (const QPointer<PictureWidget>& picture : seatPictures)
        delete picture.data();
    for (const QPointer<QLabel>& label : seatLabels)
        delete label.data();
    seatPictures.clear();
    seatLabels.clear();
    for (Seat& seat : seats) {
        seat.indicator = nullptr;
        seat.nameLabel = nullptr;
    }
}
