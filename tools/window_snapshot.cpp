// Draws the main window and the about box off screen and saves them as
// PNG files, for looking at the layout without a display.  Each pin
// picture stands on a hole of its colour's point, and the white one on the
// centre, so that dots and pins can be seen to line up.
//
//   window_snapshot OUTPUT_DIRECTORY [WIDTH HEIGHT]
#include "about_box.h"
#include "application.h"
#include "colours.h"
#include "main_window.h"
#include "picture_widget.h"
#include "pin_pictures.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <cstdio>

namespace {

void PlacePins(TfMain& window) {
    for (int picture = 0; picture <= kWhitePin; ++picture) {
        auto* pin = new PictureWidget(window.centralWidget());
        pin->SetPicture(LoadPinPicture(picture));
        const TZellhopPos* hole = picture == kWhitePin ? &window.game().board().hole(0)
                                                       : window.game().board().homeHole(picture);
        window.CentreOnHole(*pin, *hole);
        pin->show();
    }
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2 && args.size() != 4) {
        std::fprintf(stderr, "usage: window_snapshot OUTPUT_DIRECTORY [WIDTH HEIGHT]\n");
        return 2;
    }
    InitApplication(app);
    const QString dir = args[1] + "/";
    const auto fMain = CreateWindows();
    fMain->show();
    if (args.size() == 4)
        fMain->resize(args[2].toInt(), args[3].toInt());
    QApplication::processEvents();
    PlacePins(*fMain);
    fMain->findChild<QLabel*>("lblYourTurn")->show();
    const char* const status[] = {"It's now player BLUE turn", "Turn # 1", "Ball 3"};
    for (int panel = 0; panel < kStatusPanels; ++panel)
        fMain->findChild<QLabel*>(QString("sbPanel%1").arg(panel))->setText(status[panel]);
    QApplication::processEvents();
    const QPixmap window = fMain->grab();
    bool saved = window.save(dir + "main_window.png");
    // The centre of the board, 80 × 80 pixels of the layout four times as
    // large (the grab has the screen's device pixels).
    const QRect centre = fMain->findChild<QWidget*>("imMain")->geometry();
    const QPoint middle = fMain->centralWidget()->mapTo(fMain.get(), centre.center());
    const qreal ratio = window.devicePixelRatio();
    saved = window.copy(QRect((middle - QPoint(40, 40)) * ratio, QSize(80, 80) * ratio))
                .scaled(320, 320)
                .save(dir + "board_centre.png") &&
            saved;

    QTimer::singleShot(0, [&] {
        TAboutBox& about = *fMain->dialogs().about;
        saved = about.grab().save(dir + "about_box.png") && saved;
        about.accept();
    });
    fMain->findChild<QAction*>("aAbout")->trigger();
    return saved ? 0 : 1;
}
