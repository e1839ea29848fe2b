// Zellhop: the six-pointed-star marble game.
//
//   zellhop [FILE]     FILE: a game record to open at start
#include "application.h"
#include "main_window.h"

int main(int argc, char* argv[]) {
    // Qt sees the program's name only: the one argument is a game's file.
    int qtArgc = 1;
    ZellhopApplication app(qtArgc, argv);
    InitApplication(app);
    const auto fMain = CreateWindows();
    fMain->LoadSettings();
    fMain->show();
    if (argc > 1)
        fMain->OpenGame(QString::fromLocal8Bit(argv[1]));
    return app.exec();
}
