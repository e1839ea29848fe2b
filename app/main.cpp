// Zellhop: the six-pointed-star marble game.
#include "application.h"
#include "main_window.h"

int main(int argc, char* argv[]) {
    // The program reads no command line: Qt sees the program's name only.
    (void)argc;
    int qtArgc = 1;
    ZellhopApplication app(qtArgc, argv);
    InitApplication(app);
    const auto fMain = CreateWindows();
    fMain->LoadSettings();
    fMain->show();
    return app.exec();
}
