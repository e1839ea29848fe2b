#include "application.h"

#include "about_box.h"
#include "main_window.h"
#include "options_dialog.h"
#include "pin_pictures.h"
#include "players_dialog.h"

#include <QApplication>
#include <QIcon>

void InitApplication(QApplication& app) {
    // Only the name: a display name would be appended to every window's caption.
    app.setApplicationName(kApplicationTitle);
    app.setWindowIcon(QIcon(ProgramIcon()));
}

std::unique_ptr<TfMain> CreateWindows(UserPrompts* prompts) {
    auto fMain = std::make_unique<TfMain>(prompts);
    fMain->fOptions = new TfOptions(fMain.get());
    fMain->fPlayers = new TfPlayers(fMain->seats, fMain->Prompts(), fMain.get());
    fMain->AboutBox = new TAboutBox(fMain.get());
    return fMain;
}
