// Saves what the X display shows as a PNG, for looking at the game started
// under Xvfb without any other X tools:
//
//   screen_grab OUTPUT.png [DELAY_MS]
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <cstdio>

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2 || args.size() > 3) {
        std::fprintf(stderr, "usage: screen_grab OUTPUT.png [DELAY_MS]\n");
        return 2;
    }
    if (args.size() == 3)
        QThread::msleep(args[2].toULong());
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    if (shot.isNull() || !shot.save(args[1], "PNG")) {
        std::fprintf(stderr, "screen_grab: cannot grab or save %s\n", qPrintable(args[1]));
        return 1;
    }
    return 0;
}
