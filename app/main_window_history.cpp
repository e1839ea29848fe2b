// What helps a player read the game and go back in it: undo and redo, the
// hint, the steps of a replay, games kept in files, the marks on the board
// and keyboard play.  The game model does all of it; the window turns menu
// entries and keys into its calls and draws what it shows.
#include "board_marks.h"
#include "colours.h"
#include "main_window.h"
#include "picture_widget.h"
#include "rules.h"
#include "saved_game.h"
#include "shown_text.h"
#include "user_prompts.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSaveFile>
#include <QStatusBar>
#include <cmath>

namespace {

const char* const kGameFilter = "Zellhop games (*.zellhop)";
const char* const kAnyFileFilter = "All files (*)";
const char* const kGameSuffix = "zellhop";

// "Blue", as a sentence names the colour.
QString ColourName(int colour) {
    const QString word = Text(ColourWord(colour));
    return word.left(1) + word.mid(1).toLower();
}

QString HoleName(const TZellhopPos& hole) {
    return QString("%1,%2").arg(hole.at.r).arg(hole.at.c);
}

QString MarbleName(const TZellhopBall& marble) {
    return QString("%1 marble %2").arg(ColourName(marble.colour)).arg(marble.number);
}

} // namespace

// --- The actions and the marks --------------------------------------------------

void TfMain::CreatePlayAids() {
    struct Design {
        QAction*& action;
        const char* name;
        const char* caption;
        QKeySequence shortcut;
        std::function<void()> handler;
    };
    const Design actions[] = {
        {aOpenGame, "aOpenGame", "Open Game...", {}, [this] { aOpenGameExecute(); }},
        {aSaveGame, "aSaveGame", "Save Game...", Qt::CTRL | Qt::Key_S,
         [this] { aSaveGameExecute(); }},
        {aUndo, "aUndo", "Undo", Qt::CTRL | Qt::Key_Z, [this] { game_->Undo(); }},
        {aRedo, "aRedo", "Redo", Qt::CTRL | Qt::SHIFT | Qt::Key_Z, [this] { game_->Redo(); }},
        {aHint, "aHint", "Hint", Qt::Key_H,
         [this] {
             game_->TakeHint();
             UpdatePlayAids();
         }},
        {aStepBack, "aStepBack", "Step Back", Qt::Key_PageUp, [this] { game_->StepBack(); }},
        {aStepForward, "aStepForward", "Step Forward", Qt::Key_PageDown,
         [this] { game_->StepForward(); }},
        {aToStart, "aToStart", "To the Start", Qt::Key_Home, [this] { game_->GoToStart(); }},
        {aToEnd, "aToEnd", "To the End", Qt::Key_End, [this] { game_->GoToEnd(); }},
        {aShowLastMove, "aShowLastMove", "Show Last Move", {}, [this] { UpdatePlayAids(); }},
    };
    for (const Design& d : actions) {
        d.action = new QAction(d.caption, this);
        d.action->setObjectName(d.name);
        d.action->setShortcut(d.shortcut);
        // What changes the game waits for a lobby request under way.
        const bool held = d.action != aSaveGame && d.action != aShowLastMove;
        connect(d.action, &QAction::triggered, this,
                [this, action = d.action, held, handler = d.handler] {
                    if (held && HeldForLobby([action] {
                            if (action->isEnabled())
                                action->trigger();
                        }))
                        return;
                    ShowingErrors(handler);
                });
        addAction(d.action); // shortcuts work while the menu is closed
    }
    aShowLastMove->setCheckable(true);
    aShowLastMove->setChecked(true);
    connect(aShowLastMove, &QAction::toggled, this, [this] { UpdatePlayAids(); });
    // A game opened replaces the game shown, as a new game does.
    aOpenGame->setEnabled(aNewGame->isEnabled());
    connect(aNewGame, &QAction::enabledChanged, aOpenGame, &QAction::setEnabled);

    // New entries come after those every player knows.
    File1->addActions({aOpenGame, aSaveGame});
    Game1->addAction(aShowLastMove);
    Play1->addSeparator();
    Play1->addActions({aUndo, aRedo, aHint});
    Play1->addSeparator();
    Play1->addActions({aStepBack, aStepForward, aToStart, aToEnd});

    sbReplay = new QLabel(sb);
    sbReplay->setObjectName("sbReplay");
    sb->addPermanentWidget(sbReplay);
    sbReplay->hide();

    // Just above the board picture, under every marble and pin; and above
    // them all (raised again whenever marbles or pins are).
    marksUnder_ = new BoardMarks(BoardMarks::Layer::kUnderMarbles, centralWidget());
    marksUnder_->stackUnder(imMain);
    imMain->stackUnder(marksUnder_);
    marksOver_ = new BoardMarks(BoardMarks::Layer::kOverMarbles, centralWidget());
    UpdatePlayAids();
}

void TfMain::LayOutMarks() {
    const PictureRect board = BoardRect();
    const TZellhopPos* centre = game_->board().at({0, 0});
    const TZellhopPos* right = game_->board().at({0, 2});
    const PixelPoint a = ScreenPos(*centre, board);
    const PixelPoint b = ScreenPos(*right, board);
    const double spacing = std::hypot(b.x - a.x, b.y - a.y);
    const QRect rect(board.left, board.top, board.width, board.height);
    marksUnder_->Place(rect, spacing);
    marksOver_->Place(rect, spacing);
}

// Whatever the game did, the actions, the replay's place and the marks
// follow it.  The game says what it allows; an online game allows no step
// back or forward.
void TfMain::UpdatePlayAids() {
    aUndo->setEnabled(game_->CanUndo());
    aRedo->setEnabled(game_->CanRedo());
    aHint->setEnabled(game_->HintAvailable());
    aStepBack->setEnabled(game_->CanGoBack());
    aToStart->setEnabled(game_->CanGoBack());
    aStepForward->setEnabled(game_->CanGoForward());
    aToEnd->setEnabled(game_->CanGoForward());
    aSaveGame->setEnabled(game_->CanSave());
    sbReplay->setVisible(game_->Reviewing());
    sbReplay->setText(
        QString("Replay: move %1 of %2").arg(game_->PlayedTurns()).arg(game_->LineLength()));

    cursor_->Follow();
    const BoardMarksScene scene = MarksScene();
    marksUnder_->Show(scene);
    marksOver_->Show(scene);
    marksOver_->raise();
}

BoardMarksScene TfMain::MarksScene() {
    BoardMarksScene scene;
    const Board& board = game_->board();
    if (aShowLastMove->isChecked() && !game_->marbles().empty()) {
        for (const TurnRecord* turn : LastMoves(game_->record())) {
            if (!turn)
                continue;
            BoardMarksScene::Path path;
            path.colour = turn->seat;
            for (const LatticePoint& p : turn->holes)
                path.holes.push_back(board.at(p));
            scene.lastMoves.push_back(std::move(path));
        }
    }
    // The marble whose pins are shown, or which may jump on.
    if (const TZellhopBall* ringed = game_->RingedMarble())
        scene.selected = ringed->pos;
    scene.hint = game_->ShownHint();
    scene.cursor = cursor_->Shown();
    return scene;
}

const TZellhopPos* TfMain::KeyboardCursor() const {
    return cursor_->Shown();
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

QString TfMain::AskGameFile(bool saving) {
    QFileDialog dialog(this, saving ? "Save Game" : "Open Game", gameFolder_);
    dialog.setObjectName("dlgGameFile");
    dialog.setNameFilters({kGameFilter, kAnyFileFilter});
    if (saving) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(kGameSuffix);
    } else {
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    gameFolder_ = dialog.directory().absolutePath();
    return dialog.selectedFiles().front();
}

void TfMain::aOpenGameExecute() {
    if (const QString fileName = AskGameFile(false); !fileName.isEmpty())
        OpenGame(fileName);
}

void TfMain::aSaveGameExecute() {
    if (const QString fileName = AskGameFile(true); !fileName.isEmpty())
        SaveGame(fileName);
}

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

// --- Keyboard play -------------------------------------------------------------------

void TfMain::keyPressEvent(QKeyEvent* event) {
    if (!KeyboardPlay(event->key()))
        QMainWindow::keyPressEvent(event);
}

// The arrows, Enter, Space and Escape work the cursor, unless the chat
// line has them or a dialog is open; the cursor refuses whatever the game
// would refuse (a computer's move under way, a turn not a human's here).
bool TfMain::KeyboardPlay(int key) {
    if (QApplication::activeModalWidget() || QApplication::focusWidget() == eChat)
        return false;
    std::function<void()> act;
    switch (key) {
    case Qt::Key_Left:
        act = [this] { cursor_->Move(Arrow::kLeft); };
        break;
    case Qt::Key_Right:
        act = [this] { cursor_->Move(Arrow::kRight); };
        break;
    case Qt::Key_Up:
        act = [this] { cursor_->Move(Arrow::kUp); };
        break;
    case Qt::Key_Down:
        act = [this] { cursor_->Move(Arrow::kDown); };
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        act = [this] { cursor_->Choose(); };
        break;
    case Qt::Key_Escape:
        act = [this] { cursor_->Back(); };
        break;
    default:
        return false;
    }
    const auto play = [this, act] {
        ShowingErrors(act);
        UpdatePlayAids();
    };
    if (!HeldForLobby(play))
        play();
    return true;
}

// Every marble and pin says what it is to a screen reader.
void TfMain::NameMarble(const TZellhopBall& marble) {
    if (PictureWidget* picture = MarblePicture(marble); picture && marble.pos)
        picture->setAccessibleName(
            QString("%1 on %2").arg(MarbleName(marble), HoleName(*marble.pos)));
}

void TfMain::NameTarget(int k) {
    const TZellhopBall* marble = game_->state().selectedMarble;
    const TZellhopPos* hole = MarkerHole(k);
    if (marble && hole)
        targetMarkers_[k]->setAccessibleName(
            QString("Target %1 for %2").arg(HoleName(*hole), MarbleName(*marble)));
}
