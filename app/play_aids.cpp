#include "play_aids.h"

#include "match.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QStatusBar>
#include <cmath>

namespace {

const char* const kGameFilter = "Zellhop games (*.zellhop)";
const char* const kAnyFileFilter = "All files (*)";
const char* const kGameSuffix = "zellhop";

} // namespace

PlayAids::PlayAids(Window window) : QObject(window.window), window_(std::move(window)) {
    cursor_ = std::make_unique<BoardCursor>(window_.game());
    CreateActions();
    sbReplay = new QLabel(window_.statusBar);
    sbReplay->setObjectName("sbReplay");
    window_.statusBar->addPermanentWidget(sbReplay);
    sbReplay->hide();

    // Just above the board picture, under every marble and pin; and above
    // them all (raised again whenever marbles or pins are).
    QWidget* client = window_.window->centralWidget();
    marksUnder_ = new BoardMarks(BoardMarks::Layer::kUnderMarbles, client);
    marksUnder_->stackUnder(window_.board);
    window_.board->stackUnder(marksUnder_);
    marksOver_ = new BoardMarks(BoardMarks::Layer::kOverMarbles, client);
    Update();
}

PlayAids::~PlayAids() = default;

void PlayAids::CreateActions() {
    struct Design {
        QAction*& action;
        const char* name;
        const char* caption;
        QKeySequence shortcut;
        std::function<void()> handler;
    };
    const auto game = window_.game;
    const Design actions[] = {
        {aOpenGame,
         "aOpenGame",
         "Open Game...",
         {},
         [this] {
             if (const QString file = AskGameFile(false); !file.isEmpty())
                 window_.openGame(file);
         }},
        {aSaveGame, "aSaveGame", "Save Game...", Qt::CTRL | Qt::Key_S,
         [this] {
             if (const QString file = AskGameFile(true); !file.isEmpty())
                 window_.saveGame(file);
         }},
        {aUndo, "aUndo", "Undo", Qt::CTRL | Qt::Key_Z, [game] { game().Undo(); }},
        {aRedo, "aRedo", "Redo", Qt::CTRL | Qt::SHIFT | Qt::Key_Z, [game] { game().Redo(); }},
        {aHint, "aHint", "Hint", Qt::Key_H,
         [this, game] {
             game().TakeHint();
             Update();
         }},
        {aStepBack, "aStepBack", "Step Back", Qt::Key_PageUp, [game] { game().StepBack(); }},
        {aStepForward, "aStepForward", "Step Forward", Qt::Key_PageDown,
         [game] { game().StepForward(); }},
        {aToStart, "aToStart", "To the Start", Qt::Key_Home, [game] { game().GoToStart(); }},
        {aToEnd, "aToEnd", "To the End", Qt::Key_End, [game] { game().GoToEnd(); }},
        {aShowLastMove, "aShowLastMove", "Show Last Move", {}, [this] { Update(); }},
    };
    QMainWindow* window = window_.window;
    for (const Design& d : actions) {
        d.action = new QAction(d.caption, window);
        d.action->setObjectName(d.name);
        d.action->setShortcut(d.shortcut);
        // What changes the game waits for a lobby request under way.
        const bool held = d.action != aSaveGame && d.action != aShowLastMove;
        connect(d.action, &QAction::triggered, this,
                [this, action = d.action, held, handler = d.handler] {
                    if (held && window_.heldForLobby([action] {
                            if (action->isEnabled())
                                action->trigger();
                        }))
                        return;
                    window_.showingErrors(handler);
                });
        window->addAction(d.action); // shortcuts work while the menu is closed
    }
    aShowLastMove->setCheckable(true);
    aShowLastMove->setChecked(true);
    connect(aShowLastMove, &QAction::toggled, this, [this] { Update(); });
    // A game opened replaces the game shown, as a new game does.
    aOpenGame->setEnabled(window_.newGame->isEnabled());
    connect(window_.newGame, &QAction::enabledChanged, aOpenGame, &QAction::setEnabled);

    // New entries come after those every player knows.
    window_.fileMenu->addActions({aOpenGame, aSaveGame});
    window_.gameMenu->addAction(aShowLastMove);
    window_.playMenu->addSeparator();
    window_.playMenu->addActions({aUndo, aRedo, aHint});
    window_.playMenu->addSeparator();
    window_.playMenu->addActions({aStepBack, aStepForward, aToStart, aToEnd});
}

void PlayAids::FollowGame(Match& game) {
    cursor_->SetMatch(game);
}

bool PlayAids::ShowLastMove() const {
    return aShowLastMove->isChecked();
}

void PlayAids::SetShowLastMove(bool on) {
    aShowLastMove->setChecked(on);
}

void PlayAids::LayOut(const PictureRect& board) {
    const Match& game = window_.game();
    const PixelPoint a = ScreenPos(*game.board().at({0, 0}), board);
    const PixelPoint b = ScreenPos(*game.board().at({0, 2}), board);
    const double spacing = std::hypot(b.x - a.x, b.y - a.y);
    const QRect rect(board.left, board.top, board.width, board.height);
    marksUnder_->Place(rect, spacing);
    marksOver_->Place(rect, spacing);
}

// The game says what it allows; an online game allows no step back or
// forward.
void PlayAids::Update() {
    const Match& game = window_.game();
    aUndo->setEnabled(game.CanUndo());
    aRedo->setEnabled(game.CanRedo());
    aHint->setEnabled(game.HintAvailable());
    aStepBack->setEnabled(game.CanGoBack());
    aToStart->setEnabled(game.CanGoBack());
    aStepForward->setEnabled(game.CanGoForward());
    aToEnd->setEnabled(game.CanGoForward());
    aSaveGame->setEnabled(game.CanSave());
    sbReplay->setVisible(game.Reviewing());
    sbReplay->setText(
        QString("Replay: move %1 of %2").arg(game.PlayedTurns()).arg(game.LineLength()));

    cursor_->Follow();
    const BoardMarksScene scene = MarksScene();
    marksUnder_->Show(scene);
    marksOver_->Show(scene);
    marksOver_->raise();
}

BoardMarksScene PlayAids::MarksScene() {
    const Match& game = window_.game();
    BoardMarksScene scene;
    if (aShowLastMove->isChecked() && !game.marbles().empty()) {
        for (const TurnRecord* turn : LastMoves(game.record())) {
            if (!turn)
                continue;
            BoardMarksScene::Path path;
            path.colour = turn->seat;
            for (const LatticePoint& p : turn->holes)
                path.holes.push_back(game.board().at(p));
            scene.lastMoves.push_back(std::move(path));
        }
    }
    // The marble whose pins are shown, or which may jump on.
    if (const TZellhopBall* ringed = game.RingedMarble())
        scene.selected = ringed->pos;
    scene.hint = game.ShownHint();
    scene.cursor = cursor_->Shown();
    return scene;
}

QString PlayAids::AskGameFile(bool saving) {
    QFileDialog dialog(window_.window, saving ? "Save Game" : "Open Game", gameFolder_);
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

// The arrows, Enter, Space and Escape work the cursor, unless the chat
// line has them or a dialog is open; the cursor refuses whatever the game
// would refuse (a computer's move under way, a turn not a human's here).
bool PlayAids::KeyPressed(int key) {
    if (QApplication::activeModalWidget() || window_.keysTaken())
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
        window_.showingErrors(act);
        Update();
    };
    if (!window_.heldForLobby(play))
        play();
    return true;
}
