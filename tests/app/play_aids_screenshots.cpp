// Pictures of what helps a player read the game, for a person to look at:
// the last moves of six seats, the ring around the selected marble, a hint,
// and the keyboard cursor over a marble and over a target.  Run it under
// xvfb-run (or with QT_QPA_PLATFORM=offscreen); it writes PNG files into
// the folder given.
#include "application.h"
#include "main_window.h"
#include "picture_widget.h"
#include "players_dialog.h"
#include "screenshot.h"
#include "scripted_prompts.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>

namespace {

constexpr int kStepDelay = 1; // ms: the computers' moves are not what is shown here

void NewGame(TfMain& fMain, const SeatKinds& kinds) {
    QTimer::singleShot(0, &fMain, [&fMain, kinds] {
        TfPlayers& dialog = *fMain.dialogs().players;
        for (int i = 0; i < kColours; ++i)
            dialog.seatBoxes[i]->setCurrentIndex(kinds[i]);
        dialog.btnOk->click();
    });
    fMain.findChild<QAction*>("aNewGame")->trigger();
}

// A key pressed in the main window, which must be active for the menu's
// shortcuts to work (off screen, a dialog that has closed can stay the
// application's active window).
void Key(TfMain& fMain, int key) {
    fMain.activateWindow();
    if (!fMain.isActiveWindow())
        QApplication::setActiveWindow(&fMain);
    QTest::keyClick(&fMain, static_cast<Qt::Key>(key));
    QTest::qWait(20);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    InitApplication(app);
    const QString folder = argc > 1 ? argv[1] : ".";
    QDir().mkpath(folder);

    ScriptedPrompts prompts;
    const auto fMain = CreateWindows(&prompts);
    fMain->show();
    QTest::qWait(100);
    fMain->SetStepDelay(kStepDelay);
    bool ok = true;

    // Blue against five computers: after Blue's step every seat has moved.
    NewGame(*fMain, {skHuman, skComputer, skComputer, skComputer, skComputer, skComputer});
    QTest::qWait(50);
    Key(*fMain, Qt::Key_Right); // the cursor appears on Blue marble 2
    Key(*fMain, Qt::Key_Right); // and goes to marble 3
    Key(*fMain, Qt::Key_Return);
    Key(*fMain, Qt::Key_Return); // its first step, to -4,4
    QTest::qWait(100);
    ok &= Save(*fMain, folder, "last_moves.png");

    // A marble selected with the mouse: its ring and its pins.
    TZellhopBall* marble = fMain->game().FindBall(0, 5);
    QTest::mouseClick(fMain->MarblePicture(*marble), Qt::LeftButton);
    QTest::qWait(50);
    ok &= Save(*fMain, folder, "selection_ring.png");
    QTest::mouseClick(fMain->MarblePicture(*marble), Qt::LeftButton);

    Key(*fMain, Qt::Key_H);
    ok &= Save(*fMain, folder, "hint.png");

    Key(*fMain, Qt::Key_Left);
    ok &= Save(*fMain, folder, "cursor_on_marble.png");
    Key(*fMain, Qt::Key_Space);
    ok &= Save(*fMain, folder, "cursor_on_target.png");
    return ok ? 0 : 1;
}
