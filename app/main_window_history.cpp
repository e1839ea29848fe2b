// The window's side of the play aids: games opened from files and saved to
// them, the keys of keyboard play, the names a screen reader says, and
// what the window shows after the game went to another position.
#include "main_window.h"
#include "marble_pictures.h"
#include "picture_widget.h"
#include "saved_game.h"
#include "user_prompts.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QSaveFile>

void TfMain::CreatePlayAids() {
    playAids_ = new PlayAids({
        .window = this,
        .fileMenu = File1,
        .gameMenu = Game1,
        .playMenu = Play1,
        .statusBar = sb,
        .board = imMain,
        .newGame = aNewGame,
        .game = [this]() -> Match& { return *game_; },
        .heldForLobby = [this](std::function<void()> input) { return HeldForLobby(input); },
        .showingErrors = [this](const std::function<void()>& handler) { ShowingErrors(handler); },
        .openGame = [this](const QString& fileName) { OpenGame(fileName); },
        .saveGame = [this](const QString& fileName) { SaveGame(fileName); },
        .keysTaken = [this] { return QApplication::focusWidget() == eChat; },
    });
}

void TfMain::PositionChanged() {
    const GameState& state = game_->state();
    lblYourTurn->setVisible(game_->GameRunning() && state.currentSeat >= 0 &&
                            state.currentSeat < kColours &&
                            game_->seat(state.currentSeat).kind == skHuman);
    aEndTurn->setEnabled(game_->CanEndTurn());
    SetStatusText(2, "");
    UpdatePlayAids();
}

// --- Games kept in files -----------------------------------------------------------

void TfMain::OpenGame(const QString& fileName) {
    SavedGame record;
    try {
        record = ReadSavedGame(SavedGameFileText(fileName.toStdString()));
        Match::CheckSavedGame(record);
    } catch (const LineError& e) {
        const QString why = QString::fromStdString(e.line() > 0 ? e.what() : e.reason());
        prompts_.ShowMessage(QString("Cannot open %1: %2").arg(fileName, why));
        return;
    }
    StartSavedGame(record);
}

// As New Game starts a game, with the record's seats and turns.
void TfMain::StartSavedGame(const SavedGame& record) {
    for (QAction* entry : menuBar()->actions())
        entry->setEnabled(true);
    SetMultiplayerView(false);
    interruptRequested_ = false;
    aNewGame->setEnabled(false);
    aJoinGame->setEnabled(false);
    aEndGame->setEnabled(true);
    ReplaceGame();
    game_->SetKinds(PlayableKinds(record.kinds));
    BuildSeatPanel();
    closing_ = false;
    paused_ = false;
    aPause->setText("Pause");
    aEndTurn->setEnabled(false);
    game_->OpenSavedGame(record);
    SetStatusText(2, "");
}

void TfMain::SaveGame(const QString& fileName) {
    if (!game_->CanSave())
        return;
    const std::string text = SavedGameText(game_->Saved());
    QSaveFile file(fileName);
    const bool saved = file.open(QIODevice::WriteOnly) &&
                       file.write(text.data(), static_cast<qint64>(text.size())) ==
                           static_cast<qint64>(text.size()) &&
                       file.commit();
    if (!saved)
        prompts_.ShowMessage(QString("Cannot save %1: %2").arg(fileName, file.errorString()));
}

void TfMain::keyPressEvent(QKeyEvent* event) {
    if (!playAids_->KeyPressed(event->key()))
        QMainWindow::keyPressEvent(event);
}

// Every pin says what it is to a screen reader.
void TfMain::NameTarget(int k) {
    const TZellhopBall* marble = game_->state().selectedMarble;
    const TZellhopPos* hole = MarkerHole(k);
    if (marble && hole)
        targetMarkers_[k]->setAccessibleName(
            QString("Target %1 for %2").arg(HoleName(*hole), MarbleName(*marble)));
}
