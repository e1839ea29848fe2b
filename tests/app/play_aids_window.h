// The main window with what helps a player: the file dialog answered, keys
// pressed in the window, and the window's client area looked at pixel by
// pixel around a hole.
#pragma once

#include "board_marks.h"
#include "colours.h"
#include "game_window.h"
#include "position_file.h"

#include <QFileDialog>
#include <QImage>
#include <QTemporaryDir>
#include <cmath>

inline constexpr SeatKinds kHumanVsComputer = {skHuman, skNone, skNone, skComputer, skNone, skNone};
inline constexpr SeatKinds kTwoHumans = {skHuman, skNone, skNone, skHuman, skNone, skNone};

class PlayAidsWindow : public GameWindow {
  protected:
    // Chooses `path` in the Open or Save dialog once it has opened.
    void AnswerFileDialog(const QString& path) {
        auto* poll = new QTimer(fMain.get());
        QObject::connect(poll, &QTimer::timeout, fMain.get(), [poll, path] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            poll->stop();
            poll->deleteLater();
            dialog->selectFile(path);
            static_cast<QDialog*>(dialog)->accept(); // the file dialog's own, as OK does
        });
        poll->start(kDialogPoll);
    }
    // A key as a player presses it in the window; the window must be the
    // active one for the menu's shortcuts (off screen, a dialog that has
    // closed can stay the application's active window).
    void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        fMain->activateWindow();
        if (!fMain->isActiveWindow())
            QApplication::setActiveWindow(fMain.get());
        ASSERT_TRUE(fMain->isActiveWindow());
        QTest::keyClick(fMain.get(), key, modifiers);
        Play();
    }
    // Where each marble's picture is centred, "COLOUR n r,c" a line: what
    // a player sees of the position.
    std::string PicturesShown() const {
        std::string shown;
        for (const auto& marble : fMain->game().marbles()) {
            const PictureWidget* picture = fMain->MarblePicture(*marble);
            if (!picture || !picture->isVisible())
                continue;
            const QPoint centre = picture->geometry().center();
            const PixelPoint hole = ScreenPos(*marble->pos, fMain->BoardRect());
            shown += std::string(ColourWord(marble->colour)) + " " +
                     std::to_string(marble->number) + " " + HoleText(marble->pos->at) +
                     (std::abs(centre.x() - hole.x) <= 1 && std::abs(centre.y() - hole.y) <= 1
                          ? "\n"
                          : " (picture elsewhere)\n");
        }
        return shown;
    }
    // The client area as it is drawn now.
    QImage Client() const { return fMain->centralWidget()->grab().toImage(); }
    // The distance between two neighbouring holes, in pixels.
    double Spacing() const {
        const PixelPoint a = ScreenPos(Hole(0, 0), fMain->BoardRect());
        const PixelPoint b = ScreenPos(Hole(0, 2), fMain->BoardRect());
        return std::hypot(b.x - a.x, b.y - a.y);
    }
    // Pixels between `inner` and `outer` spacings from the hole's centre
    // that are within `tolerance` of the colour (or, with no colour, that
    // differ from `other` there).
    int PixelsAround(const QImage& image, const TZellhopPos& hole, double inner, double outer,
                     const QColor& colour, int tolerance = 40,
                     const QImage* other = nullptr) const {
        const PixelPoint c = ScreenPos(hole, fMain->BoardRect());
        const double s = Spacing();
        int count = 0;
        const int reach = static_cast<int>(std::ceil(outer * s)) + 1;
        for (int y = c.y - reach; y <= c.y + reach; ++y)
            for (int x = c.x - reach; x <= c.x + reach; ++x) {
                const double d = std::hypot(x - c.x, y - c.y) / s;
                if (d < inner || d > outer || !image.valid(x, y))
                    continue;
                const QColor p = image.pixelColor(x, y);
                if (other) {
                    count += p != other->pixelColor(x, y);
                    continue;
                }
                const int off = std::abs(p.red() - colour.red()) +
                                std::abs(p.green() - colour.green()) +
                                std::abs(p.blue() - colour.blue());
                count += off <= tolerance;
            }
        return count;
    }

    QTemporaryDir files;
};
