// Pictures of the game for a person to look at: a game in progress with a
// marble selected and its white target pins, a computer move under way, the
// player dialog and the options dialog.  Run it under xvfb-run (or with
// QT_QPA_PLATFORM=offscreen, and QT_SCALE_FACTOR=2 for twice the pixel
// ratio); it writes PNG files into the folder given.
//
//   app_screenshots [FOLDER [WIDTH HEIGHT]]   the main window's size, if given
#include "application.h"
#include "main_window.h"
#include "options_dialog.h"
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

constexpr int kShownStepDelay = 200; // ms, slow enough to catch a move under way

PictureWidget* MarkerOn(TfMain& fMain, const TZellhopPos& hole) {
    for (int k = 0; k < kTargetMarkers; ++k)
        if (fMain.TargetMarker(k)->isVisible() && fMain.MarkerHole(k) == &hole)
            return fMain.TargetMarker(k);
    return nullptr;
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
    if (argc > 3)
        fMain->resize(QString(argv[2]).toInt(), QString(argv[3]).toInt());
    QTest::qWait(100);

    bool ok = true;
    // The player dialog as New Game opens it, then "1 Human vs 1 Computer".
    QTimer::singleShot(50, fMain.get(), [&] {
        ok &= Save(*fMain->dialogs().players, folder, "players_dialog.png");
        fMain->dialogs().players->cbPresets->setCurrentIndex(6);
        ok &= Save(*fMain->dialogs().players, folder, "players_dialog_tavlo.png");
        fMain->dialogs().players->cbPresets->setCurrentIndex(0);
        fMain->dialogs().players->btnOk->click();
    });
    fMain->findChild<QAction*>("aNewGame")->trigger();
    QTest::qWait(50);

    // Blue marble 2 selected: two jumps offered.
    TZellhopBall* blue = fMain->game().FindBall(0, 2);
    QTest::mouseClick(fMain->MarblePicture(*blue), Qt::LeftButton);
    QTest::qWait(50);
    ok &= Save(*fMain, folder, "game_marble_selected.png");

    // Blue jumps; Orange's answer is caught half way.
    fMain->SetStepDelay(kShownStepDelay);
    bool caught = false;
    QObject::connect(fMain.get(), &TfMain::stepWaitStarted, [&] {
        if (caught || fMain->game().state().currentSeat != 3)
            return;
        caught = true;
        QTest::qWait(kShownStepDelay / 2);
        ok &= Save(*fMain, folder, "game_computer_moving.png");
    });
    PictureWidget* marker = MarkerOn(*fMain, *fMain->game().board().at({-4, 0}));
    if (!marker)
        return 1;
    QTest::mouseClick(marker, Qt::LeftButton);
    ok &= QTest::qWaitFor([&] { return fMain->TurnsSettled(); }, 10000);
    QTest::qWait(50);
    ok &= Save(*fMain, folder, "game_computer_answered.png");

    QTimer::singleShot(50, fMain.get(), [&] {
        ok &= Save(*fMain->dialogs().options, folder, "options_dialog.png");
        fMain->dialogs().options->accept();
    });
    fMain->findChild<QAction*>("Options1")->trigger();
    return ok && caught ? 0 : 1;
}
