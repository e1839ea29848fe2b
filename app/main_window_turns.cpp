// The flow of a game as the window shows it: New Game, End Turn, Pause, End
// Current Game, the seat panel, the turns and the win.  The turns
// themselves are the game model's; the driver takes its steps and the
// window draws them.
#include "colours.h"
#include "main_window.h"
#include "marble_pictures.h"
#include "picture_widget.h"
#include "pin_pictures.h"
#include "shown_text.h"
#include "user_prompts.h"

#include <QAction>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QTimer>

namespace {

const char* const kThinking = "The computer is thinking...";

} // namespace

void TfMain::aNewGameExecute() {
    for (QAction* entry : menuBar()->actions())
        entry->setEnabled(true);
    if (interruptRequested_) {
        interruptRequested_ = false;
        NewGame();
    } else {
        ConfigureGame(); // starts a local game, or publishes one that starts later
    }
}

// A game of its own for each New Game: nothing of the one before (a
// search, a wait, a remote player's step) reaches it.
void TfMain::ReplaceGame() {
    auto next = std::make_shared<Match>(static_cast<MatchListener*>(this));
    next->TakeSetupFrom(*game_);
    game_->SetListener(nullptr);
    driver_.reset();
    EndThinking();
    RemoveMarblePictures();
    const std::shared_ptr<Match> old = std::exchange(game_, next);
    online_.SetMatch(game_.get());
    playAids_->FollowGame(*game_);
    driver_ = std::make_unique<TurnDriver>(
        *game_, *tm, levelSearch_,
        TurnDriver::Pace{[this] { return stepDelay_; }, [this] { return paused_; }});
    connect(driver_.get(), &TurnDriver::waitStarted, this, &TfMain::stepWaitStarted);
    connect(driver_.get(), &TurnDriver::searchStarted, this, &TfMain::SearchStarted);
    connect(driver_.get(), &TurnDriver::searchEnded, this, &TfMain::SearchEnded);
    connect(driver_.get(), &TurnDriver::thinking, this, &TfMain::ShowThinking);
}

void TfMain::NewGame() {
    aNewGame->setEnabled(false);
    aJoinGame->setEnabled(false);
    aEndGame->setEnabled(true);
    ReplaceGame();
    BuildSeatPanel();
    // A computer move that was paused is abandoned with its game.
    closing_ = false;
    paused_ = false;
    aPause->setText("Pause");
    aEndTurn->setEnabled(false);
    game_->NewGame();
    online_.GameLaidOut();
    game_->NextTurn();
    SetStatusText(2, "");
}

void TfMain::aEndTurnExecute() {
    game_->EndTurn();
}

void TfMain::aPauseExecute() {
    paused_ = !paused_;
    // Outside a game (End Current Game during a paused move leaves Pause
    // on) New Game stays available.
    aNewGame->setEnabled(paused_ || !aEndGame->isEnabled());
    aPause->setText(paused_ ? "Unpause" : "Pause");
    if (!paused_)
        driver_->Resume();
}

void TfMain::aEndGameExecute() {
    if (!prompts_.Confirm("Are you sure you wish to end current game?"))
        return;
    aNewGame->setEnabled(true);
    aJoinGame->setEnabled(true);
    aEndGame->setEnabled(false);
    aEndTurn->setEnabled(false);
    lblYourTurn->hide();
    SetMultiplayerView(false);
    game_->EndGame(); // a computer move under way goes with it
    seatPanel_->Clear();
}

// --- The turns as the game reports them ---------------------------------

void TfMain::StepReady() {
    if (driver_)
        driver_->StepReady();
}

void TfMain::TurnEnded(int seat) {
    seatPanel_->ShowTurn(seat, false);
}

void TfMain::TurnBeginning(int seat) {
    SetStatusText(0, QString("It's now player %1 turn").arg(Text(ColourWord(seat))));
    SetStatusText(1, QString("Turn # %1").arg(game_->state().turnNumber));
}

void TfMain::TurnBegan(int seat) {
    aEndTurn->setEnabled(false);
    lblYourTurn->setVisible(game_->seat(seat).kind == skHuman);
    seatPanel_->ShowTurn(seat, true);
    UpdatePlayAids();
}

// The box comes once the game has finished its move; the won position
// stays on the board behind it.
void TfMain::Won(int colour) {
    online_.ReportWin(colour);
    marbles_->Freeze();
    QTimer::singleShot(0, this, [this, colour] {
        prompts_.ShowMessage(QString("Player %1 won!").arg(Text(ColourWord(colour))));
        marbles_->Unfreeze();
    });
}

void TfMain::GameOver() {
    aEndTurn->setEnabled(false);
    RemoveMarblePictures();
    UpdatePlayAids();
}

// --- The computer's search ---------------------------------------------------

// Pause may be chosen while a stronger level thinks; it holds the move
// that follows.  Classic, the level of online games, answers at once.
void TfMain::SearchStarted(ComputerLevel level) {
    if (level == ComputerLevel::kClassic)
        return;
    pauseBeforeSearch_ = aPause->isEnabled();
    aPause->setEnabled(true);
}

void TfMain::SearchEnded(ComputerLevel level, bool moved) {
    EndThinking();
    // A seat that cannot move only waits; Pause stays while it holds.
    if (level != ComputerLevel::kClassic && !moved && !paused_)
        aPause->setEnabled(pauseBeforeSearch_);
}

void TfMain::EndThinking() {
    if (!thinkingShown_)
        return;
    thinkingShown_ = false;
    QGuiApplication::restoreOverrideCursor();
    if (StatusText(2) == kThinking)
        SetStatusText(2, statusBeforeThinking_);
}

void TfMain::ShowThinking() {
    thinkingShown_ = true;
    statusBeforeThinking_ = StatusText(2);
    SetStatusText(2, kThinking);
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
}

void TfMain::ComputerMoveStarting(const TZellhopBall& marble) {
    aPause->setEnabled(true);
    marbles_->ShowPin(marble, kWhitePin);
    UpdatePlayAids();
}

void TfMain::ComputerMoveShown(const TZellhopBall& marble) {
    marbles_->ShowPin(marble, marble.colour);
}

void TfMain::ComputerMoveCompleted() {
    aPause->setEnabled(false);
}

void TfMain::ComputerTurnOver() {
    UpdatePlayAids();
}

// --- The seat panel -----------------------------------------------------

void TfMain::BuildSeatPanel() {
    seatPanel_->Build(game_->seats(), [this](int colour) -> std::optional<QString> {
        if (!SeatContact(colour))
            return std::nullopt;
        return online_.SeatPlayerName(colour);
    });
}

void TfMain::SeatHandedOver(int colour) {
    seatPanel_->SetName(colour, "Computer");
    online_.SeatHandedOver(colour);
}

void TfMain::PlayerGone(PlayerId player, int reason) {
    online_.PlayerGone(player, reason);
}
