// The main window as it is drawn, measured on its pixels: at the design
// size and at 1900 × 1050, and (the same program run with
// QT_SCALE_FACTOR=2) at twice the pixel ratio.  Every measure is in device
// pixels of the window's grab.
#include "about_box.h"
#include "game_window.h"
#include "icon_drawing.h"
#include "qt_printers.h"

#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <cmath>

namespace {

// Medium marbles are 20 pixels across where holes are 0.07205 × 512
// pixels apart.
constexpr double kMarbleShare = 20 / (0.07205 * 512);
constexpr double kDesignDotRadius = 4.5 / 597; // of the board's width
constexpr int kTransparent = 0, kOpaque = 255;

struct WindowCase {
    const char* name;
    QSize window; // empty: the size the window opens at
};
const WindowCase kCases[] = {{"design size", QSize()}, {"1900 x 1050", QSize(1900, 1050)}};

QImage Pixels(const QPixmap& grab) {
    return grab.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// A pin drawn alone on a transparent ground, as the window composites it.
QImage Alone(QWidget& pin, qreal ratio) {
    QImage image(pin.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    pin.render(&image, QPoint(), QRegion(), {});
    return image;
}

struct Disc {
    QPointF centre; // device pixels of the picture it was measured on
    double diameter = 0;
};

// The disc the picture's opacity covers: its area and its centre of mass.
Disc Covered(const QImage& picture) {
    double area = 0, x = 0, y = 0;
    for (int py = 0; py < picture.height(); ++py)
        for (int px = 0; px < picture.width(); ++px) {
            const double a = qAlpha(picture.pixel(px, py)) / 255.0;
            area += a;
            x += a * (px + 0.5);
            y += a * (py + 0.5);
        }
    if (area == 0)
        return {};
    return {{x / area, y / area}, 2 * std::sqrt(area / M_PI)};
}

// The middle of the dark dot around `near` on the board's pixels, its
// darkness weighing each pixel within `radius`.  Around a hole with six
// neighbours the lines are symmetric and leave the middle where it is.
QPointF DotCentre(const QImage& board, QPointF near, double radius) {
    double mass = 0, x = 0, y = 0;
    for (int py = int(near.y() - radius) - 1; py <= int(near.y() + radius) + 1; ++py)
        for (int px = int(near.x() - radius) - 1; px <= int(near.x() + radius) + 1; ++px) {
            if (std::hypot(px + 0.5 - near.x(), py + 0.5 - near.y()) > radius)
                continue;
            const double dark = 255 - qGray(board.pixel(px, py));
            mass += dark;
            x += dark * (px + 0.5);
            y += dark * (py + 0.5);
        }
    return {x / mass, y / mass};
}

double Distance(QPointF a, QPointF b) {
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

class WindowDrawing : public GameWindow {
  protected:
    void Resize(const WindowCase& c) {
        if (!c.window.isEmpty())
            fMain->resize(c.window);
        Settle();
    }
    qreal Ratio() const { return fMain->devicePixelRatioF(); }
    // Where a point of the client area lies on the window's grab.
    QPointF InWindow(QPointF client) const {
        const QPoint corner = fMain->centralWidget()->mapTo(fMain.get(), QPoint(0, 0));
        return (client + QPointF(corner)) * Ratio();
    }
    // A marble of every colour on sixty holes that have six neighbours.
    void FillInnerHoles() {
        std::vector<Placed> position;
        for (const auto& hole : fMain->game().board().holes()) {
            const bool inner = std::all_of(hole->neighbour.begin(), hole->neighbour.end(),
                                           [](const TZellhopPos* n) { return n; });
            const int i = static_cast<int>(position.size());
            if (inner && i < kColours * 10)
                position.push_back({i % kColours, i / kColours, hole->at.r, hole->at.c});
        }
        SetPosition(position);
        Settle();
    }
    double DotRadius() const { return kDesignDotRadius * fMain->BoardRect().width * Ratio(); }
};

TEST_F(WindowDrawing, DrawsAtTheScreensPixelRatio) {
    const double asked = qEnvironmentVariable("QT_SCALE_FACTOR", "1").toDouble();
    EXPECT_EQ(Ratio(), asked);
    EXPECT_EQ(Pixels(fMain->grab()).size(), fMain->size() * asked);
}

TEST_F(WindowDrawing, TheBoardIsPaintedForTheScreensPixels) {
    for (const WindowCase& c : kCases) {
        Resize(c);
        const QImage shown = Pixels(Part<BoardWidget>("imMain")->grab());
        const QImage drawn =
            BoardImage(fMain->game().board(), Part<BoardWidget>("imMain")->size(), Ratio());
        EXPECT_EQ(shown.size(), drawn.size()) << c.name;
        EXPECT_TRUE(shown == drawn.convertToFormat(shown.format())) << c.name;
    }
}

TEST_F(WindowDrawing, MarblesAreOneShareOfTheHoleSpacingAndSitOnTheirDots) {
    FillInnerHoles();
    for (const WindowCase& c : kCases) {
        Resize(c);
        const PictureRect board = fMain->BoardRect();
        const QImage boardPixels = Pixels(Part<BoardWidget>("imMain")->grab());
        const QPointF boardCorner = InWindow(QPointF(board.left, board.top));
        const auto dotOf = [&](const TZellhopPos& hole) {
            const QPointF expected = HoleCentre(hole, QSizeF(board.width, board.height)) * Ratio();
            return boardCorner + DotCentre(boardPixels, expected, DotRadius() + 1.5);
        };
        const double spacing = Distance(dotOf(Hole(0, 0)), dotOf(Hole(0, 2)));
        EXPECT_NEAR(spacing, 0.07205 * board.width * Ratio(), 0.25) << c.name;

        for (const auto& marble : fMain->game().marbles()) {
            PictureWidget& pin = *fMain->MarblePicture(*marble);
            const Disc disc = Covered(Alone(pin, Ratio()));
            const QPointF centre = InWindow(pin.pos()) + disc.centre;
            const QPointF dot = dotOf(*marble->pos);
            const std::string which = std::string(c.name) + ", marble " +
                                      std::to_string(marble->colour) + "/" +
                                      std::to_string(marble->number);
            EXPECT_NEAR(disc.diameter, kMarbleShare * spacing, 1.0) << which;
            EXPECT_LT(Distance(centre, dot), 0.3) << which;
        }
    }
}

// Along a marble's rim the window shows the marble blended into the board:
// neither the one nor the other, as much of each as the marble covers.
TEST_F(WindowDrawing, MarbleEdgesBlendIntoTheBoard) {
    FillInnerHoles();
    for (const WindowCase& c : kCases) {
        Resize(c);
        const QImage window = Pixels(fMain->grab());
        const QImage board = Pixels(Part<BoardWidget>("imMain")->grab());
        const QPointF boardCorner = InWindow(Part<BoardWidget>("imMain")->pos());
        for (const auto& marble : fMain->game().marbles()) {
            PictureWidget& pin = *fMain->MarblePicture(*marble);
            const QImage alone = Alone(pin, Ratio());
            const QPointF corner = InWindow(pin.pos());
            int rim = 0, blended = 0;
            for (int y = 0; y < alone.height(); ++y)
                for (int x = 0; x < alone.width(); ++x) {
                    const QRgb own = alone.pixel(x, y);
                    if (qAlpha(own) <= kTransparent + 25 || qAlpha(own) >= kOpaque - 25)
                        continue;
                    ++rim;
                    const QPoint at = (corner + QPointF(x, y)).toPoint();
                    const QRgb below = board.pixel(at - boardCorner.toPoint());
                    const QRgb shown = window.pixel(at);
                    const double clear = 1 - qAlpha(own) / 255.0;
                    const auto near = [&](int o, int b, int s) {
                        return std::abs(o + clear * b - s) <= 3;
                    };
                    if (near(qRed(own), qRed(below), qRed(shown)) &&
                        near(qGreen(own), qGreen(below), qGreen(shown)) &&
                        near(qBlue(own), qBlue(below), qBlue(shown)))
                        ++blended;
                }
            // About one ring of pixels: smooth, but drawn for these pixels,
            // not enlarged from fewer.
            const double circumference = M_PI * pin.PinDiameter() * Ratio();
            EXPECT_GT(rim, circumference / 2) << c.name << ": too few pixels half covered";
            EXPECT_LT(rim, circumference * 1.2) << c.name << ": a blurred rim";
            EXPECT_EQ(blended, rim) << c.name;
        }
    }
}

TEST_F(WindowDrawing, AWideWindowCentresTheBoardRightOfTheSeatPanel) {
    NewGame({skHuman, skHuman, skHuman, skHuman, skHuman, skHuman});
    Part<QPlainTextEdit>("mLog")->show();
    Part<QLineEdit>("eChat")->show();
    Resize(kCases[1]);

    // The grey disc's widest row, on the grab.
    const PictureRect board = fMain->BoardRect();
    const QImage window = Pixels(fMain->grab());
    const int row = static_cast<int>(InWindow(QPointF(0, board.top + board.height / 2.0)).y());
    int left = -1, right = -1;
    for (int x = 0; x < window.width(); ++x)
        if (qGray(window.pixel(x, row)) < 200 && qGray(window.pixel(x, row)) > 170) {
            left = left < 0 ? x : left;
            right = x;
        }
    ASSERT_GE(left, 0);
    // The strip of the "YOUR TURN" label and the seat panel is 112 pixels
    // wide at the design height and grows with the board.
    const double strip = 112.0 * board.height / 530;
    const double clientWidth = fMain->centralWidget()->width();
    const double middle = (left + right + 1) / 2.0 / Ratio();
    EXPECT_NEAR(middle, (strip + clientWidth) / 2, 1.0);

    std::vector<QWidget*> panel = {Part<QLabel>("lblYourTurn")};
    for (const PanelLine& line : SeatPanel(*fMain)) {
        panel.push_back(line.indicator);
        panel.push_back(line.name);
    }
    EXPECT_EQ(panel.size(), 13u);
    for (const QWidget* part : panel)
        EXPECT_LE(part->geometry().right(), strip) << ::testing::PrintToString(part->geometry());
    for (QWidget* pane : {static_cast<QWidget*>(Part<QPlainTextEdit>("mLog")),
                          static_cast<QWidget*>(Part<QLineEdit>("eChat"))}) {
        EXPECT_LT(pane->geometry().right(), board.left) << "clear of the board";
        EXPECT_GT(pane->width(), 289) << "wider than designed";
    }
    EXPECT_GT(Part<QPlainTextEdit>("mLog")->height(), 101) << "taller than designed";
    EXPECT_EQ(Part<QLineEdit>("eChat")->geometry().bottom() + 1, fMain->centralWidget()->height());
}

TEST_F(WindowDrawing, TheAboutBoxDrawsItsIconForItsPixels) {
    QWidget& icon = *fMain->dialogs().about->ProgramIcon;
    QImage shown(icon.size() * Ratio(), QImage::Format_ARGB32_Premultiplied);
    shown.setDevicePixelRatio(Ratio());
    shown.fill(Qt::transparent);
    icon.render(&shown, QPoint(), QRegion(), {});
    const QImage drawn = DrawProgramIcon(shown.width());
    shown.setDevicePixelRatio(1);
    EXPECT_EQ(shown, drawn.convertToFormat(shown.format()));
}

} // namespace
